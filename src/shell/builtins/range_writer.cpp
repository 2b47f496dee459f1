#include "shell/builtins/range_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/host_hints.h"
#include "platform/positioned_io.h"
#include "records/line_end.h"

namespace shell::builtins {

namespace {

using records::LINE_END;
using records::WRITE_BLOCK_SIZE;

constexpr std::uint64_t WRITEBACK_STEP = std::uint64_t{32} << 20;

void writeOut(RangeWriter& writer, const char* data, std::size_t size) {
    if (writer.error != 0) {
        return;
    }
    writer.error = platform::writeAllAt(writer.fd, data, size, writer.offset);
    writer.offset += size;
    if (writer.offset - writer.syncedTo >= WRITEBACK_STEP) {
        platform::startWriteback(writer.fd, writer.syncedTo, writer.offset - writer.syncedTo);
        writer.syncedTo = writer.offset;
    }
}

void writeBlock(RangeWriter& writer) {
    writeOut(writer, writer.block.data(), writer.block.used());
    writer.block.cut(0);
}

} // namespace

int startRangeWriter(RangeWriter& writer, int fd, std::uint64_t offset) {
    writer.fd = fd;
    writer.offset = offset;
    writer.syncedTo = offset;
    return writer.block.reserve(WRITE_BLOCK_SIZE) ? 0 : ENOMEM;
}

void putLine(RangeWriter& writer, const char* line, std::size_t length) {
    // The block holds at least WRITE_BLOCK_SIZE bytes once started; the bound is the constant
    // rather than the capacity, which would cost this hot path a load.
    if (writer.block.used() + length + LINE_END.size() > WRITE_BLOCK_SIZE) {
        writeBlock(writer);
        if (length + LINE_END.size() > WRITE_BLOCK_SIZE) {
            // A line too long for a block goes out from where it is.
            writeOut(writer, line, length);
            length = 0;
        }
    }
    char* const into = writer.block.end();
    std::memcpy(into, line, length);
    std::memcpy(into + length, LINE_END.data(), LINE_END.size());
    writer.block.commit(length + LINE_END.size());
}

int finishRangeWriter(RangeWriter& writer) {
    writeBlock(writer);
    return writer.error;
}

} // namespace shell::builtins
