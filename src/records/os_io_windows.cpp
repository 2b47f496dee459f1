#include "records/os_io.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <limits>
#include <sys/stat.h>

namespace records::os {

namespace {

// The C runtime's answer to a bad argument, such as a standard stream that was closed before the
// process started, is to end the process on the spot. Ignoring it lets the call fail with an
// error number instead, which reaches the operator through the fatal report.
void ignoreInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

} // namespace

void prepareProcess() {
    (void)::_set_invalid_parameter_handler(ignoreInvalidParameter);
}

EntryKind entryKind(const std::string& name) {
    struct _stat64 info {};
    if (::_stat64(name.c_str(), &info) != 0) {
        return errno == ENOENT ? EntryKind::Missing : EntryKind::Other;
    }
    return (info.st_mode & _S_IFDIR) != 0 ? EntryKind::Directory : EntryKind::Other;
}

namespace {

OpenResult openWith(const std::string& name, int flags) {
    const int fd = ::_open(name.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return {-1, errno};
    }
    return {fd, 0};
}

} // namespace

OpenResult openReadWrite(const std::string& name) {
    return openWith(name, _O_RDWR);
}
OpenResult openReadOnly(const std::string& name) {
    return openWith(name, _O_RDONLY);
}
OpenResult createEmpty(const std::string& name) {
    return openWith(name, _O_RDWR | _O_CREAT);
}

namespace {
// The C runtime's read and write take an unsigned int count.
constexpr std::size_t MAX_CHUNK = 1u << 30;
} // namespace

ReadResult readSome(int fd, char* into, std::size_t capacity) {
    const auto chunk = static_cast<unsigned>(capacity < MAX_CHUNK ? capacity : MAX_CHUNK);
    const int got = ::_read(fd, into, chunk);
    if (got < 0) {
        return {0, errno};
    }
    return {static_cast<std::size_t>(got), 0};
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const auto chunk = static_cast<unsigned>(size < MAX_CHUNK ? size : MAX_CHUNK);
        const int put = ::_write(fd, data, chunk);
        if (put < 0) {
            return errno;
        }
        if (put == 0) {
            return ENOSPC;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

std::int64_t fileSize(int fd) {
    struct _stat64 info {};
    return ::_fstat64(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

int truncateAt(int fd, std::int64_t length) {
    return ::_chsize_s(fd, length);
}

int closeFile(int fd) {
    return ::_close(fd) == 0 ? 0 : errno;
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

} // namespace records::os
