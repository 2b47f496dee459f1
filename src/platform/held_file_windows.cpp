#include "platform/held_file_windows.h"

namespace platform {

namespace {

constexpr DWORD LONGEST_PAUSE = 500; // milliseconds
constexpr DWORD TIME_ALLOWED = 2500; // milliseconds of pauses in all

} // namespace

bool heldByAnotherProgram(DWORD error, const std::string& name) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return true;
    }
    if (error != ERROR_ACCESS_DENIED) {
        return false;
    }
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

bool HoldWait::pause() {
    if (waited_ >= TIME_ALLOWED) {
        return false;
    }
    const DWORD pause = next_ < TIME_ALLOWED - waited_ ? next_ : TIME_ALLOWED - waited_;
    ::Sleep(pause);
    waited_ += pause;
    next_ = next_ * 2 < LONGEST_PAUSE ? next_ * 2 : LONGEST_PAUSE;
    return true;
}

} // namespace platform
