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
RangeRead readInHalves(int fd, WholeFile& file, std::size_t size) {
    const std::size_t middle = size / 2;
    RangeRead first;
    RangeRead second;
    runBoth([&] { first = readRange(fd, file.bytes.get(), 0, middle); },
            [&] { second = readRange(fd, file.bytes.get(), middle, size); });
    if (first.error != 0 || second.error != 0) {
        return {false, first.error != 0 ? first.error : second.error};
    }
    if (!first.complete || !second.complete) {
        return {};
    }
    file.size = size;
    const int error = platform::seekTo(fd, size);
    return {error == 0, error};
}

// Reads until the end of the stream, growing the block only when a read finds more bytes than
// it holds.
int readAll(int fd, WholeFile& file, std::size_t capacity) {
    for (;;) {
        if (file.size == capacity) {
            char probe = 0;
            const platform::ReadResult got = platform::readSome(fd, &probe, 1);
            if (got.error != 0 || got.count == 0) {
                return got.error;
            }
            capacity = capacity < SMALLEST_GROWN_BLOCK / 2 ? SMALLEST_GROWN_BLOCK : capacity * 2;
            if (!platform::resizeLargeBlock(file.bytes, capacity)) {
                return ENOMEM;
            }
            file.bytes.get()[file.size++] = probe;
        }
        const platform::ReadResult got =
            platform::readSome(fd, file.bytes.get() + file.size, capacity - file.size);
        if (got.error != 0 || got.count == 0) {
            return got.error;
        }
        file.size += got.count;
    }
}

int readInto(int fd, WholeFile& file, std::size_t capacity) {
    if (capacity >= READ_IN_HALVES_FROM) {
        const RangeRead halves = readInHalves(fd, file, capacity);
        if (halves.error != 0) {
            return halves.error;
        }
        if (!halves.complete) {
            // The file shrank while it was read: read it again from the start, as it is now.
            file.size = 0;
            if (const int error = platform::seekTo(fd, 0); error != 0) {
                return error;
            }
        }
    }
    // All of a smaller file, or whatever a large one has gained since it was measured.
    return readAll(fd, file, capacity);
}

std::size_t expectedSize(int fd) {
    const std::int64_t size = platform::fileSize(fd);
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

enum class Access { Copy, MapWherePossible };

WholeFile wholeFile(const std::string& name, Access access) {
    WholeFile file;
    const platform::OpenResult opened =
        platform::openFile(name, platform::OpenMode::RegularForReading);
    if (!opened.file.isOpen()) {
        file.error = opened.error;
        return file;
    }
    const int fd = opened.file.get();
    const std::size_t capacity = expectedSize(fd);
    if (access == Access::MapWherePossible && capacity > 0) {
        platform::MapResult mapping = platform::mapForReading(fd, capacity);
        if (mapping.error == 0) {
            file.mapped = std::move(mapping.bytes);
            file.data = file.mapped.get();
            file.size = capacity;
            return file;
        }
    }
    file.error =
        platform::resizeLargeBlock(file.bytes, capacity) ? readInto(fd, file, capacity) : ENOMEM;
    file.data = file.bytes.get();
    return file;
}

} // namespace

WholeFile readWholeFile(const std::string& name) {
    return wholeFile(name, Access::Copy);
}

WholeFile mapWholeFile(const std::string& name) {
    return wholeFile(name, Access::MapWherePossible);
}

bool lostBytes(const WholeFile& file) {
    return file.mapped && platform::mappedFileShrank();
}

} // namespace shell::builtins
