#pragma once

// One verdict on a run that something disturbed: a failed call, a refused allocation, a kill.
// Whatever happened, the picture list is the old list or the complete new one, the backup is as it
// was or the complete old list, the map is untouched and no stray file is left. A run that ended
// by itself ended complete, in one of its own stops with the lists as that stop leaves them, or in
// a fatal report after whole lines of a dialogue, the backup whole once the run went past it.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "test_support/catalogue.h"
#include "test_support/test_support.h"

namespace test_support {

// A file of the run's folder, compared with what it should hold block by block, and only when the
// sizes agree: the lists of the large runs are tens of megabytes.
struct OnDisk {
    std::filesystem::path path;
    std::optional<std::uintmax_t> size; // none when the file is absent

    bool exists() const { return size.has_value(); }
    bool operator==(const std::string& bytes) const {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> block(std::size_t{1} << 20);
        std::size_t at = 0;
        while (size == bytes.size() && in.read(block.data(), std::ssize(block)).gcount() > 0) {
            const auto got = static_cast<std::size_t>(in.gcount());
            if (bytes.compare(at, got, block.data(), got) != 0) {
                return false;
            }
            at += got;
        }
        return size == bytes.size() && at == bytes.size();
    }
    bool operator==(const std::optional<std::string>& bytes) const {
        return bytes ? *this == *bytes : !exists();
    }
};

inline OnDisk fileIn(const std::filesystem::path& dir, const std::string& name) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(dir / name, error);
    return {dir / name, error ? std::nullopt : std::optional<std::uintmax_t>(size)};
}

// What a disturbed run may leave and show.
struct RunExpectation {
    std::optional<std::string> map{}; // none: there is no map file
    std::string oldList{};
    std::string newList{};
    std::optional<std::string> oldBackup{};   // before the run; none: there was none
    std::optional<std::string> oldUnsorted{}; // before the run
    Transcripts transcripts{};
    std::vector<std::string> dialogues{}; // the whole dialogues that the run may show
};

// What the one disturbance of a run allows, beyond what every run must keep.
struct Allowance {
    bool mustComplete = false; // a disturbance that a program must absorb: the run may not stop
    std::function<bool(const std::string& name)> mayStay; // a file that may be left besides
    // What is wrong with the fatal report, or with a stop's own account on standard error.
    std::function<std::string(const RunResult&)> checkReport;
    std::function<std::string(const RunResult&)> checkStop;
};

struct Verdict {
    std::string problem; // empty when the run ended as it may
    bool lostOrCorrupted = false;
};

inline Verdict lost(std::string problem) {
    return {std::move(problem), true};
}

// The lists in the run's folder after it ended.
struct Leftovers {
    OnDisk pictures;
    OnDisk backup;
    OnDisk unsorted;
};

inline Leftovers leftoversIn(const std::filesystem::path& dir) {
    return {fileIn(dir, PICTURES), fileIn(dir, BACKUP), fileIn(dir, UNSORTED)};
}

// The picture list is old or new, the backup as before or the old list, the map untouched, and no
// file but the run's own is left.
inline Verdict checkFolder(const RunExpectation& e, const std::filesystem::path& dir,
                           const Leftovers& files, const Allowance& allowed = {}) {
    if (files.pictures != e.oldList && files.pictures != e.newList) {
        return lost(files.pictures.exists()
                        ? "AllPictures.txt is neither the old list nor the complete new one"
                        : "AllPictures.txt is gone");
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name != PICTURES && name != BACKUP && name != UNSORTED && name != MAP &&
            !(allowed.mayStay && allowed.mayStay(name))) {
            return {"a stray file is left behind: " + name};
        }
    }
    if (files.backup != e.oldBackup && files.backup != e.oldList) {
        return lost("AllPicturesIndiv.txt is neither as before nor the complete old list");
    }
    if (fileIn(dir, MAP) != e.map) {
        return {"the map changed"};
    }
    return {};
}

