#include "picture_list/relabel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support/catalogue.h"
#include "test_support/test_support.h"

namespace picture_list {
namespace {

namespace fs = std::filesystem;
using test_support::padded;
using test_support::pictureLine;
using test_support::readFile;
using test_support::writeFile;

// One input line without its line end, with arbitrary bytes in the skipped columns.
std::string input(const std::string& lead, const std::string& folder, const std::string& tail,
                  char skipped = ' ') {
    return padded(lead, 25) + skipped + padded(folder, 25) + skipped + tail;
}

species_map::SpeciesMap mapOf(std::initializer_list<std::pair<std::string, std::string>> pairs) {
    species_map::SpeciesMap map;
    for (const auto& [individual, species] : pairs) {
        map.addEntry({records::FixedText(individual, records::NAME_WIDTH),
                      records::FixedText(species, records::NAME_WIDTH)});
    }
    return map;
}

// Each case works in a fresh folder of its own, since the file names are fixed.
class Relabel : public ::testing::Test {
  protected:
    test_support::ScratchFolder scratch{"relabel_test"};
    // Relabels `backup` and returns the unsorted list.
    static std::string relabel(const std::string& backup, const species_map::SpeciesMap& map) {
        writeFile(BACKUP_FILE_NAME, backup);
        EXPECT_EQ(relabelPictureList(map), RelabelOutcome::Relabelled);
        EXPECT_EQ(readFile(BACKUP_FILE_NAME), backup) << "the backup must stay as it was";
        return readFile(UNSORTED_FILE_NAME);
    }
};

TEST_F(Relabel, EachLineGivesOneFixedFormLineInOrder) {
    const species_map::SpeciesMap map =
        mapOf({{"Fluffy", "Leopard"}, {"Leopard", "Cat"}, {"Rex", "Dog"}, {"Rex", "Wolf"}});
    const std::string oddTail("a\tb\rc\0\x1a\x80\xff", 9);
    const std::string backup =
        // Mapped once: the species found is not looked up again.
        input("IMG_0001.JPG", "Fluffy", "2014-02-01") + "\r\n" +
        input("IMG_0002.JPG", "Stranger", "tail") + "\n" + input("IMG_0003.JPG", "Leopard", "x") +
        "\n" + input("IMG_0004.JPG", "Rex", padded("t", 22) + "beyond column 74", '|') + "\n" +
        input("IMG_0005.JPG", "fluffy", "") + "\n" + //
        "short\n" +                                  //
        "\n" +                                       //
        input("IMG_0006.JPG", " Fluffy", oddTail) + "\n" +
        input("IMG_0007.JPG", "Fluffy", "no line end");
    const std::string expected =
        pictureLine("IMG_0001.JPG", "Leopard", "2014-02-01") +
        pictureLine("IMG_0002.JPG", "Stranger", "tail") + pictureLine("IMG_0003.JPG", "Cat", "x") +
        pictureLine("IMG_0004.JPG", "Dog", "t") + pictureLine("IMG_0005.JPG", "fluffy", "") +
        pictureLine("short", "", "") + pictureLine("", "", "") +
        pictureLine("IMG_0006.JPG", " Fluffy", oddTail) +
        pictureLine("IMG_0007.JPG", "Leopard", "no line end");
    EXPECT_EQ(relabel(backup, map), expected);
}

// A line of the full 74 columns with blanks in both skipped columns is copied whole, its folder
// replaced; any other line is cut and built again. Mixed in one list, over several batches of
// lookups, every line must still get the species of its own folder and keep its other bytes.
TEST_F(Relabel, WholeLinesAndCutLinesMixed) {
    const species_map::SpeciesMap map =
        mapOf({{"Fluffy", "Leopard"}, {"Rex", "Dog"}, {"Rex", "Wolf"}, {"Tiger 001", "Tiger"}});
    const std::string folders[] = {"Fluffy", "Rex", "Stranger", "Tiger 001", "fluffy"};
    const std::string species[] = {"Leopard", "Dog", "Stranger", "Tiger", "fluffy"};
    std::string backup;
    std::string expected;
    for (std::size_t i = 0; i < 100; ++i) {
        const std::string lead = "IMG_" + std::to_string(i) + ".JPG";
        std::string tail = padded(std::to_string(i) + std::string("\t\0\x80\xff", 4), 22);
        std::string line = input(lead, folders[i % 5], tail);
        // In turn: a whole line, a mark in one or the other skipped column, a shorter line.
        if (i % 4 == 1 || i % 4 == 2) {
            line[i % 4 == 1 ? 25 : 51] = '|';
        } else if (i % 4 == 3) {
            line.resize(60);
            tail.resize(8);
        }
        backup += line + (i % 2 == 0 ? "\r\n" : "\n");
        expected += pictureLine(lead, species[i % 5], tail);
    }
    EXPECT_EQ(relabel(backup, map), expected);
}

TEST_F(Relabel, LineEndsDoNotMatterAnEmptyMapCopiesAndABlankEntryMatchesABlankFolder) {
    const species_map::SpeciesMap map = mapOf({{"Fluffy", "Leopard"}});
    const std::string a = input("a", "Fluffy", "1");
    const std::string b = input("b\r", "Rex\r", "2\r3");
    const std::string fromLf = relabel(a + "\n" + b + "\n\n", map);
    EXPECT_EQ(fromLf, pictureLine("a", "Leopard", "1") + pictureLine("b\r", "Rex\r", "2\r3") +
                          pictureLine("", "", ""));
    EXPECT_EQ(relabel(a + "\r\n" + b + "\r\n\r\n", map), fromLf);
    // An empty map copies in the fixed form; a blank entry matches a blank folder.
    EXPECT_EQ(relabel(input("a", "Fluffy", padded("tail", 22), '#') + "EXTRA\n" + "b", mapOf({})),
              pictureLine("a", "Fluffy", "tail") + pictureLine("b", "", ""));
    EXPECT_EQ(relabel("lead only\n", mapOf({{"", ""}, {"Fluffy", "Leopard"}})),
              pictureLine("lead only", "", ""));
}

// An earlier run's output must never survive into this run's result.
TEST_F(Relabel, MissingBackupIsCreatedEmptyAndStaleOutputIsReplaced) {
    EXPECT_EQ(relabelPictureList(mapOf({{"Fluffy", "Leopard"}})), RelabelOutcome::Relabelled);
    EXPECT_TRUE(fs::is_regular_file(BACKUP_FILE_NAME));
    EXPECT_EQ(readFile(BACKUP_FILE_NAME), "");
    EXPECT_TRUE(fs::is_regular_file(UNSORTED_FILE_NAME));
    EXPECT_EQ(readFile(UNSORTED_FILE_NAME), "");
    const std::string stale = std::string(5000, 'z') + "\r\n";
    writeFile(UNSORTED_FILE_NAME, stale);
    EXPECT_EQ(relabel("one\n", mapOf({})), pictureLine("one", "", ""));
    writeFile(UNSORTED_FILE_NAME, stale);
    EXPECT_EQ(relabel("", mapOf({})), "");
}

} // namespace
} // namespace picture_list
