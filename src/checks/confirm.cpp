#include <string_view>
#include <vector>

#include "checks/checks.h"
#include "console/console.h"
#include "records/layout.h"

namespace checks {

namespace {

constexpr std::size_t ANSWER_WIDTH = 2;

bool isNo(const records::FixedText& answer) {
    return answer.text() == "no" || answer.text() == "No" || answer.text() == "NO";
}

constexpr std::string_view INDIVIDUAL = "Individual";
constexpr std::string_view SPECIES = "Species";

// Each heading over the first column of its field of the map lines, which begin with the
// individual, and as long as itself, so that the header line ends with its last word.
records::RecordLayout headerLayout() {
    const std::size_t speciesColumn =
        records::planLayout(species_map::mapLineLayout()).fields[species_map::SPECIES_FIELD].first;
    return {{records::TextField{INDIVIDUAL.size()},
             records::Skip{speciesColumn - INDIVIDUAL.size()}, records::TextField{SPECIES.size()}}};
}

void showTable(const species_map::SpeciesMap& map) {
    // All that the table needs is made before its first line, so that memory running out meets
    // the table before it has begun rather than halfway down. The names of every entry are as wide
    // as the fields they are copied into, so the copies ask for nothing.
    const records::RecordLayout header = headerLayout();
    const std::vector<records::FixedText> headings{
        records::FixedText(INDIVIDUAL, INDIVIDUAL.size()),
        records::FixedText(SPECIES, SPECIES.size())};
    std::vector<records::FixedText> values = records::blankValues(species_map::mapLineLayout());
    console::printBlankLine();
    console::printFixedLine(header, headings);
    for (const species_map::MapEntry& entry : map.entries()) {
        values[species_map::INDIVIDUAL_FIELD] = entry.individual;
        values[species_map::SPECIES_FIELD] = entry.species;
        console::printFixedLine(species_map::mapLineLayout(), values);
    }
}

} // namespace

Confirmation confirmSpeciesMap(const species_map::SpeciesMap& map) {
    showTable(map);
    console::printMessage("Type Yes, then Enter if this is correct, otherwise type No");
    if (!isNo(console::readAnswer(ANSWER_WIDTH))) {
        return Confirmation::Confirmed;
    }
    console::printMessage("FAILURE ... TERMINATING");
    console::printMessage("Hit Enter to acknowledge");
    console::waitForEnter();
    return Confirmation::Rejected;
}

} // namespace checks
