// Every file and stream call of a run, failed in turn. A first run under the preload library
// counts the calls of a complete run; then the program runs once per call with that call failing
// (for the large catalogue, a spread of the calls on each file). Whatever fails, the operator's
// picture list must survive (test_support/verdict.h), and a fatal report must name the call that
// failed; an interrupted or short call must end in a complete run. The Windows build goes through
// the same under Wine, where each of the run's processes has its calls counted and
// failed in turn.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>

#include "fault_support.h"
#include "test_support/expect.h"

namespace {

namespace fs = std::filesystem;
using namespace fault;
using namespace fault_protocol;

const std::string ANSWERS = "Yes\n\n";

// The Windows build run under Wine for the fault tests. There the program, each command line of
// the interpreter (cmd.exe runs every one as a process of its own), the sort and Wine's server
// are separate processes, and the preload library, told to count every process under its own
// name (FAULT_PROCESSES), counts and fails the calls of each. The server opens, truncates,
// renames and deletes the files for all the others, and it takes its environment once, when it
// starts: so every run has a server of its own, started with the run's settings and ended with
// every process of the prefix when the run is over. The prefix itself is made once.

// A Wine prefix of the test's own, removed with everything in it when the object goes.
class Wine {
  public:
    Wine() : prefix_("mts-wine") {}

    // What every Wine process of this prefix gets in its environment: no display, no debug
    // output, and no offer to install the .NET and HTML runtimes while the prefix is made.
    std::vector<std::string> environment() const {
        return {"WINEPREFIX=" + prefix_.dir.string(),
                "WINEDEBUG=-all",
                "WINEDLLOVERRIDES=mscoree,mshtml=",
                "WINEARCH=win64",
                "DISPLAY",
                "WAYLAND_DISPLAY"};
    }

    // One of Wine's own commands, run to its end with `settings` added to the environment.
    RunResult command(std::vector<std::string> words,
                      const std::vector<std::string>& settings = {}) const {
        Launch launch{.folder = prefix_.dir,
                      .environment = environment(),
                      .timeLimit = std::chrono::seconds(120),
                      .command = std::move(words)};
        launch.environment.insert(launch.environment.end(), settings.begin(), settings.end());
        return runProgram(launch);
    }

    // Makes the prefix, as a first start of a Windows program does; false when Wine cannot.
    bool make() const;

  private:
    TempFolder prefix_;
};

// Wine's server for one run. `wineserver -p60` returns once the server listens, so no program of
// the run can start a server of its own (without the settings) first; `-k` ends it with every
// process of the prefix, and `-w` waits until it has gone. Should the test
// itself be killed, the server ends a minute after its last process.
class WineServer {
  public:
    WineServer(const Wine& wine, const std::vector<std::string>& settings) : wine_(wine) {
        started_ = wine_.command({"wineserver", "-p60"}, settings).exitStatus == 0;
    }
    ~WineServer() {
        wine_.command({"wineserver", "-k"});
        wine_.command({"wineserver", "-w"});
    }
    WineServer(const WineServer&) = delete;
    WineServer& operator=(const WineServer&) = delete;

    bool started() const { return started_; }

