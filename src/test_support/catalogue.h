#pragma once

// The operator's files as the tests lay them out and expect them back: their names, picture and
// map lines in the tool's columns, and the new picture list worked out the plain way; and what the
// tool shows on its console, line for line, for every way a run can end, built from the fixed
// messages and the map table, so that a test compares the whole transcript byte for byte.

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

inline constexpr std::string_view BANNER =
    "1 February, 2014 Version 1.0 - Move individuals to species folders";
inline constexpr std::string_view SAVE_MESSAGE =
    "Save AllPictures.txt with individuals as AllPicturesIndiv.txt";
inline constexpr std::string_view QUESTION =
    "Type Yes, then Enter if this is correct, otherwise type No";
inline constexpr std::string_view RELABEL_MESSAGE =
    "Map individuals into species, create AllPicturesUnsorted.txt";
inline constexpr std::string_view SORT_MESSAGE = "Sort AllPicturesUnsorted.txt";
inline constexpr std::string_view DELETE_MESSAGE = "Delete AllPicturesUnsorted.txt";
inline constexpr std::string_view DONE_MESSAGE =
    "All individuals moved to species, AllPictures.txt created";
inline constexpr std::string_view NORMAL_END_MESSAGE = "Hit Enter to TERMINATE NORMALLY";
inline constexpr std::string_view REJECTED_MESSAGE = "FAILURE ... TERMINATING";
inline constexpr std::string_view ACKNOWLEDGE_MESSAGE = "Hit Enter to acknowledge";
inline constexpr std::string_view FAILURE_WAIT = "Type Enter to TERMINATE WITH FAILURE";

// One message line: a blank, the text, CR LF.
inline std::string message(std::string_view text) {
    std::string line(" ");
    return line.append(text).append("\r\n");
}

// The confirmation: blank line, header, one row per entry, the question.
inline std::string mapTable(const std::vector<MapEntry>& entries) {
    std::string table = "\r\nIndividual                Species\r\n";
    for (const MapEntry& entry : entries) {
        table += padded(entry.individual, NAME_COLUMNS) + " " +
                 padded(entry.species, NAME_COLUMNS) + "\r\n";
    }
    return table + message(QUESTION);
}

struct Transcripts {
    std::string opening;       // how every run starts
    std::string question;      // up to the question, the map table shown
    std::string relabelling;   // up to the announcement of the relabelling
    std::string complete;      // a complete run
    std::string rejected;      // the operator answered no
    std::string sortFailed;    // the sort failed after the relabelling
    std::string backupMissing; // no picture list to back up
    std::string backupFailed;  // the backup failed otherwise
    std::string guidance;      // no usable map file
    std::string mapMarked;     // the map is saved in UTF-16, with its byte-order mark
    std::string listMarked;    // the picture list starts with a byte-order mark
};

// The transcripts of a run whose map shows `entries`.
inline Transcripts transcriptsFor(const std::vector<MapEntry>& entries) {
    Transcripts t;
    t.opening = message(BANNER) + message(SAVE_MESSAGE);
    t.question = t.opening + mapTable(entries);
    t.relabelling = t.question + message(RELABEL_MESSAGE);
    const std::string upToSort = t.relabelling + message(SORT_MESSAGE);
    t.complete =
        upToSort + message(DELETE_MESSAGE) + message(DONE_MESSAGE) + message(NORMAL_END_MESSAGE);
    t.rejected = t.question + message(REJECTED_MESSAGE) + message(ACKNOWLEDGE_MESSAGE);
    t.sortFailed =
        upToSort + message("Sort of AllPicturesUnsorted.txt failed ... TERMINATING") +
        message("AllPicturesIndiv.txt holds the picture list as it was before this run") +
        message(FAILURE_WAIT);
    t.backupMissing = t.opening + message("AllPictures.txt is not present ... TERMINATING") +
                      message(FAILURE_WAIT);
    t.backupFailed = t.opening + message("Backup of AllPictures.txt failed ... TERMINATING") +
                     message(FAILURE_WAIT);
    const std::string markAdvice =
        " starts with a byte-order mark: save it as ANSI or UTF-8 without BOM ... TERMINATING";
    t.mapMarked = t.opening + message(MAP + markAdvice) + message(FAILURE_WAIT);
    t.listMarked = t.relabelling + message(PICTURES + markAdvice) + message(FAILURE_WAIT);
    // The long format line goes out whole, with no break at column 80; the example lines are
    // real map lines, the species in column 27.
    t.guidance = t.opening;
    for (const std::string& line :
         {std::string("MarrowfenlatchMap.txt is not present ... you must create it"),
          std::string("Format for individual is name + blanks = 25 characters, blank space, then "
                      "species name"),
          std::string("Example: each line in MarrowfenlatchMap.txt looks like this below"),
          std::string("Use Notepad.txt to edit, do not use tabs"), mapColumns("Fluffy", "Leopard"),
          mapColumns("Buffy", "Leopard"), mapColumns("Sable Rosetta", "Leopard"),
          mapColumns("Tiger 001", "Tiger"), mapColumns("Pretty face", "Tiger"),
          std::string(FAILURE_WAIT)}) {
        t.guidance += message(line);
    }
    return t;
}

// Whether `out` is whole lines with which one of `dialogues` begins: what a run shows before it
// is cut short.
inline bool isWholeLinePrefix(std::string_view out, const std::vector<std::string>& dialogues) {
    if (!out.empty() && !out.ends_with("\r\n")) {
        return false;
    }
    for (const std::string& dialogue : dialogues) {
        if (dialogue.starts_with(out)) {
            return true;
        }
    }
    return false;
}

} // namespace test_support
