#include <array>
#include <string_view>
#include <vector>

#include "checks/checks.h"
#include "console/console.h"
#include "records/layout.h"

namespace checks {

namespace {

constexpr std::size_t ANSWER_WIDTH = 2;

bool isNo(const records::FixedText& answer) {
    return answer.bytes == "no" || answer.bytes == "No" || answer.bytes == "NO";
}

constexpr std::array<std::string_view, 2> HEADINGS = {"Individual", "Species"};

// Each heading over the first column of its field of the map lines, as long as the heading, so
// that the header line ends with its last word.
records::RecordLayout headerLayout() {
    const records::LayoutPlan rows = records::planLayout(species_map::mapLineLayout());
    records::RecordLayout header;
    std::size_t column = 0;
    for (std::size_t field = 0; field < HEADINGS.size(); ++field) {
        header.elements.emplace_back(records::Skip{rows.fields[field].first - column});
        header.elements.emplace_back(records::TextField{HEADINGS[field].size()});
        column = rows.fields[field].first + HEADINGS[field].size();
    }
    return header;
}

void showTable(const species_map::SpeciesMap& map) {
    // All that the table needs is made before its first line, so that memory running out meets
    // the table before it has begun rather than halfway down. The names of every entry are as wide
    // as the fields they are copied into, so the copies ask for nothing.
    const records::RecordLayout header = headerLayout();
    std::vector<records::FixedText> headings;
    for (const std::string_view heading : HEADINGS) {
        headings.push_back(records::makeFixedText(heading, heading.size()));
    }
    std::vector<records::FixedText> values = records::blankValues(species_map::mapLineLayout());
    console::printBlankLine();
    console::printFixedLine(header, headings);
    for (const species_map::MapEntry& entry : map.entries()) {
        values[0] = entry.individual;
        values[1] = entry.species;
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