  private:
    const Wine& wine_;
    bool started_ = false;
};

bool Wine::make() const {
    const WineServer server(*this, {});
    return server.started() && command({"wine", "cmd.exe", "/c", "exit"}).exitStatus == 0;
}

struct Disturbance {
    Mode mode;
    int error; // for a failure
};

// The failures each kind of call can really meet. Interrupted and short calls are the ones a
// program must absorb by retrying.
const std::vector<std::pair<Kind, std::vector<Disturbance>>> PLAN = {
    {K_OPEN, {{MODE_FAIL, EACCES}, {MODE_FAIL, EIO}, {MODE_FAIL, ENOSPC}, {MODE_EINTR, 0}}},
    {K_READ, {{MODE_FAIL, EIO}, {MODE_EINTR, 0}, {MODE_SHORT, 0}}},
    {K_WRITE, {{MODE_FAIL, ENOSPC}, {MODE_FAIL, EIO}, {MODE_EINTR, 0}, {MODE_SHORT, 0}}},
    {K_FSYNC, {{MODE_FAIL, EIO}, {MODE_FAIL, ENOSPC}}},
    {K_RENAME, {{MODE_FAIL, EACCES}, {MODE_FAIL, EIO}, {MODE_FAIL, ENOSPC}}},
    {K_FTRUNCATE, {{MODE_FAIL, EIO}, {MODE_EINTR, 0}}},
    {K_CLOSE, {{MODE_FAIL, EIO}, {MODE_FAIL, ENOSPC}, {MODE_EINTR, 0}}},
    {K_UNLINK, {{MODE_FAIL, EACCES}, {MODE_FAIL, EIO}}},
    {K_COPY, {{MODE_FAIL, ENOSPC}, {MODE_FAIL, EIO}, {MODE_FAIL, EXDEV}, {MODE_SHORT, 0}}},
    {K_FCHMOD, {{MODE_FAIL, EPERM}, {MODE_FAIL, EIO}}},
    {K_STAT, {{MODE_FAIL, EACCES}, {MODE_FAIL, EIO}}},
    // A name taken meanwhile, and the failures of making a name at all.
    {K_LINK, {{MODE_FAIL, EEXIST}, {MODE_FAIL, ENOSPC}, {MODE_FAIL, EIO}}},
    {K_WRITEBACK, {{MODE_FAIL, EIO}, {MODE_FAIL, ENOSPC}}},
    // No room in the address space, and a file system that cannot map files.
    {K_MAP, {{MODE_FAIL, ENOMEM}, {MODE_FAIL, ENODEV}}},
};

// A folder to run in, with the files of the scenario laid out afresh for each run.
struct Scenario {
    std::string name;
    Catalogue catalogue;
    std::map<std::string, std::string> leftovers; // files an earlier run left behind
    std::size_t sample;                           // calls per file and disturbance; 0: all
    std::set<std::string> kinds;                  // when not empty, only calls of these kinds
    std::vector<std::string> targets; // when not empty, only calls on files whose names start so
};

// The scenario's files, laid out afresh in `dir` for each run.
void layOut(const fs::path& dir, const Scenario& scenario) {
    fs::remove_all(dir);
    fs::create_directory(dir);
    scenario.catalogue.layOut(dir);
    for (const auto& [name, bytes] : scenario.leftovers) {
        writeFile(dir / name, bytes);
    }
}

// The fatal report at the end of standard error, checked line by line against the call that
// failed (`target`, with `injectedErrno`). Returns what is wrong with it, or nothing.
std::string checkFatalReport(const RunResult& run, const std::string& kind, int injectedErrno,
                             const std::string& target, bool windowsBuild) {
    const FatalReport report = parseFatalReport(run.err);
    const std::string& operation = report.operation;
    const std::string& name = report.fileName;
    const bool hasRecord = report.record.has_value();
    FatalReport wellFormed =
        hostErrorReport(report.error, operation, report.channel, name, report.record);
    wellFormed.before = report.before;
    if (report != wellFormed) {
        return "the fatal report is not a well-formed report of a host error";
    }
    if ((operation == "OPEN") == hasRecord) {
        return "a record number must follow every file name except that of a failed open";
    }
    static const std::set<std::tuple<std::string, int, std::string>> known = {
        {"list-directed write", 6, "stdout "},
        {"formatted write", 6, "stdout "},
        {"list-directed read", 5, "stdin "},
        {"formatted read", 5, "stdin "},
        {"formatted read", 1, MAP},
        {"CLOSE", 1, MAP},
        {"OPEN", 1, BACKUP},
        {"formatted read", 1, BACKUP},
        {"CLOSE", 1, BACKUP},
        {"OPEN", 2, UNSORTED},
        {"formatted write", 2, UNSORTED},
        {"CLOSE", 2, UNSORTED}};
    if (known.count({operation, report.channel, name}) == 0) {
        return "the report names an operation, channel and file that do not belong together";
    }
    // The report must name the stream or file whose call failed.
    const std::string expectedName = target == "<stdout>"  ? "stdout "
                                     : target == "<stdin>" ? "stdin "
                                                           : fs::path(target).filename().string();
    if (name != expectedName) {
        return "the report names " + name + " but the failing call was on " + target;
    }
    // A refused open or status query is followed by the program's own fall-backs (a read-only
    // open, a create), whose error may be the one reported; every other failure is reported as
    // the platform gave it. Under Wine the C runtime's number is the one that Wine's status and
    // Windows' error code for the host's number map to, which keeps less than the host's.
    if (!windowsBuild && kind != "open" && kind != "stat" && report.error != injectedErrno) {
        return "the report gives error " + std::to_string(report.error) +
               ", the call failed with " + std::to_string(injectedErrno);
    }
    if (name == "stdout " && hasRecord &&
        static_cast<std::size_t>(*report.record) != splitLines(run.out, LineEnd::CrLf).size() + 1) {
        return "the record number is not that of the standard output line that failed";
    }
    return "";
}

// Whether `name` is the file in which the Windows build stages a new version of `target`:
// "<target>.move-to-species.tmp" beside it.
bool stagedFor(const std::string& name, std::string_view target) {
    return name == std::string(target) + ".move-to-species.tmp";
}

// The Windows build removes its staged file whenever it does not take the target's place. Only a
// failure of that removal itself leaves it behind: Wine's server opens the file to delete it and
// unlinks it when that handle closes, so the failed call is an open or an unlink of that file.
bool leftByAFailedRemoval(const std::string& name, const std::string& kind,
                          const std::string& target) {
    return (stagedFor(name, PICTURES) || stagedFor(name, BACKUP)) &&
           (kind == "open" || kind == "unlink") && fs::path(target).filename() == name;
}

// A whole run has the backup on disk before the list it keeps is replaced: after the last write
// to the backup, or to the file that becomes it, comes a flush of it, and only then the rename
// onto AllPictures.txt. What is wrong, or nothing.
std::string checkBackupFlushedFirst(const std::vector<TraceLine>& lines) {
    const auto ofBackup = [](const std::string& target) {
        const std::string name = fs::path(target).filename().string();
        return name == BACKUP || stagedFor(name, BACKUP);
    };
    bool written = false;
    bool flushed = false;
    for (const TraceLine& line : lines) {
        const std::string kind = kindOf(line.key);
        if (kind == "rename" && fs::path(line.target).filename() == PICTURES) {
            return !written  ? "the backup was never written"
                   : flushed ? ""
                             : "AllPictures.txt was replaced before the backup was flushed";
        }
        if (ofBackup(line.target) && (kind == "write" || kind == "fsync")) {
            written = true;
            flushed = kind == "fsync";
        }
    }
    return "AllPictures.txt was never replaced";
}

// Which calls of a kind to disturb: all of them, or for each file the first, the last and an
// even spread between.
std::vector<long> callsToDisturb(const std::vector<std::string>& targets,
                                 const Scenario& scenario) {
    std::map<std::string, std::vector<long>> byTarget;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string name = fs::path(targets[i]).filename().string();
        const bool named =
            scenario.targets.empty() ||
            std::any_of(scenario.targets.begin(), scenario.targets.end(),
                        [&](const std::string& start) { return name.starts_with(start); });
        if (named) {
            byTarget[targets[i]].push_back(static_cast<long>(i + 1));
        }
    }
    std::set<long> picked;
    for (const auto& [target, numbers] : byTarget) {
        const std::size_t n = numbers.size();
        const std::size_t take = scenario.sample == 0 ? n : std::min(n, scenario.sample);
        for (std::size_t i = 0; i < take; ++i) {
            picked.insert(numbers[take == 1 ? 0 : i * (n - 1) / (take - 1)]);
        }
    }
    return {picked.begin(), picked.end()};
}

