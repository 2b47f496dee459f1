#include "shell/builtins/whole_file.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <string_view>

#include "platform/files.h"
#include "test_support/test_support.h"

namespace shell::builtins {
namespace {

using namespace test_support;

std::string_view bytesOf(const WholeFile& file) {
    return {file.bytes.get(), file.size};
}

// Large enough to be read in two halves at once.
TEST(ReadWholeFile, LargeFileComesWhole) {
    ScratchFolder folder;
    std::string bytes(80u << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); i += 4093) {
        bytes[i] = static_cast<char>(i / 4093);
    }
    bytes.back() = 'z';
    writeFile("large.txt", bytes);
    const WholeFile file = readWholeFile("large.txt");
    EXPECT_EQ(file.error, 0);
    EXPECT_TRUE(bytesOf(file) == bytes);
}

TEST(ReadWholeFile, SmallAndEmptyFiles) {
    ScratchFolder folder;
    writeFile("small.txt", "a\r\nb");
    EXPECT_EQ(bytesOf(readWholeFile("small.txt")), "a\r\nb");
    writeFile("empty.txt", "");
    const WholeFile empty = readWholeFile("empty.txt");
    EXPECT_EQ(empty.error, 0);
    EXPECT_EQ(empty.size, 0u);
}

TEST(ReadWholeFile, FileThatHidesItsSizeComesWhole) {
    if (!std::filesystem::exists("/proc/version")) {
        GTEST_SKIP() << "no /proc on this host";
    }
    const WholeFile file = readWholeFile("/proc/version");
    EXPECT_EQ(file.error, 0);
    EXPECT_FALSE(bytesOf(file).empty());
    EXPECT_EQ(bytesOf(file), readFile("/proc/version"));
}

TEST(ReadWholeFile, MissingFileOrFolderGivesTheReason) {
    ScratchFolder folder;
    std::filesystem::create_directory("folder");
    EXPECT_EQ(readWholeFile("missing.txt").error, ENOENT);
    EXPECT_EQ(readWholeFile("folder").error, EISDIR);
    EXPECT_EQ(readWholeFile("/dev/null").error, platform::NOT_A_REGULAR_FILE);
}

} // namespace
} // namespace shell::builtins
