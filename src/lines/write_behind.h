#pragma once

// Blocks of a file's output written by a thread of their own while the caller makes the next
// block: the copy into the host's file cache costs about as much as making the records, and the
// two go on side by side.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "lines/write_block.h"

namespace lines {

// What became of a hand-over: nothing went wrong, or a write of an earlier block failed, or there
// was no memory for a block as large as the caller's.
struct HandOverResult {
    int writeError = 0;
    bool outOfMemory = false;
};

// The writer of one file. Its state is shared with the writer thread and is touched only under
// its mutex.
class WriteBehind {
  public:
    WriteBehind() = default;
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;
    // A file given up without its close still lets its writer end.
    ~WriteBehind();

    // Starts the writer for `fd`. Returns false when no thread can be had; the caller writes
    // itself.
    bool start(int fd);

    // Waits for the block before, then hands over the first `count` bytes of `output` to be
    // written and gives back in `output` a block at least as large that holds the bytes that
    // followed them. Nothing is handed over after a failure.
    HandOverResult handOver(WriteBlock& output, std::size_t count);

    // Waits for the last block and ends the writer. Returns 0 or the first write error.
    int finish();

  private:
    // The writer thread's loop: writes each block handed over until it is told to stop.
    void writeBlocks();

    int fd_ = -1; // borrowed from the file's owner, which outlives this writer
    std::mutex mutex_;
    std::condition_variable changed_;
    WriteBlock block_; // its bytes used are still to be written; none while the writer is idle
    int error_ = 0;    // the first write error; nothing is written after it
    bool stopping_ = false;
    std::thread writer_;
};

} // namespace lines
