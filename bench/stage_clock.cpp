// Reads the tool's console output as it arrives and prints the moment at which the first line that
// begins with each of the given prefixes came, and the moment the output ended (the tool's exit):
//
//   stage-clock PREFIX ...   prints one line "INDEX MICROSECONDS" per prefix seen, then
//                            "end MICROSECONDS"; the times are of the real-time clock, in the
//                            same count as bash's EPOCHREALTIME without its point.
//
// The console lines go out one by one as the tool prints them, so the time between two of its
// stage messages is the time of the stage that the first announces.

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

long long nowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> prefixes(argv + 1, argv + argc);
    std::vector<long long> seen(prefixes.size(), 0);
    std::string line;
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(0, block, sizeof block);
        if (got <= 0) {
            break;
        }
        const long long at = nowMicroseconds();
        for (ssize_t i = 0; i < got; ++i) {
            if (block[i] != '\n') {
                line.push_back(block[i]);
                continue;
            }
            for (std::size_t p = 0; p < prefixes.size(); ++p) {
                if (seen[p] == 0 && line.compare(0, prefixes[p].size(), prefixes[p]) == 0) {
                    seen[p] = at;
                }
            }
            line.clear();
        }
    }
    const long long end = nowMicroseconds();
    for (std::size_t p = 0; p < prefixes.size(); ++p) {
        if (seen[p] != 0) {
            std::printf("%zu %lld\n", p, seen[p]);
        }
    }
    std::printf("end %lld\n", end);
    return 0;
}
