#pragma once

// What a sweep found: one entry per answering address of the swept /24, by the
// window's reply rules. Serials and versions stay raw GBK bytes.

#include <map>
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
