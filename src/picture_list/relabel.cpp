#include "picture_list/relabel.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "records/layout.h"
#include "records/record_file.h"

namespace picture_list {

namespace {

constexpr std::int32_t BACKUP_CHANNEL = 1;
constexpr std::int32_t UNSORTED_CHANNEL = 2;

const records::RecordLayout& pictureLineLayout() {
    static const records::RecordLayout layout{
        {records::TextField{records::NAME_WIDTH}, records::Skip{1},
         records::TextField{records::NAME_WIDTH}, records::Skip{1},
         records::TextField{records::TAIL_WIDTH}}};
    return layout;
}

// The text fields of pictureLineLayout, in its order.
enum PictureField : std::size_t { LEAD, FOLDER, TAIL };

// One line of the picture list, cut by its layout: the picture's name, its folder and the rest.
struct PictureRecord {
    std::vector<records::FixedText> fields = records::blankValues(pictureLineLayout());
};

} // namespace

void relabelPictureList(const species_map::SpeciesMap& map) {
    static const records::LayoutPlan layout = records::planLayout(pictureLineLayout());
    records::RecordFile backup = records::openOrCreate(BACKUP_FILE_NAME, BACKUP_CHANNEL);
    records::RecordFile unsorted = records::openOrCreate(UNSORTED_FILE_NAME, UNSORTED_CHANNEL);
    PictureRecord picture;
    records::FixedText& folder = picture.fields[FOLDER];
    while (records::readRecord(backup, layout, picture.fields) == records::ReadOutcome::Record) {
        if (const std::optional<std::size_t> entry = species_map::findSpecies(map, folder)) {
            // Same width on both sides, so this copies bytes and never allocates.
            folder.bytes = map.entries[*entry].species.bytes;
        }
        records::writeRecord(unsorted, layout, picture.fields);
    }
    records::close(backup);
    records::close(unsorted);
}

} // namespace picture_list
