#include "shell/shell.h"

#include <gtest/gtest.h>

namespace shell {
namespace {

TEST(CommandLineOf, DropsOnlyTrailingBlanksAndAnAllBlankLineIsEmpty) {
    EXPECT_EQ(commandLineOf("Copy AllPictures.txt AllPicturesIndiv.txt      "),
              "Copy AllPictures.txt AllPicturesIndiv.txt");
    EXPECT_EQ(commandLineOf("  sort  a >  b"), "  sort  a >  b");
    EXPECT_EQ(commandLineOf("del x\t"), "del x\t");
    EXPECT_EQ(commandLineOf("del x\t  "), "del x\t");
    EXPECT_EQ(commandLineOf(std::string_view("del x\0 ", 7)), std::string("del x\0", 6));
    // All blank or empty text gives an empty line.
    EXPECT_EQ(commandLineOf(""), "");
    EXPECT_EQ(commandLineOf("     "), "");
}

} // namespace
} // namespace shell
