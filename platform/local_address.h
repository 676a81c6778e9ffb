#pragma once

#include "platform/network_adapters.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The host's own IPv4 address in dotted text: the first IPv4 address its name
// resolves to that an adapter which carries traffic holds. Debian maps the
// host name to 127.0.1.1, which is useless for a subnet sweep, so when the
// name gives no such address the first address of such an adapter is taken.
// Never a loopback address nor a self-assigned 169.254/16 one (a port with
// no DHCP server: sweeping its subnet finds nothing). Empty when the host
// has no address left.
std::optional<std::string> LookupLocalIPv4();

// True when an adapter that carries traffic holds `address` now: false once
// its cable is pulled, its adapter disabled or its address changed.
bool LocalIPv4Held(const std::string& address);

// An adapter whose subnet can hold collectors: it carries traffic, and its
// address is neither loopback nor self-assigned (169.254/16).
bool CanReachCollectors(const NetworkAdapter& adapter);

// The rule behind LookupLocalIPv4, on given lists: `hostNameAddresses` in
// the order the name lookup gave them, `adapters` as ListNetworkAdapters
// gives them. With no adapter list at all (it could not be read), a host
// name address is taken on its own word.
std::optional<std::string> ChooseLocalIPv4(const std::vector<std::string>& hostNameAddresses,
                                           const std::vector<NetworkAdapter>& adapters);

} // namespace platform
