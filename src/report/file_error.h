#pragma once

// What went wrong with a file or stream, as the fatal report tells it.

namespace lines {
struct TakeResult;
}

namespace report {

// Either an error number of the platform's stream library, or one of the program's own codes.
struct FileError {
    int hostErrorNumber = 0; // errno value, when the platform reported the failure
    int code = 0;            // own code, when the program detected it
};

inline constexpr int CODE_OUT_OF_MEMORY = 210;
inline constexpr int CODE_READ_PAST_END = 217;

inline FileError hostError(int errorNumber) {
    return FileError{errorNumber, 0};
}
inline FileError ownError(int code) {
    return FileError{0, code};
}
// How every layer above the platform reports a failure for want of memory.
inline FileError outOfMemory() {
    return ownError(CODE_OUT_OF_MEMORY);
}

// What the fatal report tells of a take of lines that gave no line: the end of a stream where a
// line was needed, the platform's error, or the want of memory.
FileError errorOfTake(const lines::TakeResult& taken);

} // namespace report
