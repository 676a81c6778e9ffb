#include "fleet/run/field_table.h"

#include "fleet/run/ipv4_address.h"
#include "protocol/messages.h"
#include "pubpro/text_utils.h"

#include <algorithm>

namespace fleet {

void FieldTable::OnSearchFrame(const std::string& frame, const std::string& sender) {
    const SweepScope::Part* part = scope_ ? scope_->PartOf(sender) : nullptr;
    if (part == nullptr || scope_->IsOwn(sender))
        return;
    const auto reply = protocol::ParseSearchReply(frame);
    if (reply.serial.empty())
        return;
    const std::string serial = pubpro::Trim(reply.serial);
    const auto known = entries_.find(sender);
    if (known == entries_.end()) {
        FieldEntry entry{sender, serial, reply.version, false, {}, part->adapter, {}};
        for (auto& [address, other] : entries_)
            if (other.serial == serial && scope_->PartOf(address)->own != part->own) {
                other.alsoAt.push_back(sender);
                entry.alsoAt.push_back(address);
            }
        entries_[sender] = std::move(entry);
        return;
    }
    FieldEntry& entry = known->second;
    if (serial != entry.serial && std::find(entry.otherSerials.begin(), entry.otherSerials.end(),
                                            serial) == entry.otherSerials.end()) {
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
