#include "species_map/species_map.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "test_support/test_support.h"

namespace species_map {
namespace {

namespace fs = std::filesystem;
using records::FixedText;

FixedText name(const std::string& text) {
    return records::FixedText(text, records::NAME_WIDTH);
}

// Written out instead of "I" + std::to_string(n), which sets off a false -Wrestrict in GCC 12
// at -O3.
std::string numbered(const char* prefix, long number) {
    return std::string(prefix).append(std::to_string(number));
}

std::string mapLine(const std::string& individual, const std::string& species) {
    return name(individual).text() + " " + name(species).text();
}

// A missing map, or a folder in its place, is missing; an empty one loads no entry. Every line
// becomes one entry as written; duplicates stay in file order, and the first of them is the one
// found.
TEST(SpeciesMapFile, EveryLineBecomesOneEntryAsWrittenAndTheFirstDuplicateWins) {
    const test_support::ScratchFolder scratch("species_map_test");
    EXPECT_EQ(loadSpeciesMap().outcome, LoadOutcome::MapFileMissing);
    fs::create_directory(MAP_FILE_NAME);
    EXPECT_EQ(loadSpeciesMap().outcome, LoadOutcome::MapFileMissing);
    fs::remove(MAP_FILE_NAME);
    test_support::writeFile(MAP_FILE_NAME, "");
    const LoadResult empty = loadSpeciesMap();
    ASSERT_EQ(empty.outcome, LoadOutcome::Loaded);
    EXPECT_TRUE(empty.map.entries().empty());
    EXPECT_FALSE(empty.map.findSpecies(name("")).has_value());
    EXPECT_FALSE(empty.map.findSpecies(name("Fluffy")).has_value());
    test_support::writeFile(
        MAP_FILE_NAME,
        mapLine("Fluffy", "Leopard") + "\r\n" +  // CR LF end
            "\n" +                               // empty line: blank names
            "Tab\tName|Ox\n" +                   // short line; a tab is one column
            "Abcdefghijklmnopqrstuvwxyz Leo\n" + // a 26-letter name spills into species
            mapLine("Rex", "Dog") + "   trailing columns ignored\n" +        // past column 51
            mapLine("Fluffy", "Cat") + "\n" + mapLine("Rex", "Rex") + "\n" + // duplicates
            "fluffy                    Cat");                                // no line end
    const LoadResult result = loadSpeciesMap();
    ASSERT_EQ(result.outcome, LoadOutcome::Loaded);
    std::vector<std::string> entries; // "individual species", both at their full width
    for (const MapEntry& entry : result.map.entries()) {
        entries.push_back(entry.individual.text() + " " + entry.species.text());
    }
    EXPECT_EQ(entries, (std::vector<std::string>{mapLine("Fluffy", "Leopard"), mapLine("", ""),
                                                 mapLine("Tab\tName|Ox", ""),
                                                 mapLine("Abcdefghijklmnopqrstuvwxy", " Leo"),
                                                 mapLine("Rex", "Dog"), mapLine("Fluffy", "Cat"),
                                                 mapLine("Rex", "Rex"), mapLine("fluffy", "Cat")}));
    EXPECT_EQ(result.map.findSpecies(name("Fluffy")), 0u);
    EXPECT_EQ(result.map.findSpecies(name("fluffy")), 7u);
    EXPECT_EQ(result.map.findSpecies(name("Rex")), 4u);
    EXPECT_EQ(result.map.findSpecies(name("")), 1u);
    EXPECT_EQ(result.map.findSpecies(name("Tab\tName|Ox")), 2u);
    EXPECT_FALSE(result.map.findSpecies(name("Tab Name|Ox")).has_value());
    EXPECT_FALSE(result.map.findSpecies(name(" Fluffy")).has_value());
    EXPECT_FALSE(result.map.findSpecies(name("FLUFFY")).has_value());
}

// The index must answer exactly as a search from the first entry would.
TEST(FindSpecies, AgreesWithALinearSearchOnAHugeMapWithDuplicates) {
    constexpr int ENTRIES = 100'000;
    constexpr int DISTINCT = 60'000;
    ::alarm(60);
    SpeciesMap map;
    for (int i = 0; i < ENTRIES; ++i) {
        const int individual = (i * 7919) % DISTINCT;
        map.addEntry(MapEntry{name(numbered("I", individual)), name(numbered("S", i))});
    }
    std::vector<int> firstEntry(DISTINCT, -1);
    for (int i = ENTRIES - 1; i >= 0; --i) {
        firstEntry[static_cast<std::size_t>((i * 7919) % DISTINCT)] = i;
    }
    for (int individual = 0; individual < DISTINCT; ++individual) {
        const std::optional<std::size_t> found = map.findSpecies(name(numbered("I", individual)));
        ASSERT_TRUE(found.has_value()) << individual;
        ASSERT_EQ(*found,
                  static_cast<std::size_t>(firstEntry[static_cast<std::size_t>(individual)]))
            << individual;
    }
    for (const char* absent : {"", "I", "I-1", "I60000", "i0"}) {
        EXPECT_FALSE(map.findSpecies(name(absent)).has_value()) << absent;
    }

    // Looked up a batch at a time, every folder finds the same entry's species, or none.
    std::vector<records::FixedText> folders;
    for (int individual = DISTINCT - 40; individual < DISTINCT + 40; ++individual) {
        folders.push_back(name(numbered("I", individual)));
    }
    for (std::size_t start = 0; start < folders.size(); start += FOLDER_BATCH) {
        const std::size_t count = std::min(FOLDER_BATCH, folders.size() - start);
        std::vector<const char*> batch;
        for (std::size_t i = start; i < start + count; ++i) {
            batch.push_back(folders[i].text().data());
        }
        std::vector<const char*> species(count);
        map.speciesOfFolders(batch, species);
        for (std::size_t i = 0; i < count; ++i) {
            const std::optional<std::size_t> found = map.findSpecies(folders[start + i]);
            ASSERT_EQ(species[i] != nullptr, found.has_value()) << folders[start + i].text();
            if (found) {
                EXPECT_EQ(std::string(species[i], records::NAME_WIDTH),
                          map.entries()[*found].species.text());
            }
        }
    }
    ::alarm(0);
}

} // namespace
} // namespace species_map
