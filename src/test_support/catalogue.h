#pragma once

// The operator's files as the tests lay them out and expect them back: their names, picture and
// map lines in the tool's columns, and the new picture list worked out the plain way.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "test_support/lines.h"

namespace test_support {

inline constexpr const char* PICTURES = "AllPictures.txt";
inline constexpr const char* BACKUP = "AllPicturesIndiv.txt";
inline constexpr const char* UNSORTED = "AllPicturesUnsorted.txt";
inline constexpr const char* MAP = "MarrowfenlatchMap.txt";

// What stays in the folder after a complete run.
inline constexpr const char* LISTING_AFTER_RUN =
    "AllPictures.txt AllPicturesIndiv.txt MarrowfenlatchMap.txt";

inline constexpr std::size_t NAME_COLUMNS = 25;
inline constexpr std::size_t TAIL_COLUMNS = 22;
inline constexpr std::size_t PICTURE_LINE_BYTES = 74 + 2;

// The 74 columns of a picture line, without a line end: lead, blank, folder, blank, tail.
inline std::string pictureColumns(std::string_view lead, std::string_view folder,
                                  std::string_view tail) {
    return padded(lead, NAME_COLUMNS) + " " + padded(folder, NAME_COLUMNS) + " " +
           padded(tail, TAIL_COLUMNS);
}

// A picture line as the tool writes it.
inline std::string pictureLine(std::string_view lead, std::string_view folder,
                               std::string_view tail) {
    return pictureColumns(lead, folder, tail) + "\r\n";
}

// A map file line as an operator types it, without its line end.
inline std::string mapColumns(std::string_view individual, std::string_view species) {
    return padded(individual, NAME_COLUMNS) + " " + std::string(species);
}

struct MapEntry {
    std::string individual;
    std::string species;
};

// Map lines ending in CR LF, as a text editor on the tool's home platform saves them.
inline std::string mapFile(const std::vector<MapEntry>& entries) {
    std::string file;
    for (const MapEntry& entry : entries) {
        file += mapColumns(entry.individual, entry.species) + "\r\n";
    }
    return file;
}

// The byte-order marks that an editor may put before the first line of a file.
inline constexpr std::string_view UTF8_MARK = "\xEF\xBB\xBF";
inline constexpr std::string_view UTF16_LITTLE_ENDIAN_MARK = "\xFF\xFE";
inline constexpr std::string_view UTF16_BIG_ENDIAN_MARK = "\xFE\xFF";

inline bool startsWithUtf16Mark(std::string_view file) {
    return file.starts_with(UTF16_LITTLE_ENDIAN_MARK) || file.starts_with(UTF16_BIG_ENDIAN_MARK);
}

// The entries of a map file as the tool reads them: a UTF-8 mark before the first line passed
// over, every line cut at the map's columns.
inline std::vector<MapEntry> mapEntriesOf(std::string_view map) {
    if (map.starts_with(UTF8_MARK)) {
        map.remove_prefix(UTF8_MARK.size());
    }
    std::vector<MapEntry> entries;
    for (const std::string& line : splitLines(map)) {
        entries.push_back({columns(line, 0, NAME_COLUMNS), columns(line, 26, NAME_COLUMNS)});
    }
    return entries;
}

// Lines in ascending unsigned byte order, each ending in CR LF, as the new picture list holds them.
inline std::string sortedLines(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end()); // char_traits<char> compares as unsigned bytes
    return joinLines(lines);
}

// Picture lines as the tool writes them, in the order of the new picture list.
inline std::string sortedPictureLines(std::string_view lines) {
    return sortedLines(splitLines(lines, LineEnd::CrLf));
}

// The picture lines that the relabelling writes, in input order: every line in the 74-column
// form, its folder replaced by the species of the first entry for it.
inline std::vector<std::string> relabelledLines(std::string_view map, std::string_view pictures) {
    const std::vector<MapEntry> entries = mapEntriesOf(map);
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(pictures)) {
        std::string folder = columns(line, 26, NAME_COLUMNS);
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const MapEntry& e) { return e.individual == folder; });
        lines.push_back(pictureColumns(columns(line, 0, NAME_COLUMNS),
                                       entry != entries.end() ? entry->species : folder,
                                       columns(line, 52, TAIL_COLUMNS)));
    }
    return lines;
}

// The picture list that a complete run leaves.
inline std::string relabelledList(std::string_view map, std::string_view pictures) {
    return sortedLines(relabelledLines(map, pictures));
}

} // namespace test_support
