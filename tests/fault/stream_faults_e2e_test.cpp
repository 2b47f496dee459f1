// The standard streams failing under a whole run: an operator who goes away in the middle of the
// dialogue, standard input or error closed before the program starts, and an answer line of a
// gigabyte that never ends.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <unistd.h>

#include "fault_catalogue.h"
#include "fault_report.h"
#include "fault_run.h"

namespace {

namespace fs = std::filesystem;
using namespace fault;

const std::string PICTURES = "AllPictures.txt";
const std::string BACKUP = "AllPicturesIndiv.txt";
const std::string MAP = "MarrowfenlatchMap.txt";
const std::string QUESTION = message("Type Yes, then Enter if this is correct, otherwise type No");

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        read = ends[0];
        write = ends[1];
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void closeRead() {
        if (read >= 0) {
            ::close(read);
            read = -1;
        }
    }
    void closeWrite() {
        if (write >= 0) {
            ::close(write);
            write = -1;
        }
    }
};

// The test writes into pipes whose reader may be gone; that must come back as EPIPE here too.
struct IgnoreBrokenPipes {
    IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }
};
const IgnoreBrokenPipes ignoreBrokenPipes;

// Reads from `fd` until what has come ends with `ending`, for at most 30 seconds.
std::string readUntil(int fd, const std::string& ending) {
    std::string got;
    for (int waited = 0; waited < 30000;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) == 0) {
            waited += 100;
            continue;
        }
        char block[4096];
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n <= 0) {
            break;
        }
        got.append(block, static_cast<std::size_t>(n));
        if (got.size() >= ending.size() &&
            got.compare(got.size() - ending.size(), ending.size(), ending) == 0) {
            break;
        }
    }
    return got;
}

// False when the reader has gone before taking everything.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Where two long texts part, with a little of each from there: gtest's own difference of
// megabyte strings would take hours.
std::string firstDifference(const std::string& got, const std::string& expected) {
    std::size_t at = 0;
    while (at < got.size() && at < expected.size() && got[at] == expected[at]) {
        ++at;
    }
    return "byte " + std::to_string(at) + ": " + testing::PrintToString(got.substr(at, 120)) +
           " instead of " + testing::PrintToString(expected.substr(at, 120));
}

void layOut(const fs::path& dir, const Catalogue& catalogue) {
    writeFile(dir / PICTURES, catalogue.pictures);
    writeFile(dir / MAP, catalogue.map);
}

void expectHostReport(const std::string& err, int error, const std::string& operation, int channel,
                      const std::string& name, long record) {
    const FatalReport report = parseFatalReport(err);
    EXPECT_TRUE(report.wellFormed) << err;
    EXPECT_TRUE(report.hostError) << err;
    EXPECT_EQ(report.error, error) << err;
    EXPECT_EQ(report.description, std::strerror(error));
    EXPECT_EQ(report.operation, operation);
    EXPECT_EQ(report.channel, channel);
    EXPECT_EQ(report.fileName, name);
    EXPECT_EQ(report.record, record);
}

// The operator's console goes away while the question waits: the next line finds no reader. The
// run must end with the report (EPIPE, not death by SIGPIPE) before it touches the picture list.
TEST(StreamFaults, StandardOutputReaderLeavesWhileTheQuestionWaits) {
    const TempDir dir;
    const Catalogue catalogue = makeCatalogue(300, 20, 3);
    layOut(dir.path, catalogue);
    Pipe input;
    Pipe output;
    const int err = captureFile();
    const pid_t child = start(dir.path, {}, Streams{input.read, output.write, err});
    input.closeRead();
    output.closeWrite();

    const std::string shown = readUntil(output.read, QUESTION);
    output.closeRead();
    (void)writeAll(input.write, "Yes\n\n");
    input.closeWrite();
    Outcome run = finish(child, std::chrono::seconds(30));
    run.err = contentsOf(err);
    ::close(err);

    const Transcripts t = transcriptsFor(catalogue);
    EXPECT_EQ(shown, t.complete.substr(0, t.complete.find(QUESTION) + QUESTION.size()));
    EXPECT_EQ(run.signal, 0) << "killed by signal " << strsignal(run.signal);
    EXPECT_EQ(run.exitCode, 127);
    // The first line after the answer is the relabelling's announcement.
    const long lines = static_cast<long>(crlfLinesOf(shown).size());
    expectHostReport(run.err, EPIPE, "list-directed write", 6, "stdout ", lines + 1);
    EXPECT_TRUE(readFile(dir.path / PICTURES) == catalogue.pictures);
    EXPECT_TRUE(readFile(dir.path / BACKUP) == catalogue.pictures);
    EXPECT_FALSE(fs::exists(dir.path / "AllPicturesUnsorted.txt"));
}

