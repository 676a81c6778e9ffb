#include "gui/fleet/shell/fleet_settings.h"

#include "gui/fleet/shell/fleet_report_files.h"
#include "platform/gbk.h"

#include <nlohmann/json.hpp>

namespace fleetui {

FleetSettings LoadSettings(const std::string& path) {
    FleetSettings settings;
    const auto text = ReadWholeFile(path);
    if (!text)
        return settings;
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object())
        return settings;
    if (json.contains("adapter") && json["adapter"].is_string())
        settings.adapterName = json["adapter"].get<std::string>();
    if (json.contains("adapters") && json["adapters"].is_array())
        for (const auto& name : json["adapters"])
            if (name.is_string())
                settings.adapterNames.push_back(name.get<std::string>());
    if (settings.adapterNames.empty() && !settings.adapterName.empty())
        settings.adapterNames.push_back(settings.adapterName);
    if (json.contains("expected") && json["expected"].is_array())
        for (const auto& entry : json["expected"]) {
            if (!entry.is_object() || !entry.contains("serial") || !entry["serial"].is_string() ||
                entry["serial"].get<std::string>().empty())
                continue;
            fleet::ExpectedCollector collector;
            collector.serial = platform::Utf8ToGbk(entry["serial"].get<std::string>());
            if (entry.contains("ip") && entry["ip"].is_string())
                collector.address = entry["ip"].get<std::string>();
            settings.expected.push_back(std::move(collector));
        }
    return settings;
}

std::string SaveSettings(const std::string& path, const FleetSettings& settings) {
    auto expected = nlohmann::json::array();
    for (const auto& collector : settings.expected) {
        nlohmann::json entry = {{"serial", platform::GbkToUtf8(collector.serial)}};
        if (collector.address)
            entry["ip"] = *collector.address;
        expected.push_back(std::move(entry));
    }
    return WriteFileAtomically(
        path, nlohmann::json{{"adapter", settings.adapterName},
                             {"adapters", settings.adapterNames},
                             {"expected", expected}}
                  .dump(2));
}

} // namespace fleetui
