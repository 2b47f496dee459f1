#pragma once

// Sorting the lines of a text held in memory, in ascending unsigned byte order of the whole line.
// Each line is an entry of its position, its length and eight of its bytes as one number, so that
// most comparisons are one comparison of numbers and the text itself is never moved.

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "platform/large_block.h"

namespace shell::builtins {

// Offset is std::uint32_t for texts under 4 GiB (16 bytes an entry), else std::uint64_t.
template <class Offset> struct LineEntry {
    std::uint64_t key; // eight bytes of the line from the depth last sorted on, zero past its end
    Offset start;
    Offset length; // without the line end
};

// The entries of the lines of a text, in one large block. Moved, never copied.
template <class Offset> class LineTable {
  public:
    // Room for `count` entries, their values not yet set. Returns false, leaving the table as it
    // was, when there is no memory for them.
    [[nodiscard]] bool resize(std::size_t count) {
        if (!platform::resizeLargeBlock(entries_, count)) {
            return false;
        }
        count_ = count;
        return true;
    }

    std::span<LineEntry<Offset>> lines() noexcept { return {entries_.get(), count_}; }
    std::span<const LineEntry<Offset>> lines() const noexcept { return {entries_.get(), count_}; }

  private:
    platform::LargeBlock<LineEntry<Offset>> entries_;
    std::size_t count_ = 0;
};

template <class Offset> struct SortedHalves {
    LineTable<Offset> table;
    std::size_t middle = 0; // where the second sorted half begins
};

// The lines of `text` in two sorted halves, the lines of the first and of the second half of the
// text, each taken and sorted on a processor of its own; merging them gives the sorted text. A
// line ends at LF, a CR directly before the LF is part of the line end, and a last line without
// LF is still a line.
// Throws std::bad_alloc when the table does not fit in memory.
template <class Offset> SortedHalves<Offset> sortInHalves(std::string_view text);

// Lines lie all over the text in sorted order; asking for one a few steps ahead hides most of the
// wait for memory.
inline constexpr std::size_t PREFETCH_DISTANCE = 16;

template <class Offset> void prefetchLine(const char* text, const LineEntry<Offset>& line) {
    __builtin_prefetch(text + line.start);
    __builtin_prefetch(text + line.start + line.length);
}

// Whether line a sorts before line b: in unsigned byte order, a line that is a prefix of another
// first. Lines known to agree on their first `depth` bytes are compared from there on.
template <class Offset>
bool lineBefore(const char* text, const LineEntry<Offset>& a, const LineEntry<Offset>& b,
                std::size_t depth = 0) {
    const std::size_t common = a.length < b.length ? a.length : b.length;
    const int order = common <= depth ? 0
                                      : std::memcmp(text + a.start + depth, text + b.start + depth,
                                                    common - depth);
    return order < 0 || (order == 0 && a.length < b.length);
}

} // namespace shell::builtins