// Started with standard input closed: the files the program opens take descriptor 0 for a while,
// yet the question must still find no input, not the content of one of those files.
TEST(StreamFaults, StandardInputClosedFailsAtTheQuestion) {
    const TempDir dir;
    const Catalogue catalogue = makeCatalogue(300, 20, 4);
    layOut(dir.path, catalogue);
    const int out = captureFile();
    const int err = captureFile();
    Outcome run = finish(start(dir.path, {}, Streams{-1, out, err}), std::chrono::seconds(30));
    run.out = contentsOf(out);
    run.err = contentsOf(err);
    ::close(out);
    ::close(err);

    const Transcripts t = transcriptsFor(catalogue);
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_EQ(run.out, t.complete.substr(0, t.complete.find(QUESTION) + QUESTION.size()));
    const FatalReport report = parseFatalReport(run.err);
    EXPECT_TRUE(report.wellFormed) << run.err;
    EXPECT_TRUE(report.hostError);
    EXPECT_EQ(report.error, EBADF);
    EXPECT_EQ(report.operation, "formatted read");
    EXPECT_EQ(report.channel, 5);
    EXPECT_EQ(report.fileName, "stdin ");
    EXPECT_EQ(report.record, 1);
    EXPECT_TRUE(readFile(dir.path / PICTURES) == catalogue.pictures);
    EXPECT_TRUE(readFile(dir.path / BACKUP) == catalogue.pictures);
}

// Started with standard error closed, the first file the program opens takes descriptor 2. A
// fatal error while the backup is open for the relabelling then writes the report into the
// backup, the list as it was before the run.
TEST(StreamFaults, StandardErrorClosedKeepsTheReportOutOfTheBackup) {
    const TempDir dir;
    // Large enough that the unsorted list is written while the backup is still being read.
    const Catalogue catalogue = makeCatalogue(50000, 20, 5);
    layOut(dir.path, catalogue);
    fs::create_symlink("/dev/full", dir.path / "AllPicturesUnsorted.txt");
    const int in = captureFile();
    ASSERT_TRUE(writeAll(in, "Yes\n\n"));
    ::lseek(in, 0, SEEK_SET);
    const int out = captureFile();
    Outcome run = finish(start(dir.path, {}, Streams{in, out, -1}), std::chrono::seconds(60));
    ::close(in);
    ::close(out);

    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(readFile(dir.path / PICTURES) == catalogue.pictures);
    EXPECT_TRUE(readFile(dir.path / BACKUP) == catalogue.pictures)
        << "AllPicturesIndiv.txt is no longer the list as it was: "
        << firstDifference(readFile(dir.path / BACKUP), catalogue.pictures);
}

