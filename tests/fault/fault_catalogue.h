#pragma once

// Realistic catalogues for the fault tests, and what the program must make of them: the new
// picture list worked out the plain way, and the console transcripts of every way a run can end.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fault {

struct Catalogue {
    std::string pictures; // AllPictures.txt
    std::string map;      // MarrowfenlatchMap.txt
};

inline std::string padded(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, std::min(text.size(), width)));
    field.resize(width, ' ');
    return field;
}

// A deterministic catalogue of `lines` pictures and a map of `entries` lines (at least 4). The
// list mixes mapped individuals, species and unmapped names, CR LF and LF line ends, short and
// over-long lines, and ends with a line that has no line end.
inline Catalogue makeCatalogue(std::size_t lines, std::size_t entries, std::uint32_t seed) {
    std::uint32_t state = seed;
    const auto next = [&state](std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    static const char* const species[] = {"Leopard", "Tiger", "Lion", "Cheetah", "Jaguar"};
    static const char* const cameras[] = {"Canon 7D 1/250 f4", "Nikon D800 1/1000 f8",
                                          "Canon 5D3 1/500 f5.6", "Sony A7 1/60 f2"};
    std::vector<std::string> individuals;
    Catalogue catalogue;
    for (std::size_t i = 0; i < entries; ++i) {
        std::string name = "Cat " + std::to_string(100 + i);
        if (i == 1) {
            name = "Sable Rosetta";
        }
        individuals.push_back(name);
        catalogue.map += padded(name, 25) + " " + species[i % 5] + "\r\n";
    }
    // A second entry for the first individual: only the first one may ever be used.
    catalogue.map += padded(individuals[0], 25) + " Wrong species\n";

    for (std::size_t i = 0; i < lines; ++i) {
        const std::uint32_t pick = next(10);
        std::string folder = pick < 6   ? individuals[next(static_cast<std::uint32_t>(entries))]
                             : pick < 8 ? species[next(5)]
                                        : "Stray " + std::to_string(next(50));
        std::string lead = "2013-" + std::to_string(10 + next(3)) + "-" +
                           std::to_string(10 + next(18)) + "_IMG_" +
                           std::to_string(1000 + next(9000)) + ".jpg";
        std::string line =
            padded(lead, 25) + " " + padded(folder, 25) + " " + padded(cameras[next(4)], 22);
        switch (next(12)) {
        case 0:
            line.resize(40); // a short line: the rest reads as blanks
            break;
        case 1:
            line += "  extra columns that are never copied";
            break;
        default:
            break;
        }
        const bool last = i + 1 == lines;
        catalogue.pictures += line + (last ? "" : next(4) == 0 ? "\n" : "\r\n");
    }
    return catalogue;
}

// Lines as the program takes them: LF ends a line, a CR just before it is dropped, a last line
// without a line end is still a line.
inline std::vector<std::string> splitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        std::size_t stop = lf == std::string_view::npos ? bytes.size() : lf;
        std::size_t length = stop - start;
        if (lf != std::string_view::npos && length > 0 && bytes[stop - 1] == '\r') {
            --length;
        }
        lines.emplace_back(bytes.substr(start, length));
        start = lf == std::string_view::npos ? bytes.size() : lf + 1;
    }
    return lines;
}

inline std::string columns(const std::string& line, std::size_t from, std::size_t width) {
    return padded(from < line.size() ? std::string_view(line).substr(from) : "", width);
}

// The picture list that a complete run leaves: every line relabelled in the 74-column form,
// sorted by unsigned byte order, each ending in CR LF.
inline std::string relabelledList(const Catalogue& catalogue) {
    std::vector<std::pair<std::string, std::string>> map;
    for (const std::string& line : splitLines(catalogue.map)) {
        map.emplace_back(columns(line, 0, 25), columns(line, 26, 25));
    }
    std::vector<std::string> out;
    for (const std::string& line : splitLines(catalogue.pictures)) {
        std::string folder = columns(line, 26, 25);
        for (const auto& [individual, species] : map) {
            if (individual == folder) {
                folder = species;
                break;
            }
        }
        out.push_back(columns(line, 0, 25) + " " + folder + " " + columns(line, 52, 22));
    }
    std::sort(out.begin(), out.end());
    std::string joined;
    for (const std::string& line : out) {
        joined += line + "\r\n";
    }
    return joined;
}

inline std::string message(std::string_view text) {
    return " " + std::string(text) + "\r\n";
}

struct Transcripts {
    std::string complete;
    std::string backupMissing;
    std::string backupFailed;
    std::string guidance;
    std::string sortFailed;
    std::string rejected;
};

inline Transcripts transcriptsFor(const Catalogue& catalogue) {
    const std::string start =
        message("1 February, 2014 Version 1.0 - Move individuals to species folders") +
        message("Save AllPictures.txt with individuals as AllPicturesIndiv.txt");
    std::string table = "\r\nIndividual                Species\r\n";
    for (const std::string& line : splitLines(catalogue.map)) {
        table += columns(line, 0, 25) + " " + columns(line, 26, 25) + "\r\n";
    }
    table += message("Type Yes, then Enter if this is correct, otherwise type No");
    const std::string upToSort =
        start + table + message("Map individuals into species, create AllPicturesUnsorted.txt") +
        message("Sort AllPicturesUnsorted.txt");
    const std::string failure = message("Type Enter to TERMINATE WITH FAILURE");

    Transcripts t;
    t.complete = upToSort + message("Delete AllPicturesUnsorted.txt") +
                 message("All individuals moved to species, AllPictures.txt created") +
                 message("Hit Enter to TERMINATE NORMALLY");
    t.backupMissing = start + message("AllPictures.txt is not present ... TERMINATING") + failure;
    t.backupFailed = start + message("Backup of AllPictures.txt failed ... TERMINATING") + failure;
    t.guidance = start;
    for (const char* line :
         {"MarrowfenlatchMap.txt is not present ... you must create it",
          "Format for individual is name + blanks = 25 characters, blank space, then species name",
          "Example: each line in MarrowfenlatchMap.txt looks like this below",
          "Use Notepad.txt to edit, do not use tabs", "Fluffy                    Leopard",
          "Buffy                     Leopard", "Sable Rosetta             Leopard",
          "Tiger 001                 Tiger", "Pretty face               Tiger",
          "Type Enter to TERMINATE WITH FAILURE"}) {
        t.guidance += message(line);
    }
    t.sortFailed =
        upToSort + message("Sort of AllPicturesUnsorted.txt failed ... TERMINATING") +
        message("AllPicturesIndiv.txt holds the picture list as it was before this run") + failure;
    t.rejected =
        start + table + message("FAILURE ... TERMINATING") + message("Hit Enter to acknowledge");
    return t;
}

} // namespace fault
