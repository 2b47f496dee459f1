// Every file and stream call of a run, failed in turn. A first run under the preload library
// counts the calls of a complete run; then the program runs once per call with that call failing
// (for the large catalogue, a spread of the calls on each file). Whatever fails, the operator's
// picture list must survive: "AllPictures.txt" is the list as it was or the complete new one,
// the backup is complete once the run has gone past it, no stray file is left, and the process
// ends in an orderly stop, a well-formed fatal report or, for an interrupted or short call, a
// complete run. The Windows build goes through the same under Wine (wine_host.h), where each of
// the run's processes has its calls counted and failed in turn.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <unistd.h>

#include "fault_catalogue.h"
#include "test_support/expect.h"
#include "wine_host.h"

namespace {

namespace fs = std::filesystem;
using namespace fault;

const std::string ANSWERS = "Yes\n\n";

struct Disturbance {
    const char* mode; // fail, eintr or short
    const char* error;
};

// The failures each kind of call can really meet. Interrupted and short calls are the ones a
// program must absorb by retrying.
const std::vector<std::pair<std::string, std::vector<Disturbance>>> PLAN = {
    {"open", {{"fail", "EACCES"}, {"fail", "EIO"}, {"fail", "ENOSPC"}, {"eintr", ""}}},
    {"read", {{"fail", "EIO"}, {"eintr", ""}, {"short", ""}}},
    {"write", {{"fail", "ENOSPC"}, {"fail", "EIO"}, {"eintr", ""}, {"short", ""}}},
    {"fsync", {{"fail", "EIO"}, {"fail", "ENOSPC"}}},
    {"rename", {{"fail", "EACCES"}, {"fail", "EIO"}, {"fail", "ENOSPC"}}},
    {"ftruncate", {{"fail", "EIO"}, {"eintr", ""}}},
    {"close", {{"fail", "EIO"}, {"fail", "ENOSPC"}, {"eintr", ""}}},
    {"unlink", {{"fail", "EACCES"}, {"fail", "EIO"}}},
    {"copy", {{"fail", "ENOSPC"}, {"fail", "EIO"}, {"fail", "EXDEV"}, {"short", ""}}},
    {"fchmod", {{"fail", "EPERM"}, {"fail", "EIO"}}},
    {"stat", {{"fail", "EACCES"}, {"fail", "EIO"}}},
    // A name taken meanwhile, and the failures of making a name at all.
    {"link", {{"fail", "EEXIST"}, {"fail", "ENOSPC"}, {"fail", "EIO"}}},
    {"writeback", {{"fail", "EIO"}, {"fail", "ENOSPC"}}},
    // No room in the address space, and a file system that cannot map files.
    {"map", {{"fail", "ENOMEM"}, {"fail", "ENODEV"}}},
};

int errnoOf(const std::string& name) {
    static const std::map<std::string, int> known = {
        {"EACCES", EACCES}, {"EIO", EIO},       {"ENOSPC", ENOSPC},
        {"EXDEV", EXDEV},   {"EPERM", EPERM},   {"EINTR", EINTR},
        {"EEXIST", EEXIST}, {"ENOMEM", ENOMEM}, {"ENODEV", ENODEV}};
    return known.at(name);
}

// A folder to run in, with the files of the scenario laid out afresh for each run.
struct Scenario {
    std::string name;
    Catalogue catalogue;
    std::map<std::string, std::string> leftovers; // files an earlier run left behind
    std::size_t sample;                           // calls per file and disturbance; 0: all
    std::set<std::string> kinds;                  // when not empty, only calls of these kinds
    std::vector<std::string> targets; // when not empty, only calls on files whose names start so
};

struct Expectation {
    std::string map;
    std::string oldList;
    std::string newList;
    std::optional<std::string> oldBackup;   // before the run
    std::optional<std::string> oldUnsorted; // before the run
    Transcripts transcripts;
    bool windowsBuild = false; // run under Wine
};

struct Tally {
    int runs = 0;
    int injected = 0;
    int lostOrCorrupted = 0;
    // [process/]kind -> outcome -> runs
    std::map<std::string, std::map<std::string, int>> byKind;
    std::vector<std::string> problems;
};

// A file of the run's folder, compared with what it should hold block by block, and only when
// the sizes agree: the lists of the large runs are tens of megabytes.
struct OnDisk {
    fs::path path;
    std::optional<std::uintmax_t> size; // none when the file is absent

