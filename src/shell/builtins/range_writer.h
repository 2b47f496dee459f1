#pragma once

// Sorted lines gathered into large blocks and written at their place in the output file, so that
// two threads can each write their own part of one file.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lines/write_block.h"

namespace shell::builtins {

// The writer of one part of a file, from a given offset on. Its lines are gathered by the rule of
// write_block.h, in loads of LOAD bytes.
class RangeWriter {
  public:
    // A load is sent once the block passes this size, so the block holds it and one more line of
    // usual length. Smaller than the record files' loads: the sort holds the whole list and its
    // table already, and a write of this size costs no more per byte.
    static constexpr std::size_t LOAD = std::size_t{256} << 10;
    static constexpr std::size_t BLOCK = LOAD + LOAD / 2;

    RangeWriter(int fd, std::uint64_t offset) : fd_(fd), offset_(offset), syncedTo_(offset) {}

    // Adds the line followed by CR LF. Inline, as the sort's merge calls it for every line.
    void putLine(const char* line, std::size_t length) {
        if ((block_.capacity() == 0 && !block_.reserve(BLOCK)) ||
            !lines::roomForLine(block_, length)) {
            error_ = ENOMEM;
            return;
        }
        std::memcpy(block_.end(), line, length);
        if (const std::size_t load = lines::endLine(block_, length); block_.used() > LOAD) {
            sendLoad(load);
        }
    }

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
