#include "gui/fleet_common/fleet_settings.h"

#include "gui/fleet_common/fleet_report_files.h"

#include <nlohmann/json.hpp>

namespace fleetwin {

FleetSettings LoadSettings(const std::string& path) {
    FleetSettings settings;
    const auto text = ReadWholeFile(path);
    if (!text)
        return settings;
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (json.is_object() && json.contains("adapter") && json["adapter"].is_string())
        settings.adapterName = json["adapter"].get<std::string>();
    return settings;
}

std::string SaveSettings(const std::string& path, const FleetSettings& settings) {
    return WriteFileAtomically(path, nlohmann::json{{"adapter", settings.adapterName}}.dump(2));
}

} // namespace fleetwin
