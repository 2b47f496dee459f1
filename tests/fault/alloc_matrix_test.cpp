// Every allocation of a whole run refused in turn, by a preload library that counts them: that one
// alone, or every one from it on, as when memory is gone for good. The run must end in an orderly
// stop or a whole fatal report of exhausted memory, never by a signal, leaving "AllPictures.txt"
// the old or the complete new list, the backup absent or complete, and no file but its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "test_support/expect.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;

std::string example(const char* name) {
    return readFile(fs::path(MTS_EXAMPLES_DIR) / name);
}

// The example's map grown past the table's first size of 500 entries, and past the 512 entries
// at which the index of individuals is made anew, by as few lines as that takes.
std::string largeMap() {
    std::string map = example(MAP);
    for (auto i = mapEntriesOf(map).size(); i < 513; ++i) {
        map += mapColumns("Cat " + std::to_string(i), "Lion") + "\r\n";
    }
    return map;
}

struct Expectation {
    std::string oldList;
    std::string newList;
    Transcripts transcripts;
};

// What a run under the library left and showed; empty when all is as it may be.
std::string problemWith(const Expectation& e, const RunResult& run, const fs::path& dir) {
    if (run.signal != 0 || run.timedOut || (run.exitStatus != 0 && run.exitStatus != 127)) {
        return "the run ended with status " + std::to_string(run.exitStatus) +
               (run.timedOut ? ", hung" : "");
    }
    const std::string pictures = readFile(dir / PICTURES);
    if (pictures != e.oldList && pictures != e.newList) {
        return "AllPictures.txt is neither the old list nor the complete new one";
    }
    if (fs::exists(dir / BACKUP) && readFile(dir / BACKUP) != e.oldList) {
        return "AllPicturesIndiv.txt is there but not the complete old list";
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name != PICTURES && name != BACKUP && name != UNSORTED && name != MAP) {
            return "a stray file is left behind: " + name;
        }
    }
    if (run.out.find(DONE_MESSAGE) != std::string::npos && pictures != e.newList) {
        return "success is claimed without the new list";
    }
    const Transcripts& t = e.transcripts;
    const std::set<std::string> endings = {t.complete, t.rejected, t.backupFailed, t.sortFailed,
                                           t.guidance};
    if (run.exitStatus == 0) {
        const bool commandFailed = run.out == t.backupFailed || run.out == t.sortFailed;
        if (commandFailed && (std::count(run.err.begin(), run.err.end(), '\n') != 1 ||
                              !run.err.ends_with(": Cannot allocate memory\r\n"))) {
            return "the failed command did not say why in one line";
        }
        return endings.count(run.out) ? "" : "exit status 0 after an unexpected dialogue";
    }
    const bool wholeLines = std::any_of(endings.begin(), endings.end(), [&](const auto& ending) {
        return ending.compare(0, run.out.size(), run.out) == 0;
    });
    if (!wholeLines || (!run.out.empty() && !run.out.ends_with("\r\n"))) {
        return "standard output before the fatal report is not whole lines of a run's dialogue";
    }
    const FatalReport report = parseFatalReport(run.err);
    if (!report.wellFormed || report.hostError || report.error != 210 ||
        report.codeText != "dynamic memory allocation failed") {
        return "the fatal report is not a whole report of exhausted memory";
    }
    return "";
}

// The case, and whether only the chosen allocation is refused ("once") or every one from it on.
class AllocationMatrix : public testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(AllocationMatrix, EveryAllocationRefusedEndsInAStopOrAReport) {
    const auto& [caseName, refusal] = GetParam();
    std::optional<std::string> map = caseName == "LargeMap" ? largeMap() : example(MAP);
    if (caseName == "MapMissing") {
        map.reset();
    }
    const std::string answers = caseName == "AnsweredNo" ? "No\n\n" : "Yes\n\n";
    const Expectation e{example(PICTURES),
                        map ? relabelledList(*map, example(PICTURES)) : example(PICTURES),
                        transcriptsFor(map ? mapEntriesOf(*map) : std::vector<MapEntry>{})};

    const TempFolder base("mts-alloc", TempFolder::Storage::Memory);
    const fs::path dir = base.dir / "run";
    const auto runRefusing = [&](long at) {
        fs::remove_all(dir);
        fs::create_directory(dir);
        writeFile(dir / PICTURES, e.oldList);
        if (map) {
            writeFile(dir / MAP, *map);
        }
        Launch launch;
        launch.folder = dir;
        launch.in = Stream::bytes(answers);
        launch.timeLimit = std::chrono::seconds(20);
        launch.builtProgram = true;
        launch.preload = MTS_ALLOC_PRELOAD_PATH;
        launch.environment = {"ALLOC_FAIL_AT=" + std::to_string(at), "ALLOC_FAIL_ON=" + refusal,
                              "ALLOC_COUNT_FILE=" + (base.dir / "count").string()};
        return runProgram(launch);
    };
    const auto counted = [&] { return std::stol(readFile(base.dir / "count")); };

    // Undisturbed, the run ends as it would without the library, and tells how many there are.
    const RunResult clean = runRefusing(0);
    const long allocations = counted();
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    ASSERT_EQ(problemWith(e, clean, dir), "");
    ASSERT_GT(allocations, 0);

    std::map<std::string, int> outcomes;
    int failures = 0;
    for (long at = 1; at <= allocations; ++at) {
        const RunResult run = runRefusing(at);
        std::string problem = problemWith(e, run, dir);
        if (problem.empty() && counted() < at) {
            problem = "the allocation to refuse was never asked for";
        }
        const Transcripts& t = e.transcripts;
        ++outcomes[run.exitStatus == 127       ? "memory report"
                   : run.out == t.backupFailed ? "failed backup"
                   : run.out == t.sortFailed   ? "failed sort"
                   : run.out == clean.out      ? "as undisturbed"
                                               : "other stop"];
        if (!problem.empty() && ++failures <= 20) {
            ADD_FAILURE() << "allocation " << at << " of " << allocations << ": " << problem
                          << " [exit " << run.exitStatus
                          << "]\n  stdout: " << testing::PrintToString(run.out)
                          << "\n  stderr: " << testing::PrintToString(run.err);
        }
    }
    std::ostringstream summary;
    summary << caseName << ", " << allocations << " allocations:";
    for (const auto& [outcome, runs] : outcomes) {
        summary << " " << runs << " " << outcome << ";";
    }
    std::cout << summary.str() << "\n";
    EXPECT_EQ(failures, 0);
    // Memory that runs out inside the copy or the sort is that command's failure, and the run
    // takes the stop that goes with it.
    EXPECT_GT(outcomes["failed backup"], 0);
    if (clean.out == e.transcripts.complete) {
        EXPECT_GT(outcomes["failed sort"], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ExampleCatalogue, AllocationMatrix,
    testing::Combine(testing::Values("AnsweredYes", "AnsweredNo", "MapMissing", "LargeMap"),
                     testing::Values("once", "onwards")),
    [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param); });

} // namespace
