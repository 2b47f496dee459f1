#include "records/write_behind.h"

#include <cstring>
#include <system_error>

#include "platform/files.h"

namespace records {

bool startWriteBehind(WriteBehind& behind, int fd) {
    behind.fd = fd;
    const auto writeBlocks = [&behind] {
        std::unique_lock lock(behind.mutex);
        for (;;) {
            behind.changed.wait(lock, [&] { return behind.size > 0 || behind.stopping; });
            if (behind.size == 0) {
                return;
            }
            lock.unlock();
            const int error = platform::writeAll(behind.fd, behind.block.data(), behind.size);
            lock.lock();
            behind.error = error;
            behind.size = 0;
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

int handOver(WriteBehind& behind, std::vector<char>& output, std::size_t count, std::size_t keep) {
    std::unique_lock lock(behind.mutex);
    behind.changed.wait(lock, [&] { return behind.size == 0; });
    if (behind.error != 0) {
        return behind.error;
    }
    // The spare block comes back in the caller's place, so it is made as large as the caller's:
    // a spare block left larger by an earlier long record only shrinks in size, never in memory.
    behind.block.resize(output.size()); // may throw std::bad_alloc; nothing has changed yet
    std::swap(output, behind.block);
    std::memcpy(output.data(), behind.block.data() + count, keep);
    behind.size = count;
    behind.changed.notify_all();
    return 0;
}

WriteBehind::~WriteBehind() {
    if (writer.joinable()) {
        (void)finishWriteBehind(*this);
    }
}

int finishWriteBehind(WriteBehind& behind) {
    std::unique_lock lock(behind.mutex);
    behind.changed.wait(lock, [&] { return behind.size == 0; });
    behind.stopping = true;
    behind.changed.notify_all();
    lock.unlock();
    behind.writer.join();
    return behind.error;
}

} // namespace records
