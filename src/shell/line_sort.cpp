#include "shell/line_sort.h"

#include <algorithm>
#include <bit>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace shell {

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

template <class Offset>
bool lineBeforeFrom(const char* text, std::size_t depth, const LineEntry<Offset>& a,
                    const LineEntry<Offset>& b) {
    const std::size_t common = a.length < b.length ? a.length : b.length;
    const int order = common <= depth ? 0
                                      : std::memcmp(text + a.start + depth, text + b.start + depth,
                                                    common - depth);
    return order < 0 || (order == 0 && a.length < b.length);
}

template <class Offset> struct Run {
    std::span<LineEntry<Offset>> lines;
    std::size_t depth; // every line of the run has the same bytes before this depth
};

// Orders a run whose lines all share the same key at `depth`: lines that all end within the
// key are prefixes of one another, so the shorter comes first; otherwise the run needs the next
// eight bytes.
template <class Offset>
void settleEqualKeys(const char* text, Run<Offset> run, std::vector<Run<Offset>>& pending) {
    if (run.lines.size() < 2) {
        return;
    }
    if (run.lines.size() <= SHORT_RUN) {
        for (const LineEntry<Offset>& line : run.lines) {
            prefetchLine(text, line);
        }
        std::sort(run.lines.begin(), run.lines.end(),
                  [text, depth = run.depth](const auto& a, const auto& b) {
                      return lineBeforeFrom(text, depth, a, b);
                  });
        return;
    }
    const std::size_t keyEnd = run.depth + KEY_BYTES;
    const bool allEnd = std::all_of(run.lines.begin(), run.lines.end(),
                                    [keyEnd](const auto& line) { return line.length <= keyEnd; });
    if (allEnd) {
        std::sort(run.lines.begin(), run.lines.end(),
                  [](const auto& a, const auto& b) { return a.length < b.length; });
        return;
    }
    pending.push_back({run.lines, keyEnd});
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
    std::sort(run.lines.begin(), run.lines.end(),
              [](const auto& a, const auto& b) { return a.key < b.key; });
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
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        ++count;
        at = found == nullptr ? end : static_cast<const char*>(found) + 1;
    }
    return count;
}

} // namespace

template <class Offset> LineTable<Offset> linesOf(std::string_view text) {
    LineTable<Offset> table;
    if (!resizeLargeBlock(table.entries, lineCountOf(text))) {
        throw std::bad_alloc();
    }
    const char* const base = text.data();
    std::size_t start = 0;
    while (start < text.size()) {
        const void* found = std::memchr(base + start, '\n', text.size() - start);
        const std::size_t end =
            found == nullptr ? text.size()
                             : static_cast<std::size_t>(static_cast<const char*>(found) - base);
        std::size_t length = end - start;
        if (found != nullptr && length > 0 && base[end - 1] == '\r') {
            --length;
        }
        table.entries[table.count++] = {keyAt(base + start, length, 0), static_cast<Offset>(start),
                                        static_cast<Offset>(length)};
        start = end + 1;
    }
    return table;
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

template <class Offset>
std::size_t sortHalves(const char* text, std::span<LineEntry<Offset>> lines) {
    const std::size_t middle = lines.size() / 2;
    const std::span<LineEntry<Offset>> first = lines.first(middle);
    const std::span<LineEntry<Offset>> second = lines.subspan(middle);
    bool helperOutOfMemory = false;
    std::thread helper;
    try {
        helper = std::thread([text, first, &helperOutOfMemory] {
            try {
                sortLines(text, first);
            } catch (const std::bad_alloc&) {
                helperOutOfMemory = true;
            }
        });
    } catch (const std::system_error&) {
        // No second thread to be had: the same work, one half after the other.
        sortLines(text, first);
    }
    struct JoinOnExit {
        std::thread& thread;
        ~JoinOnExit() {
            if (thread.joinable()) {
                thread.join();
            }
        }
    } joinOnExit{helper};
    sortLines(text, second);
    if (helper.joinable()) {
        helper.join();
    }
    if (helperOutOfMemory) {
        throw std::bad_alloc();
    }
    return middle;
}

template LineTable<std::uint32_t> linesOf(std::string_view);
template LineTable<std::uint64_t> linesOf(std::string_view);
template void sortLines(const char*, std::span<LineEntry<std::uint32_t>>);
template void sortLines(const char*, std::span<LineEntry<std::uint64_t>>);
template std::size_t sortHalves(const char*, std::span<LineEntry<std::uint32_t>>);
template std::size_t sortHalves(const char*, std::span<LineEntry<std::uint64_t>>);

} // namespace shell
