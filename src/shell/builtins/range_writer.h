#pragma once

// Sorted lines gathered into large blocks and written at their place in the output file, so that
// two threads can each write their own part of one file.

#include <cstdint>

#include "records/write_block.h"

namespace shell::builtins {

struct RangeWriter {
    int fd = -1;
    std::uint64_t offset = 0;   // where the next block goes in the file
    std::uint64_t syncedTo = 0; // the writeback of the file up to here has been started
    records::WriteBlock block;
    int error = 0; // the first write error; nothing more is written after it
};

// Prepares to write into `fd` from `offset` on. Returns 0, or ENOMEM when no block can be had.
int startRangeWriter(RangeWriter& writer, int fd, std::uint64_t offset);

// Adds the line followed by CR LF.
void putLine(RangeWriter& writer, const char* line, std::size_t length);

// Writes what is left. Returns 0 or the first write error.
int finishRangeWriter(RangeWriter& writer);

} // namespace shell::builtins
