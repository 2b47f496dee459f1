#include "shell/builtins/whole_file.h"

#include <cerrno>

#include "platform/files.h"
#include "platform/positioned_io.h"
#include "shell/builtins/parallel.h"

namespace shell::builtins {

namespace {

using platform::RangeRead;

constexpr std::size_t SMALLEST_GROWN_BLOCK = std::size_t{1} << 20;
constexpr std::size_t READ_IN_HALVES_FROM = std::size_t{64} << 20;

// Fills bytes [from, to) of the block from the same offsets of the file.
RangeRead readRange(int fd, char* block, std::size_t from, std::size_t to) {
    return platform::readAt(fd, block + from, to - from, from);
}

// Reads the two halves of a large file at the same time. Most of the time of reading a list of
// hundreds of megabytes goes into mapping fresh memory for it, which two processors do in about
// half the time. Not complete when the file turned out shorter than it said.
RangeRead readInHalves(int fd, char* block, std::size_t size) {
    const std::size_t middle = size / 2;
    RangeRead first;
    RangeRead second;
    runBoth([&] { first = readRange(fd, block, 0, middle); },
            [&] { second = readRange(fd, block, middle, size); });
    if (first.error != 0 || second.error != 0) {
        return {false, first.error != 0 ? first.error : second.error};
    }
    if (!first.complete || !second.complete) {
        return {};
    }
    const int error = platform::seekTo(fd, size);
    return {error == 0, error};
}

// Reads until the end of the stream into `block` after the `size` bytes it holds, growing it only
// when a read finds more bytes than it holds.
int readAll(int fd, platform::LargeBlock<char>& block, std::size_t& size, std::size_t capacity) {
    for (;;) {
        if (size == capacity) {
            char probe = 0;
            const platform::ReadResult got = platform::readSome(fd, &probe, 1);
            if (got.error != 0 || got.count == 0) {
                return got.error;
            }
            capacity = capacity < SMALLEST_GROWN_BLOCK / 2 ? SMALLEST_GROWN_BLOCK : capacity * 2;
            if (!platform::resizeLargeBlock(block, capacity)) {
                return ENOMEM;
            }
            block.get()[size++] = probe;
        }
        const platform::ReadResult got =
            platform::readSome(fd, block.get() + size, capacity - size);
        if (got.error != 0 || got.count == 0) {
            return got.error;
        }
        size += got.count;
    }
}

// Reads the file into `block`, of `capacity` bytes, the size that the file gave.
int readInto(int fd, platform::LargeBlock<char>& block, std::size_t& size, std::size_t capacity) {
    if (capacity >= READ_IN_HALVES_FROM) {
        const RangeRead halves = readInHalves(fd, block.get(), capacity);
        if (halves.error != 0) {
            return halves.error;
        }
        if (!halves.complete) {
            // The file shrank while it was read: read it again from the start, as it is now.
            if (const int error = platform::seekTo(fd, 0); error != 0) {
                return error;
            }
        } else {
            size = capacity;
        }
    }
    // All of a smaller file, or whatever a large one has gained since it was measured.
    return readAll(fd, block, size, capacity);
}

std::size_t expectedSize(int fd) {
    const std::int64_t size = platform::fileSize(fd);
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

} // namespace

WholeFile WholeFile::read(const std::string& name, FileAccess access) {
    WholeFile file;
    const platform::OpenResult opened =
        platform::openFile(name, platform::OpenMode::RegularForReading);
    if (!opened.file.isOpen()) {
        file.error_ = opened.error;
        return file;
    }
    const int fd = opened.file.get();
    const std::size_t capacity = expectedSize(fd);
    if (access == FileAccess::MapWherePossible && capacity > 0) {
        platform::MapResult mapping = platform::mapForReading(fd, capacity);
        if (mapping.error == 0) {
            file.mapped_ = std::move(mapping.bytes);
            file.size_ = capacity;
            return file;
        }
    }
    file.error_ = platform::resizeLargeBlock(file.copy_, capacity)
                      ? readInto(fd, file.copy_, file.size_, capacity)
                      : ENOMEM;
    return file;
}

bool WholeFile::shrankWhileMapped() const {
    return mapped_ && platform::mappedFileShrank();
}

} // namespace shell::builtins
