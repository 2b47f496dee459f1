// The relabelling of the picture list: every input line gives one output line of 74 columns
// followed by CR LF, in the same order, with lead and tail unchanged, the folder replaced by the
// species of the first entry of that individual, and kept when no entry has it.
//
// Input: bytes 0 and 1 give the length of the map file, which follows; the rest is the list.

#include <cstdint>
#include <unordered_map>

#include "fuzz_support.h"
#include "picture_list/relabel.h"
#include "species_map/species_map.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::enterScratchFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t mapSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const std::string_view map(reinterpret_cast<const char*>(data + 2), mapSize);
    const std::string_view list(reinterpret_cast<const char*>(data + 2 + mapSize),
                                size - 2 - mapSize);
    fuzz::writeWholeFile(species_map::MAP_FILE_NAME, map);
    fuzz::writeWholeFile(picture_list::BACKUP_FILE_NAME, list);

    const species_map::LoadResult loaded = species_map::loadSpeciesMap();
    FUZZ_CHECK(loaded.outcome == species_map::LoadOutcome::Loaded);
    picture_list::relabelPictureList(loaded.map);
    const std::string out = fuzz::readWholeFile(picture_list::UNSORTED_FILE_NAME);

    std::unordered_map<std::string, std::string> speciesOf;
    for (const std::string& line : fuzz::referenceLines(map)) {
        speciesOf.emplace(fuzz::columns(line, 0, 25), fuzz::columns(line, 26, 25));
    }
    const std::vector<std::string> lines = fuzz::referenceLines(list);
    FUZZ_CHECK(out.size() == lines.size() * 76);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view written = std::string_view(out).substr(i * 76, 76);
        FUZZ_CHECK(written.substr(74) == "\r\n");
        FUZZ_CHECK(written.substr(0, 25) == fuzz::columns(lines[i], 0, 25));
        FUZZ_CHECK(written[25] == ' ' && written[51] == ' ');
        FUZZ_CHECK(written.substr(52, 22) == fuzz::columns(lines[i], 52, 22));
        const std::string folder = fuzz::columns(lines[i], 26, 25);
        const auto mapped = speciesOf.find(folder);
        FUZZ_CHECK(written.substr(26, 25) == (mapped != speciesOf.end() ? mapped->second : folder));
    }
    return 0;
}
