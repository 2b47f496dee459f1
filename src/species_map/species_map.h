#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "records/fixed_text.h"

namespace species_map {

// Map files of up to this many lines fit the table as first sized; longer ones make it grow.
inline constexpr std::size_t MAP_CAPACITY = 500;

struct MapEntry {
    records::FixedText individual;
    records::FixedText species;
};

// One distinct individual of the index: its 25 bytes beside the number of its first entry, 32
// bytes to a slot, so that a lookup reads, as a rule, one cache line.
struct IndexSlot {
    std::array<char, records::NAME_WIDTH> individual{};
    std::uint32_t entry = 0; // 0 = empty, otherwise entry index + 1
};

// The distinct individuals of a map, so that a lookup costs the same whatever the map's size.
struct IndividualIndex {
    std::vector<IndexSlot> slots; // a power of two in size, at most half full
    unsigned shift = 64;          // 64 - log2(slots.size()): the hash's top bits pick the slot
};

struct SpeciesMap {
    // In file order, exactly as read: duplicates, blank names and entries that map a name to
    // itself all stay. Grown only by addEntry, which keeps the index.
    std::vector<MapEntry> entries;

  private:
    IndividualIndex index;

    friend void addEntry(SpeciesMap& map, MapEntry entry);
    friend std::optional<std::size_t> findSpecies(const SpeciesMap& map,
                                                  const records::FixedText& name);
};

// Appends an entry: an individual seen before keeps its first species.
void addEntry(SpeciesMap& map, MapEntry entry);

// The 0-based number of the first entry whose individual equals `name` in all its bytes.
std::optional<std::size_t> findSpecies(const SpeciesMap& map, const records::FixedText& name);

enum class LoadOutcome { Loaded, MapFileMissing };

struct LoadResult {
    LoadOutcome outcome;
    SpeciesMap map;
};

inline constexpr const char* MAP_FILE_NAME = "MarrowfenlatchMap.txt";

// Reads every line of the map file into a map; the file is closed again before returning.
LoadResult loadSpeciesMap();

} // namespace species_map
