// Times the relabelling of a picture list on its own, without the backup and the sort.
//
//   relabel-bench --dir DIR [--runs N]
//
// DIR holds "AllPicturesIndiv.txt" and "MarrowfenlatchMap.txt" (see gen-catalogue); the
// relabelling writes "AllPicturesUnsorted.txt" there. The map is loaded once, outside the timing.
// The last line of the output is one "key=value" record for scripts.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "picture_list/relabel.h"
#include "species_map/species_map.h"

namespace {

[[noreturn]] void usage(const char* message) {
    std::fprintf(stderr, "relabel-bench: %s\nusage: relabel-bench --dir DIR [--runs N]\n", message);
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    std::string dir;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view flag = argv[i];
        const std::string_view value = argv[i + 1];
        if (flag == "--dir") {
            dir = value;
        } else if (flag == "--runs") {
            std::from_chars(value.data(), value.data() + value.size(), runs);
        } else {
            usage("unknown option");
        }
    }
    if (dir.empty() || runs < 1 || argc % 2 != 1) {
        usage("--dir is needed");
    }
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        usage("cannot enter --dir");
    }
    const auto bytes = std::filesystem::file_size(picture_list::BACKUP_FILE_NAME, error);
    if (error) {
        usage("no AllPicturesIndiv.txt in --dir");
    }
    const species_map::LoadResult loaded = species_map::loadSpeciesMap();
    if (loaded.outcome != species_map::LoadOutcome::Loaded) {
        usage("no MarrowfenlatchMap.txt in --dir");
    }

    // Processor time is printed beside the wall time: on a shared machine it shows the work done
    // even when the wall time mostly shows the waiting for a turn.
    double best = 0;
    double bestProcessor = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t processorStart = std::clock();
        if (picture_list::relabelPictureList(loaded.map) !=
            picture_list::RelabelOutcome::Relabelled) {
            usage("AllPicturesIndiv.txt in --dir starts with a byte-order mark");
        }
        const double processor =
            static_cast<double>(std::clock() - processorStart) / CLOCKS_PER_SEC;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("run %d: %.4f s, processor %.4f s\n", run + 1, took.count(), processor);
        best = run == 0 ? took.count() : std::min(best, took.count());
        bestProcessor = run == 0 ? processor : std::min(bestProcessor, processor);
    }
    std::printf("map_entries=%zu bytes=%ju best_s=%.4f processor_s=%.4f mb_per_s=%.1f\n",
                loaded.map.entries().size(), static_cast<std::uintmax_t>(bytes), best,
                bestProcessor, static_cast<double>(bytes) / 1e6 / best);
    return 0;
}
