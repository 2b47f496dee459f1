#include "platform/files.h"

// What every host does alike with the calls of its own implementation file.

namespace platform {

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const WriteResult put = writeSome(fd, data, size);
        if (put.error != 0) {
            return put.error;
        }
        if (put.count == 0) {
            return NOTHING_WRITTEN; // retried, it would loop for ever
        }
        data += put.count;
        size -= put.count;
    }
    return 0;
}

} // namespace platform
