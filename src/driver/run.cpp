#include "driver/run.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "checks/checks.h"
#include "console/console.h"
#include "picture_list/relabel.h"
#include "platform/process.h"
#include "records/fixed_text.h"
#include "shell/shell.h"
#include "species_map/species_map.h"

namespace driver {

namespace {

constexpr std::size_t BANNER_WIDTH = 66;

// Ends the process at every orderly end of a run, success or failure: the program's own files are
// all closed by then.
[[noreturn]] void exitOrderly() {
    platform::exitNow(0);
}

[[noreturn]] void stopWithFailure(std::string_view reason) {
    console::printMessage(reason);
    console::printMessage("Type Enter to TERMINATE WITH FAILURE");
    console::waitForEnter();
    exitOrderly();
}

// The backup is the only full copy of the list once the sort has started, so a run goes on only
// after a backup that reported success.
void backUpPictureList() {
    console::printMessage("Save AllPictures.txt with individuals as AllPicturesIndiv.txt");
    const std::int32_t status = shell::runShellCommand("Copy AllPictures.txt AllPicturesIndiv.txt");
    if (status == shell::status::SOURCE_MISSING) {
        stopWithFailure("AllPictures.txt is not present ... TERMINATING");
    }
    if (status != 0) {
        stopWithFailure("Backup of AllPictures.txt failed ... TERMINATING");
    }
}

// An editor's byte-order mark says that a file is not the single-byte text whose columns the run
// cuts: the operator is told how to save it again before anything is rewritten.
[[noreturn]] void stopForByteOrderMark(std::string_view fileName) {
    stopWithFailure(std::string(fileName) +
                    " starts with a byte-order mark: save it as ANSI or UTF-8 without BOM ... "
                    "TERMINATING");
}

species_map::SpeciesMap loadMap() {
    species_map::LoadResult loaded = species_map::loadSpeciesMap();
    if (loaded.outcome == species_map::LoadOutcome::MapFileMissing) {
        checks::showMissingMapGuidance();
        exitOrderly();
    }
    if (loaded.outcome == species_map::LoadOutcome::MapInUtf16) {
        stopForByteOrderMark(species_map::MAP_FILE_NAME);
    }
    return std::move(loaded.map);
}

// The relabelling reads the backup, but the file to save again is the operator's own list.
void relabel(const species_map::SpeciesMap& map) {
    console::printMessage("Map individuals into species, create AllPicturesUnsorted.txt");
    if (picture_list::relabelPictureList(map) ==
        picture_list::RelabelOutcome::ListHasByteOrderMark) {
        stopForByteOrderMark("AllPictures.txt");
    }
}

// A sort that failed may have left no new list, or a partial one: the operator must not be told
// that the job is done.
void sortPictureList() {
    console::printMessage("Sort AllPicturesUnsorted.txt");
    const std::int32_t status =
        shell::runShellCommand("sort AllPicturesUnsorted.txt > AllPictures.txt");
    if (status != 0) {
        console::printMessage("Sort of AllPicturesUnsorted.txt failed ... TERMINATING");
        stopWithFailure("AllPicturesIndiv.txt holds the picture list as it was before this run");
    }
}

} // namespace

void runRelabelling() {
    console::printMessage(
        records::makeFixedText("1 February, 2014 Version 1.0 - Move individuals to species folders",
                               BANNER_WIDTH)
            .bytes);
    backUpPictureList();
    const species_map::SpeciesMap map = loadMap();
    if (checks::confirmSpeciesMap(map) == checks::Confirmation::Rejected) {
        exitOrderly();
    }
    relabel(map);
    sortPictureList();
    console::printMessage("Delete AllPicturesUnsorted.txt");
    (void)shell::runShellCommand("del AllPicturesUnsorted.txt");
    console::printMessage("All individuals moved to species, AllPictures.txt created");
    console::printMessage("Hit Enter to TERMINATE NORMALLY");
    console::waitForEnter();
    exitOrderly();
}

} // namespace driver
