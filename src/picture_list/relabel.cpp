#include "picture_list/relabel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "records/layout.h"
#include "records/record_file.h"

namespace picture_list {

namespace {

constexpr std::int32_t BACKUP_CHANNEL = 1;
constexpr std::int32_t UNSORTED_CHANNEL = 2;

// A PictureRecord's values: lead, folder and tail.
constexpr std::size_t FOLDER = 1;

constexpr std::size_t NAME_WIDTH = records::NAME_WIDTH;

const records::RecordLayout& pictureLineLayout() {
    static const records::RecordLayout layout{
        {records::TextField{records::NAME_WIDTH}, records::Skip{1},
         records::TextField{records::NAME_WIDTH}, records::Skip{1},
         records::TextField{records::TAIL_WIDTH}}};
    return layout;
}

// Every line of the list is looked up, lists run to millions of lines, and maps can name a
// hundred thousand individuals. So the relabelling works from a compact copy of the map's
// answers, made once: each distinct individual's 25 bytes beside the number of the species of
// its first entry, 32 bytes to a slot. A lookup hashes a few words and, as a rule, reads a
// single slot, whatever the size of the map.
struct KnownFolder {
    std::array<char, NAME_WIDTH> individual{};
    bool used = false;
    std::uint32_t species = 0; // into FolderIndex::species
};

struct FolderIndex {
    std::vector<KnownFolder> slots;                    // a power of two in size, at most half full
    unsigned shift = 64;                               // 64 - log2(slots.size())
    std::vector<std::array<char, NAME_WIDTH>> species; // maps name few species: each held once
};

std::uint64_t word(const char* bytes) {
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Multiply-and-fold over the 25 bytes: a handful of instructions, and the top bits, which pick
// the slot, depend on every byte.
std::size_t homeSlot(const FolderIndex& index, const char* name) {
    static_assert(NAME_WIDTH == 25);
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

// The slot that holds `name`, or the empty slot where it would go.
KnownFolder& slotOf(FolderIndex& index, const char* name) {
    const std::size_t mask = index.slots.size() - 1;
    std::size_t slot = homeSlot(index, name);
    while (index.slots[slot].used && !sameName(index.slots[slot].individual.data(), name)) {
        slot = (slot + 1) & mask;
    }
    return index.slots[slot];
}

// A name as a folder field holds it: its first 25 bytes, filled with blanks.
std::array<char, NAME_WIDTH> asFolder(const records::FixedText& text) {
    std::array<char, NAME_WIDTH> folder;
    folder.fill(' ');
    std::memcpy(folder.data(), text.bytes.data(), std::min(text.bytes.size(), NAME_WIDTH));
    return folder;
}

// Gives the answers of species_map::findSpecies: entries are taken in map order, and an
// individual seen before keeps the species of its first entry.
FolderIndex indexFolders(const species_map::SpeciesMap& map) {
    FolderIndex index;
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(16, 2 * map.entries.size()));
    index.slots.resize(size);
    index.shift = 64 - static_cast<unsigned>(std::countr_zero(size));
    std::map<std::array<char, NAME_WIDTH>, std::uint32_t> speciesNumbers;
    for (const species_map::MapEntry& entry : map.entries) {
        // A folder field is always 25 bytes wide, so a name of another width never equals one.
        if (entry.individual.bytes.size() != NAME_WIDTH) {
            continue;
        }
        KnownFolder& slot = slotOf(index, entry.individual.bytes.data());
        if (slot.used) {
            continue;
        }
        const auto [known, added] = speciesNumbers.try_emplace(
            asFolder(entry.species), static_cast<std::uint32_t>(index.species.size()));
        if (added) {
            index.species.push_back(known->first);
        }
        slot.used = true;
        std::memcpy(slot.individual.data(), entry.individual.bytes.data(), NAME_WIDTH);
        slot.species = known->second;
    }
    return index;
}

} // namespace

void relabelPictureList(const species_map::SpeciesMap& map) {
    static const records::LayoutPlan layout = records::planLayout(pictureLineLayout());
    FolderIndex index = indexFolders(map);
    records::RecordFile backup = records::openOrCreate(BACKUP_FILE_NAME, BACKUP_CHANNEL);
    records::RecordFile unsorted = records::openOrCreate(UNSORTED_FILE_NAME, UNSORTED_CHANNEL);
    std::vector<records::FixedText> picture = records::blankValues(pictureLineLayout());
    // Cutting a line overwrites the values in place, so the folder's bytes stay where they are.
    char* folder = picture[FOLDER].bytes.data();
    while (records::readRecord(backup, layout, picture) == records::ReadOutcome::Record) {
        const KnownFolder& known = slotOf(index, folder);
        if (known.used) {
            std::memcpy(folder, index.species[known.species].data(), NAME_WIDTH);
        }
        records::writeRecord(unsorted, layout, picture);
    }
    records::close(backup);
    records::close(unsorted);
}

} // namespace picture_list
