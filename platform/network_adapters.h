#pragma once

// The host's IPv4 adapters, as the operating system lists them.

#include <string>
#include <vector>

namespace platform {

struct NetworkAdapter {
    std::string name;    // interface name ("eth0"; on Windows the friendly name, UTF-8)
    std::string address; // dotted-decimal IPv4
    int prefixLength = 0;
    bool loopback = false;
    // Carries traffic: the link is connected (Linux: IFF_RUNNING; Windows
    // lists only adapters whose operational status is up). An adapter that
    // is switched on but has no cable or carrier keeps its address but
    // reaches nobody.
    bool running = true;
};

// Every IPv4 address of every adapter that is up, in the order the system
// gives them. An adapter with two addresses appears twice. Empty on failure.
std::vector<NetworkAdapter> ListNetworkAdapters();

} // namespace platform
