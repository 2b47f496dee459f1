#pragma once

#include "records/source_location.h"
#include <cstdint>
#include <optional>
#include <string_view>

namespace records {

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

// Names of the failing operations, as the fatal report prints them.
inline constexpr std::string_view OP_OPEN = "OPEN";
inline constexpr std::string_view OP_CLOSE = "CLOSE";
inline constexpr std::string_view OP_FORMATTED_READ = "formatted read";
inline constexpr std::string_view OP_FORMATTED_WRITE = "formatted write";
inline constexpr std::string_view OP_LIST_DIRECTED_READ = "list-directed read";
inline constexpr std::string_view OP_LIST_DIRECTED_WRITE = "list-directed write";

// Writes the fatal report on standard error and ends the process with status 127 at once.
// `recordNumber` is empty for an open that failed. `where` is the program's own source line that
// asked for the failing operation.
[[noreturn]] void fatalFileError(FileError error, std::string_view operation, std::int32_t channel,
                                 std::string_view fileName,
                                 std::optional<std::int32_t> recordNumber,
                                 const SourceLocation& where);

} // namespace records
