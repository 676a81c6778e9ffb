#pragma once

// Deciding, before anything is sent, which collectors a run upgrades: the
// adapter to work on, and per target the window's refusals from a fresh sweep.

#include "fleet/run/field_table.h"
#include "fleet/run/fleet_report.h"
#include "fleet/run/sweep_scope.h"
#include "fleet/session/firmware_image.h"
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

// A collector the run expects to find: its serial (raw GBK), and where the
// list gave one, the address it is pinned to.
struct ExpectedCollector {
    std::string serial;
    std::optional<std::string> address;
    bool operator==(const ExpectedCollector&) const = default;
};

// The collectors a run expects (--expect, the fleet window's expected list).
struct Expectation {
    std::vector<ExpectedCollector> collectors; // each serial once, each address once
    // Collectors found but not listed are left alone instead of upgraded.
    bool onlyExpected = false;
};

// The expected collectors that did not answer the sweep, in the list's
// order. This is the one place where a run decides that an expected
// collector is not found.
std::vector<ExpectedCollector> MissingExpected(const FieldTable& field,
                                               const std::vector<ExpectedCollector>& expected);

struct TargetPlan {
    // Ascending by address within each part of the scope, the parts in order.
    std::vector<std::string> toUpgrade;
    std::vector<CollectorResult> settled;     // refused, current, conflicting or not found
    std::vector<CollectorResult> toUpgradeAs; // the same order as toUpgrade: serial, version
    std::optional<ExpectedCounts> expected;   // set when the run had an expected list
};

// `targets` empty means every collector of the field; `excluded` addresses
// are left out either way. A named target outside the sweep scope is
// planned "not in subnet" and never touched; one pinned to a serial that
// another serial answers for is planned "not found" and never touched.
//
// With an expected list, each listed address is pinned to its serial as a
// target would be; a collector found but not listed is planned "unexpected"
// (upgraded, or with onlyExpected left alone); and each listed serial that
// did not answer the sweep gets a row of its own, outcome "not found"
// (its pinned address, or none).
TargetPlan PlanTargets(const FieldTable& field, const std::vector<PinnedTarget>& targets,
                       const std::vector<std::string>& excluded, const FirmwareImage& image,
                       const SweepScope& scope, const Expectation* expected = nullptr);

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

// An expected list: one serial a line, "IP=SERIAL" lines that also pin the
// address, or the CSV that `discover --format csv` writes (its header names
// a "serial" column; an "ip" column pins each address where its cell is
// not empty). Serials are UTF-8 here, raw GBK in the result. Blank lines
// and lines starting with # are skipped; a serial listed twice with the
// same address counts once. The text names the first bad line: no serial,
// a bad address, a serial listed at two addresses, an address listed for
// two serials, or a list that names no collector.
std::variant<std::vector<ExpectedCollector>, std::string>
ParseExpectedList(const std::string& text);

} // namespace fleet
