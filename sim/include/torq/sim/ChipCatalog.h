// The simulator's own list of chips, written from the parts' datasheets and not from the device
// library, so that a wrong ID or size in the library shows up as a failed identification.
#pragma once

#include <string_view>
#include <vector>

#include "torq/sim/SpiChip.h"

namespace torq::sim {

const std::vector<ChipSpec>& ChipCatalog();
// Exact name match; null when the catalog has no such chip.
const ChipSpec* FindChip(std::string_view name);

}  // namespace torq::sim
