#include "shell/builtins/range_writer.h"

#include <cerrno>

#include "platform/host_hints.h"
#include "platform/positioned_io.h"
#include "records/line_end.h"

namespace shell::builtins {

namespace {

using records::LINE_END;

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
    return writer.block.reserve(records::WRITE_BLOCK_SIZE) ? 0 : ENOMEM;
}

void putLine(RangeWriter& writer, const char* line, std::size_t length) {
    const std::size_t capacity = writer.block.capacity();
    if (writer.block.used() + length + LINE_END.size() > capacity) {
        writeBlock(writer);
        if (length + LINE_END.size() > capacity) {
            // A line too long for a block goes out from where it is.
            writeOut(writer, line, length);
            length = 0;
        }
    }
    writer.block.append(line, length);
    writer.block.append(LINE_END.data(), LINE_END.size());
}

int finishRangeWriter(RangeWriter& writer) {
    writeBlock(writer);
    return writer.error;
}

} // namespace shell::builtins
