#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

#include "platform/process.h"

namespace platform {

namespace {

// The C runtime's answer to a bad argument, such as a standard stream that was closed before the
// process started, is to end the process on the spot. Ignoring it lets the call fail with an
// error number instead, which reaches the operator through the fatal report.
void ignoreInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

} // namespace

void prepareProcess() {
    (void)::_set_invalid_parameter_handler(ignoreInvalidParameter);
}

bool translatesLineEnds(int fd) {
    // Asking for the mode means setting one; the old mode is put back at once.
    const int previous = ::_setmode(fd, _O_BINARY);
    if (previous == -1) {
        return false;
    }
    ::_setmode(fd, previous);
    return (previous & _O_TEXT) != 0;
}

void exitNow(int status) {
    std::_Exit(status);
}

} // namespace platform
