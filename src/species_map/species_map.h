#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "records/fixed_text.h"
#include "records/layout.h"
#include "records/operator_files.h"

namespace species_map {

// Map files of up to this many lines fit the table as first sized; longer ones make it grow.
inline constexpr std::size_t MAP_CAPACITY = 500;

struct MapEntry {
    records::FixedText individual;
    records::FixedText species;
};

// How many folders speciesOfFolders looks up together at the most.
inline constexpr std::size_t FOLDER_BATCH = 32;

// The entries of the map file in file order, exactly as read: duplicates, blank names and entries
// that map a name to itself all stay. Beside them, an index of the distinct individuals, so that
// a lookup costs the same whatever the map's size.
class SpeciesMap {
  public:
    SpeciesMap();
    SpeciesMap(SpeciesMap&&) noexcept;
    SpeciesMap& operator=(SpeciesMap&&) noexcept;
    ~SpeciesMap();

    std::span<const MapEntry> entries() const noexcept { return inFileOrder_; }

    // Appends an entry: an individual seen before keeps its first species.
    void addEntry(MapEntry entry);

    // The 0-based number of the first entry whose individual equals `name` in all its bytes.
    std::optional<std::size_t> findSpecies(const records::FixedText& name) const;

    // For each folder of NAME_WIDTH bytes, the NAME_WIDTH bytes of the species of the first entry
    // whose individual equals it, or nullptr. The index is asked for all the folders of the batch
    // before any answer is read, so that a large map's slots come from memory together rather
    // than one after the other. At most FOLDER_BATCH folders; `species` is as long as `folders`.
    void speciesOfFolders(std::span<const char* const> folders,
                          std::span<const char*> species) const;

  private:
    struct IndexSlot; // one distinct individual, its species and its first entry

    std::size_t homeSlot(const char* name) const;
    std::size_t slotFrom(std::size_t slot, const char* name) const;
    std::size_t slotOf(const char* name) const;
    void indexEntry(std::size_t number);
    void rebuildIndex(std::size_t size);

    std::vector<MapEntry> inFileOrder_; // grown only by addEntry, which keeps the index
    std::vector<IndexSlot> slots_;      // a power of two in size, at most half full
    unsigned shift_ = 64; // 64 - log2(slots_.size()): the hash's top bits pick the slot
};

enum class LoadOutcome {
    Loaded,
    MapFileMissing,
    MapInUtf16, // saved as UTF-16, whose names no single-byte folder can equal; nothing loaded
};

struct LoadResult {
    LoadOutcome outcome;
    SpeciesMap map;
};

using records::MAP_FILE_NAME;

// A map line: the individual in columns 1 to 25, column 26 skipped (blank when shown), the species
// in columns 27 to 51. The confirmation shows each entry in the same columns.
const records::RecordLayout& mapLineLayout();

// The text fields of mapLineLayout, in its order.
enum MapField : std::size_t { INDIVIDUAL_FIELD, SPECIES_FIELD };

// Reads every line of the map file into a map; the file is closed again before returning. A
// UTF-8 byte-order mark before the first line is no part of the first individual's name.
LoadResult loadSpeciesMap();

} // namespace species_map
