#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "records/os_io.h"
#include "shell/atomic_file.h"
#include "shell/builtin.h"
#include "shell/kernel_copy.h"

namespace shell {

namespace {

constexpr std::int32_t COPIED = 0;
constexpr std::int32_t SOURCE_MISSING = 1;
constexpr std::int32_t COPY_FAILED = 2;
constexpr std::size_t COPY_BLOCK = std::size_t{1} << 20;

struct CopyFailure {
    int error = 0;
    bool onRead = false;
};

CopyFailure copyByHand(int in, const Replacement& out) {
    const std::unique_ptr<char[]> block(new (std::nothrow) char[COPY_BLOCK]);
    if (!block) {
        return {ENOMEM, false};
    }
    for (;;) {
        const records::os::ReadResult got = records::os::readSome(in, block.get(), COPY_BLOCK);
        if (got.error != 0) {
            return {got.error, true};
        }
        if (got.count == 0) {
            return {};
        }
        if (const int error = writeReplacement(out, block.get(), got.count); error != 0) {
            return {error, false};
        }
    }
}

CopyFailure copyContents(int in, const Replacement& out) {
    const KernelCopy copy = copyInKernel(in, out.fd);
    if (copy.error != 0) {
        return {copy.error, false};
    }
    return copy.done ? CopyFailure{} : copyByHand(in, out);
}

// Opens without waiting, so that a pipe with no writer is refused rather than waited on for ever.
int openSource(const std::string& source) {
    int fd;
    do {
        fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

// Only a regular file is copied: a device or a pipe may never end, or end somewhere else each time.
int sourceKindError(int in) {
    struct stat info {};
    if (::fstat(in, &info) != 0) {
        return errno;
    }
    if (S_ISDIR(info.st_mode)) {
        return EISDIR;
    }
    return S_ISREG(info.st_mode) ? 0 : NOT_A_REGULAR_FILE;
}

std::int32_t copyOpenFile(int in, const std::string& source, const std::string& destination) {
    if (const int error = sourceKindError(in); error != 0) {
        reportFailure("copy", "cannot read", source, error);
        return COPY_FAILED;
    }
    ReplacementStart start = beginReplacement(destination);
    if (start.error != 0) {
        reportFailure("copy", "cannot write", destination, start.error);
        return COPY_FAILED;
    }
    const CopyFailure failure = copyContents(in, start.replacement);
    if (failure.error != 0) {
        abandonReplacement(start.replacement);
        reportFailure("copy", failure.onRead ? "cannot read" : "cannot write",
                      failure.onRead ? source : destination, failure.error);
        return COPY_FAILED;
    }
    if (const int error = commitReplacement(start.replacement); error != 0) {
        reportFailure("copy", "cannot write", destination, error);
        return COPY_FAILED;
    }
    return COPIED;
}

} // namespace

std::int32_t copyFile(const std::string& source, const std::string& destination) {
    const int in = openSource(source);
    if (in < 0) {
        const int error = errno;
        reportFailure("copy", "cannot read", source, error);
        return error == ENOENT || error == ENOTDIR ? SOURCE_MISSING : COPY_FAILED;
    }
    const std::int32_t status = copyOpenFile(in, source, destination);
    ::close(in);
    return status;
}

} // namespace shell
