#include <gtest/gtest.h>

#include "shell/shell.h"
#include "test_support/test_support.h"

namespace shell {
namespace {

using namespace test_support;

TEST(RunShellCommand, OtherLinesGoToTheShellWithTheirStatus) {
    ScratchFolder folder;
    EXPECT_EQ(runShellCommand("exit 3"), 3);
    EXPECT_EQ(runShellCommand(""), 0);
    EXPECT_EQ(runShellCommand("    "), 0);
    EXPECT_EQ(runShellCommand("printf 'a b' > made.txt   "), 0);
    EXPECT_EQ(readFile("made.txt"), "a b");
}

TEST(RunShellCommand, BuiltinsRunInTheProgramPrintNothingOnSuccessAndOneLineOnFailure) {
    ScratchFolder folder;
    writeFile("AllPictures.txt", "b\na\n");
    const auto copied = capture([] { return runShellCommand("Copy AllPictures.txt Copy.txt  "); });
    EXPECT_EQ(copied.status, 0);
    EXPECT_EQ(copied.out + copied.err, "");
    EXPECT_EQ(readFile("Copy.txt"), "b\na\n");
    EXPECT_EQ(capture([] { return runShellCommand("sort Copy.txt > Sorted.txt"); }).out, "");
    EXPECT_EQ(readFile("Sorted.txt"), "a\r\nb\r\n");
    EXPECT_EQ(runShellCommand("DEL Copy.txt"), 0);
    EXPECT_EQ(folder.listing(), "AllPictures.txt Sorted.txt");
    // A failure is one line on standard error and its status.
    const auto missing = capture([] { return runShellCommand("copy Absent.txt b.txt"); });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "copy: cannot read Absent.txt: No such file or directory\r\n");
    EXPECT_EQ(folder.listing(), "AllPictures.txt Sorted.txt");
}

} // namespace
} // namespace shell
