#include "driver/run.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "checks/checks.h"
#include "console/console.h"
#include "driver/messages.h"
#include "picture_list/relabel.h"
#include "platform/process.h"
#include "records/fixed_text.h"
#include "records/operator_files.h"
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
    console::printMessage(messages::SAVING);
    const std::int32_t status = shell::runShellCommand(records::BACKUP_COMMAND);
    if (status == shell::status::SOURCE_MISSING) {
        stopWithFailure(messages::NO_LIST);
    }
    if (status != shell::status::DONE) {
        stopWithFailure(messages::NO_BACKUP);
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
        stopForByteOrderMark(records::MAP_FILE_NAME);
    }
    return std::move(loaded.map);
}

// The relabelling reads the backup, but the file to save again is the operator's own list.
void relabel(const species_map::SpeciesMap& map) {
    console::printMessage(messages::RELABELLING);
    if (picture_list::relabelPictureList(map) ==
        picture_list::RelabelOutcome::ListHasByteOrderMark) {
        stopForByteOrderMark(records::PICTURE_LIST_NAME);
    }
}

// A sort that failed may have left no new list, or a partial one: the operator must not be told
// that the job is done.
void sortPictureList() {
    console::printMessage(messages::SORTING);
    if (shell::runShellCommand(records::SORT_COMMAND) != shell::status::DONE) {
        console::printMessage(messages::NOT_SORTED);
        stopWithFailure(messages::OLD_LIST_KEPT);
    }
}

} // namespace

void runRelabelling() {
    console::printMessage(
        records::FixedText("1 February, 2014 Version 1.0 - Move individuals to species folders",
                           BANNER_WIDTH)
            .text());
    backUpPictureList();
    const species_map::SpeciesMap map = loadMap();
    if (checks::confirmSpeciesMap(map) == checks::Confirmation::Rejected) {
        exitOrderly();
    }
    relabel(map);
    sortPictureList();
    console::printMessage(messages::DELETING);
    (void)shell::runShellCommand(records::DELETE_COMMAND);
    console::printMessage(messages::ALL_MOVED);
    console::printMessage("Hit Enter to TERMINATE NORMALLY");
    console::waitForEnter();
    exitOrderly();
}

} // namespace driver
