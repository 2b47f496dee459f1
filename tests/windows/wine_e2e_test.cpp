// Runs that only the Windows build can show: the host's own copy and sort carry out the backup and
// the sort, and the C runtime's text mode puts the CR before each LF. They run when MTS_HOST is
// "windows" (the Windows leg of CI starts the .exe under Wine through MTS_PROGRAM, with the
// test-only sort stand-in on Wine's PATH) and skip themselves elsewhere.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <utility>

#include "test_support/expect.h"
#include "test_support/launch.h"

namespace {

using namespace test_support;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Out of order, a duplicate, mixed case, an underscore against a letter, LF and CR LF ends and a
// last line without a line end.
const std::string OLD_LIST = pictureColumns("IMG_0003.jpg", "Rajah", "2013-07-01") + "\r\n" +
                             pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01") + "\n" +
                             joinLines({pictureColumns("img_0000.jpg", "Lion", "lower case"),
                                        pictureColumns("IMG_0003.jpg", "Rajah", "2013-07-01"),
                                        pictureColumns("Zebra_01.jpg", "Zebra", "Z after a"),
                                        pictureColumns("aardvark.jpg", "Aardvark", ""),
                                        pictureColumns("IMGA.jpg", "Fluffy", "A after _")}) +
                             pictureColumns("IMG_0002.jpg", "Leopard", "");

// The order of the Windows sort command: letters without regard to case, so lower-case names
// are not pushed behind every upper-case one, and punctuation before letters.
const std::string NEW_LIST = pictureLine("aardvark.jpg", "Aardvark", "") +
                             pictureLine("img_0000.jpg", "Lion", "lower case") +
                             pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01") +
                             pictureLine("IMG_0002.jpg", "Leopard", "") +
                             pictureLine("IMG_0003.jpg", "Tiger", "2013-07-01") +
                             pictureLine("IMG_0003.jpg", "Tiger", "2013-07-01") +
                             pictureLine("IMGA.jpg", "Leopard", "A after _") +
                             pictureLine("Zebra_01.jpg", "Zebra", "Z after a");

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Rajah", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(CATS);

// A test that only the Windows build can pass: the catalogue laid out in a fresh folder, and how
// the program is started there.
class WindowsHost : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!onWindowsHost()) {
            GTEST_SKIP() << "needs the Windows build; MTS_HOST=windows selects it";
        }
        writeCatalogue(folder, OLD_LIST, mapFile(CATS));
        launch.folder = folder.dir;
        launch.in = Stream::bytes("Yes\n\n");
    }

    TempFolder folder;
    Launch launch;
};

TEST_F(WindowsHost, CompleteRunReplacesTheBackupAndSortsLikeTheHost) {
    // The operator's own COPYCMD may ask before overwriting; the earlier backup must be replaced
    // all the same, and no answer taken from the dialogue's input.
    for (const char* copyCommand : {"COPYCMD", "COPYCMD=/-Y"}) {
        SCOPED_TRACE(copyCommand);
        folder.write(PICTURES, OLD_LIST);
        folder.write(BACKUP, pictureLine("IMG_9999.jpg", "Stale", "from an earlier run"));
        launch.in = Stream::bytes("Yes\r\n\r\n");
        launch.environment = {copyCommand}; // unset, or set to ask
        expectCompleteRun(folder, runProgram(launch), CATS, OLD_LIST, NEW_LIST);
    }
}

// Standard output as a pipe rather than a file: the text-mode stream still gets LF alone from
// the tool and puts the one CR before it.
TEST_F(WindowsHost, PipedOutputHasOneCrBeforeEachLf) {
    launch.out = Stream::piped();
    expectEnd(runProgram(launch), 0, SHOWN.complete);
    EXPECT_EQ(folder.read(PICTURES), NEW_LIST);
}

