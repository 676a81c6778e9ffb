#pragma once

// What the fleet window remembers between runs: the adapter chosen last.
// Kept as a small JSON file in the operator's settings folder.

#include <string>

namespace fleetwin {

struct FleetSettings {
    std::string adapterName; // empty: none chosen yet
};

// Defaults when the file is missing or unreadable: a broken settings file
// must never keep the window from opening.
FleetSettings LoadSettings(const std::string& path);
// The text is empty on success, else why not.
std::string SaveSettings(const std::string& path, const FleetSettings& settings);

} // namespace fleetwin
