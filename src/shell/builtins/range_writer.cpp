#include "shell/builtins/range_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/host_hints.h"
#include "platform/positioned_io.h"

namespace shell::builtins {

namespace {

constexpr std::uint64_t WRITEBACK_STEP = std::uint64_t{32} << 20;
constexpr std::size_t RANGE_BLOCK = RangeWriter::LOAD + RangeWriter::LOAD / 2;

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

bool RangeWriter::makeRoomFor(std::size_t length) {
    if ((block_.capacity() == 0 && !block_.reserve(RANGE_BLOCK)) ||
        !lines::roomForLine(block_, length)) {
        error_ = ENOMEM;
        return false;
    }
    return true;
}

int RangeWriter::finish() {
    sendLoad(block_.used());
    return error_;
}

} // namespace shell::builtins
