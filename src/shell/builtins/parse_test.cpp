#include <gtest/gtest.h>

#include "shell/builtins/builtins.h"

namespace shell::builtins {
namespace {

void expectBuiltin(std::string_view line, BuiltinKind kind, const std::string& source,
                   const std::string& destination = {}) {
    const std::optional<BuiltinCommand> command = parseBuiltin(line);
    ASSERT_TRUE(command.has_value()) << line;
    EXPECT_EQ(command->kind, kind) << line;
    EXPECT_EQ(command->source, source) << line;
    EXPECT_EQ(command->destination, destination) << line;
}

TEST(ParseBuiltin, TakesTheRunsCommandLinesInAnyCase) {
    expectBuiltin("Copy AllPictures.txt AllPicturesIndiv.txt", BuiltinKind::Copy, "AllPictures.txt",
                  "AllPicturesIndiv.txt");
    expectBuiltin("sort AllPicturesUnsorted.txt > AllPictures.txt", BuiltinKind::Sort,
                  "AllPicturesUnsorted.txt", "AllPictures.txt");
    expectBuiltin("del AllPicturesUnsorted.txt", BuiltinKind::Delete, "AllPicturesUnsorted.txt");
    expectBuiltin("COPY a b", BuiltinKind::Copy, "a", "b");
    expectBuiltin("SoRt a > b", BuiltinKind::Sort, "a", "b");
    expectBuiltin("DEL a", BuiltinKind::Delete, "a");
}

TEST(ParseBuiltin, BlanksAndTabsSeparateWordsAndNamesKeepTheirCase) {
    expectBuiltin("  copy\tDir/A.TXT   b/c.txt", BuiltinKind::Copy, "Dir/A.TXT", "b/c.txt");
    expectBuiltin("sort\ta\t>\tb", BuiltinKind::Sort, "a", "b");
}

TEST(ParseBuiltin, LeavesEverythingElseToTheShell) {
    for (const std::string_view line :
         {"",        "   ",       "exit 3",         "copy a",       "copy a b c",  "copy /Y a b c",
          "sort a",  "sort a b",  "sort a >b",      "sort a > b c", "sort a >> b", "del",
          "del a b", "del *.txt", "copy \"a b\" c", "copy a b|x",   "del a;rm b",  "copy a%X% b",
          "del a&b", "cp a b",    "copyx a b",      "dele a"}) {
        EXPECT_FALSE(parseBuiltin(line).has_value()) << '"' << line << '"';
    }
}

} // namespace
} // namespace shell::builtins
