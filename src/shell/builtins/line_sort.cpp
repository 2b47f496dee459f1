#include "shell/builtins/line_sort.h"

#include <algorithm>
#include <bit>
#include <new>
#include <optional>
#include <vector>

#include "lines/line_end.h"
#include "shell/builtins/key_sort.h"
#include "shell/builtins/one_length_sort.h"
#include "shell/builtins/parallel.h"

namespace shell::builtins {

namespace {

constexpr std::size_t KEY_BYTES = 8;
// Groups this small are sorted by comparing their bytes outright, which is cheaper than another
// round of keys and keeps the list of groups still to sort short.
constexpr std::size_t SMALL_GROUP = 32;

std::uint64_t keyAt(const char* line, std::size_t length, std::size_t depth) {
    std::uint64_t raw;
    if (length >= depth + KEY_BYTES) {
        std::memcpy(&raw, line + depth, KEY_BYTES);
    } else {
        raw = 0;
        if (length > depth) {
            std::memcpy(&raw, line + depth, length - depth);
        }
    }
    if constexpr (std::endian::native == std::endian::little) {
        raw = __builtin_bswap64(raw);
    }
    return raw;
}

// Lines still to be put in order among themselves, which agree on every byte before `depth` that
// they have.
template <class Entry> struct Group {
    std::span<Entry> lines;
    std::size_t depth;
};

// Sorts a small group by insertion, which never leaves the group whatever the comparisons answer:
// the text may be a file of the host's cache that someone else could change meanwhile.
template <class Lines> void insertLines(const Lines& text, Group<typename Lines::Entry> group) {
    for (std::size_t i = 1; i < group.lines.size(); ++i) {
        const typename Lines::Entry moving = group.lines[i];
        std::size_t to = i;
        for (; to > 0 && lineBefore(text, moving, group.lines[to - 1], group.depth); --to) {
            group.lines[to] = group.lines[to - 1];
        }
        group.lines[to] = moving;
    }
}

// Orders a group whose lines all share the same key at `depth`. A line that ends within the key
// is a prefix of every longer line of the group, so those lines come first, the shorter before the
// longer, and only the lines that go on need the next eight bytes: a line is keyed again only
// while it is longer than the depth reached, however many short lines share its beginning.
template <class Lines>
void settleEqualKeys(const Lines& text, Group<typename Lines::Entry> group,
                     std::vector<Group<typename Lines::Entry>>& pending) {
    if (group.lines.size() < 2) {
        return;
    }
    if (group.lines.size() <= SMALL_GROUP) {
        for (const typename Lines::Entry& line : group.lines) {
            prefetchLine(text, line);
        }
        insertLines(text, group);
        return;
    }
    const std::size_t keyEnd = group.depth + KEY_BYTES;
    const auto firstLonger =
        std::partition(group.lines.begin(), group.lines.end(),
                       [&](const auto& line) { return text.length(line) <= keyEnd; });
    std::sort(group.lines.begin(), firstLonger,
              [&](const auto& a, const auto& b) { return text.length(a) < text.length(b); });
    const std::span<typename Lines::Entry> longer(firstLonger, group.lines.end());
    if (longer.size() > 1) {
        pending.push_back({longer, keyEnd});
    }
}

template <class Lines>
void sortGroup(const Lines& text, Group<typename Lines::Entry> group,
               std::vector<Group<typename Lines::Entry>>& pending) {
    if (group.depth > 0) {
        for (std::size_t i = 0; i < group.lines.size(); ++i) {
            if (i + PREFETCH_DISTANCE < group.lines.size()) {
                prefetchLine(text, group.lines[i + PREFETCH_DISTANCE]);
            }
            typename Lines::Entry& line = group.lines[i];
            setKey(line, keyAt(text.begin(line), text.length(line), group.depth));
        }
    }
    sortByKey(group.lines);
    std::size_t first = 0;
    for (std::size_t i = 1; i <= group.lines.size(); ++i) {
        if (i == group.lines.size() || keyOf(group.lines[i]) != keyOf(group.lines[first])) {
            settleEqualKeys(
                text,
                Group<typename Lines::Entry>{group.lines.subspan(first, i - first), group.depth},
                pending);
            first = i;
        }
    }
}

std::size_t lineCountOf(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at = lines::scanLine(text, at, at).next) {
        ++count;
    }
    return count;
}

// Enters the lines of `text` from `from` on into `into`, keyed by their first eight bytes. `from`
// is the start of a line, and `into` has room for as many lines as lineCountOf found there. Should
// the text have changed since it was counted (a file of the host's cache, rewritten by someone
// else), the entries still stay within `into` and within the text.
template <class Offset>
void fillLines(std::string_view text, std::size_t from, std::span<LineEntry<Offset>> into) {
    std::size_t count = 0;
    while (from < text.size() && count < into.size()) {
        const lines::ScannedLine line = lines::scanLine(text, from, from);
        into[count++] = {keyAt(text.data() + from, line.length, 0), static_cast<Offset>(from),
                         static_cast<Offset>(line.length)};
        from = line.next;
    }
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(count), into.end(), LineEntry<Offset>{});
}

// Where the line after the middle of the text begins.
std::size_t cutNearMiddle(std::string_view text) {
    return lines::scanLine(text, text.size() / 2, text.size() / 2).next;
}

template <class Lines> void sortLines(const Lines& text, std::span<typename Lines::Entry> lines) {
    // Groups wait in a list rather than on the call stack, so that long shared beginnings cannot
    // exhaust the stack.
    std::vector<Group<typename Lines::Entry>> pending;
    sortGroup(text, Group<typename Lines::Entry>{lines, 0}, pending);
    while (!pending.empty()) {
        const Group<typename Lines::Entry> group = pending.back();
        pending.pop_back();
        sortGroup(text, group, pending);
    }
}

} // namespace

template <class Offset> SortedHalves<Offset> sortInHalves(std::string_view text) {
    SortedHalves<Offset> sorted;
    if (std::optional<OneLengthLines> shape = oneLengthShapeOf(text)) {
        if (!sorted.numbered.resize(text.size() / shape->stride)) {
            throw std::bad_alloc();
        }
        if (sortOneLengthHalves(*shape, sorted.numbered.lines(), sorted.middle)) {
            sorted.shape = *shape;
            return sorted;
        }
        sorted.numbered.clear();
    }
    const std::size_t cut = cutNearMiddle(text);
    std::size_t firstCount = 0;
    std::size_t secondCount = 0;
    runBoth([&] { firstCount = lineCountOf(text.substr(0, cut)); },
            [&] { secondCount = lineCountOf(text.substr(cut)); });
    if (!sorted.table.resize(firstCount + secondCount)) {
        throw std::bad_alloc();
    }
    sorted.middle = firstCount;
    const std::span<LineEntry<Offset>> lines = sorted.table.lines();
    const AnyLengthLines<Offset> anyLength{text.data()};
    runBoth(
        [&] {
            fillLines(text.substr(0, cut), 0, lines.first(firstCount));
            sortLines(anyLength, lines.first(firstCount));
        },
        [&] {
            fillLines(text, cut, lines.subspan(firstCount));
            sortLines(anyLength, lines.subspan(firstCount));
        });
    return sorted;
}

template SortedHalves<std::uint32_t> sortInHalves(std::string_view);
template SortedHalves<std::uint64_t> sortInHalves(std::string_view);

} // namespace shell::builtins
