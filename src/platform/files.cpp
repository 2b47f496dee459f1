#include "platform/files.h"

// What every host does alike with the calls of its own implementation file.

namespace platform {

int writeAll(int fd, const char* data, std::size_t size) {
    return writeEverything(data, size, [fd](const char* bytes, std::size_t count) {
        return writeSome(fd, bytes, count);
    });
}

} // namespace platform
