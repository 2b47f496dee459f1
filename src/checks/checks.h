#pragma once

#include "species_map/species_map.h"

namespace checks {

enum class Confirmation { Confirmed, Rejected };

// Shows the map as a table and asks the operator. Any answer but a no confirms the map; after a
// no it says so and waits for Enter, and the run is to stop.
[[nodiscard]] Confirmation confirmSpeciesMap(const species_map::SpeciesMap& map);

// Explains the map file's layout with an example, then waits for Enter.
void showMissingMapGuidance();

} // namespace checks
