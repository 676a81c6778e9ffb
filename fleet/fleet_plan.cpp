#include "fleet/fleet_plan.h"

#include "fleet/ipv4_address.h"
#include "platform/gbk.h"
#include "protocol/version_class.h"

#include <algorithm>
#include <optional>

namespace fleet {

std::variant<platform::NetworkAdapter, std::string>
ChooseAdapter(const std::vector<platform::NetworkAdapter>& adapters,
              const std::string& interfaceName, const std::string& address) {
    std::vector<platform::NetworkAdapter> matches;
    for (const auto& adapter : adapters) {
        const bool wanted = !interfaceName.empty() ? adapter.name == interfaceName
                            : !address.empty()     ? adapter.address == address
                                                   : !adapter.loopback;
        if (wanted)
            matches.push_back(adapter);
    }
    const std::string asked = !interfaceName.empty() ? "interface \"" + interfaceName + "\""
                              : !address.empty()     ? "address " + address
                                                     : "";
    if (matches.empty())
        return asked.empty()
                   ? "no network adapter with an IPv4 address is up"
                   : "no adapter with the " + asked + " (see: collector-fleet interfaces)";
    if (matches.size() > 1) {
        std::string list;
        for (const auto& m : matches)
            list += "\n  " + m.name + "  " + m.address;
        return (asked.empty() ? std::string("several adapters are up")
                              : "the " + asked + " has several IPv4 addresses") +
               "; choose one with --interface or --address:" + list;
    }
    if (!CheckedSubnetPrefix(matches.front().address))
        return "the adapter's address " + matches.front().address + " is not IPv4";
    return matches.front();
}

std::string CheckTarget(const std::string& target, const SweepScope& scope) {
    if (!CheckedSubnetPrefix(target))
        return "\"" + target + "\" is not an IPv4 address";
    if (target == scope.Own())
        return target + " is this computer's own address";
    if (!scope.Contains(target))
        return target + " lies outside " + scope.Subnet() + ", the chosen adapter's subnet";
    return {};
}

std::vector<PinnedTarget> Unpinned(const std::vector<std::string>& addresses) {
    std::vector<PinnedTarget> targets;
    for (const auto& address : addresses)
        targets.push_back({address, std::nullopt});
    return targets;
}

TargetPlan PlanTargets(const FieldTable& field, const std::vector<PinnedTarget>& targets,
                       const std::vector<std::string>& excluded, const FirmwareImage& image,
                       const SweepScope& scope) {
    std::vector<PinnedTarget> pinned = targets;
    if (pinned.empty())
        for (const auto& entry : field.SortedByAddress())
            pinned.push_back({entry.address, std::nullopt});
    // Address order, each address once (the first pin named for it counts).
    std::stable_sort(pinned.begin(), pinned.end(), [](const auto& a, const auto& b) {
        return AddressLess(a.address, b.address);
    });
    pinned.erase(std::unique(pinned.begin(), pinned.end(),
                             [](const auto& a, const auto& b) { return a.address == b.address; }),
                 pinned.end());

    TargetPlan plan;
    for (const auto& target : pinned) {
        const std::string& address = target.address;
        if (std::find(excluded.begin(), excluded.end(), address) != excluded.end())
            continue;
        CollectorResult result;
        result.address = address;
        const auto settle = [&](PlanKind kind, ResultKind outcome, const char* code,
                                std::string reason) {
            result.plan = kind;
            result.result = outcome;
            result.reasonCode = code;
            result.reason = std::move(reason);
            plan.settled.push_back(result);
        };
        if (!CheckTarget(address, scope).empty()) {
            settle(PlanKind::NotInSubnet, ResultKind::NotStarted, "not_in_subnet",
                   CheckTarget(address, scope));
            continue;
        }
        const FieldEntry* found = field.Find(address);
        if (found == nullptr) {
            settle(PlanKind::NotFound, ResultKind::Failed, "no_sweep_reply",
                   "did not answer the sweep");
            continue;
        }
        result.serial = found->serial;
        result.versionBefore = found->version;
        const auto versionClass = protocol::ClassifyVersion(found->version);
        if (found->conflict) {
            std::string serials = platform::GbkToUtf8(found->serial);
            for (const auto& other : found->otherSerials)
                serials += ", " + platform::GbkToUtf8(other);
            settle(PlanKind::AddressConflict, ResultKind::Conflict, "address_conflict",
                   "several collectors answer from this address (" + serials + ")");
        } else if (target.serial && *target.serial != found->serial) {
            settle(PlanKind::NotFound, ResultKind::NotStarted, "serial_mismatch",
                   "the collector at " + address + " answered with serial " +
                       platform::GbkToUtf8(found->serial) + ", not " +
                       platform::GbkToUtf8(*target.serial));
        } else if (versionClass == protocol::VersionClass::V) {
            settle(PlanKind::RefusedV, ResultKind::Refused, "version_v",
                   "version \"" + platform::GbkToUtf8(found->version) +
                       "\" is not compatible: use the older upgrade program");
        } else if (versionClass != protocol::VersionClass::S) {
            settle(PlanKind::RefusedV, ResultKind::Refused, "version_not_s",
                   "version \"" + platform::GbkToUtf8(found->version) +
                       "\" does not begin with S: cannot be upgraded");
        } else if (found->version == image.versionAsReported) {
            result.versionAfter = found->version;
            settle(PlanKind::AlreadyCurrent, ResultKind::AlreadyCurrent, "already_current",
                   "already runs this version");
        } else {
            plan.toUpgrade.push_back(address);
            plan.toUpgradeAs.push_back(result);
        }
    }
    return plan;
}

std::variant<std::vector<std::string>, std::string> ParseTargetFile(const std::string& text) {
    std::vector<std::string> addresses;
    std::optional<std::size_t> ipColumn; // set by a CSV header
    std::size_t lineNumber = 0, start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3); // a byte-order mark from a Windows editor
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const auto comma = line.find(',', from);
            fields.push_back(line.substr(from, comma - from));
            if (comma == std::string::npos)
                break;
            from = comma + 1;
        }
        if (!ipColumn && addresses.empty() && fields.size() > 1) {
            const auto ip = std::find(fields.begin(), fields.end(), "ip");
            if (ip != fields.end()) {
                ipColumn = static_cast<std::size_t>(ip - fields.begin());
                continue;
            }
        }
        const std::size_t column = ipColumn.value_or(0);
        const std::string address = column < fields.size() ? fields[column] : std::string();
        if (!CheckedSubnetPrefix(address))
            return "line " + std::to_string(lineNumber) + ": \"" + line +
                   "\" does not hold an IPv4 address";
        addresses.push_back(address);
    }
    return addresses;
}

} // namespace fleet
