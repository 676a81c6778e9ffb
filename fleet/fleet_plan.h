#pragma once

// Deciding, before anything is sent, which collectors a run upgrades: the
// adapter to work on, and per target the window's refusals from a fresh sweep.

#include "fleet/field_table.h"
#include "fleet/firmware_image.h"
#include "fleet/fleet_report.h"
#include "fleet/sweep_scope.h"
#include "platform/network_adapters.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace fleet {

// The adapter named by interface name or by address; with neither, the only
// non-loopback adapter. The text explains a failed choice.
std::variant<platform::NetworkAdapter, std::string>
ChooseAdapter(const std::vector<platform::NetworkAdapter>& adapters,
              const std::string& interfaceName, const std::string& address);

// A target given by the operator must be a host of the sweep scope and not the
// adapter itself. The text says why not; empty when it may be used.
std::string CheckTarget(const std::string& target, const SweepScope& scope);

// A target by address, and the serial the operator saw answer from it (raw
// GBK, as the sweep holds it). With a serial, the run leaves the address
// alone unless that same collector still answers there.
struct PinnedTarget {
    std::string address;
    std::optional<std::string> serial;
};

// Targets named by address alone.
std::vector<PinnedTarget> Unpinned(const std::vector<std::string>& addresses);

struct TargetPlan {
    std::vector<std::string> toUpgrade;       // ascending by address
    std::vector<CollectorResult> settled;     // refused, current, conflicting or not found
    std::vector<CollectorResult> toUpgradeAs; // the same order as toUpgrade: serial, version
};

// `targets` empty means every collector of the field; `excluded` addresses
// are left out either way. A named target outside the sweep scope is
// planned "not in subnet" and never touched; one pinned to a serial that
// another serial answers for is planned "not found" and never touched.
TargetPlan PlanTargets(const FieldTable& field, const std::vector<PinnedTarget>& targets,
                       const std::vector<std::string>& excluded, const FirmwareImage& image,
                       const SweepScope& scope);

// A --target argument: "IP", or "IP=SERIAL" pinning the address to the
// serial (UTF-8 here, raw GBK in the result). The text says what is wrong.
std::variant<PinnedTarget, std::string> ParseTargetArgument(const std::string& text);

// The targets of a target file: one IPv4 address a line, unpinned, or the
// CSV that `discover --format csv` writes (its header names the "ip" column;
// a "serial" column pins each address to its serial, an empty cell leaves it
// unpinned). Cells may be quoted ("" for a quote inside), and a serial cell
// written with an apostrophe before a leading =, +, -, @, tab or CR (which
// keeps spreadsheets from reading it as a formula) is read without it. Blank
// lines and lines starting with # are skipped. The text is the first line
// that is neither, with its number.
std::variant<std::vector<PinnedTarget>, std::string> ParseTargetFile(const std::string& text);

} // namespace fleet