// What a sort that did not finish leaves: the failed-sort stop, the picture list as it was, byte
// for byte, and no file of the sort's own beside it. `why` stands in the reason shown.
void expectPictureListKept(const TempFolder& folder, const RunResult& run, std::string_view why) {
    expectEnd(run, 0, SHOWN.sortFailed);
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    expectListKept(folder.dir, OLD_LIST);
    EXPECT_EQ(folder.listing(),
              "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt");
}

// Wine's command interpreter has no sort command, yet carries out the redirection: the run must
// say so instead of reporting success, the old list must be in the backup, and the redirection
// must not have emptied the picture list.
TEST_F(WindowsHost, WithoutASortCommandTheRunStopsAndTheBackupKeepsTheOldList) {
    launch.environment = {"WINEPATH"};
    expectPictureListKept(folder, runProgram(launch), "sort");
    EXPECT_EQ(folder.read(UNSORTED).size(), 8 * PICTURE_LINE_BYTES);
}

// A sort that fails half way through its output, and one that loses half of the lines yet reports
// success: neither output may take the picture list's place.
TEST_F(WindowsHost, SortThatFailsOrLosesLinesLeavesThePictureListAsItWas) {
    for (const auto& [fault, why] :
         {std::pair{"fails-half-way", "stopped half way"},
          std::pair{"drops-half", "AllPictures.txt is left as it was"}}) {
        SCOPED_TRACE(fault);
        folder.write(PICTURES, OLD_LIST);
        fs::remove(folder.dir / UNSORTED);
        launch.environment = {std::string("MTS_SORT_STANDIN_FAULT=") + fault};
        expectPictureListKept(folder, runProgram(launch), why);
    }
}

// Taken away, the owner's read-only mark, as Windows shows it.
constexpr fs::perms WRITE =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

// The owner's read-only mark on the picture list means "leave it alone": the sorted list does not
// take its place, and the mark stays.
TEST_F(WindowsHost, ReadOnlyPictureListIsNotReplaced) {
    fs::permissions(folder.dir / PICTURES, WRITE, fs::perm_options::remove);
    expectPictureListKept(folder, runProgram(launch), "cannot replace AllPictures.txt");
    EXPECT_EQ(fs::status(folder.dir / PICTURES).permissions() & WRITE, fs::perms::none);
}

const std::string EARLIER_BACKUP = pictureLine("IMG_9999.jpg", "Stale", "from an earlier run");

// The stop at the backup, with `why` in the reason given: the earlier backup is as it was, and no
// file of the copy's own is left behind.
void expectEarlierBackupKept(const TempFolder& folder, const RunResult& run, std::string_view why) {
    expectEnd(run, 0, SHOWN.backupFailed);
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
    EXPECT_EQ(folder.read(BACKUP), EARLIER_BACKUP);
    EXPECT_EQ(folder.listing(), "AllPictures.txt AllPicturesIndiv.txt MarrowfenlatchMap.txt");
}

// The same mark on an earlier backup: the copy does not take its place, the run stops at the
// backup, and neither the backup nor a file of the copy's own is left changed or behind.
TEST_F(WindowsHost, ReadOnlyEarlierBackupIsKeptAndTheRunStopsAtTheBackup) {
    folder.write(BACKUP, EARLIER_BACKUP);
    fs::permissions(folder.dir / BACKUP, WRITE, fs::perm_options::remove);
    expectEarlierBackupKept(folder, runProgram(launch), "cannot replace AllPicturesIndiv.txt");
    EXPECT_EQ(folder.read(PICTURES), OLD_LIST);
}

TEST_F(WindowsHost, MissingPictureListStopsOnTheCopyStatus) {
    fs::remove(folder.dir / PICTURES);
    launch.in = Stream::bytes("\n");
    expectEnd(runProgram(launch), 0, SHOWN.backupMissing);
    EXPECT_EQ(folder.listing(), "MarrowfenlatchMap.txt");
}

