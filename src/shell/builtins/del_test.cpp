#include <filesystem>
#include <gtest/gtest.h>

#include "shell/builtins/builtins.h"
#include "test_support/test_support.h"

namespace shell::builtins {
namespace {

using namespace test_support;

TEST(DeleteFile, RemovesTheFileAndGivesOneWithAReasonForAMissingOrUnremovableName) {
    ScratchFolder folder;
    writeFile("a.txt", "x");
    writeFile("b.txt", "y");
    EXPECT_EQ(deleteFile("a.txt"), 0);
    EXPECT_EQ(folder.listing(), "b.txt");
    const auto missing = capture([] { return deleteFile("a.txt"); });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "del: cannot remove a.txt: No such file or directory\r\n");
    std::filesystem::create_directory("folder");
    const auto folderName = capture([] { return deleteFile("folder"); });
    EXPECT_EQ(folderName.status, 1);
    EXPECT_NE(folderName.err.find("folder"), std::string::npos);
    EXPECT_EQ(folder.listing(), "b.txt folder");
}

} // namespace
} // namespace shell::builtins
