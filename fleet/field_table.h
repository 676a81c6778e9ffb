#pragma once

// What a sweep found: one entry per answering address of the swept /24, by the
// window's reply rules. Serials and versions stay raw GBK bytes.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

struct FieldEntry {
    std::string address;
    std::string serial;  // trimmed of bytes <= 0x20 when first seen
    std::string version; // as received, may be empty
    // Another serial answered from the same address: two collectors share it,
    // their frames would mix in one session, so it is never upgraded.
    bool conflict = false;
    std::vector<std::string> otherSerials; // trimmed, in order of arrival
};

// The value of a strict dotted-decimal IPv4 address (first octet highest).
std::optional<std::uint32_t> Ipv4Value(const std::string& address);
// "A.B.C." of a dotted IPv4 address, or nothing if it is not one.
std::optional<std::string> SubnetPrefix(const std::string& address);
// True when `address` is a host (1..254) of the /24 that `own` belongs to.
bool IsHostOf24(const std::string& address, const std::string& own);
// The 254 host addresses of own's /24, ascending.
std::vector<std::string> SweepAddresses(const std::string& own);
// Sorts dotted addresses numerically (198.51.100.9 before 198.51.100.10).
bool AddressLess(const std::string& a, const std::string& b);

// Search-channel datagrams carry 0x00, 0x0A, 0xFB and 0xFF as blanks.
std::string ScrubSearchDatagram(std::string bytes);

class FieldTable {
public:
    explicit FieldTable(std::string ownAddress) : own_(std::move(ownAddress)) {}

    // A search-reply frame (ESC .. ENQ) from `sender`. Replies from this host,
    // with an empty serial, or from outside the /24 are dropped; the first
    // reply of an address makes its entry, a later one with another serial
    // marks it a conflict, and nothing else changes it.
    void OnSearchFrame(const std::string& frame, const std::string& sender);

    const FieldEntry* Find(const std::string& address) const;
    std::vector<FieldEntry> SortedByAddress() const;
    std::size_t Size() const { return entries_.size(); }

private:
    std::string own_;
    std::map<std::string, FieldEntry> entries_;
};

} // namespace fleet
