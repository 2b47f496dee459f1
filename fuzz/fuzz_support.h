#pragma once

// What the fuzz targets share: a check that stops the fuzzer on a broken invariant, and a scratch
// folder to run the file code in. The line and column rules they hold the program against, and
// the file helpers, are the tests' own (test_support).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "species_map/species_map.h"
#include "test_support/catalogue.h"
#include "test_support/lines.h"
#include "test_support/test_support.h"

namespace fuzz {

using test_support::columns;
using test_support::splitLines;

// A broken invariant: report it and stop, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// A fresh folder in memory, made the current folder once per fuzzing process and removed when the
// fuzzer ends its run.
inline void enterScratchFolder() {
    static const test_support::ScratchFolder folder("mts-fuzz",
                                                    test_support::TempFolder::Storage::Memory);
}

// The whole file, which must be there.
inline std::string readWholeFile(const char* name) {
    FUZZ_CHECK(std::filesystem::is_regular_file(name));
    return test_support::readFile(name);
}

// The map that `bytes` load as, written to the map file first; none for a map that starts with a
// UTF-16 byte-order mark, which must be refused as such.
inline std::optional<species_map::SpeciesMap> loadMapOf(std::string_view bytes) {
    test_support::writeFile(species_map::MAP_FILE_NAME, bytes);
    species_map::LoadResult loaded = species_map::loadSpeciesMap();
    if (test_support::startsWithUtf16Mark(bytes)) {
        FUZZ_CHECK(loaded.outcome == species_map::LoadOutcome::MapInUtf16);
        return std::nullopt;
    }
    FUZZ_CHECK(loaded.outcome == species_map::LoadOutcome::Loaded);
    return std::move(loaded.map);
}

} // namespace fuzz
