// The operator's two checks seen from outside: the map table and the yes/no answer before any
// picture is touched, and the guidance when there is no usable map file.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "test_support/expect.h"

namespace {

using namespace test_support;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Tiger 001", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(CATS);

const std::string LIST = joinLines({pictureColumns("IMG_0002.jpg", "Tiger 001", ""),
                                    pictureColumns("IMG_0001.jpg", "Fluffy", "")});

const std::string LIST_AFTER_RUN =
    pictureLine("IMG_0001.jpg", "Leopard", "") + pictureLine("IMG_0002.jpg", "Tiger", "");

// The list with a backup left from an earlier run, which the run's own backup must replace, and
// the map when there is one.
void writeListWithStaleBackup(const TempFolder& folder,
                              std::optional<std::string_view> map = std::nullopt) {
    folder.write(PICTURES, LIST);
    folder.write(BACKUP, pictureLine("STALE.jpg", "Earlier run", ""));
    if (map) {
        folder.write(MAP, *map);
    }
}

// After a stop at the checks: the fresh backup beside the untouched list, no relabelled list.
void expectNothingRewritten(const TempFolder& folder) {
    expectListKept(folder.dir, LIST);
    EXPECT_FALSE(folder.exists(UNSORTED));
}

struct AnswerCase {
    std::string_view typed; // the answer line, without the line end
    bool rejects;
};

TEST(MapConfirmation, OnlyNoInItsThreeSpellingsRejects) {
    const std::vector<AnswerCase> answers = {
        {"Yes", false},     {"yes", false},     {"Y", false},   {"ok", false},     {"n", false},
        {"N", false},       {"nO", false},      {"", false},    {" no", false},    {"\tno", false},
        {"on", false},      {"No", true},       {"NO", true},   {"no", true},      {"Nope", true},
        {"Not sure", true}, {"nonsense", true}, {"No\r", true}, {"no\tway", true},
    };
    const std::string map = mapFile(CATS);
    for (const AnswerCase& answer : answers) {
        // An answer line ends the same whether typed with CR LF or LF alone.
        for (const std::string_view lineEnd : {"\n", "\r\n"}) {
            const std::string input = std::string(answer.typed) + std::string(lineEnd) + "\n";
            SCOPED_TRACE(testing::PrintToString(input));
            const TempFolder folder;
            writeListWithStaleBackup(folder, map);
            const RunResult run = runProgram(folder.dir, input);
            if (answer.rejects) {
                expectEnd(run, 0, SHOWN.rejected);
                EXPECT_EQ(run.err, "");
                expectNothingRewritten(folder);
            } else {
                expectCompleteRun(folder, run, CATS, LIST, LIST_AFTER_RUN);
            }
        }
    }
}

std::vector<MapEntry> numberedMap(int entries) {
    std::vector<MapEntry> map;
    for (int number = 1; number <= entries; ++number) {
        // Names of every length up to the full 25 columns, so that trailing blanks show.
        const std::string individual = "Cat " + std::to_string(number) +
                                       std::string(static_cast<std::size_t>(number % 17), '~');
        map.push_back({individual, "Species " + std::to_string(number % 11)});
    }
    return map;
}

TEST(MapConfirmation, TableShowsEveryEntryInFileOrder) {
    for (const int entries : {0, 1, 500, 1200}) {
        SCOPED_TRACE(entries);
        const std::vector<MapEntry> map = numberedMap(entries);
        const std::string file = mapFile(map);
        for (const bool accept : {true, false}) {
            const TempFolder folder;
            writeListWithStaleBackup(folder, file);
            const RunResult run = runProgram(folder.dir, accept ? "Yes\n\n" : "No\n\n");
            expectEnd(run, 0, accept ? transcriptsFor(map).complete : transcriptsFor(map).rejected);
            if (accept) {
                // None of the list's folders is in this map.
                EXPECT_EQ(folder.read(PICTURES),
                          sortedPictureLines(pictureLine("IMG_0002.jpg", "Tiger 001", "") +
                                             pictureLine("IMG_0001.jpg", "Fluffy", "")));
            } else {
                expectNothingRewritten(folder);
            }
        }
    }
}

TEST(MapConfirmation, TableRowsAreFixedColumnsWithTrailingBlanks) {
    // Spelled out once by hand: header 33 bytes, a row 51 bytes, both without a leading blank.
    const TempFolder folder;
    const std::string map = "Fluffy                    Leopard\r\n";
    writeListWithStaleBackup(folder, map);
    const RunResult run = runProgram(folder.dir, "No\n\n");
    EXPECT_EQ(run.out, SHOWN.opening +
                           joinLines({"", "Individual                Species",
                                      "Fluffy                    Leopard                  ",
                                      " Type Yes, then Enter if this is correct, otherwise type No",
                                      " FAILURE ... TERMINATING", " Hit Enter to acknowledge"}));
}

// At the question, at the acknowledgement of a rejection, and at the wait after the guidance.
TEST(MapConfirmation, EndOfInputAtEachWaitIsFatal) {
    struct Case {
        const char* name;
        std::optional<std::string> map;
        std::string_view input;
        std::string output;
        FatalReport report;
    };
    const std::string map = mapFile(CATS);
    for (const Case& test : {
             Case{"no answer", map, "", SHOWN.question, endOfInputReport("formatted read", 1)},
             Case{"a rejection and nothing after it", map, "No\n", SHOWN.rejected,
                  endOfInputReport("list-directed read", 2)},
             Case{"a rejection without a line end", map, "no", SHOWN.rejected,
                  endOfInputReport("list-directed read", 2)},
             Case{"no map", std::nullopt, "", SHOWN.guidance,
                  endOfInputReport("list-directed read", 1)},
         }) {
        SCOPED_TRACE(test.name);
        const TempFolder folder;
        writeListWithStaleBackup(folder, test.map);
        expectFatalEnd(runProgram(folder.dir, test.input), test.output, test.report);
        expectNothingRewritten(folder);
    }
}

TEST(MissingMapGuidance, ShownWhateverKeepsTheMapFromOpening) {
    struct Case {
        const char* name;
        void (*make)(const fs::path& map);
    };
    for (const Case& test : {
             Case{"absent", [](const fs::path&) {}},
             Case{"a directory", [](const fs::path& map) { fs::create_directory(map); }},
             Case{"a link to nothing",
                  [](const fs::path& map) { fs::create_symlink("Nowhere.txt", map); }},
             Case{"a link to itself",
                  [](const fs::path& map) { fs::create_symlink(map.filename(), map); }},
         }) {
        SCOPED_TRACE(test.name);
        const TempFolder folder;
        writeListWithStaleBackup(folder);
        test.make(folder.dir / MAP);
        const RunResult run = runProgram(folder.dir, "\nNo\n");
        expectEnd(run, 0, SHOWN.guidance);
        EXPECT_EQ(run.err, "");
        expectNothingRewritten(folder);
    }
}

} // namespace
