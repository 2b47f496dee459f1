#include <gtest/gtest.h>

#include <vector>

#include "shell/command_form.h"

namespace shell {
namespace {

// The names of the form, in the order of its fields: source, destination, removed.
void expectBuiltin(std::string_view line, CommandKind kind,
                   const std::vector<std::string_view>& names) {
    const std::optional<CommandForm> command = parseCommandForm(line);
    ASSERT_TRUE(command.has_value()) << line;
    EXPECT_EQ(command->kind, kind) << line;
    EXPECT_EQ(names, (std::vector{command->source, command->destination, command->removed}))
        << line;
}

TEST(CommandForm, TakesTheRunsCommandLinesInAnyCaseAndSpacing) {
    expectBuiltin("Copy AllPictures.txt AllPicturesIndiv.txt", CommandKind::Copy,
                  {"AllPictures.txt", "AllPicturesIndiv.txt", ""});
    expectBuiltin("sort AllPicturesUnsorted.txt > AllPictures.txt", CommandKind::Sort,
                  {"AllPicturesUnsorted.txt", "AllPictures.txt", ""});
    expectBuiltin("del AllPicturesUnsorted.txt", CommandKind::Delete,
                  {"", "", "AllPicturesUnsorted.txt"});
    expectBuiltin("COPY a b", CommandKind::Copy, {"a", "b", ""});
    expectBuiltin("SoRt a > b", CommandKind::Sort, {"a", "b", ""});
    expectBuiltin("DEL a", CommandKind::Delete, {"", "", "a"});
    // Blanks and tabs separate the words; names keep their case.
    expectBuiltin("  copy\tDir/A.TXT   b/c.txt", CommandKind::Copy, {"Dir/A.TXT", "b/c.txt", ""});
    expectBuiltin("sort\ta\t>\tb", CommandKind::Sort, {"a", "b", ""});
}

TEST(CommandForm, LeavesEverythingElseToTheShell) {
    for (const std::string_view line :
         {"",        "   ",       "exit 3",         "copy a",       "copy a b c",  "copy /Y a b c",
          "sort a",  "sort a b",  "sort a >b",      "sort a > b c", "sort a >> b", "del",
          "del a b", "del *.txt", "copy \"a b\" c", "copy a b|x",   "del a;rm b",  "copy a%X% b",
          "del a&b", "del (a)",   "del a!b",        "cp a b",       "copyx a b",   "dele a"}) {
        EXPECT_FALSE(parseCommandForm(line).has_value()) << '"' << line << '"';
    }
}

} // namespace
} // namespace shell