// A folder is no file that the C runtime opens: the report carries its error number and text.
TEST_F(WindowsHost, UnsortedListNameTakenByAFolderIsFatal) {
    fs::create_directory(folder.dir / UNSORTED);
    expectFatalEnd(runProgram(launch), SHOWN.relabelling,
                   hostErrorReport(EACCES, "OPEN", 2, UNSORTED, std::nullopt));
    expectListKept(folder.dir, OLD_LIST);
}

// A folder is no file to back up: the interpreter's copy of one may write nothing and report
// success.
TEST_F(WindowsHost, FolderNamedAsThePictureListLeavesTheEarlierBackup) {
    fs::remove(folder.dir / PICTURES);
    fs::create_directory(folder.dir / PICTURES);
    folder.write(BACKUP, EARLIER_BACKUP);
    expectEarlierBackupKept(folder, runProgram(launch),
                            "copy: cannot read AllPictures.txt: it is a folder");
}

// Starts another program (tests/windows/hold_file.cpp, under the emulator of MTS_PROGRAM) that
// holds a file of `folder` open as `words` tell it, and returns once it holds the file.
std::unique_ptr<Running> holdOpen(const TempFolder& folder, const std::vector<std::string>& words) {
    Pipe said;
    Launch launch{.folder = folder.dir, .out = Stream::descriptor(said.write.fd)};
    launch.command = programCommand();
    launch.command.back() = "hold_file.exe";
    launch.command.insert(launch.command.end(), words.begin(), words.end());
    auto holder = std::make_unique<Running>(launch);
    said.write.close();
    char word[4] = {};
    EXPECT_EQ(::read(said.read.fd, word, 4), 4) << "the holding program did not start";
    return holder;
}

// The picture list, or an earlier backup, open in another program that shares reads only. A hold
// that ends while the run waits to replace or open the file (a second after the new file has
// bytes) lets the run complete; one that lasts stops it soon, says why, and changes nothing.
TEST_F(WindowsHost, FileOpenInAnotherProgramIsWaitedForAWhile) {
    for (const std::string held : {PICTURES, BACKUP}) {
        SCOPED_TRACE(held);
        folder.write(BACKUP, EARLIER_BACKUP);
        const auto brief = holdOpen(folder, {held, "1000", held + ".move-to-species.tmp"});
        expectCompleteRun(folder, runProgram(launch), CATS, OLD_LIST, NEW_LIST);
        folder.write(PICTURES, OLD_LIST);
        folder.write(BACKUP, EARLIER_BACKUP);
        const auto lasting = holdOpen(folder, {held, "30000"});
        const auto start = std::chrono::steady_clock::now();
        const RunResult run = runProgram(launch);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        lasting->signal(SIGTERM);
        (void)lasting->finish();
        const std::string why = (held == PICTURES ? "sort" : "copy") +
                                (": cannot replace " + held) +
                                ": it is open in another program; close it and run the tool again";
        if (held == PICTURES) {
            expectPictureListKept(folder, run, why);
        } else {
            expectEarlierBackupKept(folder, run, why);
        }
    }
}

// A run killed while its sort writes leaves the sort's file, which the next run takes over. The
// kill reaches the .exe, the interpreter and the sort alike through the `timeout` in front of
// MTS_PROGRAM, as closing the console window ends every program in it.
TEST_F(WindowsHost, FileLeftByARunKilledWhileSortingIsTakenOverByTheNextRun) {
    const fs::path staged = folder.dir / "AllPictures.txt.move-to-species.tmp";
    Launch killed = launch;
    killed.environment = {"MTS_SORT_STANDIN_FAULT=stalls-half-way"};
    Running run(killed);
    for (int tries = 0; tries < 1200 && !(fs::exists(staged) && fs::file_size(staged) > 0);
         ++tries) {
        std::this_thread::sleep_for(50ms);
    }
    run.signal(SIGTERM);
    (void)run.finish();
    ASSERT_TRUE(fs::exists(staged)) << "the killed run left nothing to take over";
    expectCompleteRun(folder, runProgram(launch), CATS, OLD_LIST, NEW_LIST);
}

} // namespace
