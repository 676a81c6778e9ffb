#include "fleet/run/adapter_choice.h"

#include "fleet/run/fleet_plan.h"
#include "fleet/run/ipv4_address.h"
#include "platform/local_address.h"

#include <algorithm>
#include <charconv>

namespace fleet {

namespace {

std::string Dotted(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string Dotted24(std::uint32_t network) {
    return Dotted(network) + "/24";
}

// The /24s of "A.B.C.D/N", or why the text is not such a subnet.
std::variant<std::vector<std::uint32_t>, std::string> SubnetsOf(const std::string& text) {
    const auto slash = text.find('/');
    const auto base = Ipv4Value(text.substr(0, slash));
    int prefix = -1;
    if (slash != std::string::npos) {
        const char* first = text.data() + slash + 1;
        const char* last = text.data() + text.size();
        const auto [end, error] = std::from_chars(first, last, prefix);
        if (error != std::errc() || end != last || first == last)
            prefix = -1;
    }
    if (!base || prefix < 0 || prefix > 32)
        return "--subnet \"" + text + "\" is not an IPv4 subnet such as 10.20.4.0/22";
    if (prefix > 24)
        return "--subnet " + text + " is narrower than a /24: name the /24 it lies in";
    if ((1u << (24 - prefix)) > kMaxSweptSubnets)
        return "--subnet " + text + " holds " + std::to_string(1u << (24 - prefix)) +
               " /24s; a run sweeps at most " + std::to_string(kMaxSweptSubnets);
    std::vector<std::uint32_t> networks;
    const std::uint32_t first = *base & (~std::uint32_t{0} << (32 - prefix));
    for (std::uint32_t n = 0; n < (1u << (24 - prefix)); ++n)
        networks.push_back(first + (n << 8));
    return networks;
}

std::string Named(const platform::NetworkAdapter& adapter) {
    return adapter.name + " (" + adapter.address + ")";
}

// The adapters named by --interface (and "all") or --address, in order, each once.
std::variant<std::vector<platform::NetworkAdapter>, std::string>
NamedAdapters(const std::vector<platform::NetworkAdapter>& adapters,
              const AdapterOptions& options) {
    std::vector<platform::NetworkAdapter> chosen;
    const auto add = [&chosen](const platform::NetworkAdapter& adapter) {
        if (std::none_of(chosen.begin(), chosen.end(), [&](const auto& c) {
                return c.name == adapter.name && c.address == adapter.address;
            }))
            chosen.push_back(adapter);
    };
    if (options.interfaces.empty() && (!options.address.empty() || options.subnets.empty())) {
        auto one = ChooseAdapter(adapters, "", options.address);
        if (auto* error = std::get_if<std::string>(&one))
            return std::move(*error);
        add(std::get<platform::NetworkAdapter>(one));
    }
    for (const auto& name : options.interfaces) {
        if (name != kAllAdapters) {
            auto one = ChooseAdapter(adapters, name, "");
            if (auto* error = std::get_if<std::string>(&one))
                return std::move(*error);
            add(std::get<platform::NetworkAdapter>(one));
            continue;
        }
        std::size_t usable = 0;
        for (const auto& adapter : adapters)
            if (platform::CanReachCollectors(adapter) && adapter.virtualKind.empty() &&
                Ipv4Value(adapter.address)) {
                // An adapter with two addresses on one /24 reaches it once.
                const bool twin = std::any_of(chosen.begin(), chosen.end(), [&](const auto& c) {
                    return c.name == adapter.name &&
                           *Ipv4Value(c.address) >> 8 == *Ipv4Value(adapter.address) >> 8;
                });
                if (!twin)
                    add(adapter);
                ++usable;
            }
        if (usable == 0)
            return std::string("--interface all: no adapter is up with an IPv4 address that is "
                               "neither loopback nor self-assigned (169.254/16); virtual "
                               "adapters are taken only by name (see: collector-fleet "
                               "interfaces)");
    }
    // Two adapters on one /24 would both sweep it, and each collector's
    // replies would come back on either.
    for (std::size_t i = 0; i < chosen.size(); ++i)
        for (std::size_t j = i + 1; j < chosen.size(); ++j)
            if (*Ipv4Value(chosen[i].address) >> 8 == *Ipv4Value(chosen[j].address) >> 8)
                return "the adapters " + Named(chosen[i]) + " and " + Named(chosen[j]) +
                       " are on the same /24 " + Dotted24(*Ipv4Value(chosen[i].address) & ~0xFFu) +
                       ": a run sweeps a /24 from one adapter only; name one of them";
    return chosen;
}

} // namespace

std::variant<Adapter, std::string>
ChooseAdapters(const std::vector<platform::NetworkAdapter>& adapters, const AdapterOptions& options,
               const RouteLookup& route) {
    auto named = NamedAdapters(adapters, options);
    if (auto* error = std::get_if<std::string>(&named))
        return std::move(*error);
    std::vector<platform::NetworkAdapter> lanes = std::get<0>(std::move(named));
    const std::size_t ownLanes = lanes.size();

    // Each routed /24 with the lane it is swept from.
    std::vector<std::pair<std::uint32_t, std::size_t>> routed;
    for (const auto& text : options.subnets) {
        auto networks = SubnetsOf(text);
        if (auto* error = std::get_if<std::string>(&networks))
            return std::move(*error);
        for (const std::uint32_t network : std::get<0>(networks)) {
            const bool own = std::any_of(lanes.begin(), lanes.begin() + ownLanes, [&](auto& a) {
                return (*Ipv4Value(a.address) & ~0xFFu) == network;
            });
            const bool twice = std::any_of(routed.begin(), routed.end(),
                                           [&](const auto& r) { return r.first == network; });
            if (own || twice)
                continue;
            // The route to the /24's first host stands for the whole /24.
            const auto source = route ? route(Dotted(network + 1)) : std::nullopt;
            const auto through = std::find_if(adapters.begin(), adapters.end(), [&](auto& a) {
                return source && a.address == *source;
            });
            if (through == adapters.end() || !platform::CanReachCollectors(*through))
                return "--subnet " + text + ": no route of an adapter that is up leads to " +
                       Dotted24(network) + " (see: collector-fleet interfaces)";
            auto lane = std::find_if(lanes.begin(), lanes.end(), [&](const auto& a) {
                return a.name == through->name && a.address == through->address;
            });
            if (lane == lanes.end())
                lane = lanes.insert(lanes.end(), *through);
            routed.emplace_back(network, static_cast<std::size_t>(lane - lanes.begin()));
        }
    }
    if (ownLanes + routed.size() > kMaxSweptSubnets)
        return "this run would sweep " + std::to_string(ownLanes + routed.size()) +
               " /24s; a run sweeps at most " + std::to_string(kMaxSweptSubnets) +
               ": name fewer adapters or subnets";

    SweepScope scope;
    for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
        const auto& adapter = lanes[lane];
        if (lane < ownLanes &&
            !scope.AddAdapter(adapter.name, adapter.address, adapter.prefixLength))
            return "the adapter's address " + adapter.address + " is not IPv4";
        for (const auto& [network, from] : routed)
            if (from == lane)
                scope.AddRouted(adapter.name, adapter.address, network);
    }
    if (scope.Parts().empty())
        return std::string("no subnet to sweep: every /24 named is an adapter's own");
    return Adapter{lanes.front(), scope, lanes};
}

} // namespace fleet
