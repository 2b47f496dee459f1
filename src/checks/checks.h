#pragma once

#include "species_map/species_map.h"

namespace checks {

// Shows the map as a table and asks the operator. Returns when the answer is not a no; after a
// no it says so, waits for Enter and ends the run.
void confirmSpeciesMap(const species_map::SpeciesMap& map);

// Explains the map file's layout with an example, then waits for Enter.
void showMissingMapGuidance();

} // namespace checks