    bool exists() const { return size.has_value(); }

    bool operator==(const std::string& bytes) const {
        if (!size || *size != bytes.size()) {
            return false;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        std::vector<char> block(std::size_t{1} << 20);
        std::size_t at = 0;
        bool same = true;
        while (same) {
            const ssize_t got = ::read(fd, block.data(), block.size());
            if (got <= 0) {
                same = got == 0 && at == bytes.size();
                break;
            }
            const auto n = static_cast<std::size_t>(got);
            same = at + n <= bytes.size() && std::memcmp(block.data(), bytes.data() + at, n) == 0;
            at += n;
        }
        ::close(fd);
        return same;
    }

    bool operator==(const std::optional<std::string>& bytes) const {
        return bytes ? *this == *bytes : !exists();
    }
};

OnDisk fileIn(const fs::path& dir, const std::string& name) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(dir / name, error);
    return {dir / name, error ? std::nullopt : std::optional<std::uintmax_t>(size)};
}

// The scenario's files, written once into `master` and copied from there for every run.
void layOut(const fs::path& dir, const fs::path& master) {
    fs::remove_all(dir);
    fs::create_directory(dir);
    for (const auto& entry : fs::directory_iterator(master)) {
        fs::copy_file(entry.path(), dir / entry.path().filename());
    }
}

void writeMaster(const fs::path& master, const Scenario& scenario) {
    fs::create_directory(master);
    writeFile(master / PICTURES, scenario.catalogue.pictures);
    writeFile(master / MAP, scenario.catalogue.map);
    for (const auto& [name, bytes] : scenario.leftovers) {
        writeFile(master / name, bytes);
    }
}

// What the preload library says about the call it disturbed.
struct Injection {
    bool happened = false;
    std::string target;
};

Injection injectionIn(const fs::path& reportFile) {
    Injection injection;
    const std::string report = fs::exists(reportFile) ? readFile(reportFile) : "";
    const std::size_t at = report.find("target=");
    if (at != std::string::npos) {
        injection.happened = true;
        injection.target = report.substr(at + 7);
        while (!injection.target.empty() && injection.target.back() == '\n') {
            injection.target.pop_back();
        }
    }
    return injection;
}

// The fatal report at the end of standard error, checked line by line. Returns what is wrong
// with it, or nothing.
std::string checkFatalReport(const std::string& err, const std::string& kind, int injectedErrno,
                             const Injection& injection, const std::string& out,
                             bool windowsBuild) {
    const FatalReport report = parseFatalReport(err);
    if (!report.wellFormed || !report.hostError) {
        return "the fatal report is not well formed";
    }
    const std::string& operation = report.operation;
    const int channel = report.channel;
    const int reported = report.error;
    const std::string& name = report.fileName;
    const bool hasRecord = report.record.has_value();
    if (report.description != std::strerror(reported)) {
        return "the error description does not match the error number";
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
    if (known.count({operation, channel, name}) == 0) {
        return "the report names an operation, channel and file that do not belong together";
    }

    // The report must name the stream or file whose call failed.
    const std::string target = fs::path(injection.target).filename().string();
    const std::string expectedName = injection.target == "<stdout>"  ? "stdout "
                                     : injection.target == "<stdin>" ? "stdin "
                                                                     : target;
    if (name != expectedName) {
        return "the report names " + name + " but the failing call was on " + injection.target;
    }
    // A refused open or status query is followed by the program's own fall-backs (a read-only
    // open, a create), whose error may be the one reported; every other failure is reported as
    // the platform gave it. Under Wine the C runtime's number is the one that Wine's status and
    // Windows' error code for the host's number map to, which keeps less than the host's.
    if (!windowsBuild && kind != "open" && kind != "stat" && reported != injectedErrno) {
        return "the report gives error " + std::to_string(reported) + ", the call failed with " +
               std::to_string(injectedErrno);
    }
    if (name == "stdout " && hasRecord &&
        static_cast<std::size_t>(*report.record) != splitLines(out, LineEnd::CrLf).size() + 1) {
        return "the record number is not that of the standard output line that failed";
    }
    return "";
}

// The run went past the backup: the map was looked at.
bool pastBackup(const std::string& out) {
    return out.find("\r\nIndividual ") != std::string::npos ||
           out.find("MarrowfenlatchMap.txt is not present") != std::string::npos;
}

// How a disturbed run ended, and what is wrong with that, if anything.
struct Verdict {
    std::string outcome;
    std::string problem; // empty when the run ended as it may
    bool lostOrCorrupted = false;
};

Verdict lost(std::string problem) {
    return {"", std::move(problem), true};
}

// The files of the run's folder after it ended.
struct Leftovers {
    OnDisk pictures;
    OnDisk backup;
    OnDisk unsorted;
};

// Whether `name` is the file in which the Windows build stages a new version of `target`:
// "<target>.move-to-species.tmp" beside it.
bool stagedFor(const std::string& name, std::string_view target) {
    return name == std::string(target) + ".move-to-species.tmp";
}

// The Windows build removes its staged file whenever it does not take the target's place. Only a
// failure of that removal itself leaves it behind: Wine's server opens the file to delete it and
// unlinks it when that handle closes, so the failed call is an open or an unlink of that file.
bool leftByAFailedRemoval(const std::string& name, const std::string& kind,
                          const Injection& injection) {
    return (stagedFor(name, PICTURES) || stagedFor(name, BACKUP)) &&
           (kind == "open" || kind == "unlink") && fs::path(injection.target).filename() == name;
}

// Whatever the run did, the picture list is old or new, the backup as before or the old list,
// the map untouched, and no file but the run's own is left.
Verdict checkFolder(const Expectation& e, const std::string& kind, const Injection& injection,
                    const fs::path& dir, const Leftovers& files) {
    if (files.pictures != e.oldList && files.pictures != e.newList) {
        return lost(files.pictures.exists()
                        ? "AllPictures.txt is neither the old list nor the complete new one"
                        : "AllPictures.txt is gone");
    }
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name != PICTURES && name != BACKUP && name != UNSORTED && name != MAP &&
            !(e.windowsBuild && leftByAFailedRemoval(name, kind, injection))) {
            return {"", "a stray file is left behind: " + name};
        }
    }
    if (files.backup != e.oldBackup && files.backup != e.oldList) {
        return lost("AllPicturesIndiv.txt is neither as before nor the complete old list");
    }
    if (fileIn(dir, MAP) != e.map) {
        return {"", "the map changed"};
    }
    return {};
}

