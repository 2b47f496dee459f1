// The operator's two checks seen from outside: the map table and the yes/no answer before any
// picture is touched, and the guidance when there is no usable map file.

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_scenarios.h"
#include "e2e_support.h"

namespace {

using namespace e2e;
namespace fs = std::filesystem;

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Tiger 001", "Tiger"}};

const std::string LIST = pictureColumns("IMG_0002.jpg", "Tiger 001", "") + "\r\n" +
                         pictureColumns("IMG_0001.jpg", "Fluffy", "") + "\r\n";

const std::string LIST_AFTER_RUN =
    pictureLine("IMG_0001.jpg", "Leopard", "") + pictureLine("IMG_0002.jpg", "Tiger", "");

// A backup left from an earlier run, which the run's own backup must replace.
void writeListWithStaleBackup(const Scratch& scratch) {
    scratch.write(PICTURES, LIST);
    scratch.write(BACKUP, pictureLine("STALE.jpg", "Earlier run", ""));
}

// After a stop at the checks: the fresh backup beside the untouched list, no relabelled list.
void expectNothingRewritten(const Scratch& scratch) {
    EXPECT_EQ(scratch.read(PICTURES), LIST);
    EXPECT_EQ(scratch.read(BACKUP), LIST);
    EXPECT_FALSE(scratch.exists(UNSORTED));
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
    const std::string table = mapTable(CATS);
    for (const AnswerCase& answer : answers) {
        // An answer line ends the same whether typed with CR LF or LF alone.
        for (const std::string_view lineEnd : {"\n", "\r\n"}) {
            const std::string input = std::string(answer.typed) + std::string(lineEnd) + "\n";
            SCOPED_TRACE(testing::PrintToString(input));
            const Scratch scratch;
            writeListWithStaleBackup(scratch);
            scratch.write(MAP, mapFile(CATS));
            const RunResult run = runProgram(scratch, input);
            EXPECT_EQ(run.exitStatus, 0) << run.err;
            EXPECT_EQ(run.err, "");
            if (answer.rejects) {
                EXPECT_EQ(run.out, rejectedRunOutput(table));
                expectNothingRewritten(scratch);
            } else {
                EXPECT_EQ(run.out, completeRunOutput(table));
                EXPECT_EQ(scratch.read(PICTURES), LIST_AFTER_RUN);
                EXPECT_EQ(scratch.read(BACKUP), LIST);
                EXPECT_EQ(scratch.listing(), LISTING_AFTER_RUN);
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
        for (const bool accept : {true, false}) {
            const Scratch scratch;
            writeListWithStaleBackup(scratch);
            scratch.write(MAP, mapFile(map));
            const RunResult run = runProgram(scratch, accept ? "Yes\n\n" : "No\n\n");
            EXPECT_EQ(run.exitStatus, 0) << run.err;
            EXPECT_EQ(run.out,
                      accept ? completeRunOutput(mapTable(map)) : rejectedRunOutput(mapTable(map)));
            if (accept) {
                // None of the list's folders is in this map.
                EXPECT_EQ(scratch.read(PICTURES),
                          sortedPictureLines(pictureLine("IMG_0002.jpg", "Tiger 001", "") +
                                             pictureLine("IMG_0001.jpg", "Fluffy", "")));
            } else {
                expectNothingRewritten(scratch);
            }
        }
    }
}

TEST(MapConfirmation, TableRowsAreFixedColumnsWithTrailingBlanks) {
    // Spelled out once by hand: header 33 bytes, a row 51 bytes, both without a leading blank.
    const Scratch scratch;
    writeListWithStaleBackup(scratch);
    scratch.write(MAP, "Fluffy                    Leopard\r\n");
    const RunResult run = runProgram(scratch, "No\n\n");
    EXPECT_EQ(run.out, openingLines() +
                           crlfLines({"", "Individual                Species",
                                      "Fluffy                    Leopard                  ",
                                      " Type Yes, then Enter if this is correct, otherwise type No",
                                      " FAILURE ... TERMINATING", " Hit Enter to acknowledge"}));
}

TEST(MapConfirmation, EndOfInputAtTheQuestionOrTheAcknowledgementIsFatal) {
    struct Case {
        const char* name;
        std::string_view input;
        std::string output;
        std::string report;
    };
    const std::string table = mapTable(CATS);
    for (const Case& test : {
             Case{"no answer", "", openingLines() + table, endOfInputReport("formatted read", 1)},
             Case{"a rejection and nothing after it", "No\n", rejectedRunOutput(table),
                  endOfInputReport("list-directed read", 2)},
             Case{"a rejection without a line end", "no", rejectedRunOutput(table),
                  endOfInputReport("list-directed read", 2)},
         }) {
        SCOPED_TRACE(test.name);
        const Scratch scratch;
        writeListWithStaleBackup(scratch);
        scratch.write(MAP, mapFile(CATS));
        const RunResult run = runProgram(scratch, test.input);
        EXPECT_EQ(run.exitStatus, 127);
        EXPECT_EQ(run.out, test.output);
        EXPECT_TRUE(isFatalReport(run.err, test.report));
        expectNothingRewritten(scratch);
    }
}

// The long format line goes out whole, with no break at column 80; the example lines are real
// map lines, the species in column 27.
const std::string GUIDANCE =
    message("MarrowfenlatchMap.txt is not present ... you must create it") +
    message("Format for individual is name + blanks = 25 characters, blank space, then species "
            "name") +
    message("Example: each line in MarrowfenlatchMap.txt looks like this below") +
    message("Use Notepad.txt to edit, do not use tabs") + message(mapColumns("Fluffy", "Leopard")) +
    message(mapColumns("Buffy", "Leopard")) + message(mapColumns("Sable Rosetta", "Leopard")) +
    message(mapColumns("Tiger 001", "Tiger")) + message(mapColumns("Pretty face", "Tiger")) +
    message("Type Enter to TERMINATE WITH FAILURE");

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
        const Scratch scratch;
        writeListWithStaleBackup(scratch);
        test.make(scratch.dir / MAP);
        const RunResult run = runProgram(scratch, "\nNo\n");
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.out, openingLines() + GUIDANCE);
        EXPECT_EQ(run.err, "");
        expectNothingRewritten(scratch);
    }
}

TEST(MissingMapGuidance, EndOfInputAtTheWaitIsFatal) {
    const Scratch scratch;
    writeListWithStaleBackup(scratch);
    const RunResult run = runProgram(scratch, "");
    EXPECT_EQ(run.exitStatus, 127);
    EXPECT_EQ(run.out, openingLines() + GUIDANCE);
    EXPECT_TRUE(isFatalReport(run.err, endOfInputReport("list-directed read", 1)));
    expectNothingRewritten(scratch);
}

} // namespace
