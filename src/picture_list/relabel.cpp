#include "picture_list/relabel.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "lines/line_end.h"
#include "records/layout.h"
#include "records/record_file.h"

namespace picture_list {

namespace {

constexpr std::int32_t BACKUP_CHANNEL = 1;
constexpr std::int32_t UNSORTED_CHANNEL = 2;

// The text fields of pictureLineLayout, in its order.
enum PictureField : std::size_t { LEAD, FOLDER, TAIL };

// One line of the picture list, cut by its layout: the picture's name, its folder and the rest.
struct PictureRecord {
    std::vector<records::FixedText> fields = records::blankValues(pictureLineLayout());
};

// Where a picture line that fills its layout keeps its folder and its two blank columns.
struct WholeLineShape {
    std::size_t width;
    std::size_t folder;
    std::size_t firstBlank;
    std::size_t secondBlank;
};

WholeLineShape wholeLineShape(const records::LayoutPlan& plan) {
    const records::FieldColumns lead = plan.fields[LEAD];
    const records::FieldColumns folder = plan.fields[FOLDER];
    return {plan.width, folder.first, lead.first + lead.width, folder.first + folder.width};
}

struct Relabelling {
    const species_map::SpeciesMap& map;
    records::RecordFile& unsorted;
    const records::LayoutPlan& plan;
    WholeLineShape whole;
    PictureRecord picture;
};

// Nearly every line of a list that the program wrote itself: as long as the layout, with blanks
// in the columns that it leaves blank. Its record is the line itself, with the folder replaced
// where the map names it, so it is copied whole instead of cut and built again.
bool isWholePictureLine(const WholeLineShape& shape, std::string_view line) {
    return line.size() == shape.width && line[shape.firstBlank] == ' ' &&
           line[shape.secondBlank] == ' ';
}

// Relabels whole lines that follow each other in the text read, each with a line end as long as
// the program's own, copying them all at once and then putting each species over its folder.
void relabelWholeLines(Relabelling& relabelling, std::span<const std::string_view> lines,
                       std::span<const char* const> species) {
    const std::size_t width = relabelling.whole.width;
    const std::size_t stride = lines::writtenSize(width);
    char* const out = relabelling.unsorted.recordsRoom(lines.size(), width);
    std::memcpy(out, lines.front().data(), (lines.size() - 1) * stride + width);
    for (std::size_t line = 0; line < lines.size(); ++line) {
        if (species[line] != nullptr) {
            std::memcpy(out + line * stride + relabelling.whole.folder, species[line],
                        records::NAME_WIDTH);
        }
    }
    relabelling.unsorted.commitRecords(lines.size(), width);
}

void relabelCutLine(Relabelling& relabelling, std::string_view line) {
    records::cutLine(line, relabelling.plan, relabelling.picture.fields);
    records::FixedText& folder = relabelling.picture.fields[FOLDER];
    if (const std::optional<std::size_t> entry = relabelling.map.findSpecies(folder)) {
        // Kept at the folder's width, so this copies bytes and never allocates.
        folder.assign(relabelling.map.entries()[*entry].species.text());
    }
    relabelling.unsorted.writeRecord(relabelling.plan, relabelling.picture.fields);
}

// How many of the lines from `first` on, a whole one, are whole picture lines in a row, each right
// after the one before with a line end as long as the program's own between them.
std::size_t wholeLinesInARow(const WholeLineShape& shape, std::span<const std::string_view> lines,
                             std::span<const bool> whole, std::size_t first) {
    const std::size_t stride = lines::writtenSize(shape.width);
    std::size_t end = first + 1;
    while (end < lines.size() && whole[end] &&
           lines[end].data() == lines[end - 1].data() + stride) {
        ++end;
    }
    return end - first;
}

// Relabels a batch of at most FOLDER_BATCH lines, looking up the folders of all its whole lines at
// once.
void relabelLines(Relabelling& relabelling, std::span<const std::string_view> lines) {
    std::array<bool, species_map::FOLDER_BATCH> whole{};
    std::array<const char*, species_map::FOLDER_BATCH> folders{};
    std::array<const char*, species_map::FOLDER_BATCH> species{};
    std::size_t wholeCount = 0;
    for (std::size_t line = 0; line < lines.size(); ++line) {
        whole[line] = isWholePictureLine(relabelling.whole, lines[line]);
        if (whole[line]) {
            folders[wholeCount++] = lines[line].data() + relabelling.whole.folder;
        }
    }
    relabelling.map.speciesOfFolders(std::span(folders).first(wholeCount),
                                     std::span(species).first(wholeCount));
    std::size_t next = 0; // the species of the next whole line
    for (std::size_t line = 0; line < lines.size();) {
        if (!whole[line]) {
            relabelCutLine(relabelling, lines[line++]);
            continue;
        }
        const std::size_t inARow = wholeLinesInARow(relabelling.whole, lines, whole, line);
        relabelWholeLines(relabelling, lines.subspan(line, inARow),
                          std::span(species).subspan(next, inARow));
        line += inARow;
        next += inARow;
    }
}

} // namespace

const records::RecordLayout& pictureLineLayout() {
    static const records::RecordLayout layout{
        {records::TextField{records::NAME_WIDTH}, records::Skip{1},
         records::TextField{records::NAME_WIDTH}, records::Skip{1},
         records::TextField{records::TAIL_WIDTH}}};
    return layout;
}

RelabelOutcome relabelPictureList(const species_map::SpeciesMap& map) {
    auto backup = records::RecordFile::openOrCreate(BACKUP_FILE_NAME, BACKUP_CHANNEL);
    if (backup.passByteOrderMark() != lines::ByteOrderMark::None) {
        backup.close();
        return RelabelOutcome::ListHasByteOrderMark;
    }
    auto unsorted = records::RecordFile::openOrCreate(UNSORTED_FILE_NAME, UNSORTED_CHANNEL);
    // Made once the files are open, so that a want of memory here is reported for them.
    static const records::LayoutPlan plan = records::planLayout(pictureLineLayout());
    Relabelling run{map, unsorted, plan, wholeLineShape(plan), {}};
    // Read in batches, so that the folders of a batch are looked up in the map together.
    std::array<std::string_view, species_map::FOLDER_BATCH> lines;
    while (const std::size_t count = backup.readLines(lines.data(), lines.size())) {
        relabelLines(run, std::span(lines).first(count));
    }
    backup.close();
    unsorted.close();
    return RelabelOutcome::Relabelled;
}

} // namespace picture_list