// The folders of one scenario's runs: the run's own and the preload library's files.
struct RunFolders {
    TempFolder base{"mts-fault", TempFolder::Storage::Memory};
    fs::path dir = base.dir / "run";
    fs::path io = base.dir / "io";
};

// A run with the answers under the preload library, with its settings added: of this build, or
// of the Windows build under `wine`, where every process counts its calls under its own name.
RunResult runUnderPreload(const RunFolders& folders, std::vector<std::string> settings,
                          const Wine* wine) {
    settings.push_back(setting(io::REPORT_FILE, (folders.io / "report").string()));
    // How long one run may take: a run under Wine starts a server and a dozen processes.
    const auto limit = wine != nullptr ? std::chrono::seconds(90) : std::chrono::seconds(30);
    Launch launch = launchIn(folders.dir, ANSWERS, limit);
    launch.environment = std::move(settings);
    if (wine == nullptr) {
        launch.preload = MTS_FAULT_PRELOAD_PATH;
        launch.environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
        return runProgram(launch);
    }
    // The Windows build (MTS_PROGRAM), under a server of its own that, like every process of the
    // run, has the settings in its environment.
    fs::remove(folders.io / "processes");
    launch.builtProgram = false;
    launch.environment.push_back(std::string("LD_PRELOAD=") + MTS_FAULT_PRELOAD_PATH);
    launch.environment.push_back(setting(io::PROCESSES, (folders.io / "processes").string()));
    launch.environment.push_back(setting(io::SCOPE, folders.dir.string()));
    const WineServer server(*wine, launch.environment);
    if (!server.started()) {
        return {.err = "Wine's server did not start"};
    }
    const std::vector<std::string> wineSettings = wine->environment();
    launch.environment.insert(launch.environment.begin(), wineSettings.begin(), wineSettings.end());
    return runProgram(launch);
}

