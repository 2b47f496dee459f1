#pragma once

// The block in which output is gathered before it is written, shared by the record files and the
// built-in commands, and the one rule by which the program's buffered writers of lines fill it.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

#include "lines/line_end.h"

namespace lines {

// Large enough that a write costs little beside the copy of its bytes into the host's file cache,
// small enough to stay in the processor's cache while it is filled.
inline constexpr std::size_t WRITE_BLOCK_SIZE = std::size_t{1} << 20;

// Bytes gathered at the front of a block of memory. The bytes used never pass the capacity.
class WriteBlock {
  public:
    WriteBlock() = default;
    WriteBlock(WriteBlock&& other) noexcept { swap(other); }
    WriteBlock& operator=(WriteBlock&& other) noexcept {
        swap(other);
        return *this;
    }

    // Makes the capacity at least `bytes`, keeping the bytes used. Returns false, leaving the
    // block as it was, when there is no memory for it.
    [[nodiscard]] bool reserve(std::size_t bytes) noexcept;

    char* data() noexcept { return bytes_.get(); }
    std::size_t capacity() const noexcept { return capacity_; }
    std::size_t used() const noexcept { return used_; }
    // Where the next bytes go: the first byte not used.
    char* end() noexcept { return bytes_.get() + used_; }

    // Counts `count` bytes that the caller has put at end() as used.
    void commit(std::size_t count) noexcept {
        assert(count <= capacity_ - used_);
        used_ += count;
    }
    void append(const char* from, std::size_t count) noexcept {
        assert(count <= capacity_ - used_);
        std::memcpy(end(), from, count);
        used_ += count;
    }
    // Keeps only the first `count` bytes used.
    void cut(std::size_t count) noexcept {
        assert(count <= used_);
        used_ = count;
    }
    // Drops the first `count` bytes used and moves the rest to the front.
    void dropFront(std::size_t count) noexcept;

    // Trades bytes, capacity and bytes used with `other`.
    void swap(WriteBlock& other) noexcept {
        bytes_.swap(other.bytes_);
        std::swap(capacity_, other.capacity_);
        std::swap(used_, other.used_);
    }

  private:
    std::unique_ptr<char[]> bytes_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
};

// The rule of every buffered writer of lines (the record files, the sort's range writers): lines
// are gathered in a block, and the lines before the one that passes WRITE_BLOCK_SIZE go out as one
// load, a write of at most that size unless a single line is longer. The line that passed stays
// behind as the start of the next load; the block grows to hold a line of any length.

// The capacity of a block of lines: a full load and a line that passes it, unless that line is
// longer than half a load.
inline constexpr std::size_t LINE_BLOCK_CAPACITY = WRITE_BLOCK_SIZE + WRITE_BLOCK_SIZE / 2;

// Grows `block` to hold `bytes`: to LINE_BLOCK_CAPACITY, or as large as a longer line needs.
[[nodiscard]] bool growForLine(WriteBlock& block, std::size_t bytes) noexcept;

// Makes room at the end of `block` for `count` lines of at most `width` bytes, each with its line
// end, one after the other; false when the block cannot grow to hold them. At most a load's worth
// at once, so that a load stays within WRITE_BLOCK_SIZE. The first line goes at block.end().
[[nodiscard]] inline bool roomForLines(WriteBlock& block, std::size_t count,
                                       std::size_t width) noexcept {
    assert(count * writtenSize(width) <= WRITE_BLOCK_SIZE || count == 1);
    const std::size_t room = block.used() + count * writtenSize(width);
    return block.capacity() >= room || growForLine(block, room);
}

[[nodiscard]] inline bool roomForLine(WriteBlock& block, std::size_t width) noexcept {
    return roomForLines(block, 1, width);
}

// Whether the lines ended have passed WRITE_BLOCK_SIZE, so that a load goes out.
inline bool loadIsFull(const WriteBlock& block) noexcept {
    return block.used() > WRITE_BLOCK_SIZE;
}

// Ends `count` lines of `length` bytes, put at block.end() each writtenSize(length) bytes after
// the one before, with LINE_END, whatever the bytes between them held. Returns the bytes
// before the first of them that passes WRITE_BLOCK_SIZE: a full load to send from the front of the
// block, once loadIsFull.
inline std::size_t endLines(WriteBlock& block, std::size_t count, std::size_t length) noexcept {
    const std::size_t stride = writtenSize(length);
    char* const first = block.end();
    for (std::size_t line = 0; line < count; ++line) {
        std::memcpy(first + line * stride + length, LINE_END.data(), LINE_END.size());
    }
    const std::size_t before = block.used();
    block.commit(count * stride);
    if (count == 1 || !loadIsFull(block)) {
        return before;
    }
    const std::size_t fitting =
        before < WRITE_BLOCK_SIZE ? (WRITE_BLOCK_SIZE - before) / stride : 0;
    return before + std::min(fitting, count - 1) * stride;
}

inline std::size_t endLine(WriteBlock& block, std::size_t length) noexcept {
    return endLines(block, 1, length);
}

} // namespace lines
