#pragma once

// Strict dotted-decimal IPv4 texts and the /24 a fleet run works in. Unlike
// the window's prefix rule (core's SubnetPrefix, which cuts any text at its
// third dot), these refuse anything that is not an IPv4 address.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

// The value of a strict dotted-decimal IPv4 address (first octet highest).
std::optional<std::uint32_t> Ipv4Value(const std::string& address);
// "A.B.C." of a dotted IPv4 address, or nothing if it is not one.
std::optional<std::string> CheckedSubnetPrefix(const std::string& address);
// True when `address` is a swept host (1..254) of the /24 that `own` belongs to.
bool IsHostOf24(const std::string& address, const std::string& own);
// The swept host addresses of own's /24, ascending.
std::vector<std::string> SweepAddresses(const std::string& own);
// Sorts dotted addresses numerically (198.51.100.9 before 198.51.100.10).
bool AddressLess(const std::string& a, const std::string& b);

} // namespace fleet
