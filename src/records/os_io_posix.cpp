#include "records/os_io.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace records::os {

void prepareProcess() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // A standard stream closed at start would give its number to the first file the program
    // opens, and a console line or the fatal report would then be written into that file (the
    // backup, during the relabelling). The number is taken by the null device opened the wrong
    // way round, so the stream still fails as a closed one does.
    for (const int fd : {STDIN_FD, STDOUT_FD, STDERR_FD}) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            (void)::open("/dev/null", fd == STDIN_FD ? O_WRONLY : O_RDONLY);
        }
    }
}

EntryKind entryKind(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? EntryKind::Missing : EntryKind::Other;
    }
    return S_ISDIR(info.st_mode) ? EntryKind::Directory : EntryKind::Other;
}

namespace {

OpenResult openWith(const std::string& name, int flags) {
    int fd;
    do {
        fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return {-1, errno};
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return {-1, EISDIR};
    }
    return {fd, 0};
}

} // namespace

OpenResult openReadWrite(const std::string& name) {
    return openWith(name, O_RDWR);
}
OpenResult openReadOnly(const std::string& name) {
    return openWith(name, O_RDONLY);
}
OpenResult createEmpty(const std::string& name) {
    return openWith(name, O_RDWR | O_CREAT);
}

ReadResult readSome(int fd, char* into, std::size_t capacity) {
    for (;;) {
        const ssize_t got = ::read(fd, into, capacity);
        if (got >= 0) {
            return {static_cast<std::size_t>(got), 0};
        }
        if (errno != EINTR) {
            return {0, errno};
        }
    }
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (put == 0) {
            return EIO; // a device that takes nothing would otherwise loop for ever
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

std::int64_t fileSize(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

int truncateAt(int fd, std::int64_t length) {
    while (::ftruncate(fd, static_cast<off_t>(length)) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

int closeFile(int fd) {
    // A close interrupted by a signal has still released the descriptor on Linux, so it is
    // not retried; any other failure (a delayed write error) is reported.
    if (::close(fd) != 0 && errno != EINTR) {
        return errno;
    }
    return 0;
}

bool translatesLineEnds(int) {
    return false;
}

void exitNow(int status) {
    ::_exit(status);
}

} // namespace records::os
