#include "lines/write_behind.h"

#include <system_error>

#include "platform/files.h"

namespace lines {

bool startWriteBehind(WriteBehind& behind, int fd) {
    behind.fd = fd;
    const auto writeBlocks = [&behind] {
        std::unique_lock lock(behind.mutex);
        for (;;) {
            behind.changed.wait(lock, [&] { return behind.block.used() > 0 || behind.stopping; });
            if (behind.block.used() == 0) {
                return;
            }
            const char* const bytes = behind.block.data();
            const std::size_t count = behind.block.used();
            lock.unlock();
            const int error = platform::writeAll(behind.fd, bytes, count);
            lock.lock();
            behind.error = error;
            behind.block.cut(0);
            behind.changed.notify_all();
        }
    };
    try {
        behind.writer = std::thread(writeBlocks);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

HandOverResult handOver(WriteBehind& behind, WriteBlock& output, std::size_t count) {
    std::unique_lock lock(behind.mutex);
    behind.changed.wait(lock, [&] { return behind.block.used() == 0; });
    if (behind.error != 0) {
        return {behind.error, false};
    }
    // The spare block comes back in the caller's place, so it is made as large as the caller's;
    // nothing has changed yet when it cannot be.
    if (!behind.block.reserve(output.capacity())) {
        return {0, true};
    }
    swap(output, behind.block);
    output.append(behind.block.data() + count, behind.block.used() - count);
    behind.block.cut(count);
    behind.changed.notify_all();
    return {};
}

WriteBehind::~WriteBehind() {
    if (writer.joinable()) {
        (void)finishWriteBehind(*this);
    }
}

int finishWriteBehind(WriteBehind& behind) {
    std::unique_lock lock(behind.mutex);
    behind.changed.wait(lock, [&] { return behind.block.used() == 0; });
    behind.stopping = true;
    behind.changed.notify_all();
    lock.unlock();
    behind.writer.join();
    return behind.error;
}

} // namespace lines
