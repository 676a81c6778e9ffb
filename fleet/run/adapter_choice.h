#pragma once

// The adapters one run works on and the subnets swept from each: one adapter
// by name or address (or the only one there is), several by name, every
// usable one ("all"), and routed /24s named by CIDR, each swept from the
// adapter whose route leads there. Nothing is chosen that would send outside
// the named subnets or the chosen adapters' own /24s.

#include "fleet/run/sweep_scope.h"
#include "platform/network_adapters.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace fleet {

// The adapters to work on: by name (repeatable; "all" for every adapter that
// is up with an IPv4 address that is neither loopback nor self-assigned,
// virtual ones only when named), or by address; with neither and no subnet,
// the only non-loopback one. Subnets are "A.B.C.D/N", N from 8 to 24.
struct AdapterOptions {
    std::vector<std::string> interfaces;
    std::string address;
    std::vector<std::string> subnets;
};

inline constexpr const char* kAllAdapters = "all";
// /24s one run sweeps at most, the adapters' own and the routed ones together.
inline constexpr std::size_t kMaxSweptSubnets = 16;

// The adapters chosen, and the hosts their subnets let a run reach.
struct Adapter {
    platform::NetworkAdapter adapter; // the first
    SweepScope scope;                 // every part, each with the adapter it is swept from
    std::vector<platform::NetworkAdapter> adapters; // every adapter of the run, in order
};

// The local address the route to a destination leaves from (see
// platform::RouteSourceAddress).
using RouteLookup = std::function<std::optional<std::string>(const std::string& destination)>;

// The choice from `adapters` as the system lists them; the text says why
// none can be made.
std::variant<Adapter, std::string>
ChooseAdapters(const std::vector<platform::NetworkAdapter>& adapters, const AdapterOptions& options,
               const RouteLookup& route);

} // namespace fleet
