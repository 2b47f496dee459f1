#pragma once

// What the fault tests share: realistic catalogues, how these tests start the program (this build's
// own, in front of which a preload library can sit), and the tally of a matrix: how each disturbed
// run ended, by the call that was disturbed, what was wrong, and the summary that a matrix prints.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fault_protocol.h"
#include "test_support/catalogue.h"
#include "test_support/launch.h"
#include "test_support/verdict.h"

namespace fault {

using namespace test_support;

struct Catalogue {
    std::string pictures; // AllPictures.txt
    std::string map;      // MarrowfenlatchMap.txt

    std::string relabelled() const { return relabelledList(map, pictures); }
    Transcripts transcripts() const { return transcriptsFor(mapEntriesOf(map)); }
    void layOut(const std::filesystem::path& dir) const {
        writeFile(dir / PICTURES, pictures);
        writeFile(dir / MAP, map);
    }
};

// The program started in `dir` with `input`, its output and errors captured.
inline Launch launchIn(const std::filesystem::path& dir, std::string_view input,
                       std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return {.folder = dir, .in = Stream::bytes(input), .timeLimit = limit, .builtProgram = true};
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
        catalogue.map += mapColumns(name, species[i % 5]) + "\r\n";
    }
    // A second entry for the first individual: only the first one may ever be used.
    catalogue.map += mapColumns(individuals[0], "Wrong species") + "\n";

    for (std::size_t i = 0; i < lines; ++i) {
        const std::uint32_t pick = next(10);
        std::string folder = pick < 6   ? individuals[next(static_cast<std::uint32_t>(entries))]
                             : pick < 8 ? species[next(5)]
                                        : "Stray " + std::to_string(next(50));
        std::string lead = "2013-" + std::to_string(10 + next(3)) + "-" +
                           std::to_string(10 + next(18)) + "_IMG_" +
                           std::to_string(1000 + next(9000)) + ".jpg";
        std::string line = pictureColumns(lead, folder, cameras[next(4)]);
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

struct Tally {
    int runs = 0;
    int injected = 0; // runs in which the disturbance happened
    int lostOrCorrupted = 0;
    std::map<std::string, std::map<std::string, int>> byKind; // key -> outcome -> runs
    std::vector<std::string> problems;

    // One run: its key and outcome, whether it was disturbed as planned, and the verdict, with
    // `describe` telling what went wrong so that the run can be made again.
    template <typename Describe>
    void add(const std::string& key, const std::string& outcome, bool disturbed,
             const test_support::Verdict& verdict, Describe describe) {
        ++runs;
        injected += disturbed ? 1 : 0;
        lostOrCorrupted += verdict.lostOrCorrupted ? 1 : 0;
        ++byKind[key][outcome];
        if (!verdict.problem.empty()) {
            problems.push_back(describe(verdict.problem));
        }
    }
};

// One line of the summary: "  <what>: <runs> <outcome>, ...".
inline void summarize(std::ostream& summary, const std::string& what,
                      const std::map<std::string, int>& outcomes) {
    summary << "  " << what << ":";
    const char* separator = " ";
    for (const auto& [outcome, runs] : outcomes) {
        summary << separator << runs << " " << outcome;
        separator = ", ";
    }
    summary << "\n";
}

// Prints the summary, and fails for each problem (the first 40) and for any run that lost the
// list or was not disturbed as planned.
inline void report(const std::string& title, const Tally& tally) {
    std::ostringstream summary;
    summary << title << ": " << tally.injected << " calls injected, " << tally.runs << " runs\n";
    std::map<std::string, int> total;
    for (const auto& [kind, outcomes] : tally.byKind) {
        summarize(summary, kind, outcomes);
        for (const auto& [outcome, runs] : outcomes) {
            total[outcome] += runs;
        }
    }
    summarize(summary, "all: " + std::to_string(tally.runs) + " runs", total);
    summary << "  " << tally.lostOrCorrupted << " runs lost or corrupted the picture list\n";
    std::cout << summary.str();
    for (std::size_t i = 0; i < tally.problems.size() && i < 40; ++i) {
        ADD_FAILURE() << tally.problems[i];
    }
    EXPECT_EQ(tally.problems.size(), 0u);
    EXPECT_EQ(tally.lostOrCorrupted, 0);
    EXPECT_EQ(tally.injected, tally.runs);
}

// What a disturbed run printed, for a failure message.
inline std::string shownBy(const test_support::RunResult& run) {
    std::ostringstream shown;
    shown << " [exit " << run.exitStatus << ", signal " << run.signal << "]\n  stdout ends: "
          << testing::PrintToString(run.out.substr(run.out.size() > 160 ? run.out.size() - 160 : 0))
          << "\n  stderr: " << testing::PrintToString(run.err);
    return shown.str();
}

} // namespace fault
