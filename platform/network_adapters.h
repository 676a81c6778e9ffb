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
};

// Every IPv4 address of every adapter that is up, in the order the system
// gives them. An adapter with two addresses appears twice. Empty on failure.
std::vector<NetworkAdapter> ListNetworkAdapters();

} // namespace platform
