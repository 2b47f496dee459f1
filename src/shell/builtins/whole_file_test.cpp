#include "shell/builtins/whole_file.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

#include "platform/files.h"
#include "test_support/test_support.h"

namespace shell::builtins {
namespace {

using namespace test_support;

// A file large enough to be read in two halves at once, a small one and an empty one come whole;
// a file that cannot be read gives the reason.
TEST(ReadWholeFile, FilesComeWholeAndAFailureGivesItsReason) {
    ScratchFolder folder;
    std::string large(80u << 20, '\0');
    for (std::size_t i = 0; i < large.size(); i += 4093) {
        large[i] = static_cast<char>(i / 4093);
    }
    large.back() = 'z';
    const std::string small = "a\r\nb";
    const std::string empty;
    for (const std::string* bytes : {&std::as_const(large), &small, &empty}) {
        writeFile("file.txt", *bytes);
        const WholeFile file = WholeFile::read("file.txt", FileAccess::Copy);
        EXPECT_EQ(file.error(), 0);
        EXPECT_TRUE(file.bytes() == *bytes) << bytes->size() << " bytes";
    }
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
