#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

#include "shell/builtins/builtins.h"
#include "test_support/test_support.h"

namespace shell::builtins {
namespace {

namespace fs = std::filesystem;
using namespace test_support;

std::string randomBytes(std::size_t size) {
    std::mt19937 random(11);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

TEST(CopyFile, CopiesEveryByteAndReplacesAnEarlierCopy) {
    ScratchFolder folder;
    const std::string list = randomBytes(3'000'000) + std::string("\r\n\0tail", 7);
    writeFile("src.txt", list);
    writeFile("dst.txt", "stale copy");
    EXPECT_EQ(capture([] { return copyFile("src.txt", "dst.txt"); }).status, 0);
    EXPECT_EQ(readFile("dst.txt"), list);
    EXPECT_EQ(readFile("src.txt"), list);
    writeFile("empty.txt", "");
    EXPECT_EQ(copyFile("empty.txt", "dst.txt"), 0);
    EXPECT_EQ(readFile("dst.txt"), "");
    EXPECT_EQ(folder.listing(), "dst.txt empty.txt src.txt");
}

// A missing source gives 1, any other failure 2; none touches the destination or leaves a new file.
// Bytes copied into a device or a pipe are not a copy that anyone could read back.
TEST(CopyFile, FailuresGiveTheirStatusAndTouchNothing) {
    ScratchFolder folder;
    writeFile("src.txt", "list");
    writeFile("dst.txt", "old");
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    fs::create_symlink("/dev/null", "linked.txt");
    struct Case {
        const char* source;
        const char* destination;
        int status;
        const char* err;
    };
    for (const Case& c : {
             Case{"absent.txt", "dst.txt", 1,
                  "copy: cannot read absent.txt: No such file or directory\r\n"},
             Case{"no/src.txt", "dst.txt", 1,
                  "copy: cannot read no/src.txt: No such file or directory\r\n"},
             Case{"folder", "dst.txt", 2, "copy: cannot read folder: Is a directory\r\n"},
             Case{"src.txt", "folder", 2, "copy: cannot write folder: Is a directory\r\n"},
             Case{"src.txt", "linked.txt", 2,
                  "copy: cannot write linked.txt: Not a regular file\r\n"},
             Case{"src.txt", "pipe", 2, "copy: cannot write pipe: Not a regular file\r\n"},
             Case{"/dev/null", "dst.txt", 2, "copy: cannot read /dev/null: Not a regular file\r\n"},
             Case{"pipe", "dst.txt", 2, "copy: cannot read pipe: Not a regular file\r\n"},
         }) {
        SCOPED_TRACE(std::string(c.source) + " to " + c.destination);
        const Captured result = capture([&] { return copyFile(c.source, c.destination); });
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_EQ(readFile("dst.txt"), "old");
    EXPECT_TRUE(fs::is_empty("folder"));
    EXPECT_TRUE(fs::is_symlink("linked.txt"));
    EXPECT_EQ(folder.listing(), "dst.txt folder linked.txt pipe src.txt");
}

// An earlier copy keeps its permissions, and a linked one its link, its target replaced; a new
// file gets the usual permissions.
TEST(CopyFile, TheDestinationKeepsItsPermissionsAndItsLinkANewFileGetsTheUsualOnes) {
    ScratchFolder folder;
    writeFile("src.txt", "new");
    ::chmod("src.txt", 0600);
    writeFile("old.txt", "old");
    ::chmod("old.txt", 0640);
    EXPECT_EQ(copyFile("src.txt", "old.txt"), 0);
    EXPECT_EQ(permissionsOf("old.txt"), 0640u);
    const mode_t previousMask = ::umask(027);
    EXPECT_EQ(copyFile("src.txt", "new.txt"), 0);
    ::umask(previousMask);
    EXPECT_EQ(permissionsOf("new.txt"), 0640u);
    fs::create_directory("store");
    writeFile("store/list.txt", "old");
    fs::create_symlink("store/list.txt", "dst.txt");
    EXPECT_EQ(copyFile("src.txt", "dst.txt"), 0);
    EXPECT_TRUE(fs::is_symlink("dst.txt"));
    EXPECT_EQ(readFile("store/list.txt"), "new");
    EXPECT_EQ(folder.listing(), "dst.txt new.txt old.txt src.txt store");
    EXPECT_EQ(fs::directory_iterator("store")->path().filename(), "list.txt");
}

TEST(CopyFile, FailedWriteLeavesTheDestinationAndNoNewFile) {
    ScratchFolder folder;
    writeFile("src.txt", randomBytes(200'000));
    writeFile("dst.txt", "old");
    EXPECT_EQ(inChild([] {
                  // A limit on the size of files the child may write stands for a full disk, with
                  // the signal that would otherwise end it ignored as the program ignores it.
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{50'000, 50'000};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return copyFile("src.txt", "dst.txt");
              }),
              2);
    EXPECT_EQ(readFile("dst.txt"), "old");
    EXPECT_EQ(folder.listing(), "dst.txt src.txt");
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

} // namespace
} // namespace shell::builtins