// A complete run: the new list and the backup in place. `retried`: the disturbed call was one
// that a program must absorb, so the run may not have stopped for it.
Verdict checkComplete(const Expectation& e, const Leftovers& files, bool retried) {
    if (files.pictures != e.newList || files.backup != e.oldList) {
        return lost("a run that reported success did not leave the new list and the backup");
    }
    // Only a failing delete, whose status the run ignores, may leave the unsorted list.
    if (retried && files.unsorted.exists()) {
        return {"", "a complete run left AllPicturesUnsorted.txt"};
    }
    return {};
}

// An orderly stop: one of the run's own stops, each leaving the lists as that stop must. A copy
// or a sort that reports failure has left its destination as it was: once a new list has taken
// its place, nothing may turn that into a failure.
Verdict checkOrderlyStop(const Expectation& e, const RunResult& run, const Leftovers& files) {
    const Transcripts& t = e.transcripts;
    if (run.out == t.backupFailed || run.out == t.backupMissing) {
        if (files.pictures != e.oldList) {
            return {"", "the backup stop changed AllPictures.txt"};
        }
        return {"", files.backup == e.oldBackup ? "" : "a failed backup replaced the old one"};
    }
    if (run.out != t.guidance && run.out != t.sortFailed) {
        return {"", "exit status 0 after an unexpected dialogue"};
    }
    if (files.backup != e.oldList) {
        return lost("the run went past the backup but AllPicturesIndiv.txt is not the old list");
    }
    if (run.out == t.guidance && files.unsorted != e.oldUnsorted) {
        return {"", "the map stop touched AllPicturesUnsorted.txt"};
    }
    if (run.out == t.sortFailed && files.pictures != e.oldList) {
        return {"", "a sort that reported failure replaced AllPictures.txt"};
    }
    return {};
}

