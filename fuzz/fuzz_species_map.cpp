// The map loader: any map file loads one entry per line, each cut at the map's columns, and a
// lookup finds the first entry of an individual, or nothing for a name that no entry has. A
// UTF-8 byte-order mark is passed over; a map that starts with a UTF-16 one is not loaded.

#include <cstdint>
#include <unordered_map>

#include "fuzz_support.h"
#include "species_map/species_map.h"
#include "test_support/catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<species_map::SpeciesMap> loaded = fuzz::loadMapOf(bytes);
    if (!loaded) {
        return 0;
    }

    const std::vector<test_support::MapEntry> expected = test_support::mapEntriesOf(bytes);
    const std::span<const species_map::MapEntry> entries = loaded->entries();
    FUZZ_CHECK(entries.size() == expected.size());
    std::unordered_map<std::string, std::size_t> first;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(entries[i].individual.text() == expected[i].individual);
        FUZZ_CHECK(entries[i].species.text() == expected[i].species);
        first.emplace(entries[i].individual.text(), i);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::optional<std::size_t> found = loaded->findSpecies(entries[i].individual);
        FUZZ_CHECK(found && *found == first.at(entries[i].individual.text()));

        // A name one byte away from this individual: found exactly when some entry has it.
        std::string nearName = entries[i].individual.text();
        nearName[i % 25] = static_cast<char>(nearName[i % 25] ^ (1 + i % 7));
        const records::FixedText near(nearName, 25);
        const std::optional<std::size_t> nearFound = loaded->findSpecies(near);
        const auto nearFirst = first.find(near.text());
        FUZZ_CHECK(nearFound.has_value() == (nearFirst != first.end()));
        FUZZ_CHECK(!nearFound || *nearFound == nearFirst->second);
    }
    return 0;
}
