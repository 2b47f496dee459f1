#include "shell/builtins/merged_output.h"

#include <algorithm>

#include "lines/line_end.h"
#include "shell/builtins/parallel.h"
#include "shell/builtins/range_writer.h"

namespace shell::builtins {

namespace {

template <class Entry> struct Halves {
    std::span<const Entry> left;
    std::span<const Entry> right;
};

// Splits the two sorted runs where the first `count` lines of their merge end: the merge of the
// two front parts is exactly those lines. Equal lines are equal bytes, so it does not matter from
// which run they come.
template <class Lines, class Entry = typename Lines::Entry>
std::pair<Halves<Entry>, Halves<Entry>> splitMergeAt(const Lines& text, Halves<Entry> runs,
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

template <class Lines>
std::uint64_t outputBytesOf(const Lines& text, std::span<const typename Lines::Entry> lines) {
    std::uint64_t bytes = 0;
    for (const typename Lines::Entry& line : lines) {
        bytes += lines::writtenSize(text.length(line));
    }
    return bytes;
}

template <class Lines>
void putLineAhead(RangeWriter& out, const Lines& text,
                  std::span<const typename Lines::Entry> sorted, std::size_t taken) {
    if (taken + PREFETCH_DISTANCE < sorted.size()) {
        prefetchLine(text, sorted[taken + PREFETCH_DISTANCE]);
    }
    out.putLine(text.begin(sorted[taken]), text.length(sorted[taken]));
}

template <class Lines>
int mergeInto(int fd, std::uint64_t offset, const Lines& text, Halves<typename Lines::Entry> runs) {
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

template <class Lines>
int writeMerged(const Lines& text, std::span<const typename Lines::Entry> lines, std::size_t middle,
                int fd) {
    const Halves<typename Lines::Entry> runs{lines.first(middle), lines.subspan(middle)};
    // Named parts, not a structured binding: clang 14 lets no lambda capture one.
    const auto parts = splitMergeAt(text, runs, lines.size() / 2);
    const Halves<typename Lines::Entry>& front = parts.first;
    const Halves<typename Lines::Entry>& back = parts.second;
    int frontError = 0;
    int backError = 0;
    runBoth([&] { frontError = mergeInto(fd, 0, text, front); },
            [&] {
                const std::uint64_t offset =
                    outputBytesOf(text, front.left) + outputBytesOf(text, front.right);
                backError = mergeInto(fd, offset, text, back);
            });
    return frontError != 0 ? frontError : backError;
}

} // namespace

template <class Offset>
int writeMergedHalves(const char* text, const SortedHalves<Offset>& sorted, int fd) {
    if (sorted.shape.stride != 0) {
        OneLengthLines shape = sorted.shape;
        shape.text = text;
        return writeMerged(shape, sorted.numbered.lines(), sorted.middle, fd);
    }
    return writeMerged(AnyLengthLines<Offset>{text}, sorted.table.lines(), sorted.middle, fd);
}

template int writeMergedHalves(const char*, const SortedHalves<std::uint32_t>&, int);
template int writeMergedHalves(const char*, const SortedHalves<std::uint64_t>&, int);

} // namespace shell::builtins
