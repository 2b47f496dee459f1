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

// Limits the size of files the child may write, as a full disk would, with the signal that
// would otherwise end it ignored as the program ignores it.
void limitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
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

TEST(CopyFile, MissingSourceGivesOneAndTouchesNothing) {
    ScratchFolder folder;
    writeFile("dst.txt", "old");
    const auto result = capture([] { return copyFile("src.txt", "dst.txt"); });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "copy: cannot read src.txt: No such file or directory\r\n");
    EXPECT_EQ(copyFile("no/src.txt", "dst.txt"), 1);
    EXPECT_EQ(readFile("dst.txt"), "old");
    EXPECT_EQ(folder.listing(), "dst.txt");
}

TEST(CopyFile, FolderAsSourceOrDestinationGivesTwo) {
    ScratchFolder folder;
    fs::create_directory("folder");
    writeFile("src.txt", "list");
    const auto fromFolder = capture([] { return copyFile("folder", "dst.txt"); });
    EXPECT_EQ(fromFolder.status, 2);
    EXPECT_EQ(fromFolder.err, "copy: cannot read folder: Is a directory\r\n");
    const auto intoFolder = capture([] { return copyFile("src.txt", "folder"); });
    EXPECT_EQ(intoFolder.status, 2);
    EXPECT_EQ(intoFolder.err, "copy: cannot write folder: Is a directory\r\n");
    EXPECT_TRUE(fs::is_empty("folder"));
    EXPECT_EQ(folder.listing(), "folder src.txt");
}

TEST(CopyFile, KeepsTheDestinationsPermissionsAndGivesANewFileTheUsualOnes) {
    ScratchFolder folder;
    writeFile("src.txt", "list");
    ::chmod("src.txt", 0600);
    writeFile("old.txt", "old");
    ::chmod("old.txt", 0640);
    EXPECT_EQ(copyFile("src.txt", "old.txt"), 0);
    EXPECT_EQ(permissionsOf("old.txt"), 0640u);
    const mode_t previousMask = ::umask(027);
    EXPECT_EQ(copyFile("src.txt", "new.txt"), 0);
    ::umask(previousMask);
    EXPECT_EQ(permissionsOf("new.txt"), 0640u);
}

TEST(CopyFile, ALinkedDestinationKeepsItsLinkAndItsTargetIsReplaced) {
    ScratchFolder folder;
    fs::create_directory("store");
    writeFile("store/list.txt", "old");
    fs::create_symlink("store/list.txt", "dst.txt");
    writeFile("src.txt", "new");
    EXPECT_EQ(copyFile("src.txt", "dst.txt"), 0);
    EXPECT_TRUE(fs::is_symlink("dst.txt"));
    EXPECT_EQ(readFile("store/list.txt"), "new");
    EXPECT_EQ(folder.listing(), "dst.txt src.txt store");
    EXPECT_EQ(fs::directory_iterator("store")->path().filename(), "list.txt");
}

TEST(CopyFile, FailedWriteLeavesTheDestinationAndNoNewFile) {
    ScratchFolder folder;
    writeFile("src.txt", randomBytes(200'000));
    writeFile("dst.txt", "old");
    EXPECT_EQ(inChild([] {
                  limitFileSize(50'000);
                  return copyFile("src.txt", "dst.txt");
              }),
              2);
    EXPECT_EQ(readFile("dst.txt"), "old");
    EXPECT_EQ(folder.listing(), "dst.txt src.txt");
}

// Bytes copied into a device or a pipe are not a copy that anyone could read back.
TEST(CopyFile, OnlyRegularFilesAreCopiedAndReplaced) {
    if (!fs::exists("/dev/null")) {
        GTEST_SKIP() << "no /dev/null on this host";
    }
    ScratchFolder folder;
    writeFile("src.txt", "list");
    fs::create_symlink("/dev/null", "linked.txt");
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    const auto intoDevice = capture([] { return copyFile("src.txt", "linked.txt"); });
    EXPECT_EQ(intoDevice.status, 2);
    EXPECT_EQ(intoDevice.err, "copy: cannot write linked.txt: Not a regular file\r\n");
    EXPECT_EQ(copyFile("src.txt", "pipe"), 2);
    EXPECT_EQ(copyFile("/dev/null", "dst.txt"), 2);
    const auto fromPipe = capture([] { return copyFile("pipe", "dst.txt"); });
    EXPECT_EQ(fromPipe.status, 2);
    EXPECT_EQ(fromPipe.err, "copy: cannot read pipe: Not a regular file\r\n");
    EXPECT_TRUE(fs::is_symlink("linked.txt"));
    EXPECT_EQ(folder.listing(), "linked.txt pipe src.txt");
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