RunExpectation expectationFor(const Scenario& scenario) {
    const auto leftover = [&](const char* name) {
        const auto found = scenario.leftovers.find(name);
        return found != scenario.leftovers.end() ? std::optional(found->second) : std::nullopt;
    };
    const Transcripts t = scenario.catalogue.transcripts();
    return {scenario.catalogue.map,
            scenario.catalogue.pictures,
            scenario.catalogue.relabelled(),
            leftover(BACKUP),
            leftover(UNSORTED),
            t,
            {t.complete, t.sortFailed, t.backupFailed, t.backupMissing, t.guidance}};
}

using Trace = std::map<std::string, std::vector<std::string>>;

// The undisturbed run: it must be complete, and it tells which calls there are, in order.
void traceCleanRun(const Scenario& scenario, const RunFolders& folders, const RunExpectation& e,
                   const Wine* wine, Trace& trace) {
    layOut(folders.dir, scenario);
    fs::remove(folders.io / "trace");
    const RunResult clean =
        runUnderPreload(folders, {setting(io::TRACE_FILE, (folders.io / "trace").string())}, wine);
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    ASSERT_EQ(clean.out, e.transcripts.complete) << clean.err;
    ASSERT_TRUE(sameBytes(readFile(folders.dir / PICTURES), e.newList)) << "the new list";
    ASSERT_TRUE(sameBytes(readFile(folders.dir / BACKUP), e.oldList)) << "the backup";
    ASSERT_EQ(listing(folders.dir), LISTING_AFTER_RUN);
    const std::vector<TraceLine> lines = readTraceLines(readFile(folders.io / "trace"));
    for (const TraceLine& line : lines) {
        trace[line.key].push_back(line.target);
    }
    // On Linux the program syncs the backup itself, which its own tests show; under Wine the
    // interpreter's copy makes it, so the trace of every process is where to see it.
    if (wine != nullptr) {
        EXPECT_EQ(checkBackupFlushedFirst(lines), "");
    }
}

// How a disturbed run ended.
std::string outcomeOf(const RunResult& run, const Transcripts& t) {
    return run.exitStatus == 0     ? (run.out == t.complete ? "completed" : "orderly stop")
           : run.exitStatus == 127 ? "fatal report"
                                   : "other end";
}

// Runs the scenario once with call `at` of `key` ([process/]kind) disturbed as `how`, and tallies
// the outcome.
void runDisturbed(const Scenario& scenario, const RunExpectation& e, const RunFolders& folders,
                  const Wine* wine, const std::string& key, std::size_t calls,
                  const Disturbance& how, long at, Tally& tally) {
    layOut(folders.dir, scenario);
    fs::remove(folders.io / "report");
    const std::string kind = kindOf(key);
    std::vector<std::string> settings = {
        setting(io::KIND, kind), setting(io::AT, std::to_string(at)),
        setting(io::MODE, MODE_NAMES[how.mode]), setting(io::ERRNO, std::to_string(how.error))};
    if (wine != nullptr) {
        settings.push_back(setting(io::PROCESS, processOf(key)));
    }
    const RunResult run = runUnderPreload(folders, settings, wine);
    const std::optional<std::string> target = reportedTarget(readFile(folders.io / "report"));
    Allowance allowed;
    allowed.mustComplete = how.mode != MODE_FAIL;
    allowed.mayStay = [&](const std::string& name) {
        return wine != nullptr && leftByAFailedRemoval(name, kind, target.value_or(""));
    };
    allowed.checkReport = [&](const RunResult& ended) {
        return checkFatalReport(ended, kind, how.error, target.value_or(""), wine != nullptr);
    };
    const bool ended = !run.timedOut && run.signal == 0;
    const Verdict verdict = target || !ended ? judgeRun(e, run, folders.dir, allowed)
                                             : Verdict{"the call to disturb was never made"};
    tally.add(key, outcomeOf(run, e.transcripts), target.has_value(), verdict,
              [&](const std::string& problem) {
                  return scenario.name + ": " + key + " call " + std::to_string(at) + " of " +
                         std::to_string(calls) + " (on " + target.value_or("") + "), " +
                         MODE_NAMES[how.mode] +
                         (how.error != 0 ? std::string(" ") + strerrorname_np(how.error) : "") +
                         ": " + problem + shownBy(run);
              });
}

