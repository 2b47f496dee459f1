// The operator's checks seen from outside: the map table and the yes/no answer before any picture
// is touched, the guidance when there is no usable map file, and files that an editor saved with a
// byte-order mark before the first line. A UTF-8 mark before the map is passed over; a UTF-16 map,
// and a picture list with any mark, stop the run before the list is rewritten, leaving the list as
// it was, its fresh backup, and no unsorted list.

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

TEST(MapConfirmation, OnlyNoInItsThreeSpellingsRejects) {
    // The answer line, without the line end, and whether it rejects the map.
    const std::vector<std::pair<std::string_view, bool>> answers = {
        {"Yes", false},     {"yes", false},     {"Y", false},   {"ok", false},     {"n", false},
        {"N", false},       {"nO", false},      {"", false},    {" no", false},    {"\tno", false},
        {"on", false},      {"No", true},       {"NO", true},   {"no", true},      {"Nope", true},
        {"Not sure", true}, {"nonsense", true}, {"No\r", true}, {"no\tway", true},
    };
    const std::string map = mapFile(CATS);
    for (const auto& [typed, rejects] : answers) {
        // An answer line ends the same whether typed with CR LF or LF alone.
        for (const std::string_view lineEnd : {"\n", "\r\n"}) {
            const std::string input = std::string(typed) + std::string(lineEnd) + "\n";
            SCOPED_TRACE(testing::PrintToString(input));
            const TempFolder folder;
            writeListWithStaleBackup(folder, map);
            const RunResult run = runProgram(folder.dir, input);
            if (rejects) {
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

// The first picture and the map's first line both hold Fluffy, where a mark would cling to it.
const std::string MARKED_LIST = joinLines({pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01"),
                                           pictureColumns("IMG_0002.jpg", "Tiger 001", "")});

// Plain-letter text as an editor saves it in UTF-16: the mark, then each byte with a NUL beside it.
std::string utf16(std::string_view mark, std::string_view text) {
    std::string saved(mark);
    for (const char letter : text) {
        saved += mark == UTF16_LITTLE_ENDIAN_MARK ? std::string{letter, '\0'}
                                                  : std::string{'\0', letter};
    }
    return saved;
}

TEST(ByteOrderMarks, MarkedListOrUtf16MapStopsBeforeTheUnsortedListIsMade) {
    struct Case {
        const char* name;
        std::string pictures;
        std::string map;
        const std::string& transcript;
    };
    for (const Case& test : {
             Case{"list in UTF-8", std::string(UTF8_MARK) + MARKED_LIST, mapFile(CATS),
                  SHOWN.listMarked},
             Case{"list in UTF-16 LE", utf16(UTF16_LITTLE_ENDIAN_MARK, MARKED_LIST), mapFile(CATS),
                  SHOWN.listMarked},
             Case{"list in UTF-16 BE", utf16(UTF16_BIG_ENDIAN_MARK, MARKED_LIST), mapFile(CATS),
                  SHOWN.listMarked},
             Case{"map in UTF-16 LE", MARKED_LIST, utf16(UTF16_LITTLE_ENDIAN_MARK, mapFile(CATS)),
                  SHOWN.mapMarked},
             Case{"map in UTF-16 BE", MARKED_LIST, utf16(UTF16_BIG_ENDIAN_MARK, mapFile(CATS)),
                  SHOWN.mapMarked},
         }) {
        SCOPED_TRACE(test.name);
        const TempFolder folder;
        writeCatalogue(folder, test.pictures, test.map);
        const RunResult run = runProgram(folder.dir, "Yes\n\n");
        expectEnd(run, 0, test.transcript);
        EXPECT_EQ(run.err, "");
        expectListKept(folder.dir, test.pictures);
        EXPECT_EQ(folder.listing(), LISTING_AFTER_RUN);
    }
}

TEST(ByteOrderMarks, MapWithUtf8MarkIsReadAsWithout) {
    const TempFolder folder;
    writeCatalogue(folder, MARKED_LIST, std::string(UTF8_MARK) + mapFile(CATS));
    expectCompleteRun(folder, runProgram(folder.dir, "Yes\n\n"), CATS, MARKED_LIST,
                      pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01") +
                          pictureLine("IMG_0002.jpg", "Tiger", ""));
}

} // namespace
