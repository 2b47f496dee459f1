#include <csignal>
#include <cstdlib>
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

TEST(SortFile, WholeLinesInByteOrderEachWithCrLfAndDuplicatesKept) {
    ScratchFolder folder;
    writeFile("in.txt", std::string("b\r\na\nA\n\xe9\n\na\n \nb\0\nlast", 21));
    EXPECT_EQ(capture([] { return sortFile("in.txt", "out.txt"); }).status, 0);
    EXPECT_EQ(readFile("out.txt"),
              std::string("\r\n \r\nA\r\na\r\na\r\nb\r\nb\0\r\nlast\r\n\xe9\r\n", 30));
    EXPECT_EQ(folder.listing(), "in.txt out.txt");
}

// The two halves of the text are sorted apart and merged by two writers, each from the middle of
// the output on: halves that do not interleave at all, or hold one line only, must still meet. A
// line longer than the output block comes out whole; a list of empty lines, or none, replaces the
// earlier output too.
TEST(SortFile, HalvesThatDoNotInterleaveOrAreAllOneLineLongLinesAndEmptyLists) {
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
         {std::pair{lines("zz", 999) + lines("a", 1001), lines("a\r", 1001) + lines("zz\r", 999)},
          std::pair{lines("a", 1000) + lines("zz", 1000), lines("a\r", 1000) + lines("zz\r", 1000)},
          std::pair{lines("same", 2001), lines("same\r", 2001)},
          std::pair{"z\n" + longLine + "\na\n", "a\r\n" + longLine + "\r\nz\r\n"},
          std::pair{std::string("\n\r\n"), std::string("\r\n\r\n")},
          std::pair{std::string(), std::string()}}) {
        writeFile("in.txt", list);
        EXPECT_EQ(sortFile("in.txt", "out.txt"), 0);
        EXPECT_TRUE(readFile("out.txt") == expected);
    }
}

std::string randomList(std::uint32_t seed, int lineCount) {
    std::mt19937 random(seed);
    const std::string alphabet("AZaz09 \0\r\t\x80\xff", 12);
    std::string text;
    for (int i = 0; i < lineCount; ++i) {
        const std::size_t length = random() % 3 == 0 ? random() % 80 : random() % 5;
        text += random() % 4 == 0 ? "IMG_2014_" : "";
        for (std::size_t j = 0; j < length; ++j) {
            text += alphabet[random() % alphabet.size()];
        }
        text += random() % 2 == 0 ? "\r\n" : "\n";
    }
    return text + "unended";
}

// The same lines as the program takes them, each ending in LF alone.
std::string withLfEnds(const std::string& text) {
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            lines += text[i];
        }
    }
    return lines.empty() || lines.back() == '\n' ? lines : lines + "\n";
}

std::string withCrLfEnds(const std::string& text) {
    std::string lines;
    for (const char c : text) {
        lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return lines;
}

TEST(SortFile, MatchesTheHostSortInTheCLocale) {
    if (std::system("LC_ALL=C sort </dev/null >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no sort command on this host";
    }
    ScratchFolder folder;
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        const std::string list = randomList(seed, 20'000);
        writeFile("in.txt", list);
        writeFile("plain.txt", withLfEnds(list));
        ASSERT_EQ(std::system("LC_ALL=C sort plain.txt > expected.txt"), 0);
        EXPECT_EQ(sortFile("in.txt", "out.txt"), 0);
        EXPECT_TRUE(readFile("out.txt") == withCrLfEnds(readFile("expected.txt")))
            << "seed " << seed;
    }
}

// A source that cannot be read gives 1, a destination that cannot be written 2; neither touches the
// destination or leaves a new file. A device or a pipe may never end: a link to /dev/zero would
// fill the memory, so only a regular file is sorted.
TEST(SortFile, UnreadableSourceGivesOneUnwritableDestinationTwoAndNothingChanges) {
    ScratchFolder folder;
    writeFile("in.txt", "b\na\n");
    writeFile("out.txt", "old");
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
             Case{"absent.txt", "out.txt", 1,
                  "sort: cannot read absent.txt: No such file or directory\r\n"},
             Case{"folder", "out.txt", 1, "sort: cannot read folder: Is a directory\r\n"},
             Case{"pipe", "out.txt", 1, "sort: cannot read pipe: Not a regular file\r\n"},
             Case{"/dev/zero", "out.txt", 1, "sort: cannot read /dev/zero: Not a regular file\r\n"},
             Case{"in.txt", "folder", 2, "sort: cannot write folder: Is a directory\r\n"},
             Case{"in.txt", "none/out.txt", 2,
                  "sort: cannot write none/out.txt: No such file or directory\r\n"},
             Case{"in.txt", "linked.txt", 2,
                  "sort: cannot write linked.txt: Not a regular file\r\n"},
         }) {
        SCOPED_TRACE(std::string(c.source) + " > " + c.destination);
        const Captured result = capture([&] { return sortFile(c.source, c.destination); });
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_EQ(readFile("out.txt"), "old");
    EXPECT_EQ(folder.listing(), "folder in.txt linked.txt out.txt pipe");
}

TEST(SortFile, FailedWriteLeavesTheDestinationAndNoNewFile) {
    ScratchFolder folder;
    std::string list;
    for (int i = 0; i < 200'000; ++i) {
        list += std::to_string(i * 7919 % 200'000) + " picture\n";
    }
    writeFile("in.txt", list);
    writeFile("out.txt", "old");
    ::chmod("out.txt", 0604);
    EXPECT_EQ(inChild([] {
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{2'000'000, 2'000'000};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return sortFile("in.txt", "out.txt");
              }),
              2);
    EXPECT_EQ(readFile("out.txt"), "old");
    EXPECT_EQ(folder.listing(), "in.txt out.txt");
    EXPECT_EQ(sortFile("in.txt", "out.txt"), 0);
    EXPECT_EQ(permissionsOf("out.txt"), 0604u);
}

} // namespace
} // namespace shell::builtins