// Runs the scenario once undisturbed, then once for each chosen call with that call disturbed in
// each way it can be. The Windows build has each process's calls failed in turn; interrupted and
// short calls are left to this build's runs, where they reach the program itself.
void runMatrix(const Scenario& scenario, Tally& tally, const Wine* wine = nullptr) {
    const RunFolders folders;
    fs::create_directory(folders.io);
    const RunExpectation e = expectationFor(scenario);
    Trace trace;
    traceCleanRun(scenario, folders, e, wine, trace);
    if (testing::Test::HasFatalFailure()) {
        return;
    }
    for (const auto& [kind, disturbances] : PLAN) {
        if (!scenario.kinds.empty() && !scenario.kinds.count(KIND_NAMES[kind])) {
            continue;
        }
        for (const auto& [key, targets] : trace) {
            if (kindOf(key) != KIND_NAMES[kind]) {
                continue;
            }
            const std::vector<long> calls = callsToDisturb(targets, scenario);
            for (const Disturbance& how : disturbances) {
                if (wine != nullptr && how.mode != MODE_FAIL) {
                    continue;
                }
                for (const long at : calls) {
                    runDisturbed(scenario, e, folders, wine, key, targets.size(), how, at, tally);
                }
            }
        }
    }
}

TEST(FaultMatrix, EveryCallOfASmallCatalogueRun) {
    Tally tally;
    runMatrix({"small catalogue", makeCatalogue(300, 20, 7), {}, 0, {}, {}}, tally);
    report("small catalogue, every call", tally);
}

// What an interrupted earlier run leaves: a backup of another list and a longer unsorted list.
// Neither may leak into the new picture list, whatever fails.
Scenario withLeftovers(std::string name, std::set<std::string> kinds,
                       std::vector<std::string> targets) {
    const Catalogue earlier = makeCatalogue(900, 20, 12);
    return {std::move(name),
            makeCatalogue(300, 20, 11),
            {{BACKUP, earlier.pictures}, {UNSORTED, earlier.relabelled()}},
            0,
            std::move(kinds),
            std::move(targets)};
}

TEST(FaultMatrix, EveryCallWithLeftoversOfAnEarlierRun) {
    Tally tally;
    runMatrix(withLeftovers("with leftovers", {}, {}), tally);
    report("leftovers of an earlier run, every call", tally);
}

// The same under Wine, for the Windows build: every write, flush, truncation, open, rename and
// delete of the catalogue's files, in each process of the run (the program, the interpreter's
// copy, redirection and del, the sort, Wine's server), fails in turn. The expected new list is
// the one in byte order: the catalogue's lines first differ in digits, or in names whose letters
// at that place have the same case, so the Windows sort's order without regard to case is the
// same (the undisturbed run shows it). Needs the Windows leg: MTS_HOST=windows, MTS_PROGRAM
// starting the .exe under Wine and the sort stand-in on WINEPATH.
TEST(FaultMatrix, WindowsBuildUnderWineEveryFileCallWithLeftoversOfAnEarlierRun) {
    if (!onWindowsHost()) {
        GTEST_SKIP() << "needs the Windows build; MTS_HOST=windows selects it";
    }
    const Wine wine;
    ASSERT_TRUE(wine.make()) << "Wine cannot make a prefix";
    Tally tally;
    runMatrix(withLeftovers("Windows build with leftovers",
                            {"open", "write", "fsync", "ftruncate", "rename", "unlink"},
                            {PICTURES, BACKUP, UNSORTED, MAP}),
              tally, &wine);
    report("Windows build under Wine, leftovers of an earlier run, every file call", tally);
}

// Past 64 MB a list that cannot be mapped is read in two halves from two threads at once, and
// the writers start writeback as they go. Only the transfers, syncs and mappings of the lists
// themselves, and of the new files that take their places, are disturbed here; every other call
// is the same as in the runs above.
TEST(FaultMatrix, SpreadOfTransfersOfAVeryLargeCatalogueRun) {
    Tally tally;
    runMatrix({"very large catalogue",
               makeCatalogue(900000, 20, 29),
               {},
               3,
               {"read", "write", "fsync", "copy", "writeback", "map"},
               {PICTURES, BACKUP, UNSORTED, "(unnamed)"}},
              tally);
    report("900,000-line catalogue, transfers, syncs and mappings of the lists, spread sample",
           tally);
}

TEST(FaultMatrix, SpreadOfCallsOfALargeCatalogueRun) {
    Tally tally;
    runMatrix({"large catalogue", makeCatalogue(50000, 20, 23), {}, 4, {}, {}}, tally);
    report("50,000-line catalogue, spread sample", tally);
}

} // namespace