// An answer of a gigabyte with no line end, streamed through a pipe and never stored: the answer
// is its first two bytes, the rest is passed over in constant memory, and the run goes on to the
// final wait, where the input has ended.
TEST(StreamFaults, GigabyteAnswerLineWithoutLineEndTakesConstantMemory) {
    const TempDir dir;
    const Catalogue catalogue = makeCatalogue(300, 20, 6);
    layOut(dir.path, catalogue);
    Pipe input;
    const int out = captureFile();
    const int err = captureFile();
    const pid_t child = start(dir.path, {}, Streams{input.read, out, err});
    input.closeRead();

    bool allTaken = writeAll(input.write, "Ye");
    const std::string block(std::size_t{1} << 20, 's');
    for (int i = 0; i < 1024 && allTaken; ++i) {
        allTaken = writeAll(input.write, block);
    }
    input.closeWrite();
    Outcome run = finish(child, std::chrono::seconds(120));
    run.out = contentsOf(out);
    run.err = contentsOf(err);
    ::close(out);
    ::close(err);

    const Transcripts t = transcriptsFor(catalogue);
    EXPECT_TRUE(allTaken) << "the program stopped reading before the end of the answer";
    EXPECT_EQ(run.exitCode, 127) << run.err;
    EXPECT_EQ(run.out, t.complete);
    const FatalReport report = parseFatalReport(run.err);
    EXPECT_TRUE(report.wellFormed) << run.err;
    EXPECT_FALSE(report.hostError);
    EXPECT_EQ(report.error, 217);
    EXPECT_EQ(report.operation, "list-directed read");
    EXPECT_EQ(report.channel, 5);
    EXPECT_EQ(report.fileName, "stdin ");
    EXPECT_EQ(report.record, 2);
    EXPECT_TRUE(readFile(dir.path / PICTURES) == relabelledList(catalogue));
    EXPECT_LT(run.maxRssKiB, 100 * 1024) << "peak memory grew with the answer line";
    std::cout << "peak memory with a 1 GB answer line: " << run.maxRssKiB << " KiB\n";
}

// The stops of the run sequence each wait for Enter once more; input that has ended there is the
// same fatal end as at any other wait, after the stop's lines and with the list as it was.
TEST(StreamFaults, EndOfInputAtTheWaitOfEachStopIsFatal) {
    const Catalogue catalogue = makeCatalogue(300, 20, 8);
    const Transcripts t = transcriptsFor(catalogue);
    struct Case {
        const char* name;
        bool pictureList;
        std::vector<std::string> fault; // the preload's settings, when a call must fail
        std::string input;
        std::string shown;
        long record;
    };
    const std::string preload = "LD_PRELOAD=" + preloadPath();
    const std::vector<Case> cases = {
        {"picture list missing", false, {}, "", t.backupMissing, 1},
        // The renames of a run: the backup's new file into place, then the sorted list's.
        {"backup failed",
         true,
         {preload, "FAULT_KIND=rename", "FAULT_AT=1", "FAULT_ERRNO=EIO"},
         "",
         t.backupFailed,
         1},
        {"sort failed",
         true,
         {preload, "FAULT_KIND=rename", "FAULT_AT=2", "FAULT_ERRNO=EIO"},
         "Yes\n",
         t.sortFailed,
         2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const TempDir dir;
        writeFile(dir.path / MAP, catalogue.map);
        if (test.pictureList) {
            writeFile(dir.path / PICTURES, catalogue.pictures);
        }
        const Outcome run = fault::run(dir.path, test.input, test.fault);
        EXPECT_EQ(run.exitCode, 127);
        EXPECT_EQ(run.out, test.shown);
        const FatalReport report = parseFatalReport(run.err);
        EXPECT_TRUE(report.wellFormed) << run.err;
        EXPECT_FALSE(report.hostError);
        EXPECT_EQ(report.error, 217);
        EXPECT_EQ(report.codeText, "attempt to read past end of file");
        EXPECT_EQ(report.operation, "list-directed read");
        EXPECT_EQ(report.channel, 5);
        EXPECT_EQ(report.fileName, "stdin ");
        EXPECT_EQ(report.record, test.record);
        if (test.pictureList) {
            EXPECT_TRUE(readFile(dir.path / PICTURES) == catalogue.pictures);
        }
    }
}

} // namespace
