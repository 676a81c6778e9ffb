#include "fleet/fleet_plan.h"

#include "fleet/ipv4_address.h"
#include "platform/gbk.h"
#include "protocol/version_class.h"

#include <algorithm>

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

std::string CheckTarget(const std::string& target, const std::string& ownAddress) {
    if (!CheckedSubnetPrefix(target))
        return "\"" + target + "\" is not an IPv4 address";
    if (target == ownAddress)
        return target + " is this computer's own address";
    if (!IsHostOf24(target, ownAddress))
        return target + " lies outside " + *CheckedSubnetPrefix(ownAddress) +
               "0/24, the chosen adapter's subnet";
    return {};
}

TargetPlan PlanTargets(const FieldTable& field, const std::vector<std::string>& targets,
                       const FirmwareImage& image) {
    std::vector<std::string> addresses = targets;
    if (addresses.empty())
        for (const auto& entry : field.SortedByAddress())
            addresses.push_back(entry.address);
    std::sort(addresses.begin(), addresses.end(), AddressLess);
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());

    TargetPlan plan;
    for (const auto& address : addresses) {
        CollectorResult result;
        result.address = address;
        const FieldEntry* found = field.Find(address);
        if (found == nullptr) {
            result.result = ResultKind::Failed;
            result.reason = "did not answer the sweep";
            plan.settled.push_back(result);
            continue;
        }
        result.serial = found->serial;
        result.versionBefore = found->version;
        const auto versionClass = protocol::ClassifyVersion(found->version);
        if (versionClass == protocol::VersionClass::V) {
            result.result = ResultKind::Refused;
            result.reason = "version \"" + platform::GbkToUtf8(found->version) +
                            "\" is not compatible: use the older upgrade program";
        } else if (versionClass != protocol::VersionClass::S) {
            result.result = ResultKind::Refused;
            result.reason = "version \"" + platform::GbkToUtf8(found->version) +
                            "\" does not begin with S: cannot be upgraded";
        } else if (found->version == image.versionAsReported) {
            result.result = ResultKind::UpToDate;
            result.versionAfter = found->version;
            result.reason = "already runs this version";
        } else {
            plan.toUpgrade.push_back(address);
            plan.toUpgradeAs.push_back(result);
            continue;
        }
        plan.settled.push_back(result);
    }
    return plan;
}

} // namespace fleet
