#include <array>
#include <string_view>

#include "checks/checks.h"
#include "console/console.h"
#include "records/operator_files.h"

namespace checks {

namespace {

using records::JoinedText;
using records::MAP_FILE_NAME;

constexpr JoinedText NO_MAP(MAP_FILE_NAME, " is not present ... you must create it");
constexpr JoinedText EXAMPLE("Example: each line in ", MAP_FILE_NAME, " looks like this below");

} // namespace

void showMissingMapGuidance() {
    // The five example lines are real map lines: the name blank-filled to 25 columns, one blank,
    // the species from column 27 on.
    static constexpr std::array<std::string_view, 10> guidance{
        NO_MAP,
        "Format for individual is name + blanks = 25 characters, blank space, then species name",
        EXAMPLE,
        "Use Notepad.txt to edit, do not use tabs",
        "Fluffy                    Leopard",
        "Buffy                     Leopard",
        "Sable Rosetta             Leopard",
        "Tiger 001                 Tiger",
        "Pretty face               Tiger",
        "Type Enter to TERMINATE WITH FAILURE",
    };
    for (const std::string_view line : guidance) {
        console::printMessage(line);
    }
    console::waitForEnter();
}

} // namespace checks
