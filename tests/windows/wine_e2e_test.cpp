// Runs that only the Windows build can show: the host's own copy and sort carry out the backup and
// the sort, and the C runtime's text mode puts the CR before each LF. They run when MTS_HOST is
// "windows" (the Windows leg of CI starts the .exe under Wine through MTS_PROGRAM, with the
// test-only sort stand-in on Wine's PATH) and skip themselves elsewhere.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e_scenarios.h"
#include "e2e_support.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

bool onWindowsHost() {
    const char* host = std::getenv("MTS_HOST");
    return host != nullptr && std::string_view(host) == "windows";
}

#define SKIP_UNLESS_WINDOWS_HOST()                                                                 \
    if (!onWindowsHost()) {                                                                        \
        GTEST_SKIP() << "needs the Windows build; MTS_HOST=windows selects it";                    \
    }

// One environment variable set or removed for the runs of a scope, then put back.
struct EnvironmentChange {
    EnvironmentChange(const char* name, std::optional<std::string> value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
        }
        set(value);
    }
    ~EnvironmentChange() { set(previous); }
    EnvironmentChange(const EnvironmentChange&) = delete;
    EnvironmentChange& operator=(const EnvironmentChange&) = delete;

    void set(const std::optional<std::string>& value) const {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    const char* name;
    std::optional<std::string> previous;
};

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Rajah", "Tiger"}};

// Out of order, a duplicate, mixed case, an underscore against a letter, LF and CR LF ends and a
// last line without a line end.
const std::string OLD_LIST = pictureColumns("IMG_0003.jpg", "Rajah", "2013-07-01") + "\r\n" +
                             pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01") + "\n" +
                             pictureColumns("img_0000.jpg", "Lion", "lower case") + "\r\n" +
                             pictureColumns("IMG_0003.jpg", "Rajah", "2013-07-01") + "\r\n" +
                             pictureColumns("Zebra_01.jpg", "Zebra", "Z after a") + "\r\n" +
                             pictureColumns("aardvark.jpg", "Aardvark", "") + "\r\n" +
                             pictureColumns("IMGA.jpg", "Fluffy", "A after _") + "\r\n" +
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

const std::string FAILURE_WAIT = "Type Enter to TERMINATE WITH FAILURE";

void writeCatalogue(const Scratch& scratch) {
    scratch.write(PICTURES, OLD_LIST);
    scratch.write(MAP, mapFile(CATS));
}

TEST(WindowsHost, CompleteRunReplacesTheBackupAndSortsLikeTheHost) {
    SKIP_UNLESS_WINDOWS_HOST();
    // The operator's own COPYCMD may ask before overwriting; the earlier backup must be replaced
    // all the same, and no answer taken from the dialogue's input.
    for (const std::optional<std::string>& copyCommand :
         {std::optional<std::string>(), std::optional<std::string>("/-Y")}) {
        SCOPED_TRACE(copyCommand.value_or("COPYCMD not set"));
        const EnvironmentChange setting("COPYCMD", copyCommand);
        const Scratch scratch;
        writeCatalogue(scratch);
        scratch.write(BACKUP, pictureLine("IMG_9999.jpg", "Stale", "from an earlier run"));
        const RunResult run = runProgram(scratch, "Yes\r\n\r\n");
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.out, completeRunOutput(mapTable(CATS)));
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(scratch.read(PICTURES), NEW_LIST);
        EXPECT_EQ(scratch.read(BACKUP), OLD_LIST);
        EXPECT_EQ(scratch.listing(), LISTING_AFTER_RUN);
    }
}

