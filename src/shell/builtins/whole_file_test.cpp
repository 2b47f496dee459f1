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

// Large enough to be read in two halves at once.
TEST(ReadWholeFile, LargeFileComesWhole) {
    ScratchFolder folder;
    std::string bytes(80u << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); i += 4093) {
        bytes[i] = static_cast<char>(i / 4093);
    }
    bytes.back() = 'z';
    writeFile("large.txt", bytes);
    const WholeFile file = WholeFile::read("large.txt", FileAccess::Copy);
    EXPECT_EQ(file.error(), 0);
    EXPECT_TRUE(file.bytes() == bytes);
}

TEST(ReadWholeFile, SmallAndEmptyFilesAndTheReasonOfAFailure) {
    ScratchFolder folder;
    writeFile("small.txt", "a\r\nb");
    EXPECT_EQ(WholeFile::read("small.txt", FileAccess::Copy).bytes(), "a\r\nb");
    writeFile("empty.txt", "");
    const WholeFile empty = WholeFile::read("empty.txt", FileAccess::Copy);
    EXPECT_EQ(empty.error(), 0);
    EXPECT_EQ(empty.bytes().size(), 0u);
    std::filesystem::create_directory("folder");
    EXPECT_EQ(WholeFile::read("missing.txt", FileAccess::Copy).error(), ENOENT);
    EXPECT_EQ(WholeFile::read("folder", FileAccess::Copy).error(), EISDIR);
    EXPECT_EQ(WholeFile::read("/dev/null", FileAccess::Copy).error(), platform::NOT_A_REGULAR_FILE);
}

TEST(ReadWholeFile, FileThatHidesItsSizeComesWhole) {
    if (!std::filesystem::exists("/proc/version")) {
        GTEST_SKIP() << "no /proc on this host";
    }
    const WholeFile file = WholeFile::read("/proc/version", FileAccess::Copy);
    EXPECT_EQ(file.error(), 0);
    EXPECT_FALSE(file.bytes().empty());
    EXPECT_EQ(file.bytes(), readFile("/proc/version"));
}

} // namespace
} // namespace shell::builtins
