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

std::optional<SweepScope> SweepScope::Of(const std::string& ownAddress, int adapterPrefixLength,
                                         const std::string& adapterName) {
    SweepScope scope;
    if (!scope.AddAdapter(adapterName, ownAddress, adapterPrefixLength))
        return std::nullopt;
    return scope;
}

bool SweepScope::AddAdapter(const std::string& adapterName, const std::string& ownAddress,
                            int adapterPrefixLength) {
    const auto value = Ipv4Value(ownAddress);
    if (!value)
        return false;
    const bool narrower = adapterPrefixLength > kWindowPrefix && adapterPrefixLength <= 32;
    const int prefix = narrower ? adapterPrefixLength : kWindowPrefix;
    parts_.push_back(
        {adapterName, ownAddress, *value, *value & NetworkMask(prefix), prefix, false});
    return true;
}

bool SweepScope::AddRouted(const std::string& adapterName, const std::string& ownAddress,
                           std::uint32_t network24) {
    const auto value = Ipv4Value(ownAddress);
    if (!value)
        return false;
    parts_.push_back({adapterName, ownAddress, *value, network24 & NetworkMask(kWindowPrefix),
                      kWindowPrefix, true});
    return true;
}

const std::string& SweepScope::Own() const {
    static const std::string none;
    return parts_.empty() ? none : parts_.front().own;
}

bool SweepScope::IsOwn(const std::string& address) const {
    for (const auto& part : parts_)
        if (part.own == address)
            return true;
    return false;
}

std::string SweepScope::SubnetOf(const Part& part) {
    return Dotted(part.network) + "/" + std::to_string(part.prefixLength);
}

std::string SweepScope::Subnet() const {
    std::string text;
    for (const auto& part : parts_)
        text += (text.empty() ? "" : ", ") + SubnetOf(part);
    return text;
}

// A /31 has no network or broadcast address (both are hosts of a point-to-point
// link); a /32 holds this computer alone. Otherwise both ends are left out.
std::uint32_t SweepScope::FirstHost(const Part& part) {
    return part.prefixLength >= 31 ? part.network : part.network + 1;
}

std::uint32_t SweepScope::LastHost(const Part& part) {
    const std::uint32_t broadcast = part.network | ~NetworkMask(part.prefixLength);
    return part.prefixLength >= 31 ? broadcast : broadcast - 1;
}

const SweepScope::Part* SweepScope::PartOf(const std::string& address) const {
    const auto value = Ipv4Value(address);
    if (!value)
        return nullptr;
    for (const auto& part : parts_)
        if (*value >= FirstHost(part) && *value <= LastHost(part))
            return &part;
    return nullptr;
}

bool SweepScope::Contains(const std::string& address) const {
    return PartOf(address) != nullptr;
}

std::vector<std::string> SweepScope::Hosts() const {
    std::vector<std::string> hosts;
    for (const auto& part : parts_)
        // Counted in 64 bits: the last host may be 255.255.255.255.
        for (std::uint64_t host = FirstHost(part); host <= LastHost(part); ++host)
            if (part.prefixLength == kWindowPrefix || host != part.ownValue)
                hosts.push_back(Dotted(static_cast<std::uint32_t>(host)));
    return hosts;
}

} // namespace fleet
