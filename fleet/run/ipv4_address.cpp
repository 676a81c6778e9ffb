#include "fleet/run/ipv4_address.h"

#include "protocol/collector_rules.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace fleet {

namespace {

// The four octets of a strict dotted-decimal IPv4 text.
std::optional<std::array<int, 4>> Octets(const std::string& address) {
    std::array<int, 4> octets{};
    const char* p = address.data();
    const char* end = p + address.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != '.')
                return std::nullopt;
            ++p;
        }
        const char* start = p;
        const auto [next, ec] = std::from_chars(p, end, octets[i]);
        if (ec != std::errc() || next == start || next - start > 3 || octets[i] > 255 ||
            (next - start > 1 && *start == '0'))
            return std::nullopt;
        p = next;
    }
    if (p != end)
        return std::nullopt;
    return octets;
}

} // namespace

std::optional<std::uint32_t> Ipv4Value(const std::string& address) {
    const auto octets = Octets(address);
    if (!octets)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const int octet : *octets)
        value = (value << 8) | static_cast<std::uint32_t>(octet);
    return value;
}

std::optional<std::string> CheckedSubnetPrefix(const std::string& address) {
    const auto octets = Octets(address);
    if (!octets)
        return std::nullopt;
    return std::to_string((*octets)[0]) + "." + std::to_string((*octets)[1]) + "." +
           std::to_string((*octets)[2]) + ".";
}

bool IsHostOf24(const std::string& address, const std::string& own) {
    const auto host = Octets(address);
    const auto mine = Octets(own);
    return host && mine && std::equal(host->begin(), host->begin() + 3, mine->begin()) &&
           (*host)[3] >= protocol::kFirstSweptHost && (*host)[3] <= protocol::kLastSweptHost;
}

std::vector<std::string> SweepAddresses(const std::string& own) {
    std::vector<std::string> addresses;
    if (const auto prefix = CheckedSubnetPrefix(own))
        for (int n = protocol::kFirstSweptHost; n <= protocol::kLastSweptHost; ++n)
            addresses.push_back(*prefix + std::to_string(n));
    return addresses;
}

bool AddressLess(const std::string& a, const std::string& b) {
    const auto x = Octets(a);
    const auto y = Octets(b);
    if (x && y)
        return *x < *y;
    return a < b;
}

} // namespace fleet
