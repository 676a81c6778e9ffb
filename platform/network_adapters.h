#pragma once

// The host's IPv4 adapters, as the operating system lists them.

#include <optional>
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
    // Virtual by its kind: "bridge", "docker", "vEthernet", "tun/tap", "vpn",
    // "tunnel" or "virtual"; empty for a physical adapter (Ethernet, Wi-Fi)
    // or one whose kind the system does not tell. A veth pair's end is not
    // virtual here: with an IPv4 address of its own it is the cable into a
    // container or network namespace, as collectors are reached in tests.
    std::string virtualKind;
};

// Every IPv4 address of every adapter that is up, in the order the system
// gives them. An adapter with two addresses appears twice. Empty on failure.
std::vector<NetworkAdapter> ListNetworkAdapters();

// The virtual kind of a Windows adapter from what GetAdaptersAddresses gives:
// its interface type (IfType), friendly name and description (UTF-8). Here,
// not behind the Windows build, so that its rules are tested everywhere.
std::string WindowsVirtualKind(unsigned long ifType, const std::string& friendlyName,
                               const std::string& description);

// The local IPv4 address that the route to `destination` leaves from, found
// without sending anything (a UDP socket is connected, and its own address
// read). None when no route leads there or it cannot be told.
std::optional<std::string> RouteSourceAddress(const std::string& destination);

} // namespace platform
