#include "fleet/field_table.h"

#include "protocol/messages.h"

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

std::string Trimmed(const std::string& text) {
    const auto keep = [](unsigned char c) { return c > 0x20; };
    const auto first = std::find_if(text.begin(), text.end(), keep);
    const auto last = std::find_if(text.rbegin(), text.rend(), keep).base();
    return first < last ? std::string(first, last) : std::string();
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

std::optional<std::string> SubnetPrefix(const std::string& address) {
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
           (*host)[3] >= 1 && (*host)[3] <= 254;
}

std::vector<std::string> SweepAddresses(const std::string& own) {
    std::vector<std::string> addresses;
    if (const auto prefix = SubnetPrefix(own))
        for (int n = 1; n <= 254; ++n)
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

std::string ScrubSearchDatagram(std::string bytes) {
    for (auto& c : bytes)
        if (c == '\x00' || c == '\x0A' || c == '\xFB' || c == '\xFF')
            c = ' ';
    return bytes;
}

void FieldTable::OnSearchFrame(const std::string& frame, const std::string& sender) {
    if (sender == own_ || !IsHostOf24(sender, own_))
        return;
    const auto reply = protocol::ParseSearchReply(frame);
    if (reply.serial.empty())
        return;
    const std::string serial = Trimmed(reply.serial);
    const auto known = entries_.find(sender);
    if (known == entries_.end()) {
        entries_[sender] = FieldEntry{sender, serial, reply.version, false, {}};
        return;
    }
    FieldEntry& entry = known->second;
    if (serial != entry.serial &&
        std::find(entry.otherSerials.begin(), entry.otherSerials.end(), serial) ==
            entry.otherSerials.end()) {
        entry.conflict = true;
        entry.otherSerials.push_back(serial);
    }
}

const FieldEntry* FieldTable::Find(const std::string& address) const {
    const auto it = entries_.find(address);
    return it == entries_.end() ? nullptr : &it->second;
}

std::vector<FieldEntry> FieldTable::SortedByAddress() const {
    std::vector<FieldEntry> sorted;
    for (const auto& [address, entry] : entries_)
        sorted.push_back(entry);
    std::sort(sorted.begin(), sorted.end(), [](const FieldEntry& a, const FieldEntry& b) {
        return AddressLess(a.address, b.address);
    });
    return sorted;
}

} // namespace fleet