// Standard output as a pipe rather than a file: the text-mode stream still gets LF alone from
// the tool and puts the one CR before it.
RunResult runWithPipedOutput(const Scratch& scratch, std::string_view input) {
    const Scratch io;
    io.write("stdin", input);
    std::vector<std::string> words = programWords();
    std::vector<char*> argv = argvOf(words);
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open((io.dir / "stdin").c_str(), O_RDONLY);
        const int err = ::open((io.dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(ends[1], 1) < 0 ||
            ::dup2(err, 2) < 0 || ::close(ends[0]) != 0 || ::chdir(scratch.dir.c_str()) != 0) {
            ::_exit(200);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(201);
    }
    ::close(ends[1]);
    RunResult result;
    // A helper process of Wine's may keep the pipe open after the tool has ended, so the end of
    // the pipe is awaited only for a while once the tool is gone.
    std::optional<std::chrono::steady_clock::time_point> endedAt;
    int status = 0;
    for (;;) {
        pollfd readable{ends[0], POLLIN, 0};
        if (::poll(&readable, 1, 100) > 0) {
            char block[4096];
            const ssize_t got = ::read(ends[0], block, sizeof block);
            if (got <= 0) {
                break;
            }
            result.out.append(block, static_cast<std::size_t>(got));
            continue;
        }
        if (!endedAt && ::waitpid(child, &status, WNOHANG) == child) {
            endedAt = std::chrono::steady_clock::now();
        }
        if (endedAt && std::chrono::steady_clock::now() - *endedAt > std::chrono::seconds(5)) {
            break;
        }
    }
    ::close(ends[0]);
    if (!endedAt) {
        ::waitpid(child, &status, 0);
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.err = io.read("stderr");
    return result;
}

TEST(WindowsHost, PipedOutputHasOneCrBeforeEachLf) {
    SKIP_UNLESS_WINDOWS_HOST();
    const Scratch scratch;
    writeCatalogue(scratch);
    const RunResult run = runWithPipedOutput(scratch, "Yes\n\n");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, completeRunOutput(mapTable(CATS)));
    EXPECT_EQ(scratch.read(PICTURES), NEW_LIST);
}

// Wine's command interpreter has no sort command, yet carries out the redirection and so empties
// the picture list: the run must say so instead of reporting success, and the old list must be
// in the backup.
TEST(WindowsHost, WithoutASortCommandTheRunStopsAndTheBackupKeepsTheOldList) {
    SKIP_UNLESS_WINDOWS_HOST();
    const EnvironmentChange noStandIn("WINEPATH", std::nullopt);
    const Scratch scratch;
    writeCatalogue(scratch);
    const RunResult run = runProgram(scratch, "Yes\n\n");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, openingLines() + mapTable(CATS) + message(RELABEL_MESSAGE) +
                           message(SORT_MESSAGE) +
                           message("Sort of AllPicturesUnsorted.txt failed ... TERMINATING") +
                           message("AllPicturesIndiv.txt holds the picture list as it was "
                                   "before this run") +
                           message(FAILURE_WAIT));
    EXPECT_NE(run.err.find("sort"), std::string::npos) << run.err;
    EXPECT_EQ(scratch.read(BACKUP), OLD_LIST);
    EXPECT_EQ(scratch.read(PICTURES), "");
    EXPECT_EQ(scratch.read(UNSORTED).size(), 8 * PICTURE_LINE_BYTES);
    EXPECT_EQ(scratch.listing(),
              "AllPictures.txt AllPicturesIndiv.txt AllPicturesUnsorted.txt MarrowfenlatchMap.txt");
}

TEST(WindowsHost, MissingPictureListStopsOnTheCopyStatus) {
    SKIP_UNLESS_WINDOWS_HOST();
    const Scratch scratch;
    scratch.write(MAP, mapFile(CATS));
    const RunResult run = runProgram(scratch, "\n");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, openingLines() + message("AllPictures.txt is not present ... TERMINATING") +
                           message(FAILURE_WAIT));
    EXPECT_EQ(scratch.listing(), "MarrowfenlatchMap.txt");
}

// A folder is no file that the C runtime opens: the report carries its error number and text.
TEST(WindowsHost, UnsortedListNameTakenByAFolderIsFatal) {
    SKIP_UNLESS_WINDOWS_HOST();
    const Scratch scratch;
    writeCatalogue(scratch);
    fs::create_directory(scratch.dir / UNSORTED);
    const RunResult run = runProgram(scratch, "Yes\n\n");
    EXPECT_EQ(run.exitStatus, 127);
    EXPECT_EQ(run.out, openingLines() + mapTable(CATS) + message(RELABEL_MESSAGE));
    EXPECT_TRUE(isFatalReport(run.err, hostErrorReport(EACCES, "OPEN", 2, UNSORTED, std::nullopt)));
    EXPECT_EQ(scratch.read(PICTURES), OLD_LIST);
    EXPECT_EQ(scratch.read(BACKUP), OLD_LIST);
}

} // namespace