// A fatal report: after a run's dialogue, with the backup whole once the run went past it, and
// naming the call that failed.
Verdict checkFatalEnd(const Expectation& e, const std::string& kind, const Disturbance& how,
                      const RunResult& run, const Injection& injection, const Leftovers& files) {
    const Transcripts& t = e.transcripts;
    if (!isWholeLinePrefix(
            run.out, {t.complete, t.sortFailed, t.backupFailed, t.backupMissing, t.guidance})) {
        return {"", "standard output before the fatal report is not a run's dialogue"};
    }
    if (pastBackup(run.out) && files.backup != e.oldList) {
        return lost("the run went past the backup but AllPicturesIndiv.txt is not the old list");
    }
    return {"", checkFatalReport(run.err, kind, how.error[0] ? errnoOf(how.error) : 0, injection,
                                 run.out, e.windowsBuild)};
}

// What the run's ending says, and whether it is one that the disturbance allows.
Verdict checkEnding(const Expectation& e, const std::string& kind, const Disturbance& how,
                    const RunResult& run, const Injection& injection, const Leftovers& files) {
    const bool retried = std::strcmp(how.mode, "fail") != 0;
    if (run.exitStatus == 0 && run.out == e.transcripts.complete) {
        return checkComplete(e, files, retried);
    }
    if (run.exitStatus == 0) {
        return retried ? Verdict{"", "an interrupted or short call was not retried; the run "
                                     "stopped instead"}
                       : checkOrderlyStop(e, run, files);
    }
    if (run.exitStatus == 127) {
        return retried ? Verdict{"", "an interrupted or short call was reported instead of retried"}
                       : checkFatalEnd(e, kind, how, run, injection, files);
    }
    return {"", "unexpected exit status " + std::to_string(run.exitStatus)};
}

Verdict checkRun(const Expectation& e, const std::string& kind, const Disturbance& how,
                 const RunResult& run, const Injection& injection, const fs::path& dir) {
    const std::string outcome =
        run.exitStatus == 0     ? (run.out == e.transcripts.complete ? "completed" : "orderly stop")
        : run.exitStatus == 127 ? "fatal report"
                                : "other end";
    Verdict verdict;
    if (run.timedOut) {
        verdict.problem = "the run hung";
    } else if (run.signal != 0) {
        verdict.problem = "the run died of signal " + std::to_string(run.signal);
    } else if (!injection.happened) {
        verdict.problem = "the call to disturb was never made";
    } else {
        const Leftovers files{fileIn(dir, PICTURES), fileIn(dir, BACKUP), fileIn(dir, UNSORTED)};
        verdict = checkFolder(e, kind, injection, dir, files);
        if (verdict.problem.empty()) {
            verdict = checkEnding(e, kind, how, run, injection, files);
        }
    }
    verdict.outcome = outcome;
    return verdict;
}

std::map<std::string, long> readCounts(const fs::path& file) {
    std::map<std::string, long> counts;
    std::istringstream in(readFile(file));
    std::string kind;
    long count = 0;
    while (in >> kind >> count) {
        counts[kind] = count;
    }
    return counts;
}

// One counted call: its kind, or for the Windows build "process/kind", and the name of its file.
struct TraceLine {
    std::string key;
    std::string target;
};

// The counted calls of a run in the order they were made.
std::vector<TraceLine> readTraceLines(const fs::path& file) {
    std::vector<TraceLine> lines;
    std::istringstream in(readFile(file));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, number, target;
        fields >> key >> number;
        std::getline(fields, target);
        lines.push_back({key, target.empty() ? target : target.substr(1)});
    }
    return lines;
}

// [process/]kind -> the target of each call of that kind, in order.
std::map<std::string, std::vector<std::string>> readTrace(const fs::path& file) {
    std::map<std::string, std::vector<std::string>> calls;
    for (const TraceLine& line : readTraceLines(file)) {
        calls[line.key].push_back(line.target);
    }
    return calls;
}

// The kind of call that a trace key names, and the process that made it ("" for this build).
std::string kindOf(const std::string& key) {
    return key.substr(key.rfind('/') + 1);
}

