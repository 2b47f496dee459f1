#pragma once

// What the tool shows on its console, line for line, for every way a run can end: built from the
// fixed messages and the map table, so that a test compares the whole transcript byte for byte.

#include <string>
#include <string_view>
#include <vector>

#include "test_support/catalogue.h"

namespace test_support {

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
