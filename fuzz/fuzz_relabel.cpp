// The relabelling of the picture list: every input line gives one output line of 74 columns
// followed by CR LF, in the same order, with lead and tail unchanged, the folder replaced by the
// species of the first entry of that individual, and kept when no entry has it. A list that
// starts with a byte-order mark is not relabelled at all.
//
// Input: bytes 0 and 1 give the length of the map file, which follows; the rest is the list.

#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "picture_list/relabel.h"
#include "species_map/species_map.h"
#include "test_support/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t mapSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const std::string_view map(reinterpret_cast<const char*>(data + 2), mapSize);
    const std::string_view list(reinterpret_cast<const char*>(data + 2 + mapSize),
                                size - 2 - mapSize);
    const std::optional<species_map::SpeciesMap> loaded = fuzz::loadMapOf(map);
    if (!loaded) {
        return 0;
    }
    test_support::writeFile(picture_list::BACKUP_FILE_NAME, list);
    const picture_list::RelabelOutcome relabelled = picture_list::relabelPictureList(*loaded);
    if (list.starts_with(test_support::UTF8_MARK) || test_support::startsWithUtf16Mark(list)) {
        FUZZ_CHECK(relabelled == picture_list::RelabelOutcome::ListHasByteOrderMark);
        return 0;
    }
    FUZZ_CHECK(relabelled == picture_list::RelabelOutcome::Relabelled);
    FUZZ_CHECK(std::filesystem::is_regular_file(picture_list::UNSORTED_FILE_NAME));
    FUZZ_CHECK(test_support::readFile(picture_list::UNSORTED_FILE_NAME) ==
               test_support::joinLines(test_support::relabelledLines(map, list)));
    return 0;
}
