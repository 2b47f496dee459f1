#include "lines/write_behind.h"

#include <system_error>

#include "platform/files.h"

namespace lines {

bool WriteBehind::start(int fd) {
    fd_ = fd;
    try {
        writer_ = std::thread([this] { writeBlocks(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WriteBehind::writeBlocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return block_.used() > 0 || stopping_; });
        if (block_.used() == 0) {
            return;
        }
        const char* const bytes = block_.data();
        const std::size_t count = block_.used();
        lock.unlock();
        const int error = platform::writeAll(fd_, bytes, count);
        lock.lock();
        error_ = error;
        block_.cut(0);
        changed_.notify_all();
    }
}

HandOverResult WriteBehind::handOver(WriteBlock& output, std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return block_.used() == 0; });
    if (error_ != 0) {
        return {error_, false};
    }
    // The spare block comes back in the caller's place, so it is made as large as the caller's;
    // nothing has changed yet when it cannot be.
    if (!block_.reserve(output.capacity())) {
        return {0, true};
    }
    output.swap(block_);
    output.append(block_.data() + count, block_.used() - count);
    block_.cut(count);
    changed_.notify_all();
    return {};
}

WriteBehind::~WriteBehind() {
    if (writer_.joinable()) {
        (void)finish();
    }
}

int WriteBehind::finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return block_.used() == 0; });
    stopping_ = true;
    changed_.notify_all();
    lock.unlock();
    writer_.join();
    return error_;
}

} // namespace lines
