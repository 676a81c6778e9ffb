#include "gui/fleet/shell/fleet_adapters.h"

#include "platform/local_address.h"

#include <algorithm>

namespace fleetui {

std::vector<std::string> OfferedAdapters::Labels() const {
    std::vector<std::string> labels;
    for (const auto& adapter : adapters)
        labels.push_back(adapter.name + "  " + adapter.address + "/" +
                         std::to_string(adapter.prefixLength));
    return labels;
}

std::vector<std::string> OfferedAdapters::TickedLabels() const {
    std::vector<std::string> labels = Labels();
    if (labels.size() > 1)
        for (std::size_t i = 0; i < labels.size(); ++i)
            labels[i] = (std::count(ticked.begin(), ticked.end(), static_cast<int>(i)) ? "[√] "
                                                                                        : "[  ] ") +
                        labels[i];
    return labels;
}

void OfferedAdapters::Toggle(int index) {
    if (index < 0 || index >= static_cast<int>(adapters.size()))
        return;
    const auto it = std::find(ticked.begin(), ticked.end(), index);
    if (it != ticked.end())
        ticked.erase(it);
    else
        ticked.insert(std::upper_bound(ticked.begin(), ticked.end(), index), index);
    chosen = ticked.empty() ? -1 : ticked.front();
}

OfferedAdapters OfferAdapters(std::vector<platform::NetworkAdapter> adapters,
                              const std::vector<AdapterMark>& current,
                              const std::vector<std::string>& rememberedNames) {
    OfferedAdapters offered;
    offered.adapters = std::move(adapters);
    const auto& list = offered.adapters;
    const auto first = [&](auto&& matches) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (matches(list[i]))
                return static_cast<int>(i);
        return -1;
    };
    const auto tick = [&offered](int index) {
        if (index >= 0 && std::count(offered.ticked.begin(), offered.ticked.end(), index) == 0)
            offered.ticked.push_back(index);
    };
    for (const auto& mark : current) {
        int index = first([&](const auto& a) { return a.name == mark.name && a.address == mark.address; });
        if (index < 0)
            index = first([&](const auto& a) { return a.name == mark.name; });
        tick(index);
    }
    if (offered.ticked.empty())
        for (const auto& name : rememberedNames)
            if (!name.empty())
                tick(first([&](const auto& a) { return a.name == name; }));
    if (offered.ticked.empty()) {
        int usable = 0;
        for (const auto& adapter : list)
            usable += platform::CanReachCollectors(adapter);
        if (usable == 1)
            tick(first(platform::CanReachCollectors));
    }
    std::sort(offered.ticked.begin(), offered.ticked.end());
    offered.chosen = offered.ticked.empty() ? -1 : offered.ticked.front();
    return offered;
}

OfferedAdapters OfferAdapters(std::vector<platform::NetworkAdapter> adapters,
                              const std::string& currentName, const std::string& currentAddress,
                              const std::string& rememberedName) {
    std::vector<AdapterMark> current;
    if (!currentName.empty())
        current.push_back({currentName, currentAddress});
    return OfferAdapters(std::move(adapters), current, {rememberedName});
}

} // namespace fleetui
