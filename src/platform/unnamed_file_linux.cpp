#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/host_call_posix.h"
#include "platform/unnamed_file.h"

namespace platform {

namespace {

// The unnamed file is given its name through its entry under /proc; a host without /proc
// mounted cannot name it, so it must not make one.
constexpr const char* OPEN_FILES = "/proc/self/fd/";

} // namespace

FileDescriptor openUnnamedFile(int folder, std::uint32_t mode) {
    if (::access(OPEN_FILES, X_OK) != 0) {
        return FileDescriptor();
    }
    return FileDescriptor(retryInterrupted([&] {
        return ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode));
    }));
}

int nameUnnamedFile(int fd, int folder, const std::string& name) {
    const std::string entry = OPEN_FILES + std::to_string(fd);
    return ::linkat(AT_FDCWD, entry.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                           : errno;
}

} // namespace platform
