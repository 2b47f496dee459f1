#include "species_map/species_map.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "records/record_file.h"

namespace species_map {

// One distinct individual of the index beside the species and the number of its first entry:
// one cache line, so that a lookup that finds its slot at once reads nothing else.
struct alignas(64) SpeciesMap::IndexSlot {
    std::array<char, records::NAME_WIDTH> individual{};
    std::array<char, records::NAME_WIDTH> species{}; // blank-filled or cut to the width
    std::uint32_t entry = 0;                         // 0 = empty, otherwise entry index + 1
};

SpeciesMap::SpeciesMap() = default;
SpeciesMap::SpeciesMap(SpeciesMap&&) noexcept = default;
SpeciesMap& SpeciesMap::operator=(SpeciesMap&&) noexcept = default;
SpeciesMap::~SpeciesMap() = default;

namespace {

constexpr std::int32_t MAP_CHANNEL = 1;

std::uint64_t word(const char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

bool sameName(const char* a, const char* b) {
    const std::uint64_t differ = (word(a) ^ word(b)) | (word(a + 8) ^ word(b + 8)) |
                                 (word(a + 16) ^ word(b + 16)) |
                                 static_cast<unsigned char>(a[24] ^ b[24]);
    return differ == 0;
}

} // namespace

// Multiply-and-fold over the 25 bytes: a handful of instructions, and the top bits, which pick
// the slot, depend on every byte.
std::size_t SpeciesMap::homeSlot(const char* name) const {
    static_assert(records::NAME_WIDTH == 25);
    constexpr std::uint64_t K = 0x9E3779B97F4A7C15ULL;
    std::uint64_t hash = (word(name) ^ K) * K;
    hash = (hash ^ (hash >> 29) ^ word(name + 8)) * K;
    hash = (hash ^ (hash >> 29) ^ word(name + 16)) * K;
    hash = (hash ^ (hash >> 29) ^ static_cast<unsigned char>(name[24])) * K;
    return static_cast<std::size_t>(hash >> shift_);
}

// The slot that holds `name` (25 bytes), or the empty slot where it would go, looking from the
// slot that its hash names.
std::size_t SpeciesMap::slotFrom(std::size_t slot, const char* name) const {
    const std::size_t mask = slots_.size() - 1;
    while (slots_[slot].entry != 0 && !sameName(slots_[slot].individual.data(), name)) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

std::size_t SpeciesMap::slotOf(const char* name) const {
    return slotFrom(homeSlot(name), name);
}

// Records entry `number` unless its individual is indexed already: the first entry wins. A name
// of another width than a folder field never equals one, so it is not indexed.
void SpeciesMap::indexEntry(std::size_t number) {
    const records::FixedText& individual = inFileOrder_[number].individual;
    if (individual.text().size() != records::NAME_WIDTH) {
        return;
    }
    IndexSlot& slot = slots_[slotOf(individual.text().data())];
    if (slot.entry == 0) {
        std::memcpy(slot.individual.data(), individual.text().data(), records::NAME_WIDTH);
        const records::FixedText species =
            records::FixedText(inFileOrder_[number].species.text(), records::NAME_WIDTH);
        std::memcpy(slot.species.data(), species.text().data(), records::NAME_WIDTH);
        slot.entry = static_cast<std::uint32_t>(number + 1);
    }
}

void SpeciesMap::rebuildIndex(std::size_t size) {
    slots_.assign(size, IndexSlot{});
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(size));
    for (std::size_t number = 0; number < inFileOrder_.size(); ++number) {
        indexEntry(number);
    }
}

const records::RecordLayout& mapLineLayout() {
    static const records::RecordLayout layout{{records::TextField{records::NAME_WIDTH},
                                               records::Skip{1},
                                               records::TextField{records::NAME_WIDTH}}};
    return layout;
}

void SpeciesMap::addEntry(MapEntry entry) {
    std::vector<MapEntry>& entries = inFileOrder_;
    if (entries.empty()) {
        entries.reserve(MAP_CAPACITY); // a map as large as most are, without moving it again
    }
    entries.push_back(std::move(entry));
    // Kept at most half full, so that probe runs stay short; a power of two, so that the top
    // bits of a hash name a slot and a probe wraps round with a mask.
    if (slots_.size() < 2 * entries.size()) {
        rebuildIndex(std::bit_ceil(std::max(2 * MAP_CAPACITY, 4 * entries.size())));
        return;
    }
    indexEntry(entries.size() - 1);
}

std::optional<std::size_t> SpeciesMap::findSpecies(const records::FixedText& name) const {
    if (slots_.empty() || name.text().size() != records::NAME_WIDTH) {
        return std::nullopt;
    }
    const std::uint32_t found = slots_[slotOf(name.text().data())].entry;
    if (found == 0) {
        return std::nullopt;
    }
    return found - 1;
}

void SpeciesMap::speciesOfFolders(std::span<const char* const> folders,
                                  std::span<const char*> species) const {
    if (slots_.empty()) {
        std::fill(species.begin(), species.end(), nullptr);
        return;
    }
    // Pictures of one animal mostly follow each other in a list, so a folder as the one before it
    // takes that one's answer instead of a lookup.
    std::array<bool, FOLDER_BATCH> asBefore;
    std::array<std::size_t, FOLDER_BATCH> homes;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        asBefore[i] = i > 0 && sameName(folders[i], folders[i - 1]);
        if (!asBefore[i]) {
            homes[i] = homeSlot(folders[i]);
            __builtin_prefetch(&slots_[homes[i]]);
        }
    }
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (asBefore[i]) {
            species[i] = species[i - 1];
        } else {
            const IndexSlot& slot = slots_[slotFrom(homes[i], folders[i])];
            species[i] = slot.entry == 0 ? nullptr : slot.species.data();
        }
    }
}

LoadResult loadSpeciesMap() {
    LoadResult result{LoadOutcome::Loaded, {}};
    std::optional<records::RecordFile> file =
        records::RecordFile::openExisting(MAP_FILE_NAME, MAP_CHANNEL);
    if (!file) {
        result.outcome = LoadOutcome::MapFileMissing;
        return result;
    }
    // Made once the file is open, so that a want of memory here is reported for the map file.
    static const records::LayoutPlan plan = records::planLayout(mapLineLayout());
    std::vector<records::FixedText> values = records::blankValues(mapLineLayout());
    if (file->passByteOrderMark() == lines::ByteOrderMark::Utf16) {
        file->close();
        result.outcome = LoadOutcome::MapInUtf16;
        return result;
    }
    while (file->readRecord(plan, values) == records::ReadOutcome::Record) {
        result.map.addEntry(MapEntry{values[INDIVIDUAL_FIELD], values[SPECIES_FIELD]});
    }
    file->close();
    return result;
}

} // namespace species_map
