#include "shell/builtins/range_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/host_hints.h"
#include "platform/positioned_io.h"

namespace shell::builtins {

namespace {

constexpr std::uint64_t WRITEBACK_STEP = std::uint64_t{32} << 20;
// Loads smaller than those of the record files: the sort holds the whole list and its table
// already, and a write of this size costs no more per byte. A load is sent once it passes this
// size, so the block holds it and one more line of usual length.
constexpr std::size_t RANGE_LOAD = std::size_t{256} << 10;
constexpr std::size_t RANGE_BLOCK = RANGE_LOAD + RANGE_LOAD / 2;

} // namespace

void RangeWriter::sendLoad(std::size_t count) {
    if (count == 0) {
        return;
    }
    if (error_ == 0) {
        error_ = platform::writeAllAt(fd_, block_.data(), count, offset_);
        offset_ += count;
        if (offset_ - syncedTo_ >= WRITEBACK_STEP) {
            platform::startWriteback(fd_, syncedTo_, offset_ - syncedTo_);
            syncedTo_ = offset_;
        }
    }
    block_.dropFront(count);
}

void RangeWriter::putLine(const char* line, std::size_t length) {
    if ((block_.capacity() == 0 && !block_.reserve(RANGE_BLOCK)) ||
        !lines::roomForLine(block_, length)) {
        error_ = ENOMEM;
        return;
    }
    std::memcpy(block_.end(), line, length);
    if (const std::size_t load = lines::endLine(block_, length); block_.used() > RANGE_LOAD) {
        sendLoad(load);
    }
}

int RangeWriter::finish() {
    sendLoad(block_.used());
    return error_;
}

} // namespace shell::builtins
