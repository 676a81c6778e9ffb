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
    int chosen = -1; // index into `adapters`; -1: the operator must choose

    // What the list shows of each: name, address and prefix.
    std::vector<std::string> Labels() const;
};

// The adapter chosen now (`currentName`, empty for none) stays chosen while
// it is listed, at its present address. Else the remembered one (by name),
// else the only adapter that can reach collectors: carrying traffic, not
// loopback, not a self-assigned 169.254/16 address.
OfferedAdapters OfferAdapters(std::vector<platform::NetworkAdapter> adapters,
                              const std::string& currentName, const std::string& currentAddress,
                              const std::string& rememberedName);

} // namespace fleetui
