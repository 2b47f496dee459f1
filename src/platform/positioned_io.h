#pragma once

// Reading and writing at a given place in an open file, so that several threads can each work on
// their own part of one file without sharing its offset.

#include <cstddef>
#include <cstdint>

namespace platform {

struct RangeRead {
    bool complete = false; // false when the file ended before the range did
    int error = 0;         // 0, or the host's error number
};

// Fills `into` with the `size` bytes of the file that start at `offset`.
RangeRead readAt(int fd, char* into, std::size_t size, std::uint64_t offset);

// Writes all of `data` at `offset`, retrying short writes. Returns 0 or the error.
int writeAllAt(int fd, const char* data, std::size_t size, std::uint64_t offset);

// Moves the file's own offset, which readSome goes on from. Returns 0 or the error.
int seekTo(int fd, std::uint64_t offset);

} // namespace platform
