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

#include "fault_support.h"
#include "test_support/expect.h"

namespace {

namespace fs = std::filesystem;
using namespace fault;
using fault_protocol::setting;
namespace io = fault_protocol::io;

// The test writes into pipes whose reader may be gone; that must come back as EPIPE here too.
const auto ignoreBrokenPipes = ::signal(SIGPIPE, SIG_IGN);

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

// A catalogue of `lines` pictures laid out in a folder in memory, and how the program starts there.
struct LaidOut {
    TempFolder folder{"mts-fault", TempFolder::Storage::Memory};
    fs::path dir = folder.dir;
    Catalogue catalogue;
    Launch launch;

    LaidOut(std::size_t lines, std::uint32_t seed, std::string_view input,
            std::chrono::seconds limit)
        : catalogue(makeCatalogue(lines, 20, seed)), launch(launchIn(dir, input, limit)) {
        catalogue.layOut(dir);
    }
};

// The operator's console goes away while the question waits: the next line finds no reader. The
// run must end with the report (EPIPE, not death by SIGPIPE) before it touches the picture list.
TEST(StreamFaults, StandardOutputReaderLeavesWhileTheQuestionWaits) {
    LaidOut laid(300, 3, "", std::chrono::seconds(30));
    const Catalogue& catalogue = laid.catalogue;
    Launch& launch = laid.launch;
    Pipe input;
    Pipe output;
    launch.in = Stream::descriptor(input.read.fd);
    launch.out = Stream::descriptor(output.write.fd);
    Running running(launch);
    input.read.close();
    output.write.close();

    const std::string question = catalogue.transcripts().question;
    const std::string shown = readUntil(output.read.fd, message(QUESTION));
    output.read.close();
    (void)writeAll(input.write.fd, "Yes\n\n");
    input.write.close();
    const RunResult run = running.finish();

    EXPECT_EQ(shown, question);
    EXPECT_EQ(run.signal, 0) << "killed by signal " << strsignal(run.signal);
    EXPECT_EQ(run.exitStatus, 127);
    // The first line after the answer is the relabelling's announcement.
    const long lines = static_cast<long>(splitLines(shown, LineEnd::CrLf).size());
    EXPECT_EQ(parseFatalReport(run.err),
              hostErrorReport(EPIPE, "list-directed write", 6, "stdout ", lines + 1));
    expectListKept(laid.dir, catalogue.pictures);
    EXPECT_FALSE(fs::exists(laid.dir / UNSORTED));
}

// Started with standard input closed: the files the program opens take descriptor 0 for a while,
// yet the question must still find no input, not the content of one of those files.
TEST(StreamFaults, StandardInputClosedFailsAtTheQuestion) {
    LaidOut laid(300, 4, "", std::chrono::seconds(30));
    laid.launch.in = Stream::closed();
    expectFatalEnd(runProgram(laid.launch), laid.catalogue.transcripts().question,
                   hostErrorReport(EBADF, "formatted read", 5, "stdin ", 1));
    expectListKept(laid.dir, laid.catalogue.pictures);
}

// Started with standard error closed, the first file the program opens takes descriptor 2. A
// fatal error while the backup is open for the relabelling then writes the report into the
// backup, the list as it was before the run.
TEST(StreamFaults, StandardErrorClosedKeepsTheReportOutOfTheBackup) {
    // Large enough that the unsorted list is written while the backup is still being read.
    LaidOut laid(50000, 5, "Yes\n\n", std::chrono::seconds(60));
    fs::create_symlink("/dev/full", laid.dir / UNSORTED);
    laid.launch.err = Stream::closed();
    EXPECT_EQ(runProgram(laid.launch).exitStatus, 127);
    expectListKept(laid.dir, laid.catalogue.pictures);
}

// An answer of a gigabyte with no line end, streamed through a pipe and never stored: the answer
// is its first two bytes, the rest is passed over in constant memory, and the run goes on to the
// final wait, where the input has ended.
TEST(StreamFaults, GigabyteAnswerLineWithoutLineEndTakesConstantMemory) {
    LaidOut laid(300, 6, "", std::chrono::seconds(120));
    const Catalogue& catalogue = laid.catalogue;
    Launch& launch = laid.launch;
    Pipe input;
    launch.in = Stream::descriptor(input.read.fd);
    Running running(launch);
    input.read.close();

    bool allTaken = writeAll(input.write.fd, "Ye");
    const std::string block(std::size_t{1} << 20, 's');
    for (int i = 0; i < 1024 && allTaken; ++i) {
        allTaken = writeAll(input.write.fd, block);
    }
    input.write.close();
    const RunResult run = running.finish();

    EXPECT_TRUE(allTaken) << "the program stopped reading before the end of the answer";
    expectFatalEnd(run, catalogue.transcripts().complete,
                   endOfInputReport("list-directed read", 2));
    EXPECT_TRUE(sameBytes(readFile(laid.dir / PICTURES), catalogue.relabelled()));
    EXPECT_LT(run.peakMemoryKiB, 100 * 1024) << "peak memory grew with the answer line";
    std::cout << "peak memory with a 1 GB answer line: " << run.peakMemoryKiB << " KiB\n";
}

// The stops of the run sequence each wait for Enter once more; input that has ended there is the
// same fatal end as at any other wait, after the stop's lines and with the list as it was.
TEST(StreamFaults, EndOfInputAtTheWaitOfEachStopIsFatal) {
    const Catalogue catalogue = makeCatalogue(300, 20, 8);
    const Transcripts t = catalogue.transcripts();
    struct Case {
        const char* name;
        bool pictureList;
        std::vector<std::string> fault; // the preload's settings, when a call must fail
        std::string input;
        std::string shown;
        std::string account; // the stop's own word on what failed, ahead of the report
        long record;
    };
    const std::vector<Case> cases = {
        {"picture list missing",
         false,
         {},
         "",
         t.backupMissing,
         "copy: cannot read AllPictures.txt: No such file or directory\r\n",
         1},
        // The renames of a run: the backup's new file into place, then the sorted list's.
        {"backup failed",
         true,
         {setting(io::KIND, "rename"), setting(io::AT, "1"),
          setting(io::ERRNO, std::to_string(EIO))},
         "",
         t.backupFailed,
         "copy: cannot write AllPicturesIndiv.txt: Input/output error\r\n",
         1},
        {"sort failed",
         true,
         {setting(io::KIND, "rename"), setting(io::AT, "2"),
          setting(io::ERRNO, std::to_string(EIO))},
         "Yes\n",
         t.sortFailed,
         "sort: cannot write AllPictures.txt: Input/output error\r\n",
         2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const TempFolder dir("mts-fault", TempFolder::Storage::Memory);
        writeFile(dir.dir / MAP, catalogue.map);
        if (test.pictureList) {
            writeFile(dir.dir / PICTURES, catalogue.pictures);
        }
        Launch launch = launchIn(dir.dir, test.input);
        launch.preload = test.fault.empty() ? "" : MTS_FAULT_PRELOAD_PATH;
        launch.environment = test.fault;
        FatalReport expected = endOfInputReport("list-directed read", test.record);
        expected.before = test.account;
        expectFatalEnd(runProgram(launch), test.shown, expected);
        if (test.pictureList) {
            EXPECT_TRUE(sameBytes(readFile(dir.dir / PICTURES), catalogue.pictures));
        }
    }
}

} // namespace
