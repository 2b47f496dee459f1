#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>

#include "shell/builtins/builtin_test_support.h"
#include "shell/builtins/builtins.h"
#include "test_support/catalogue.h"
#include "test_support/test_support.h"

namespace shell::builtins {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

// Every byte is copied and an earlier copy replaced; it keeps its permissions, and a linked one
// its link, its target replaced; a new file gets the usual permissions.
TEST(CopyFile, CopiesEveryByteAndTheDestinationKeepsItsPermissionsAndItsLink) {
    ScratchFolder folder;
    const std::string list = randomText(1, 250'000) + std::string("\r\n\0tail", 7);
    writeFile("src.txt", list);
    ::chmod("src.txt", 0600);
    writeFile("dst.txt", "stale copy");
    ::chmod("dst.txt", 0640);
    EXPECT_EQ(capture([] { return copyFile("src.txt", "dst.txt"); }).status, 0);
    EXPECT_TRUE(readFile("dst.txt") == list);
    EXPECT_TRUE(readFile("src.txt") == list);
    EXPECT_EQ(permissionsOf("dst.txt"), 0640u);
    writeFile("empty.txt", "");
    EXPECT_EQ(copyFile("empty.txt", "dst.txt"), 0);
    EXPECT_EQ(readFile("dst.txt"), "");
    const mode_t previousMask = ::umask(027);
    EXPECT_EQ(copyFile("src.txt", "new.txt"), 0);
    ::umask(previousMask);
    EXPECT_EQ(permissionsOf("new.txt"), 0640u);
    fs::create_directory("store");
    writeFile("store/list.txt", "old");
    fs::create_symlink("store/list.txt", "linked.txt");
    EXPECT_EQ(copyFile("src.txt", "linked.txt"), 0);
    EXPECT_TRUE(fs::is_symlink("linked.txt"));
    EXPECT_TRUE(readFile("store/list.txt") == list);
    EXPECT_EQ(folder.listing(), "dst.txt empty.txt linked.txt new.txt src.txt store");
    EXPECT_EQ(fs::directory_iterator("store")->path().filename(), "list.txt");
}

// Such files report a size of 0 and still have contents.
TEST(CopyFile, FileThatHidesItsSizeIsCopiedWhole) {
    if (!fs::exists("/proc/version")) {
        GTEST_SKIP() << "no /proc on this host";
    }
    ScratchFolder folder;
    EXPECT_EQ(copyFile("/proc/version", "version.txt"), 0);
    EXPECT_FALSE(readFile("version.txt").empty());
    EXPECT_EQ(readFile("version.txt"), readFile("/proc/version"));
}

// Whole lines in byte order, each with CR LF, duplicates kept. The two halves of the text are
// sorted apart and merged by two writers, each from the middle of the output on: halves that do
// not interleave at all, or hold one line only, must still meet. A line longer than the output
// block comes out whole; a list of empty lines, or none, replaces the earlier output too. Random
// lists come out as the plain sort of their lines puts them.
TEST(SortFile, WholeLinesInByteOrderAndHalvesThatDoNotInterleaveOrHoldOneLine) {
    ScratchFolder folder;
    const std::string longLine(3'000'000, 'm');
    const auto lines = [](const std::string& line, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += line + "\n";
        }
        return text;
    };
    for (const auto& [list, expected] :
         {std::pair{std::string("b\r\na\nA\n\xe9\n\na\n \nb\0\nlast", 21),
                    std::string("\r\n \r\nA\r\na\r\na\r\nb\r\nb\0\r\nlast\r\n\xe9\r\n", 30)},
          std::pair{lines("zz", 999) + lines("a", 1001), lines("a\r", 1001) + lines("zz\r", 999)},
          std::pair{lines("a", 1000) + lines("zz", 1000), lines("a\r", 1000) + lines("zz\r", 1000)},
          std::pair{lines("same", 2001), lines("same\r", 2001)},
          std::pair{"z\n" + longLine + "\na\n", "a\r\n" + longLine + "\r\nz\r\n"},
          std::pair{std::string("\n\r\n"), std::string("\r\n\r\n")},
          std::pair{std::string(), std::string()},
          std::pair{randomText(1, 20'000), sortedLines(splitLines(randomText(1, 20'000)))},
          std::pair{randomText(2, 20'000), sortedLines(splitLines(randomText(2, 20'000)))}}) {
        writeFile("in.txt", list);
        EXPECT_EQ(capture([] { return sortFile("in.txt", "out.txt"); }).status, 0);
        EXPECT_TRUE(readFile("out.txt") == expected)
            << ::testing::PrintToString(list.substr(0, 20));
    }
    EXPECT_EQ(folder.listing(), "in.txt out.txt");
}

