#pragma once

// What the fleet window remembers between runs: the adapter chosen last and
// the expected list. Kept as a small JSON file in the operator's settings
// folder.

#include "fleet/run/fleet_plan.h"

#include <string>
#include <vector>

namespace fleetui {

struct FleetSettings {
    std::string adapterName; // empty: none chosen yet (the first of adapterNames)
    // The collectors a run expects (serials raw GBK); empty: no list.
    std::vector<fleet::ExpectedCollector> expected;
    // Every adapter ticked, in the list's order (a file that names only
    // adapterName reads as that one).
    std::vector<std::string> adapterNames;
};

// Defaults when the file is missing or unreadable: a broken settings file
// must never keep the window from opening. A broken entry of the expected
// list is skipped.
FleetSettings LoadSettings(const std::string& path);
// The text is empty on success, else why not.
std::string SaveSettings(const std::string& path, const FleetSettings& settings);

} // namespace fleetui
