#include "species_map/species_map.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "records/record_file.h"

namespace species_map {

namespace {

constexpr std::int32_t MAP_CHANNEL = 1;

std::uint64_t word(const char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Multiply-and-fold over the 25 bytes: a handful of instructions, and the top bits, which pick
// the slot, depend on every byte.
std::size_t homeSlot(const IndividualIndex& index, const char* name) {
    static_assert(records::NAME_WIDTH == 25);
    constexpr std::uint64_t K = 0x9E3779B97F4A7C15ULL;
    std::uint64_t hash = (word(name) ^ K) * K;
    hash = (hash ^ (hash >> 29) ^ word(name + 8)) * K;
    hash = (hash ^ (hash >> 29) ^ word(name + 16)) * K;
    hash = (hash ^ (hash >> 29) ^ static_cast<unsigned char>(name[24])) * K;
    return static_cast<std::size_t>(hash >> index.shift);
}

bool sameName(const char* a, const char* b) {
    const std::uint64_t differ = (word(a) ^ word(b)) | (word(a + 8) ^ word(b + 8)) |
                                 (word(a + 16) ^ word(b + 16)) |
                                 static_cast<unsigned char>(a[24] ^ b[24]);
    return differ == 0;
}

// The slot that holds `name` (25 bytes), or the empty slot where it would go, looking from the
// slot that its hash names.
std::size_t slotFrom(const IndividualIndex& index, std::size_t slot, const char* name) {
    const std::size_t mask = index.slots.size() - 1;
    while (index.slots[slot].entry != 0 && !sameName(index.slots[slot].individual.data(), name)) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

std::size_t slotOf(const IndividualIndex& index, const char* name) {
    return slotFrom(index, homeSlot(index, name), name);
}

// Records entry `number` unless its individual is indexed already: the first entry wins. A name
// of another width than a folder field never equals one, so it is not indexed.
void indexEntry(IndividualIndex& index, const std::vector<MapEntry>& entries, std::size_t number) {
    const records::FixedText& individual = entries[number].individual;
    if (individual.bytes.size() != records::NAME_WIDTH) {
        return;
    }
    IndexSlot& slot = index.slots[slotOf(index, individual.bytes.data())];
    if (slot.entry == 0) {
        std::memcpy(slot.individual.data(), individual.bytes.data(), records::NAME_WIDTH);
        const records::FixedText species =
            records::makeFixedText(entries[number].species.bytes, records::NAME_WIDTH);
        std::memcpy(slot.species.data(), species.bytes.data(), records::NAME_WIDTH);
        slot.entry = static_cast<std::uint32_t>(number + 1);
    }
}

void rebuildIndex(IndividualIndex& index, const std::vector<MapEntry>& entries, std::size_t size) {
    index.slots.assign(size, IndexSlot{});
    index.shift = 64 - static_cast<unsigned>(std::countr_zero(size));
    for (std::size_t number = 0; number < entries.size(); ++number) {
        indexEntry(index, entries, number);
    }
}

} // namespace

const records::RecordLayout& mapLineLayout() {
    static const records::RecordLayout layout{{records::TextField{records::NAME_WIDTH},
                                               records::Skip{1},
                                               records::TextField{records::NAME_WIDTH}}};
    return layout;
}

void addEntry(SpeciesMap& map, MapEntry entry) {
    std::vector<MapEntry>& entries = map.inFileOrder;
    if (entries.empty()) {
        entries.reserve(MAP_CAPACITY); // a map as large as most are, without moving it again
    }
    entries.push_back(std::move(entry));
    // Kept at most half full, so that probe runs stay short; a power of two, so that the top
    // bits of a hash name a slot and a probe wraps round with a mask.
    if (map.index.slots.size() < 2 * entries.size()) {
        rebuildIndex(map.index, entries,
                     std::bit_ceil(std::max(2 * MAP_CAPACITY, 4 * entries.size())));
        return;
    }
    indexEntry(map.index, entries, entries.size() - 1);
}

std::optional<std::size_t> findSpecies(const SpeciesMap& map, const records::FixedText& name) {
    if (map.index.slots.empty() || name.bytes.size() != records::NAME_WIDTH) {
        return std::nullopt;
    }
    const std::uint32_t found = map.index.slots[slotOf(map.index, name.bytes.data())].entry;
    if (found == 0) {
        return std::nullopt;
    }
    return found - 1;
}

void speciesOfFolders(const SpeciesMap& map, std::span<const char* const> folders,
                      std::span<const char*> species) {
    const IndividualIndex& index = map.index;
    if (index.slots.empty()) {
        std::fill(species.begin(), species.end(), nullptr);
        return;
    }
    std::array<std::size_t, FOLDER_BATCH> homes;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        homes[i] = homeSlot(index, folders[i]);
        __builtin_prefetch(&index.slots[homes[i]]);
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const IndexSlot& slot = index.slots[slotFrom(index, homes[i], folders[i])];
        species[i] = slot.entry == 0 ? nullptr : slot.species.data();
    }
}

LoadResult loadSpeciesMap() {
    LoadResult result{LoadOutcome::Loaded, {}};
    std::optional<records::RecordFile> file = records::openExisting(MAP_FILE_NAME, MAP_CHANNEL);
    if (!file) {
        result.outcome = LoadOutcome::MapFileMissing;
        return result;
    }
    // Made once the file is open, so that a want of memory here is reported for the map file.
    static const records::LayoutPlan plan = records::planLayout(mapLineLayout());
    std::vector<records::FixedText> values = records::blankValues(mapLineLayout());
    if (records::passByteOrderMark(*file) == lines::ByteOrderMark::Utf16) {
        records::close(*file);
        result.outcome = LoadOutcome::MapInUtf16;
        return result;
    }
    while (records::readRecord(*file, plan, values) == records::ReadOutcome::Record) {
        addEntry(result.map, MapEntry{values[0], values[1]});
    }
    records::close(*file);
    return result;
}

} // namespace species_map
