#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/entry_kind_posix.h"
#include "platform/files.h"
#include "platform/host_call_posix.h"
#include "platform/link_rule.h"

namespace platform {

EntryKind entryKind(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        return kindOfStatError(errno);
    }
    return kindOfMode(info.st_mode);
}

namespace {

// Why the open file cannot serve: 0, EISDIR for a folder, or NOT_A_REGULAR_FILE when one is
// required and this is not.
int kindError(int fd, bool regularOnly) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return regularOnly ? errno : 0;
    }
    const EntryKind kind = kindOfMode(info.st_mode);
    if (kind == EntryKind::Directory) {
        return EISDIR;
    }
    return regularOnly && kind != EntryKind::RegularFile ? NOT_A_REGULAR_FILE : 0;
}

OpenResult openWith(const std::string& name, int flags, bool regularOnly) {
    OpenResult opened = openUnderLinkRule(name, flags | O_CLOEXEC, 0666);
    if (!opened.file.isOpen()) {
        return opened;
    }
    if (const int error = kindError(opened.file.get(), regularOnly); error != 0) {
        return {FileDescriptor(), error};
    }
    return opened;
}

// Lets reads of a file opened without waiting wait again, as they do on any file.
int waitOnReads(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return errno;
    }
    return 0;
}

} // namespace

OpenResult openFile(const std::string& name, OpenMode mode) {
    // Indexed by OpenMode. A regular file is opened without waiting, so that a pipe without a
    // writer is refused rather than waited on, and then waits again like any file.
    static constexpr std::array<int, 4> FLAGS = {O_RDWR, O_RDONLY, O_RDWR | O_CREAT,
                                                 O_RDONLY | O_NONBLOCK};
    const bool regularOnly = mode == OpenMode::RegularForReading;
    OpenResult opened = openWith(name, FLAGS[static_cast<std::size_t>(mode)], regularOnly);
    if (regularOnly && opened.file.isOpen()) {
        if (const int error = waitOnReads(opened.file.get()); error != 0) {
            return {FileDescriptor(), error};
        }
    }
    return opened;
}

ReadResult readSome(int fd, char* into, std::size_t capacity) {
    return bytesMoved<ReadResult>([&] { return ::read(fd, into, capacity); });
}

WriteResult writeSome(int fd, const char* data, std::size_t size) {
    return bytesMoved<WriteResult>([&] { return ::write(fd, data, size); });
}

std::int64_t fileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

int truncateAt(int fd, std::int64_t length) {
    return retryInterrupted([&] { return ::ftruncate(fd, static_cast<off_t>(length)); }) == 0
               ? 0
               : errno;
}

int FileDescriptor::close() noexcept {
    const int fd = std::exchange(fd_, -1);
    // A close interrupted by a signal has still released the descriptor on Linux, so it is
    // not retried; any other failure (a delayed write error) is reported.
    if (fd < 0 || ::close(fd) == 0 || errno == EINTR) {
        return 0;
    }
    return errno;
}

int removeFile(const std::string& name) {
    return ::unlink(name.c_str()) == 0 ? 0 : errno;
}

std::int64_t sizeOfNamedFile(const std::string& name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

} // namespace platform
