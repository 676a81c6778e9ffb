#pragma once

// Deciding, before anything is sent, which collectors a run upgrades: the
// adapter to work on, and per target the window's refusals from a fresh sweep.

#include "fleet/field_table.h"
#include "fleet/firmware_image.h"
#include "fleet/fleet_report.h"
#include "platform/network_adapters.h"

#include <string>
#include <variant>
#include <vector>

namespace fleet {

// The adapter named by interface name or by address; with neither, the only
// non-loopback adapter. The text explains a failed choice.
std::variant<platform::NetworkAdapter, std::string>
ChooseAdapter(const std::vector<platform::NetworkAdapter>& adapters,
              const std::string& interfaceName, const std::string& address);

// A target given by the operator must be a host of the adapter's /24 and not
// the adapter itself. The text says why not; empty when it may be used.
std::string CheckTarget(const std::string& target, const std::string& ownAddress);

struct TargetPlan {
    std::vector<std::string> toUpgrade;       // ascending by address
    std::vector<CollectorResult> settled;     // refused, up to date or not found
    std::vector<CollectorResult> toUpgradeAs; // the same order as toUpgrade: serial, version
};

// `targets` empty means every collector of the field.
TargetPlan PlanTargets(const FieldTable& field, const std::vector<std::string>& targets,
                       const FirmwareImage& image);

} // namespace fleet
