#pragma once

// The adapters the fleet window offers, and which one is chosen. The list is
// read again when the operator opens it and before each search, so an adapter
// that comes up after the window opened (a cable plugged in, an address
// given) is offered, and an address that changed is not used stale.

#include "platform/network_adapters.h"

#include <string>
#include <vector>

namespace fleetui {

struct OfferedAdapters {
    std::vector<platform::NetworkAdapter> adapters;
    int chosen = -1; // the first ticked index into `adapters`; -1: the operator must choose
    // Every adapter ticked for the next search, ascending: one run sweeps each one's subnet.
    std::vector<int> ticked;

    // What the list shows of each: name, address and prefix.
    std::vector<std::string> Labels() const;
    // The same with each one's tick ("[√] " or "[  ] ") before it, once the
    // list offers more than one adapter; else as Labels().
    std::vector<std::string> TickedLabels() const;
    // The operator chose `index` in the list: ticked if it was not, else unticked.
    void Toggle(int index);
};

// An adapter by name and address, as ticked before the list was read again.
struct AdapterMark {
    std::string name, address;
};

// The rule of OfferAdapters for several ticked adapters: each one ticked now
// stays ticked while listed (at its present address); with none of them
// listed, the remembered ones (by name); else the only adapter that can
// reach collectors.
OfferedAdapters OfferAdapters(std::vector<platform::NetworkAdapter> adapters,
                              const std::vector<AdapterMark>& current,
                              const std::vector<std::string>& rememberedNames);

// The adapter chosen now (`currentName`, empty for none) stays chosen while
// it is listed, at its present address. Else the remembered one (by name),
// else the only adapter that can reach collectors: carrying traffic, not
// loopback, not a self-assigned 169.254/16 address.
OfferedAdapters OfferAdapters(std::vector<platform::NetworkAdapter> adapters,
                              const std::string& currentName, const std::string& currentAddress,
                              const std::string& rememberedName);

} // namespace fleetui
