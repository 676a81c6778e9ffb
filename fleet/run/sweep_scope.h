#pragma once

// The hosts one run may reach, in parts: each part one subnet and the
// adapter's own address it is swept from. An adapter on a /24 or a wider
// subnet gets the window's sweep: hosts 1..254 of its own /24. An adapter on
// a narrower subnet (/25 .. /32) gets only its on-link hosts, so that nothing
// goes to addresses that the adapter's network does not hold. A routed /24
// (one the operator named, reached through a router) is swept whole from the
// adapter whose route leads there. Every probe, every frame and every target
// is checked against this scope.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

class SweepScope {
public:
    struct Part {
        std::string adapter; // the adapter's name; may be empty
        std::string own;     // the adapter's address, which the part is swept from
        std::uint32_t ownValue = 0, network = 0;
        int prefixLength = 24;
        bool routed = false; // a named /24 behind a router, not the adapter's own
    };

    // No part yet: contains nothing.
    SweepScope() = default;

    // Nothing when `ownAddress` is not a dotted IPv4 address. A prefix length
    // outside 0..32 (an adapter that reported none) counts as 24.
    static std::optional<SweepScope> Of(const std::string& ownAddress, int adapterPrefixLength,
                                        const std::string& adapterName = {});

    // Adds an adapter's own subnet (as Of) or a routed /24 ("A.B.C.0")
    // reached from `ownAddress`; false when an address is not IPv4.
    bool AddAdapter(const std::string& adapterName, const std::string& ownAddress,
                    int adapterPrefixLength);
    bool AddRouted(const std::string& adapterName, const std::string& ownAddress,
                   std::uint32_t network24);

    const std::vector<Part>& Parts() const { return parts_; }
    // The first part's adapter address (empty without a part).
    const std::string& Own() const;
    // True for the address of any part's adapter.
    bool IsOwn(const std::string& address) const;
    // The first part's prefix: 24 for a /24 or wider adapter, the adapter's
    // own length otherwise.
    int PrefixLength() const { return parts_.empty() ? 24 : parts_.front().prefixLength; }
    // "198.51.100.0/26": the subnet swept; several parts are joined by ", ".
    std::string Subnet() const;
    static std::string SubnetOf(const Part& part);

    // True when `address` is a host of the scope (an adapter's own address
    // included: the caller decides what to do with it).
    bool Contains(const std::string& address) const;
    // The part that holds `address`, or null.
    const Part* PartOf(const std::string& address) const;
    // The probe's destinations, part by part, ascending in each: a /24's 254
    // hosts as the window sends them, or a narrower subnet's hosts other than
    // this computer.
    std::vector<std::string> Hosts() const;

private:
    static std::uint32_t FirstHost(const Part& part);
    static std::uint32_t LastHost(const Part& part);

    std::vector<Part> parts_;
};

} // namespace fleet
