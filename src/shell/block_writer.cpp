#include "shell/block_writer.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "shell/host_hints.h"

namespace shell {

namespace {

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 20;
constexpr std::uint64_t WRITEBACK_STEP = std::uint64_t{32} << 20;
constexpr std::string_view LINE_END = "\r\n";

void writeBlock(BlockWriter& writer, const char* data, std::size_t size) {
    if (writer.error != 0) {
        return;
    }
    if (const int error = writeReplacement(*writer.file, data, size); error != 0) {
        writer.error = error;
        return;
    }
    writer.written += size;
    if (writer.written - writer.syncedTo >= WRITEBACK_STEP) {
        startWriteback(writer.file->fd, writer.syncedTo, writer.written - writer.syncedTo);
        writer.syncedTo = writer.written;
    }
}

void writeHandedBlocks(BlockWriter& writer) {
    std::unique_lock<std::mutex> held(writer.lock);
    for (;;) {
        writer.changed.wait(held, [&] { return writer.handed != nullptr || writer.closing; });
        if (writer.handed == nullptr) {
            return;
        }
        held.unlock();
        writeBlock(writer, writer.handed, writer.handedSize);
        held.lock();
        writer.handed = nullptr;
        writer.changed.notify_all();
    }
}

// Hands `data` to the writing thread once it has finished the block before, which frees that
// block for filling again.
void hand(BlockWriter& writer, const char* data, std::size_t size) {
    if (!writer.thread.joinable()) {
        writeBlock(writer, data, size);
        return;
    }
    std::unique_lock<std::mutex> held(writer.lock);
    writer.changed.wait(held, [&] { return writer.handed == nullptr; });
    writer.handed = data;
    writer.handedSize = size;
    writer.changed.notify_all();
}

void handFillingBlock(BlockWriter& writer) {
    if (writer.used > 0) {
        hand(writer, writer.blocks[writer.filling].get(), writer.used);
        writer.filling = 1 - writer.filling;
        writer.used = 0;
    }
}

} // namespace

int startBlockWriter(BlockWriter& writer, const Replacement& file) {
    writer.file = &file;
    for (LargeBlock<char>& block : writer.blocks) {
        if (!resizeLargeBlock(block, BLOCK_SIZE)) {
            return ENOMEM;
        }
    }
    try {
        writer.thread = std::thread([&writer] { writeHandedBlocks(writer); });
    } catch (const std::system_error&) {
        // Without a second thread every block is written as soon as it is full.
    }
    return 0;
}

void putLine(BlockWriter& writer, const char* line, std::size_t length) {
    if (writer.used + length + LINE_END.size() > BLOCK_SIZE) {
        handFillingBlock(writer);
        if (length + LINE_END.size() > BLOCK_SIZE) {
            // The sorted text stays in place until the end, so a line too long for a block can
            // go out from where it is.
            hand(writer, line, length);
            length = 0;
        }
    }
    char* const into = writer.blocks[writer.filling].get() + writer.used;
    std::memcpy(into, line, length);
    std::memcpy(into + length, LINE_END.data(), LINE_END.size());
    writer.used += length + LINE_END.size();
}

int finishBlockWriter(BlockWriter& writer) {
    handFillingBlock(writer);
    if (writer.thread.joinable()) {
        {
            std::unique_lock<std::mutex> held(writer.lock);
            writer.changed.wait(held, [&] { return writer.handed == nullptr; });
            writer.closing = true;
            writer.changed.notify_all();
        }
        writer.thread.join();
    }
    return writer.error;
}

} // namespace shell
