#include "species_map/species_map.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "records/layout.h"
#include "records/record_file.h"

namespace species_map {

namespace {

constexpr std::int32_t MAP_CHANNEL = 1;

std::uint64_t hashName(std::string_view name) {
    // FNV-1a: names are short, and an even spread matters more than raw speed.
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char byte : name) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ULL;
    }
    return hash ^ (hash >> 29);
}

// Slot of `name`: the slot that holds its first entry, or the empty slot where it would go.
std::size_t slotOf(const SpeciesMap& map, const records::FixedText& name) {
    const std::size_t mask = map.slots.size() - 1;
    std::size_t slot = static_cast<std::size_t>(hashName(name.bytes)) & mask;
    while (map.slots[slot] != 0 && map.entries[map.slots[slot] - 1].individual != name) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

void rebuildSlots(SpeciesMap& map, std::size_t size) {
    map.slots.assign(size, 0);
    for (std::size_t index = 0; index < map.entries.size(); ++index) {
        const std::size_t slot = slotOf(map, map.entries[index].individual);
        if (map.slots[slot] == 0) {
            map.slots[slot] = static_cast<std::uint32_t>(index + 1);
        }
    }
}

const records::RecordLayout& mapLineLayout() {
    static const records::RecordLayout layout{{records::TextField{records::NAME_WIDTH},
                                               records::Skip{1},
                                               records::TextField{records::NAME_WIDTH}}};
    return layout;
}

} // namespace

void addEntry(SpeciesMap& map, MapEntry entry) {
    map.entries.push_back(std::move(entry));
    // Kept at most half full, so that probe runs stay short.
    if (map.slots.size() < 2 * map.entries.size()) {
        // A power of two, so that a slot number is the hash masked by size - 1.
        rebuildSlots(map, std::bit_ceil(std::max(2 * MAP_CAPACITY, 4 * map.entries.size())));
        return;
    }
    const std::size_t slot = slotOf(map, map.entries.back().individual);
    if (map.slots[slot] == 0) {
        map.slots[slot] = static_cast<std::uint32_t>(map.entries.size());
    }
}

std::optional<std::size_t> findSpecies(const SpeciesMap& map, const records::FixedText& name) {
    if (map.slots.empty()) {
        return std::nullopt;
    }
    const std::uint32_t found = map.slots[slotOf(map, name)];
    if (found == 0) {
        return std::nullopt;
    }
    return found - 1;
}

LoadResult loadSpeciesMap() {
    LoadResult result{LoadOutcome::loaded, {}};
    std::optional<records::RecordFile> file = records::openExisting(MAP_FILE_NAME, MAP_CHANNEL);
    if (!file) {
        result.outcome = LoadOutcome::mapFileMissing;
        return result;
    }
    result.map.entries.reserve(MAP_CAPACITY);
    std::vector<records::FixedText> values = records::blankValues(mapLineLayout());
    while (records::readRecord(*file, mapLineLayout(), values) == records::ReadOutcome::Record) {
        addEntry(result.map, MapEntry{values[0], values[1]});
    }
    records::close(*file);
    return result;
}

} // namespace species_map