// A source that cannot be read gives copy 1 when it is missing and 2 otherwise, sort 1; a
// destination that cannot be written gives 2; none touches the destination or leaves a new file.
// Bytes copied into a device or a pipe are not a copy that anyone could read back, and a device or
// a pipe read may never end (a link to /dev/zero would fill the memory): only regular files serve.
TEST(CopyAndSort, FailuresGiveTheirStatusAndTouchNothing) {
    ScratchFolder folder;
    writeFile("src.txt", "b\na\n");
    writeFile("dst.txt", "old");
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    fs::create_symlink("/dev/null", "linked.txt");
    struct Case {
        const char* source;
        const char* destination;
        int copyStatus;
        int sortStatus;
        const char* failure;
    };
    for (const Case& c : {
             Case{"absent.txt", "dst.txt", 1, 1, "read absent.txt: No such file or directory"},
             Case{"no/src.txt", "dst.txt", 1, 1, "read no/src.txt: No such file or directory"},
             Case{"folder", "dst.txt", 2, 1, "read folder: Is a directory"},
             Case{"pipe", "dst.txt", 2, 1, "read pipe: Not a regular file"},
             Case{"/dev/null", "dst.txt", 2, 1, "read /dev/null: Not a regular file"},
             Case{"/dev/zero", "dst.txt", 2, 1, "read /dev/zero: Not a regular file"},
             Case{"src.txt", "folder", 2, 2, "write folder: Is a directory"},
             Case{"src.txt", "no/dst.txt", 2, 2, "write no/dst.txt: No such file or directory"},
             Case{"src.txt", "linked.txt", 2, 2, "write linked.txt: Not a regular file"},
             Case{"src.txt", "pipe", 2, 2, "write pipe: Not a regular file"},
         }) {
        for (const auto& [name, command, status] : {std::tuple{"copy", &copyFile, c.copyStatus},
                                                    std::tuple{"sort", &sortFile, c.sortStatus}}) {
            SCOPED_TRACE(std::string(name) + " " + c.source + " " + c.destination);
            const Captured result =
                capture([&c, run = command] { return run(c.source, c.destination); });
            EXPECT_EQ(result.status, status);
            EXPECT_EQ(result.err, std::string(name) + ": cannot " + c.failure + "\r\n");
        }
    }
    EXPECT_EQ(readFile("dst.txt"), "old");
    EXPECT_TRUE(fs::is_empty("folder"));
    EXPECT_TRUE(fs::is_symlink("linked.txt"));
    EXPECT_EQ(folder.listing(), "dst.txt folder linked.txt pipe src.txt");
}

// A limit on the size of files the child may write stands for a full disk, with the signal that
// would otherwise end it ignored as the program ignores it. The destination keeps its bytes and
// its permissions.
TEST(CopyAndSort, FailedWriteLeavesTheDestinationAndNoNewFile) {
    ScratchFolder folder;
    writeFile("in.txt", randomText(1, 200'000));
    writeFile("out.txt", "old");
    ::chmod("out.txt", 0604);
    for (const auto command : {&copyFile, &sortFile}) {
        EXPECT_EQ(inChild([command] {
                      std::signal(SIGXFSZ, SIG_IGN);
                      const rlimit limit{2'000'000, 2'000'000};
                      ::setrlimit(RLIMIT_FSIZE, &limit);
                      return command("in.txt", "out.txt");
                  }),
                  2);
        EXPECT_EQ(readFile("out.txt"), "old");
        EXPECT_EQ(folder.listing(), "in.txt out.txt");
    }
    EXPECT_EQ(sortFile("in.txt", "out.txt"), 0);
    EXPECT_EQ(permissionsOf("out.txt"), 0604u);
}

TEST(DeleteFile, RemovesTheFileAndGivesOneWithAReasonForAMissingOrUnremovableName) {
    ScratchFolder folder;
    writeFile("a.txt", "x");
    writeFile("b.txt", "y");
    EXPECT_EQ(deleteFile("a.txt"), 0);
    EXPECT_EQ(folder.listing(), "b.txt");
    const auto missing = capture([] { return deleteFile("a.txt"); });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "del: cannot remove a.txt: No such file or directory\r\n");
    fs::create_directory("folder");
    const auto folderName = capture([] { return deleteFile("folder"); });
    EXPECT_EQ(folderName.status, 1);
    EXPECT_NE(folderName.err.find("folder"), std::string::npos);
    EXPECT_EQ(folder.listing(), "b.txt folder");
}

} // namespace
} // namespace shell::builtins
