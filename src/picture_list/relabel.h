#pragma once

#include "records/layout.h"
#include "records/operator_files.h"
#include "species_map/species_map.h"

namespace picture_list {

// The list is read from its backup and written, relabelled, to the unsorted list.
using records::BACKUP_FILE_NAME;
using records::UNSORTED_FILE_NAME;

// A picture line: the picture in columns 1 to 25, its folder in columns 27 to 51 and the rest in
// columns 53 to 74; columns 26 and 52 are skipped (blank when written).
const records::RecordLayout& pictureLineLayout();

enum class RelabelOutcome {
    Relabelled,
    // The backup starts with a byte-order mark: an editor saved the list in another encoding than
    // single-byte text, so its columns are not where the layout cuts them. The unsorted list is
    // not made.
    ListHasByteOrderMark,
};

// Copies every line of the backup to the unsorted list, in order, in the fixed 74-column form,
// with the folder of every mapped individual replaced by its species. Every file is closed again
// before it returns.
[[nodiscard]] RelabelOutcome relabelPictureList(const species_map::SpeciesMap& map);

} // namespace picture_list
