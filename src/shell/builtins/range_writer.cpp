#include "shell/builtins/range_writer.h"

#include <cerrno>
#include <cstring>

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

void putLine(RangeWriter& writer, const char* line, std::size_t length) {
    if (!lines::roomForLine(writer.block_, length)) {
        writer.error_ = ENOMEM;
        return;
    }
    std::memcpy(writer.block_.end(), line, length);
    if (const std::size_t load = lines::endLine(writer.block_, length);
        lines::loadIsFull(writer.block_)) {
        writer.sendLoad(load);
    }
}

int finishRangeWriter(RangeWriter& writer) {
    writer.sendLoad(writer.block_.used());
    return writer.error_;
}

} // namespace shell::builtins
