#pragma once

// Sorted lines gathered into large blocks, which a thread of their own writes out while the
// sorting thread goes on merging into the next block.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "shell/atomic_file.h"
#include "shell/large_block.h"

namespace shell {

struct BlockWriter {
    const Replacement* file = nullptr;
    LargeBlock<char> blocks[2];
    int filling = 0;      // the block that lines go into
    std::size_t used = 0; // bytes of it taken
    std::atomic<int> error{0};

    // Handing a block over to the writing thread.
    std::mutex lock;
    std::condition_variable changed;
    const char* handed = nullptr; // waiting to be written, or being written
    std::size_t handedSize = 0;
    bool closing = false;
    std::thread thread; // not running when no second thread could be had

    std::uint64_t written = 0;  // bytes written so far; writing thread only
    std::uint64_t syncedTo = 0; // bytes whose writeback has been started; writing thread only
};

// Returns 0, or ENOMEM when the blocks cannot be had.
int startBlockWriter(BlockWriter& writer, const Replacement& file);

// Adds the line followed by CR LF.
void putLine(BlockWriter& writer, const char* line, std::size_t length);

// Writes what is left and stops the writing thread. Returns 0 or the first write error.
int finishBlockWriter(BlockWriter& writer);

} // namespace shell
