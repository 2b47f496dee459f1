#include "shell/builtins/range_writer.h"

#include "platform/host_hints.h"
#include "platform/positioned_io.h"

namespace shell::builtins {

namespace {

constexpr std::uint64_t WRITEBACK_STEP = std::uint64_t{32} << 20;

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

int RangeWriter::finish() {
    sendLoad(block_.used());
    return error_;
}

} // namespace shell::builtins
