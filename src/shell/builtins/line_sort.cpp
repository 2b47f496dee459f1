#include "shell/builtins/line_sort.h"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

#include "records/line_end.h"
#include "shell/builtins/key_sort.h"
#include "shell/builtins/parallel.h"

namespace shell::builtins {

namespace {

constexpr std::size_t KEY_BYTES = 8;
// Runs this short are sorted by comparing their bytes outright, which is cheaper than another
// round of keys and keeps the list of runs still to sort short.
constexpr std::size_t SHORT_RUN = 32;

std::uint64_t keyAt(const char* line, std::size_t length, std::size_t depth) {
    std::uint64_t raw = 0;
    if (length >= depth + KEY_BYTES) {
        std::memcpy(&raw, line + depth, KEY_BYTES);
    } else if (length > depth) {
        std::memcpy(&raw, line + depth, length - depth);
    }
    if constexpr (std::endian::native == std::endian::little) {
        raw = __builtin_bswap64(raw);
    }
    return raw;
}

template <class Offset> struct Run {
    std::span<LineEntry<Offset>> lines;
    std::size_t depth; // the lines of the run agree on every byte before this depth they have
};

// Sorts a short run by insertion, which never leaves the run whatever the comparisons answer:
// the text may be a file of the host's cache that someone else could change meanwhile.
template <class Offset> void insertLines(const char* text, Run<Offset> run) {
    for (std::size_t i = 1; i < run.lines.size(); ++i) {
        const LineEntry<Offset> moving = run.lines[i];
        std::size_t to = i;
        for (; to > 0 && lineBefore(text, moving, run.lines[to - 1], run.depth); --to) {
            run.lines[to] = run.lines[to - 1];
        }
        run.lines[to] = moving;
    }
}

// Orders a run whose lines all share the same key at `depth`. A line that ends within the key is
// a prefix of every longer line of the run, so those lines come first, the shorter before the
// longer, and only the lines that go on need the next eight bytes: a line is keyed again only
// while it is longer than the depth reached, however many short lines share its beginning.
template <class Offset>
void settleEqualKeys(const char* text, Run<Offset> run, std::vector<Run<Offset>>& pending) {
    if (run.lines.size() < 2) {
        return;
    }
    if (run.lines.size() <= SHORT_RUN) {
        for (const LineEntry<Offset>& line : run.lines) {
            prefetchLine(text, line);
        }
        insertLines(text, run);
        return;
    }
    const std::size_t keyEnd = run.depth + KEY_BYTES;
    const auto goOn = std::partition(run.lines.begin(), run.lines.end(),
                                     [keyEnd](const auto& line) { return line.length <= keyEnd; });
    std::sort(run.lines.begin(), goOn,
              [](const auto& a, const auto& b) { return a.length < b.length; });
    const std::span<LineEntry<Offset>> longer(goOn, run.lines.end());
    if (longer.size() > 1) {
        pending.push_back({longer, keyEnd});
    }
}
template <class Offset>
void sortRun(const char* text, Run<Offset> run, std::vector<Run<Offset>>& pending) {
    if (run.depth > 0) {
        for (std::size_t i = 0; i < run.lines.size(); ++i) {
            if (i + PREFETCH_DISTANCE < run.lines.size()) {
                prefetchLine(text, run.lines[i + PREFETCH_DISTANCE]);
            }
            LineEntry<Offset>& line = run.lines[i];
            line.key = keyAt(text + line.start, line.length, run.depth);
        }
    }
    sortByKey(run.lines);
    std::size_t first = 0;
    for (std::size_t i = 1; i <= run.lines.size(); ++i) {
        if (i == run.lines.size() || run.lines[i].key != run.lines[first].key) {
            settleEqualKeys(text, Run<Offset>{run.lines.subspan(first, i - first), run.depth},
                            pending);
            first = i;
        }
    }
}

std::size_t lineCountOf(std::string_view text) {
    std::size_t count = 0;
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    while (at < end) {
        const void* found = std::memchr(at, records::LF, static_cast<std::size_t>(end - at));
        ++count;
        at = found == nullptr ? end : static_cast<const char*>(found) + 1;
    }
    return count;
}

// Enters the lines of text[from, to) into `into`, keyed by their first eight bytes. `from` is the
// start of a line, and `into` has room for as many lines as lineCountOf found there. Should the
// text have changed since it was counted (a file of the host's cache, rewritten by someone else),
// the entries still stay within `into` and within the text.
template <class Offset>
void fillLines(std::string_view text, std::size_t from, std::size_t to,
               std::span<LineEntry<Offset>> into) {
    const char* const base = text.data();
    std::size_t count = 0;
    while (from < to && count < into.size()) {
        const void* found = std::memchr(base + from, records::LF, to - from);
        const std::size_t end =
            found == nullptr ? to
                             : static_cast<std::size_t>(static_cast<const char*>(found) - base);
        const std::size_t length =
            found != nullptr ? records::lengthBeforeLf(base + from, end - from) : end - from;
        into[count++] = {keyAt(base + from, length, 0), static_cast<Offset>(from),
                         static_cast<Offset>(length)};
        from = end + 1;
    }
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(count), into.end(), LineEntry<Offset>{});
}

// Where the line after the middle of the text begins.
std::size_t cutNearMiddle(std::string_view text) {
    const std::size_t lineEnd = text.find(records::LF, text.size() / 2);
    return lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
}

template <class Offset> void sortLines(const char* text, std::span<LineEntry<Offset>> lines) {
    // Runs wait in a list rather than on the call stack, so that long shared beginnings cannot
    // exhaust the stack.
    std::vector<Run<Offset>> pending;
    sortRun(text, Run<Offset>{lines, 0}, pending);
    while (!pending.empty()) {
        const Run<Offset> run = pending.back();
        pending.pop_back();
        sortRun(text, run, pending);
    }
}

} // namespace

template <class Offset> SortedHalves<Offset> sortInHalves(std::string_view text) {
    const std::size_t cut = cutNearMiddle(text);
    std::size_t firstCount = 0;
    std::size_t secondCount = 0;
    runBoth([&] { firstCount = lineCountOf(text.substr(0, cut)); },
            [&] { secondCount = lineCountOf(text.substr(cut)); });
    SortedHalves<Offset> sorted;
    if (!platform::resizeLargeBlock(sorted.table.entries, firstCount + secondCount)) {
        throw std::bad_alloc();
    }
    sorted.table.count = firstCount + secondCount;
    sorted.middle = firstCount;
    const std::span<LineEntry<Offset>> lines = sorted.table.lines();
    runBoth(
        [&] {
            fillLines(text, 0, cut, lines.first(firstCount));
            sortLines(text.data(), lines.first(firstCount));
        },
        [&] {
            fillLines(text, cut, text.size(), lines.subspan(firstCount));
            sortLines(text.data(), lines.subspan(firstCount));
        });
    return sorted;
}

template SortedHalves<std::uint32_t> sortInHalves(std::string_view);
template SortedHalves<std::uint64_t> sortInHalves(std::string_view);

} // namespace shell::builtins
