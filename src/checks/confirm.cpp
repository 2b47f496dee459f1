#include <string_view>

#include "checks/checks.h"
#include "console/console.h"
#include "driver/stop.h"
#include "records/layout.h"

namespace checks {

namespace {

constexpr std::size_t ANSWER_WIDTH = 2;

bool isNo(const records::FixedText& answer) {
    return answer.bytes == "no" || answer.bytes == "No" || answer.bytes == "NO";
}

void showTable(const species_map::SpeciesMap& map) {
    static const records::RecordLayout header{
        {records::TextField{10}, records::Skip{15}, records::Skip{1}, records::TextField{7}}};
    static const records::RecordLayout row{{records::TextField{records::NAME_WIDTH},
                                            records::Skip{1},
                                            records::TextField{records::NAME_WIDTH}}};
    console::printBlankLine();
    console::printFixedLine(
        header, {records::makeFixedText("Individual", 10), records::makeFixedText("Species", 7)});
    std::vector<records::FixedText> values(2);
    for (const species_map::MapEntry& entry : map.entries()) {
        values[0] = entry.individual;
        values[1] = entry.species;
        console::printFixedLine(row, values);
    }
}

} // namespace

void confirmSpeciesMap(const species_map::SpeciesMap& map) {
    showTable(map);
    console::printMessage("Type Yes, then Enter if this is correct, otherwise type No");
    if (isNo(console::readAnswer(ANSWER_WIDTH))) {
        console::printMessage("FAILURE ... TERMINATING");
        console::printMessage("Hit Enter to acknowledge");
        console::waitForEnter();
        driver::stopRun();
    }
}

} // namespace checks
