#include "shell/builtins/range_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/host_hints.h"
#include "platform/positioned_io.h"
#include "records/line_end.h"

namespace shell::builtins {

namespace {

using records::LINE_END;

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 20;
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
    writeOut(writer, writer.block.get(), writer.used);
    writer.used = 0;
}

} // namespace

int startRangeWriter(RangeWriter& writer, int fd, std::uint64_t offset) {
    writer.fd = fd;
    writer.offset = offset;
    writer.syncedTo = offset;
    return platform::resizeLargeBlock(writer.block, BLOCK_SIZE) ? 0 : ENOMEM;
}

void putLine(RangeWriter& writer, const char* line, std::size_t length) {
    if (writer.used + length + LINE_END.size() > BLOCK_SIZE) {
        writeBlock(writer);
        if (length + LINE_END.size() > BLOCK_SIZE) {
            // A line too long for a block goes out from where it is.
            writeOut(writer, line, length);
            length = 0;
        }
    }
    char* const into = writer.block.get() + writer.used;
    std::memcpy(into, line, length);
    std::memcpy(into + length, LINE_END.data(), LINE_END.size());
    writer.used += length + LINE_END.size();
}

int finishRangeWriter(RangeWriter& writer) {
    writeBlock(writer);
    return writer.error;
}

} // namespace shell::builtins
