#include "platform/files.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <limits>
#include <sys/stat.h>
#include <utility>
#include <windows.h>

#include "platform/held_file_windows.h"

namespace platform {

namespace {

EntryKind kindOfMode(unsigned short mode) {
    if ((mode & _S_IFMT) == _S_IFDIR) {
        return EntryKind::Directory;
    }
    return (mode & _S_IFMT) == _S_IFREG ? EntryKind::RegularFile : EntryKind::OtherFile;
}

} // namespace

EntryKind entryKind(const std::string& name) {
    struct _stat64 info {};
    if (::_stat64(name.c_str(), &info) != 0) {
        return meansMissing(errno) ? EntryKind::Missing : EntryKind::Unknown;
    }
    return kindOfMode(info.st_mode);
}

namespace {

// A file that another program holds open for a moment is waited for. The C runtime keeps the
// host's own reason beside its error number: only that tells such a hold from a file that may not
// be written at all.
OpenResult openWith(const std::string& name, int flags) {
    int fd = -1;
    int error = 0;
    (void)retryWhileHeld(name, [&]() -> DWORD {
        fd = ::_open(name.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            return 0;
        }
        error = errno;
        return static_cast<DWORD>(_doserrno);
    });
    if (fd < 0) {
        return {FileDescriptor(), error};
    }
    return {FileDescriptor(fd), 0};
}

// Whether the open file is a regular one: 0, or NOT_A_REGULAR_FILE, or the error.
int regularFileError(int fd) {
    struct _stat64 info {};
    if (::_fstat64(fd, &info) != 0) {
        return errno;
    }
    return kindOfMode(info.st_mode) == EntryKind::RegularFile ? 0 : NOT_A_REGULAR_FILE;
}

} // namespace

OpenResult openFile(const std::string& name, OpenMode mode) {
    // Indexed by OpenMode.
    static constexpr std::array<int, 4> FLAGS = {_O_RDWR, _O_RDONLY, _O_RDWR | _O_CREAT, _O_RDONLY};
    OpenResult opened = openWith(name, FLAGS[static_cast<std::size_t>(mode)]);
    if (mode != OpenMode::RegularForReading || !opened.file.isOpen()) {
        return opened;
    }
    if (const int error = regularFileError(opened.file.get()); error != 0) {
        return {FileDescriptor(), error};
    }
    return opened;
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

WriteResult writeSome(int fd, const char* data, std::size_t size) {
    const auto chunk = static_cast<unsigned>(size < MAX_CHUNK ? size : MAX_CHUNK);
    const int put = ::_write(fd, data, chunk);
    if (put < 0) {
        return {0, errno};
    }
    return {static_cast<std::size_t>(put), 0};
}

std::int64_t fileSize(int fd) {
    struct _stat64 info {};
    return ::_fstat64(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

int truncateAt(int fd, std::int64_t length) {
    return ::_chsize_s(fd, length);
}

int FileDescriptor::close() noexcept {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::_close(fd) == 0 ? 0 : errno;
}

int removeFile(const std::string& name) {
    return ::_unlink(name.c_str()) == 0 ? 0 : errno;
}

std::int64_t sizeOfNamedFile(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data) == 0) {
        return -1;
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

} // namespace platform
