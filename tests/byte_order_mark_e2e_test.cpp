// Files that an editor saved with a byte-order mark before the first line. A UTF-8 mark before
// the map is passed over; a UTF-16 map, and a picture list with any mark, stop the run before the
// list is rewritten, leaving the list as it was, its fresh backup, and no unsorted list.

#include <gtest/gtest.h>

#include "test_support/expect.h"

namespace {

using namespace test_support;

const std::vector<MapEntry> CATS = {{"Fluffy", "Leopard"}, {"Tiger 001", "Tiger"}};
const Transcripts SHOWN = transcriptsFor(CATS);
const std::string MAP_FILE = mapFile(CATS);

// The first picture and the map's first line both hold Fluffy, where a mark would cling to it.
const std::string LIST = joinLines({pictureColumns("IMG_0001.jpg", "Fluffy", "2013-05-01"),
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
             Case{"list in UTF-8", std::string(UTF8_MARK) + LIST, MAP_FILE, SHOWN.listMarked},
             Case{"list in UTF-16 LE", utf16(UTF16_LITTLE_ENDIAN_MARK, LIST), MAP_FILE,
                  SHOWN.listMarked},
             Case{"list in UTF-16 BE", utf16(UTF16_BIG_ENDIAN_MARK, LIST), MAP_FILE,
                  SHOWN.listMarked},
             Case{"map in UTF-16 LE", LIST, utf16(UTF16_LITTLE_ENDIAN_MARK, MAP_FILE),
                  SHOWN.mapMarked},
             Case{"map in UTF-16 BE", LIST, utf16(UTF16_BIG_ENDIAN_MARK, MAP_FILE),
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
    writeCatalogue(folder, LIST, std::string(UTF8_MARK) + MAP_FILE);
    expectCompleteRun(folder, runProgram(folder.dir, "Yes\n\n"), CATS, LIST,
                      pictureLine("IMG_0001.jpg", "Leopard", "2013-05-01") +
                          pictureLine("IMG_0002.jpg", "Tiger", ""));
}

} // namespace
