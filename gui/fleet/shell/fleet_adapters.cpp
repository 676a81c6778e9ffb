#include "gui/fleet/shell/fleet_adapters.h"

#include "platform/local_address.h"

namespace fleetui {

std::vector<std::string> OfferedAdapters::Labels() const {
    std::vector<std::string> labels;
    for (const auto& adapter : adapters)
        labels.push_back(adapter.name + "  " + adapter.address + "/" +
                         std::to_string(adapter.prefixLength));
    return labels;
}

OfferedAdapters OfferAdapters(std::vector<platform::NetworkAdapter> adapters,
                              const std::string& currentName, const std::string& currentAddress,
                              const std::string& rememberedName) {
    OfferedAdapters offered;
    offered.adapters = std::move(adapters);
    const auto& list = offered.adapters;
    const auto first = [&](auto&& matches) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (matches(list[i]))
                return static_cast<int>(i);
        return -1;
    };
    if (!currentName.empty()) {
        offered.chosen = first(
            [&](const auto& a) { return a.name == currentName && a.address == currentAddress; });
        if (offered.chosen < 0)
            offered.chosen = first([&](const auto& a) { return a.name == currentName; });
        if (offered.chosen >= 0)
            return offered;
    }
    if (!rememberedName.empty())
        offered.chosen = first([&](const auto& a) { return a.name == rememberedName; });
    if (offered.chosen < 0) {
        int usable = 0;
        for (const auto& adapter : list)
            usable += platform::CanReachCollectors(adapter);
        if (usable == 1)
            offered.chosen = first(platform::CanReachCollectors);
    }
    return offered;
}

} // namespace fleetui
