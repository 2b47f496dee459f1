// Every allocation of a whole run refused in turn, by a preload library that counts them: that one
// alone, or every one from it on, as when memory is gone for good. The run must end in an orderly
// stop or a whole fatal report of exhausted memory, never by a signal, and leave the lists as
// every disturbed run must (test_support/verdict.h).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>

#include "fault_support.h"
#include "test_support/expect.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;
using fault_protocol::setting;
namespace alloc = fault_protocol::alloc;

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

// One case of the matrix: the answers, and what the run may leave and show.
struct MatrixCase {
    std::string answers;
    RunExpectation expected;
};

MatrixCase matrixCase(const std::string& name) {
    std::optional<std::string> map;
    if (name != "MapMissing") {
        map = name == "LargeMap" ? largeMap() : example(MAP);
    }
    const std::string pictures = example(PICTURES);
    const Transcripts t = transcriptsFor(map ? mapEntriesOf(*map) : std::vector<MapEntry>{});
    return {name == "AnsweredNo" ? "No\n\n" : "Yes\n\n",
            {.map = map,
             .oldList = pictures,
             .newList = map ? relabelledList(*map, pictures) : pictures,
             .transcripts = t,
             .dialogues = {t.complete, t.rejected, t.backupFailed, t.sortFailed, t.guidance}}};
}

// A failed copy or sort says why in one line; any other failure is a whole report of exhausted
// memory.
Allowance refusedMemory(const Transcripts& t) {
    Allowance allowed;
    allowed.checkStop = [t](const RunResult& run) -> std::string {
        const bool commandFailed = run.out == t.backupFailed || run.out == t.sortFailed;
        const bool oneLine = std::count(run.err.begin(), run.err.end(), '\n') == 1 &&
                             run.err.ends_with(": Cannot allocate memory\r\n");
        return !commandFailed || oneLine ? "" : "the failed command did not say why in one line";
    };
    allowed.checkReport = [](const RunResult& run) -> std::string {
        const FatalReport report = parseFatalReport(run.err);
        return report.wellFormed && !report.hostError && report.error == 210 &&
                       report.codeText == "dynamic memory allocation failed"
                   ? ""
                   : "the fatal report is not a whole report of exhausted memory";
    };
    return allowed;
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
        if (matrixCase.expected.map) {
            writeFile(dir() / MAP, *matrixCase.expected.map);
        }
        return runProgram({.folder = dir(),
                           .in = Stream::bytes(matrixCase.answers),
                           .environment = {setting(alloc::FAIL_AT, std::to_string(at)),
                                           setting(alloc::FAIL_ON, refusal),
                                           setting(alloc::COUNT_FILE, (base / "count").string())},
                           .preload = MTS_ALLOC_PRELOAD_PATH,
                           .timeLimit = std::chrono::seconds(20),
                           .builtProgram = true});
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

// The case, and whether only the chosen allocation is refused ("once") or every one from it on.
class AllocationMatrix : public testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(AllocationMatrix, EveryAllocationRefusedEndsInAStopOrAReport) {
    const auto& [caseName, refusal] = GetParam();
    const MatrixCase matrix = matrixCase(caseName);
    const RunExpectation& e = matrix.expected;
    const TempFolder base("mts-alloc", TempFolder::Storage::Memory);
    const RefusingRuns runs{matrix, refusal, base.dir};
    const Allowance allowed = refusedMemory(e.transcripts);

    // Undisturbed, the run ends as it would without the library, and tells how many there are.
    const RunResult clean = runs.refusing(0);
    const long allocations = runs.counted();
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    ASSERT_EQ(judgeRun(e, clean, runs.dir(), allowed).problem, "");
    ASSERT_GT(allocations, 0);

    fault::Tally tally;
    for (long at = 1; at <= allocations; ++at) {
        const RunResult run = runs.refusing(at);
        tally.add("allocation", outcomeOf(run, e.transcripts, clean), runs.counted() >= at,
                  judgeRun(e, run, runs.dir(), allowed), [&](const std::string& problem) {
                      return "allocation " + std::to_string(at) + " of " +
                             std::to_string(allocations) + ": " + problem + fault::shownBy(run);
                  });
    }
    fault::report(caseName + ", refused " + refusal, tally);
    // Memory that runs out inside the copy or the sort is that command's failure, and the run
    // takes the stop that goes with it.
    EXPECT_GT(tally.byKind["allocation"]["failed backup"], 0);
    if (clean.out == e.transcripts.complete) {
        EXPECT_GT(tally.byKind["allocation"]["failed sort"], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ExampleCatalogue, AllocationMatrix,
    testing::Combine(testing::Values("AnsweredYes", "AnsweredNo", "MapMissing", "LargeMap"),
                     testing::Values("once", "onwards")),
    [](const auto& info) { return std::get<0>(info.param) + "_" + std::get<1>(info.param); });

} // namespace
