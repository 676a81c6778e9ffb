#pragma once

// The hosts one run may reach through the chosen adapter. An adapter on a /24
// or a wider subnet gets the window's sweep: hosts 1..254 of its own /24. An
// adapter on a narrower subnet (/25 .. /32) gets only its on-link hosts, so
// that nothing goes to addresses that the adapter's network does not hold.
// Every probe, every frame and every target is checked against this scope.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

class SweepScope {
public:
    // Nothing when `ownAddress` is not a dotted IPv4 address. A prefix length
    // outside 0..32 (an adapter that reported none) counts as 24.
    static std::optional<SweepScope> Of(const std::string& ownAddress, int adapterPrefixLength);

    const std::string& Own() const { return own_; }
    // 24 for a /24 or wider adapter, the adapter's own length otherwise.
    int PrefixLength() const { return prefixLength_; }
    // "198.51.100.0/26": the subnet swept.
    std::string Subnet() const;

    // True when `address` is a host of the scope (this computer's own address
    // included: the caller decides what to do with it).
    bool Contains(const std::string& address) const;
    // The probe's destinations, ascending: the /24's 254 hosts as the window
    // sends them, or the narrower subnet's hosts other than this computer.
    std::vector<std::string> Hosts() const;

private:
    SweepScope(std::string own, std::uint32_t ownValue, int prefixLength);
    std::uint32_t FirstHost() const;
    std::uint32_t LastHost() const;

    std::string own_;
    std::uint32_t ownValue_ = 0;
    int prefixLength_ = 24;
};

} // namespace fleet
