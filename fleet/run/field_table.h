#pragma once

// What a sweep found: one entry per answering address of the swept /24, by the
// window's reply rules. Serials and versions stay raw GBK bytes.

#include "fleet/run/sweep_scope.h"

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
    std::string adapter; // the adapter it answered on (a run over several adapters)
    // The same serial answered on another adapter too, from these addresses:
    // one collector seen twice or two that share a serial; never upgraded.
    std::vector<std::string> alsoAt;
};

class FieldTable {
public:
    // The swept hosts of `ownAddress`'s /24.
    explicit FieldTable(const std::string& ownAddress) : scope_(SweepScope::Of(ownAddress, 24)) {}
    explicit FieldTable(SweepScope scope) : scope_(std::move(scope)) {}

    // A search-reply frame (ESC .. ENQ) from `sender`. Replies from this host,
    // with an empty serial, or from outside the scope are dropped; the first
    // reply of an address makes its entry, a later one with another serial
    // marks it a conflict, and nothing else changes it. A serial that answers
    // from addresses on two adapters marks both entries (alsoAt).
    void OnSearchFrame(const std::string& frame, const std::string& sender);

    const FieldEntry* Find(const std::string& address) const;
    std::vector<FieldEntry> SortedByAddress() const;
    std::size_t Size() const { return entries_.size(); }

private:
    std::optional<SweepScope> scope_;
    std::map<std::string, FieldEntry> entries_;
};

} // namespace fleet
