#pragma once

// Sorting the lines of a text held in memory, in ascending unsigned byte order of the whole line.
// Each line is an entry of where it lies and eight of its bytes as one number, so that most
// comparisons are one comparison of numbers and the text itself is never moved.

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "platform/large_block.h"

namespace shell::builtins {

// A line of any length. Offset is std::uint32_t for texts under 4 GiB (16 bytes an entry), else
// std::uint64_t.
template <class Offset> struct LineEntry {
    std::uint64_t key; // eight bytes of the line from the depth last sorted on, zero past its end
    Offset start;
    Offset length; // without the line end
};

// A line of a text whose lines all have one length and one line end, as every list that the
// program writes itself: where it lies follows from its number, so an entry takes 12 bytes. The
// key is kept in two halves so that the entry needs no more than 4-byte alignment.
struct NumberedLine {
    std::uint32_t keyHigh;
    std::uint32_t keyLow;
    std::uint32_t number;
};

template <class Offset> std::uint64_t keyOf(const LineEntry<Offset>& line) {
    return line.key;
}
template <class Offset> void setKey(LineEntry<Offset>& line, std::uint64_t key) {
    line.key = key;
}
inline std::uint64_t keyOf(const NumberedLine& line) {
    return std::uint64_t{line.keyHigh} << 32 | line.keyLow;
}
inline void setKey(NumberedLine& line, std::uint64_t key) {
    line.keyHigh = static_cast<std::uint32_t>(key >> 32);
    line.keyLow = static_cast<std::uint32_t>(key);
}

// How the entries of a table find their lines in the text. Each kind of lines answers where an
// entry's line begins and how long it is.
template <class Offset> struct AnyLengthLines {
    using Entry = LineEntry<Offset>;
    const char* text;

    const char* begin(const Entry& line) const { return text + line.start; }
    std::size_t length(const Entry& line) const { return line.length; }
};

struct OneLengthLines {
    using Entry = NumberedLine;
    const char* text;
    std::size_t lineLength;   // without the line end
    std::size_t stride;       // from one line's start to the next one's
    std::size_t keyedColumns; // two lines agree on these columns exactly when their keys are equal

    const char* begin(const Entry& line) const { return text + std::size_t{line.number} * stride; }
    std::size_t length(const Entry& /*line*/) const { return lineLength; }
};

// The entries of the lines of a text, in one large block. Moved, never copied.
template <class Entry> class LineTable {
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
    void clear() noexcept {
        entries_.reset();
        count_ = 0;
    }

    std::span<Entry> lines() noexcept { return {entries_.get(), count_}; }
    std::span<const Entry> lines() const noexcept { return {entries_.get(), count_}; }

  private:
    platform::LargeBlock<Entry> entries_;
    std::size_t count_ = 0;
};

// The lines of a text in two sorted runs; merging them gives the sorted text. When the lines all
// have one length and one line end, `numbered` holds them and `shape` tells where they lie; else
// `table` does.
template <class Offset> struct SortedHalves {
    LineTable<LineEntry<Offset>> table;
    LineTable<NumberedLine> numbered;
    OneLengthLines shape{};
    std::size_t middle = 0; // where the second sorted half begins
};

// The lines of `text` in two sorted halves, the lines of the first and of the second half of the
// text, each taken and sorted on a processor of its own. A line ends at LF, a CR directly before
// the LF is part of the line end, and a last line without LF is still a line.
// Throws std::bad_alloc when the table does not fit in memory.
template <class Offset> SortedHalves<Offset> sortInHalves(std::string_view text);

// Lines lie all over the text in sorted order; asking for one a few steps ahead hides most of the
// wait for memory.
inline constexpr std::size_t PREFETCH_DISTANCE = 16;

template <class Lines> void prefetchLine(const Lines& lines, const typename Lines::Entry& line) {
    const char* begin = lines.begin(line);
    __builtin_prefetch(begin);
    __builtin_prefetch(begin + lines.length(line));
}

// Whether line a sorts before line b: in unsigned byte order, a line that is a prefix of another
// first. Lines known to agree on their first `depth` bytes are compared from there on.
template <class Lines>
bool lineBefore(const Lines& lines, const typename Lines::Entry& a, const typename Lines::Entry& b,
                std::size_t depth = 0) {
    const std::size_t aLength = lines.length(a);
    const std::size_t bLength = lines.length(b);
    const std::size_t common = aLength < bLength ? aLength : bLength;
    const int order = common <= depth ? 0
                                      : std::memcmp(lines.begin(a) + depth, lines.begin(b) + depth,
                                                    common - depth);
    return order < 0 || (order == 0 && aLength < bLength);
}

// The same order for lines of one length, told by their keys first (one_length_sort.h).
inline bool lineBefore(const OneLengthLines& lines, const NumberedLine& a, const NumberedLine& b,
                       std::size_t depth = 0) {
    if (depth < lines.keyedColumns) {
        const std::uint64_t aKey = keyOf(a);
        const std::uint64_t bKey = keyOf(b);
        if (aKey != bKey) {
            return aKey < bKey;
        }
        depth = lines.keyedColumns;
    }
    return depth < lines.lineLength && std::memcmp(lines.begin(a) + depth, lines.begin(b) + depth,
                                                   lines.lineLength - depth) < 0;
}

} // namespace shell::builtins
