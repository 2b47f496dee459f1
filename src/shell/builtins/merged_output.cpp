#include "shell/builtins/merged_output.h"

#include <algorithm>

#include "lines/line_end.h"
#include "shell/builtins/parallel.h"
#include "shell/builtins/range_writer.h"

namespace shell::builtins {

namespace {

constexpr std::uint64_t LINE_END_BYTES = lines::LINE_END.size();

template <class Offset> struct Halves {
    std::span<const LineEntry<Offset>> left;
    std::span<const LineEntry<Offset>> right;
};

// Splits the two sorted runs where the first `count` lines of their merge end: the merge of the
// two front parts is exactly those lines. Equal lines are equal bytes, so it does not matter from
// which run they come.
template <class Offset>
std::pair<Halves<Offset>, Halves<Offset>> splitMergeAt(const char* text, Halves<Offset> runs,
                                                       std::size_t count) {
    const std::size_t leftSize = runs.left.size();
    std::size_t low = count > runs.right.size() ? count - runs.right.size() : 0;
    std::size_t high = std::min(count, leftSize);
    // The smallest share of the left run whose next line does not come before the last line taken
    // from the right run.
    while (low < high) {
        const std::size_t fromLeft = low + (high - low) / 2;
        const std::size_t fromRight = count - fromLeft;
        if (fromRight > 0 && lineBefore(text, runs.left[fromLeft], runs.right[fromRight - 1])) {
            low = fromLeft + 1;
        } else {
            high = fromLeft;
        }
    }
    const std::size_t fromRight = count - low;
    return {{runs.left.first(low), runs.right.first(fromRight)},
            {runs.left.subspan(low), runs.right.subspan(fromRight)}};
}

template <class Offset> std::uint64_t outputBytesOf(std::span<const LineEntry<Offset>> lines) {
    std::uint64_t bytes = 0;
    for (const LineEntry<Offset>& line : lines) {
        bytes += line.length + LINE_END_BYTES;
    }
    return bytes;
}

template <class Offset>
void putLineAhead(RangeWriter& out, const char* text, std::span<const LineEntry<Offset>> sorted,
                  std::size_t taken) {
    if (taken + PREFETCH_DISTANCE < sorted.size()) {
        prefetchLine(text, sorted[taken + PREFETCH_DISTANCE]);
    }
    out.putLine(text + sorted[taken].start, sorted[taken].length);
}

template <class Offset>
int mergeInto(int fd, std::uint64_t offset, const char* text, Halves<Offset> runs) {
    RangeWriter out(fd, offset);
    std::size_t left = 0;
    std::size_t right = 0;
    while (!out.hasFailed() && left < runs.left.size() && right < runs.right.size()) {
        if (lineBefore(text, runs.right[right], runs.left[left])) {
            putLineAhead(out, text, runs.right, right++);
        } else {
            putLineAhead(out, text, runs.left, left++);
        }
    }
    while (!out.hasFailed() && left < runs.left.size()) {
        putLineAhead(out, text, runs.left, left++);
    }
    while (!out.hasFailed() && right < runs.right.size()) {
        putLineAhead(out, text, runs.right, right++);
    }
    return out.finish();
}

} // namespace

template <class Offset>
int writeMergedHalves(const char* text, std::span<const LineEntry<Offset>> lines,
                      std::size_t middle, int fd) {
    const Halves<Offset> runs{lines.first(middle), lines.subspan(middle)};
    const auto [front, back] = splitMergeAt(text, runs, lines.size() / 2);
    int frontError = 0;
    int backError = 0;
    runBoth([&] { frontError = mergeInto(fd, 0, text, front); },
            [&] {
                const std::uint64_t offset = outputBytesOf(front.left) + outputBytesOf(front.right);
                backError = mergeInto(fd, offset, text, back);
            });
    return frontError != 0 ? frontError : backError;
}

template int writeMergedHalves(const char*, std::span<const LineEntry<std::uint32_t>>, std::size_t,
                               int);
template int writeMergedHalves(const char*, std::span<const LineEntry<std::uint64_t>>, std::size_t,
                               int);

} // namespace shell::builtins
