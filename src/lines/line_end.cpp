#include "lines/line_end.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/process.h"

namespace lines {

std::string_view lineEndFor(int fd) {
    return platform::translatesLineEnds(fd) ? LINE_END.substr(1) : LINE_END;
}

// Sixteen bytes compared at once, each lane of a vector of byte counters counting its own column;
// the counters are added up before they could overflow. Four comparisons to a turn of the loop,
// which otherwise costs as much as the comparison itself.
std::size_t countLineFeeds(const char* first, const char* end) {
    using Lane = std::uint8_t __attribute__((vector_size(16)));
    constexpr std::size_t LANE_BYTES = sizeof(Lane);
    constexpr std::size_t MOST_ROUNDS = 255;
    const Lane lineFeeds = static_cast<std::uint8_t>(LF) - Lane{};
    std::size_t lfs = 0;
    std::size_t rounds = static_cast<std::size_t>(end - first) / LANE_BYTES;
    while (rounds > 0) {
        const std::size_t now = std::min(rounds, MOST_ROUNDS);
        Lane counts{};
#pragma GCC unroll 4
        for (std::size_t round = 0; round < now; ++round, first += LANE_BYTES) {
            Lane bytes;
            std::memcpy(&bytes, first, LANE_BYTES);
            counts -= reinterpret_cast<Lane>(bytes == lineFeeds); // a match is all ones: -1
        }
        for (std::size_t lane = 0; lane < LANE_BYTES; ++lane) {
            lfs += counts[lane];
        }
        rounds -= now;
    }
    return lfs + static_cast<std::size_t>(std::count(first, end, LF));
}

} // namespace lines
