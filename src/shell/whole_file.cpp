#include "shell/whole_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "records/os_io.h"

namespace shell {

namespace {

constexpr std::size_t FIRST_BLOCK_OF_UNKNOWN_SIZE = std::size_t{1} << 20;

// Reads until the end of the stream, growing the block only when a read finds more bytes than
// it holds.
int readAll(int fd, WholeFile& file, std::size_t capacity) {
    for (;;) {
        if (file.size == capacity) {
            char probe = 0;
            const records::os::ReadResult got = records::os::readSome(fd, &probe, 1);
            if (got.error != 0 || got.count == 0) {
                return got.error;
            }
            capacity = capacity < FIRST_BLOCK_OF_UNKNOWN_SIZE / 2 ? FIRST_BLOCK_OF_UNKNOWN_SIZE
                                                                  : capacity * 2;
            if (!resizeLargeBlock(file.bytes, capacity)) {
                return ENOMEM;
            }
            file.bytes.get()[file.size++] = probe;
        }
        const records::os::ReadResult got =
            records::os::readSome(fd, file.bytes.get() + file.size, capacity - file.size);
        if (got.error != 0 || got.count == 0) {
            return got.error;
        }
        file.size += got.count;
    }
}

std::size_t expectedSize(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return FIRST_BLOCK_OF_UNKNOWN_SIZE;
    }
    return static_cast<std::size_t>(info.st_size);
}

} // namespace

WholeFile readWholeFile(const std::string& name) {
    WholeFile file;
    const records::os::OpenResult opened = records::os::openReadOnly(name);
    if (opened.fd < 0) {
        file.error = opened.error;
        return file;
    }
    const std::size_t capacity = expectedSize(opened.fd);
    file.error =
        resizeLargeBlock(file.bytes, capacity) ? readAll(opened.fd, file, capacity) : ENOMEM;
    ::close(opened.fd);
    return file;
}

} // namespace shell
