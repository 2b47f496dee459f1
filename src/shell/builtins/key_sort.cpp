#include "shell/builtins/key_sort.h"

#include <algorithm>
#include <array>
#include <bit>

namespace shell::builtins {

namespace {

constexpr int DIGIT_BITS = 8;
constexpr std::size_t BUCKETS = std::size_t{1} << DIGIT_BITS;
// Below this many entries a comparison sort works within the cache anyway.
constexpr std::size_t SPREAD_FROM = std::size_t{1} << 10;
// How far ahead of a bucket's front its entries are fetched: a few cache lines.
constexpr std::size_t FRONT_AHEAD = 16;

template <class Entry> void sortComparing(std::span<Entry> lines) {
    std::sort(lines.begin(), lines.end(),
              [](const auto& a, const auto& b) { return keyOf(a) < keyOf(b); });
}

// Every bit above the returned shift plus DIGIT_BITS is the same in all keys, so spreading by the
// digit at that shift puts the buckets in key order. -1 when all keys are equal.
template <class Entry> int digitShiftOf(std::span<const Entry> lines) {
    const std::uint64_t first = keyOf(lines.front());
    std::uint64_t differing = 0;
    for (const Entry& line : lines) {
        differing |= keyOf(line) ^ first;
    }
    if (differing == 0) {
        return -1;
    }
    const int highest = 63 - std::countl_zero(differing);
    return std::max(0, highest - DIGIT_BITS + 1);
}

// Moves every entry into the bucket of its digit, each entry once (American flag sort). Returns
// where each bucket ends.
template <class Entry> std::array<std::size_t, BUCKETS> spread(std::span<Entry> lines, int shift) {
    const auto digitOf = [shift](const Entry& line) {
        return static_cast<std::size_t>(keyOf(line) >> shift) & (BUCKETS - 1);
    };
    std::array<std::size_t, BUCKETS> next{};
    for (const Entry& line : lines) {
        ++next[digitOf(line)];
    }
    std::array<std::size_t, BUCKETS> end{};
    std::size_t start = 0;
    for (std::size_t bucket = 0; bucket < BUCKETS; ++bucket) {
        const std::size_t count = next[bucket];
        next[bucket] = start;
        start += count;
        end[bucket] = start;
    }
    // Each bucket fills from its front on, so the entries a few cache lines ahead of each front
    // are asked for early: every move waits for the one before it, and would wait for memory.
    const auto takeFrontOf = [&](std::size_t digit) -> Entry& {
        const std::size_t at = next[digit]++;
        if (at + FRONT_AHEAD < lines.size()) {
            __builtin_prefetch(&lines[at + FRONT_AHEAD], 1);
        }
        return lines[at];
    };
    for (std::size_t bucket = 0; bucket < BUCKETS; ++bucket) {
        while (next[bucket] < end[bucket]) {
            Entry moving = lines[next[bucket]];
            for (std::size_t digit = digitOf(moving); digit != bucket; digit = digitOf(moving)) {
                std::swap(moving, takeFrontOf(digit));
            }
            takeFrontOf(bucket) = moving;
        }
    }
    return end;
}

} // namespace

template <class Entry> void sortByKey(std::span<Entry> lines) {
    if (lines.size() < SPREAD_FROM) {
        sortComparing(lines);
        return;
    }
    const int shift = digitShiftOf<Entry>(lines);
    if (shift < 0) {
        return;
    }
    const std::array<std::size_t, BUCKETS> end = spread(lines, shift);
    std::size_t start = 0;
    for (const std::size_t bucketEnd : end) {
        // Each round takes at least one more byte of the key, so this goes at most eight deep.
        sortByKey(lines.subspan(start, bucketEnd - start));
        start = bucketEnd;
    }
}

template void sortByKey(std::span<LineEntry<std::uint32_t>>);
template void sortByKey(std::span<LineEntry<std::uint64_t>>);
template void sortByKey(std::span<NumberedLine>);

} // namespace shell::builtins