std::string processOf(const std::string& key) {
    const std::size_t slash = key.rfind('/');
    return slash == std::string::npos ? "" : key.substr(0, slash);
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
                        [&](const std::string& start) { return name.rfind(start, 0) == 0; });
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

// A run with the answers under the preload library, with its settings added: of this build, or
// of the Windows build under `wine`, where every process counts its calls under its own name.
RunResult runUnderPreload(const fs::path& dir, const fs::path& io,
                          const std::vector<std::string>& settings, std::chrono::milliseconds limit,
                          const Wine* wine) {
    if (wine != nullptr) {
        fs::remove(io / "processes");
        fs::remove(io / "counts");
        std::vector<std::string> all = {
            "LD_PRELOAD=" + preloadPath(), "FAULT_PROCESSES=" + (io / "processes").string(),
            "FAULT_SCOPE=" + dir.string(), "FAULT_COUNT_FILE=" + (io / "counts").string(),
            "FAULT_REPORT_FILE=" + (io / "report").string()};
        all.insert(all.end(), settings.begin(), settings.end());
        return runUnderWine(*wine, dir, ANSWERS, all, limit);
    }
    Launch launch = launchIn(dir, ANSWERS, limit);
    launch.preload = preloadPath();
    launch.environment = {"FAULT_COUNT_FILE=" + (io / "counts").string(),
                          "FAULT_REPORT_FILE=" + (io / "report").string(),
                          "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    launch.environment.insert(launch.environment.end(), settings.begin(), settings.end());
    return runProgram(launch);
}

// The folders of one scenario's runs: the run's own, the preload library's files and the
// scenario's files, laid out afresh from there for each run.
struct RunFolders {
    TempFolder base{"mts-fault", TempFolder::Storage::Memory};
    fs::path dir = base.dir / "run";
    fs::path io = base.dir / "io";
    fs::path master = base.dir / "master";
};

Expectation expectationFor(const Scenario& scenario, const Wine* wine) {
    Expectation e;
    e.windowsBuild = wine != nullptr;
    e.map = scenario.catalogue.map;
    e.oldList = scenario.catalogue.pictures;
    e.newList = scenario.catalogue.relabelled();
    e.transcripts = scenario.catalogue.transcripts();
    if (scenario.leftovers.count(BACKUP)) {
        e.oldBackup = scenario.leftovers.at(BACKUP);
    }
    if (scenario.leftovers.count(UNSORTED)) {
        e.oldUnsorted = scenario.leftovers.at(UNSORTED);
    }
    return e;
}

using Trace = std::map<std::string, std::vector<std::string>>;

// How long one run may take: a run under Wine starts a server and a dozen processes.
std::chrono::milliseconds runLimit(const Wine* wine) {
    return wine != nullptr ? std::chrono::seconds(90) : std::chrono::seconds(30);
}

// The undisturbed run: it must be complete, and it tells which calls there are, in order.
void traceCleanRun(const RunFolders& folders, const Expectation& e, const Wine* wine,
                   Trace& trace) {
    layOut(folders.dir, folders.master);
    fs::remove(folders.io / "trace");
    const RunResult clean = runUnderPreload(folders.dir, folders.io,
                                            {"FAULT_TRACE_FILE=" + (folders.io / "trace").string()},
                                            wine ? runLimit(wine) : std::chrono::seconds(20), wine);
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    ASSERT_EQ(clean.out, e.transcripts.complete) << clean.err;
    ASSERT_TRUE(sameBytes(readFile(folders.dir / PICTURES), e.newList)) << "the new list";
    ASSERT_TRUE(sameBytes(readFile(folders.dir / BACKUP), e.oldList)) << "the backup";
    ASSERT_EQ(listing(folders.dir), "AllPictures.txt AllPicturesIndiv.txt MarrowfenlatchMap.txt");
    trace = readTrace(folders.io / "trace");
    for (const auto& [kind, count] : readCounts(folders.io / "counts")) {
        ASSERT_EQ(trace.count(kind) ? trace.at(kind).size() : 0u, static_cast<std::size_t>(count))
            << kind;
    }
    // On Linux the program syncs the backup itself, which its own tests show; under Wine the
    // interpreter's copy makes it, so the trace of every process is where to see it.
    if (e.windowsBuild) {
        EXPECT_EQ(checkBackupFlushedFirst(readTraceLines(folders.io / "trace")), "");
    }
}

// One disturbed call of a scenario: what went wrong, told so that it can be run again.
std::string describeProblem(const std::string& scenario, const std::string& kind, long at,
                            std::size_t calls, const Disturbance& how, const RunResult& run,
                            const Injection& injection, const std::string& problem) {
    std::ostringstream what;
    what << scenario << ": " << kind << " call " << at << " of " << calls << " (on "
         << injection.target << "), " << how.mode << (how.error[0] ? " " : "") << how.error << ": "
         << problem << " [exit " << run.exitStatus << ", signal " << run.signal
         << "]\n  stdout ends: "
         << testing::PrintToString(run.out.substr(run.out.size() > 160 ? run.out.size() - 160 : 0))
         << "\n  stderr: " << testing::PrintToString(run.err);
    return what.str();
}

// Runs the scenario once with call `at` of `key` ([process/]kind) disturbed as `how`, and tallies
// the outcome.
void runDisturbed(const Scenario& scenario, const Expectation& e, const RunFolders& folders,
                  const Wine* wine, const std::string& key, std::size_t calls,
                  const Disturbance& how, long at, Tally& tally) {
    layOut(folders.dir, folders.master);
    fs::remove(folders.io / "report");
    const std::string kind = kindOf(key);
    std::vector<std::string> settings = {"FAULT_KIND=" + kind, "FAULT_AT=" + std::to_string(at),
                                         std::string("FAULT_MODE=") + how.mode,
                                         std::string("FAULT_ERRNO=") + how.error};
    if (wine != nullptr) {
        settings.push_back("FAULT_PROCESS=" + processOf(key));
    }
    const RunResult run = runUnderPreload(folders.dir, folders.io, settings, runLimit(wine), wine);
    const Injection injection = injectionIn(folders.io / "report");
    const Verdict verdict = checkRun(e, kind, how, run, injection, folders.dir);
    ++tally.runs;
    tally.injected += injection.happened ? 1 : 0;
    tally.lostOrCorrupted += verdict.lostOrCorrupted ? 1 : 0;
    ++tally.byKind[key][verdict.outcome];
    if (!verdict.problem.empty()) {
        tally.problems.push_back(
            describeProblem(scenario.name, key, at, calls, how, run, injection, verdict.problem));
    }
}

// Runs the scenario once undisturbed, then once for each chosen call with that call disturbed in
// each way it can be. The Windows build has each process's calls failed in turn; interrupted and
// short calls are left to this build's runs, where they reach the program itself.
void runMatrix(const Scenario& scenario, Tally& tally, const Wine* wine = nullptr) {
    const RunFolders folders;
    fs::create_directory(folders.io);
    writeMaster(folders.master, scenario);
    const Expectation e = expectationFor(scenario, wine);
    Trace trace;
    traceCleanRun(folders, e, wine, trace);
    if (testing::Test::HasFatalFailure()) {
        return;
    }
    for (const auto& [kind, disturbances] : PLAN) {
        if (!scenario.kinds.empty() && !scenario.kinds.count(kind)) {
            continue;
        }
        for (const auto& [key, targets] : trace) {
            if (kindOf(key) != kind) {
                continue;
            }
            const std::vector<long> calls = callsToDisturb(targets, scenario);
            for (const Disturbance& how : disturbances) {
                if (wine != nullptr && std::strcmp(how.mode, "fail") != 0) {
                    continue;
                }
                for (const long at : calls) {
                    runDisturbed(scenario, e, folders, wine, key, targets.size(), how, at, tally);
                }
            }
        }
    }
}

// One line of the summary: "  <what>: <runs> <outcome>, ...".
void summarize(std::ostream& summary, const std::string& what,
               const std::map<std::string, int>& outcomes) {
    summary << "  " << what << ":";
    const char* separator = " ";
    for (const auto& [outcome, runs] : outcomes) {
        summary << separator << runs << " " << outcome;
        separator = ", ";
    }
    summary << "\n";
}

void report(const char* title, const Tally& tally) {
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