namespace verdict_detail {

// The run went past the backup: the map was looked at.
inline bool pastBackup(const std::string& out) {
    return out.find("\r\nIndividual ") != std::string::npos ||
           out.find("MarrowfenlatchMap.txt is not present") != std::string::npos;
}

// A complete run: the new list and the backup in place. Only a failing delete, whose status the
// run ignores, may leave the unsorted list.
inline Verdict checkComplete(const RunExpectation& e, const Leftovers& files,
                             const Allowance& allowed) {
    if (files.pictures != e.newList || files.backup != e.oldList) {
        return lost("a run that reported success did not leave the new list and the backup");
    }
    if (allowed.mustComplete && files.unsorted.exists()) {
        return {"a complete run left AllPicturesUnsorted.txt"};
    }
    return {};
}

// One of the run's own stops, each leaving the lists as that stop must. A copy or a sort that
// reports failure has left its destination as it was: once a new list has taken its place,
// nothing may turn that into a failure.
inline Verdict checkStop(const RunExpectation& e, const RunResult& run, const Leftovers& files,
                         const Allowance& allowed) {
    const Transcripts& t = e.transcripts;
    if (std::find(e.dialogues.begin(), e.dialogues.end(), run.out) == e.dialogues.end()) {
        return {"exit status 0 after an unexpected dialogue"};
    }
    if (allowed.checkStop) {
        if (std::string problem = allowed.checkStop(run); !problem.empty()) {
            return {problem};
        }
    }
    if (run.out == t.backupFailed || run.out == t.backupMissing) {
        if (files.pictures != e.oldList) {
            return {"the backup stop changed AllPictures.txt"};
        }
        return {files.backup == e.oldBackup ? "" : "a failed backup replaced the old one"};
    }
    if (files.backup != e.oldList) {
        return lost("the run went past the backup but AllPicturesIndiv.txt is not the old list");
    }
    if ((run.out == t.guidance || run.out == t.rejected) && files.unsorted != e.oldUnsorted) {
        return {"the stop before the relabelling touched AllPicturesUnsorted.txt"};
    }
    if (files.pictures != e.oldList) {
        return {"a run that stopped replaced AllPictures.txt"};
    }
    return {};
}

// A fatal report: after whole lines of a dialogue, with the backup whole once the run went past
// it.
inline Verdict checkFatalEnd(const RunExpectation& e, const RunResult& run, const Leftovers& files,
                             const Allowance& allowed) {
    if (!isWholeLinePrefix(run.out, e.dialogues)) {
        return {"standard output before the fatal report is not a run's dialogue"};
    }
    if (pastBackup(run.out) && files.backup != e.oldList) {
        return lost("the run went past the backup but AllPicturesIndiv.txt is not the old list");
    }
    return {allowed.checkReport ? allowed.checkReport(run) : ""};
}

} // namespace verdict_detail

// The verdict on a run that has ended, with the folder it ran in.
inline Verdict judgeRun(const RunExpectation& e, const RunResult& run,
                        const std::filesystem::path& dir, const Allowance& allowed = {}) {
    using namespace verdict_detail;
    if (run.timedOut) {
        return {"the run hung"};
    }
    if (run.signal != 0) {
        return {"the run died of signal " + std::to_string(run.signal)};
    }
    const Leftovers files = leftoversIn(dir);
    if (Verdict verdict = checkFolder(e, dir, files, allowed); !verdict.problem.empty()) {
        return verdict;
    }
    if (run.out.find(message(DONE_MESSAGE)) != std::string::npos && files.pictures != e.newList) {
        return lost("success is claimed without the new list");
    }
    if (run.exitStatus == 0 && run.out == e.transcripts.complete) {
        return checkComplete(e, files, allowed);
    }
    if (run.exitStatus == 0) {
        return allowed.mustComplete ? Verdict{"an interrupted or short call was not retried; the "
                                              "run stopped instead"}
                                    : checkStop(e, run, files, allowed);
    }
    if (run.exitStatus == 127) {
        return allowed.mustComplete
                   ? Verdict{"an interrupted or short call was reported instead of retried"}
                   : checkFatalEnd(e, run, files, allowed);
    }
    return {"unexpected exit status " + std::to_string(run.exitStatus)};
}

} // namespace test_support
