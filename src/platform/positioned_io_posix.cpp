#include <unistd.h>

#include "platform/files.h"
#include "platform/host_call_posix.h"
#include "platform/positioned_io.h"

namespace platform {

RangeRead readAt(int fd, char* into, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ReadResult got = bytesMoved<ReadResult>(
            [&] { return ::pread(fd, into, size, static_cast<off_t>(offset)); });
        if (got.error != 0 || got.count == 0) {
            return {false, got.error};
        }
        into += got.count;
        size -= got.count;
        offset += got.count;
    }
    return {true, 0};
}

int writeAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    return writeEverything(data, size, [fd, &offset](const char* bytes, std::size_t count) {
        const WriteResult put = bytesMoved<WriteResult>(
            [&] { return ::pwrite(fd, bytes, count, static_cast<off_t>(offset)); });
        offset += put.count;
        return put;
    });
}

int seekTo(int fd, std::uint64_t offset) {
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
}

} // namespace platform
