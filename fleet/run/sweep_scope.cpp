#include "fleet/run/sweep_scope.h"

#include "fleet/run/ipv4_address.h"

namespace fleet {

namespace {

constexpr int kWindowPrefix = 24;

std::string Dotted(std::uint32_t value) {
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
           std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

std::uint32_t NetworkMask(int prefixLength) {
    return prefixLength == 0 ? 0 : ~std::uint32_t{0} << (32 - prefixLength);
}

} // namespace

std::optional<SweepScope> SweepScope::Of(const std::string& ownAddress, int adapterPrefixLength) {
    const auto value = Ipv4Value(ownAddress);
    if (!value)
        return std::nullopt;
    const bool narrower = adapterPrefixLength > kWindowPrefix && adapterPrefixLength <= 32;
    return SweepScope(ownAddress, *value, narrower ? adapterPrefixLength : kWindowPrefix);
}

SweepScope::SweepScope(std::string own, std::uint32_t ownValue, int prefixLength)
    : own_(std::move(own)), ownValue_(ownValue), prefixLength_(prefixLength) {}

std::string SweepScope::Subnet() const {
    return Dotted(ownValue_ & NetworkMask(prefixLength_)) + "/" + std::to_string(prefixLength_);
}

// A /31 has no network or broadcast address (both are hosts of a point-to-point
// link); a /32 holds this computer alone. Otherwise both ends are left out.
std::uint32_t SweepScope::FirstHost() const {
    const std::uint32_t network = ownValue_ & NetworkMask(prefixLength_);
    return prefixLength_ >= 31 ? network : network + 1;
}

std::uint32_t SweepScope::LastHost() const {
    const std::uint32_t broadcast = ownValue_ | ~NetworkMask(prefixLength_);
    return prefixLength_ >= 31 ? broadcast : broadcast - 1;
}

bool SweepScope::Contains(const std::string& address) const {
    const auto value = Ipv4Value(address);
    return value && *value >= FirstHost() && *value <= LastHost();
}

std::vector<std::string> SweepScope::Hosts() const {
    std::vector<std::string> hosts;
    // Counted in 64 bits: the last host may be 255.255.255.255.
    for (std::uint64_t host = FirstHost(); host <= LastHost(); ++host)
        if (prefixLength_ == kWindowPrefix || host != ownValue_)
            hosts.push_back(Dotted(static_cast<std::uint32_t>(host)));
    return hosts;
}

} // namespace fleet
