#pragma once

// The tally of a fault matrix: how each disturbed run ended, by the call that was disturbed, what
// was wrong, and the summary that a matrix prints.

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support/verdict.h"

namespace fault {

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
