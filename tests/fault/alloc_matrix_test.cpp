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

// What the run left in its folder; empty when all is as it may be.
std::string problemWithFiles(const Expectation& e, const RunResult& run, const fs::path& dir) {
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
    return "";
}

// The whole dialogues of a run: done, rejected, stopped at the backup, the sort or the map.
std::vector<std::string> dialoguesOf(const Transcripts& t) {
    return {t.complete, t.rejected, t.backupFailed, t.sortFailed, t.guidance};
}

// How a run that ended with status 0 ended: one of the run's stops, and a failed command that
// says why in one line.
std::string problemWithStop(const Transcripts& t, const RunResult& run) {
    const bool commandFailed = run.out == t.backupFailed || run.out == t.sortFailed;
    if (commandFailed && (std::count(run.err.begin(), run.err.end(), '\n') != 1 ||
                          !run.err.ends_with(": Cannot allocate memory\r\n"))) {
        return "the failed command did not say why in one line";
    }
    return std::ranges::count(dialoguesOf(t), run.out) != 0
               ? ""
               : "exit status 0 after an unexpected dialogue";
}

// How a run that ended with status 127 ended: whole lines of a run's dialogue, then a whole report
// of exhausted memory.
std::string problemWithReport(const Transcripts& t, const RunResult& run) {
    if (!isWholeLinePrefix(run.out, dialoguesOf(t))) {
        return "standard output before the fatal report is not whole lines of a run's dialogue";
    }
    const FatalReport report = parseFatalReport(run.err);
    if (!report.wellFormed || report.hostError || report.error != 210 ||
        report.codeText != "dynamic memory allocation failed") {
        return "the fatal report is not a whole report of exhausted memory";
    }
    return "";
}

// What a run under the library left and showed; empty when all is as it may be.
std::string problemWith(const Expectation& e, const RunResult& run, const fs::path& dir) {
    if (run.signal != 0 || run.timedOut || (run.exitStatus != 0 && run.exitStatus != 127)) {
        return "the run ended with status " + std::to_string(run.exitStatus) +
               (run.timedOut ? ", hung" : "");
    }
    if (std::string problem = problemWithFiles(e, run, dir); !problem.empty()) {
        return problem;
    }
    return run.exitStatus == 0 ? problemWithStop(e.transcripts, run)
                               : problemWithReport(e.transcripts, run);
}

// One case of the matrix: the map (none when it is missing), the answers, and what may come out.
struct MatrixCase {
    std::optional<std::string> map;
    std::string answers;
    Expectation expected;
};

MatrixCase matrixCase(const std::string& name) {
    std::optional<std::string> map;
    if (name != "MapMissing") {
        map = name == "LargeMap" ? largeMap() : example(MAP);
    }
    const std::string pictures = example(PICTURES);
    Expectation expected{pictures, map ? relabelledList(*map, pictures) : pictures,
                         transcriptsFor(map ? mapEntriesOf(*map) : std::vector<MapEntry>{})};
    return {map, name == "AnsweredNo" ? "No\n\n" : "Yes\n\n", std::move(expected)};
}

// Runs of the case under the library, each in its folder laid anew.
struct RefusingRuns {
    const MatrixCase& matrixCase;
    std::string refusal; // "once" or "onwards"
    fs::path base;

    fs::path dir() const { return base / "run"; }

    RunResult refusing(long at) const {
        fs::remove_all(dir());
        fs::create_directory(dir());
        writeFile(dir() / PICTURES, matrixCase.expected.oldList);
        if (matrixCase.map) {
            writeFile(dir() / MAP, *matrixCase.map);
        }
        Launch launch;
        launch.folder = dir();
        launch.in = Stream::bytes(matrixCase.answers);
        launch.timeLimit = std::chrono::seconds(20);
        launch.builtProgram = true;
        launch.preload = MTS_ALLOC_PRELOAD_PATH;
        launch.environment = {"ALLOC_FAIL_AT=" + std::to_string(at), "ALLOC_FAIL_ON=" + refusal,
                              "ALLOC_COUNT_FILE=" + (base / "count").string()};
        return runProgram(launch);
    }

    // The allocations that the last run asked for.
    long counted() const { return std::stol(readFile(base / "count")); }
};

std::string outcomeOf(const RunResult& run, const Transcripts& t, const RunResult& undisturbed) {
    return run.exitStatus == 127        ? "memory report"
           : run.out == t.backupFailed  ? "failed backup"
           : run.out == t.sortFailed    ? "failed sort"
           : run.out == undisturbed.out ? "as undisturbed"
                                        : "other stop";
}

void printSummary(const std::string& caseName, long allocations,
                  const std::map<std::string, int>& outcomes) {
    std::ostringstream summary;
    summary << caseName << ", " << allocations << " allocations:";
    for (const auto& [outcome, runs] : outcomes) {
        summary << " " << runs << " " << outcome << ";";
    }
    std::cout << summary.str() << "\n";
}

// The case, and whether only the chosen allocation is refused ("once") or every one from it on.
class AllocationMatrix : public testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(AllocationMatrix, EveryAllocationRefusedEndsInAStopOrAReport) {
    const auto& [caseName, refusal] = GetParam();
    const MatrixCase matrix = matrixCase(caseName);
    const Expectation& e = matrix.expected;
    const TempFolder base("mts-alloc", TempFolder::Storage::Memory);
    const RefusingRuns runs{matrix, refusal, base.dir};

    // Undisturbed, the run ends as it would without the library, and tells how many there are.
    const RunResult clean = runs.refusing(0);
    const long allocations = runs.counted();
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    ASSERT_EQ(problemWith(e, clean, runs.dir()), "");
    ASSERT_GT(allocations, 0);

    std::map<std::string, int> outcomes;
    int failures = 0;
    for (long at = 1; at <= allocations; ++at) {
        const RunResult run = runs.refusing(at);
        std::string problem = problemWith(e, run, runs.dir());
        if (problem.empty() && runs.counted() < at) {
            problem = "the allocation to refuse was never asked for";
        }
        ++outcomes[outcomeOf(run, e.transcripts, clean)];
        if (!problem.empty() && ++failures <= 20) {
            ADD_FAILURE() << "allocation " << at << " of " << allocations << ": " << problem
                          << " [exit " << run.exitStatus
                          << "]\n  stdout: " << testing::PrintToString(run.out)
                          << "\n  stderr: " << testing::PrintToString(run.err);
        }
    }
    printSummary(caseName, allocations, outcomes);
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
