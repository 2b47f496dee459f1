#pragma once

// Sorted lines gathered into large blocks and written at their place in the output file, so that
// two threads can each write their own part of one file.

#include <cstddef>
#include <cstdint>

#include "lines/write_block.h"

namespace shell::builtins {

// The writer of one part of a file, from a given offset on. Its lines are gathered by the rule of
// write_block.h, in loads of a quarter of the size (range_writer.cpp).
class RangeWriter {
  public:
    RangeWriter(int fd, std::uint64_t offset) : fd_(fd), offset_(offset), syncedTo_(offset) {}

    // Adds the line followed by CR LF.
    void putLine(const char* line, std::size_t length);

    // Whether a line could not be written (or held, for want of memory): no further line will be.
    bool hasFailed() const noexcept { return error_ != 0; }

    // Writes what is left. Returns 0 or the first error.
    int finish();

  private:
    int fd_;                 // borrowed from the file's owner
    std::uint64_t offset_;   // where the next load goes in the file
    std::uint64_t syncedTo_; // the writeback of the file up to here has been started
    lines::WriteBlock block_;
    int error_ = 0; // the first failure; nothing more is written after it

    // Writes the first `count` bytes of the block at offset_, and drops them from the block.
    void sendLoad(std::size_t count);
};

} // namespace shell::builtins
