#include "fleet/run/fleet_plan.h"

#include "fleet/run/ipv4_address.h"
#include "platform/gbk.h"
#include "protocol/version_class.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>

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
    if (scope.IsOwn(target))
        return target + " is this computer's own address";
    if (!scope.Contains(target))
        return target + " lies outside " + scope.Subnet() +
               (scope.Parts().size() > 1 ? ", the subnets of this run"
                                         : ", the chosen adapter's subnet");
    return {};
}

std::vector<PinnedTarget> Unpinned(const std::vector<std::string>& addresses) {
    std::vector<PinnedTarget> targets;
    for (const auto& address : addresses)
        targets.push_back({address, std::nullopt});
    return targets;
}

std::vector<ExpectedCollector> MissingExpected(const FieldTable& field,
                                               const std::vector<ExpectedCollector>& expected) {
    // Every serial that answered, from any address, conflicts included.
    std::set<std::string> answered;
    for (const auto& entry : field.SortedByAddress()) {
        answered.insert(entry.serial);
        answered.insert(entry.otherSerials.begin(), entry.otherSerials.end());
    }
    std::vector<ExpectedCollector> missing;
    for (const auto& collector : expected)
        if (answered.count(collector.serial) == 0)
            missing.push_back(collector);
    return missing;
}

TargetPlan PlanTargets(const FieldTable& field, const std::vector<PinnedTarget>& targets,
                       const std::vector<std::string>& excluded, const FirmwareImage& image,
                       const SweepScope& scope, const Expectation* expected) {
    std::vector<PinnedTarget> pinned = targets;
    if (pinned.empty())
        for (const auto& entry : field.SortedByAddress())
            pinned.push_back({entry.address, std::nullopt});
    // The expected list pins its addresses as a target file does.
    std::set<std::string> expectedSerials;
    if (expected != nullptr) {
        std::map<std::string, std::string> pins;
        for (const auto& collector : expected->collectors) {
            expectedSerials.insert(collector.serial);
            if (collector.address)
                pins.emplace(*collector.address, collector.serial);
        }
        for (auto& target : pinned)
            if (const auto pin = pins.find(target.address); pin != pins.end() && !target.serial)
                target.serial = pin->second;
    }
    // Address order, each address once (the first pin named for it counts);
    // the scope's parts in their order first, so that the canary comes from
    // the first adapter that has a target.
    const auto partIndex = [&scope](const std::string& address) {
        const auto* part = scope.PartOf(address);
        return part == nullptr ? scope.Parts().size()
                               : static_cast<std::size_t>(part - scope.Parts().data());
    };
    std::stable_sort(pinned.begin(), pinned.end(), [&](const auto& a, const auto& b) {
        const auto x = partIndex(a.address), y = partIndex(b.address);
        return x != y ? x < y : AddressLess(a.address, b.address);
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
        if (const auto* part = scope.PartOf(address))
            result.adapter = part->adapter;
        const auto settle = [&](PlanKind kind, ResultKind outcome, Reason code,
                                std::string reason) {
            result.plan = kind;
            result.result = outcome;
            result.reasonCode = ReasonName(code);
            result.reason = std::move(reason);
            plan.settled.push_back(result);
        };
        if (!CheckTarget(address, scope).empty()) {
            settle(PlanKind::NotInSubnet, ResultKind::NotStarted, Reason::NotInSubnet,
                   CheckTarget(address, scope));
            continue;
        }
        const FieldEntry* found = field.Find(address);
        if (found == nullptr) {
            settle(PlanKind::NotFound, ResultKind::Failed, Reason::NoSweepReply,
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
            settle(PlanKind::AddressConflict, ResultKind::Conflict, Reason::AddressConflict,
                   "several collectors answer from this address (" + serials + ")");
        } else if (!found->alsoAt.empty()) {
            std::string addresses;
            for (const auto& other : found->alsoAt)
                addresses += (addresses.empty() ? "" : ", ") + other;
            settle(PlanKind::AddressConflict, ResultKind::Conflict, Reason::SerialOnTwoAdapters,
                   "its serial answers on another adapter too (" + addresses +
                       "): neither is upgraded");
        } else if (target.serial && *target.serial != found->serial) {
            settle(PlanKind::NotFound, ResultKind::NotStarted, Reason::SerialMismatch,
                   "the collector at " + address + " answered with serial " +
                       platform::GbkToUtf8(found->serial) + ", not " +
                       platform::GbkToUtf8(*target.serial));
        } else if (versionClass == protocol::VersionClass::V) {
            settle(PlanKind::RefusedV, ResultKind::Refused, Reason::VersionV,
                   "version \"" + platform::GbkToUtf8(found->version) +
                       "\" is not compatible: use the older upgrade program");
        } else if (versionClass != protocol::VersionClass::S) {
            settle(PlanKind::RefusedV, ResultKind::Refused, Reason::VersionNotS,
                   "version \"" + platform::GbkToUtf8(found->version) +
                       "\" does not begin with S: cannot be upgraded");
        } else {
            const bool unexpected =
                expected != nullptr && expectedSerials.count(found->serial) == 0;
            if (found->version == image.versionAsReported) {
                result.versionAfter = found->version;
                settle(unexpected ? PlanKind::Unexpected : PlanKind::AlreadyCurrent,
                       ResultKind::AlreadyCurrent, Reason::AlreadyCurrent,
                       "already runs this version");
            } else if (unexpected && expected->onlyExpected) {
                settle(PlanKind::Unexpected, ResultKind::NotStarted, Reason::Unexpected,
                       "not in the expected list: left alone (only expected collectors are "
                       "upgraded)");
            } else {
                result.plan = unexpected ? PlanKind::Unexpected : PlanKind::Upgrade;
                plan.toUpgrade.push_back(address);
                plan.toUpgradeAs.push_back(result);
            }
        }
    }
    if (expected != nullptr) {
        const auto missing = MissingExpected(field, expected->collectors);
        for (const auto& collector : missing) {
            CollectorResult result;
            result.address = collector.address.value_or("");
            result.serial = collector.serial;
            result.plan = PlanKind::NotFound;
            result.result = ResultKind::NotFound;
            result.reasonCode = ReasonName(Reason::NoSweepReply);
            result.reason = "expected, but did not answer the sweep";
            plan.settled.push_back(std::move(result));
        }
        plan.expected =
            ExpectedCounts{expected->collectors.size(),
                           expected->collectors.size() - missing.size(), missing.size()};
    }
    return plan;
}

std::variant<PinnedTarget, std::string> ParseTargetArgument(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        return PinnedTarget{text, std::nullopt};
    const std::string serial = text.substr(equals + 1);
    if (serial.empty())
        return "\"" + text + "\" names no serial after \"=\"";
    return PinnedTarget{text.substr(0, equals), platform::Utf8ToGbk(serial)};
}

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The cells of one CSV record from `at` on, each trimmed of blanks; a quoted
// cell may hold commas, doubled quotes and line breaks. `at` moves past the
// record's line break, `lines` counts the line breaks passed.
std::vector<std::string> ReadCsvRecord(const std::string& text, std::size_t& at,
                                       std::size_t& lines) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (c == '\n')
            ++lines;
        if (quoted) {
            if (c != '"')
                cells.back() += c;
            else if (at < text.size() && text[at] == '"')
                cells.back() += text[at++];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells.emplace_back();
        } else if (c == '\n') {
            break;
        } else {
            cells.back() += c;
        }
    }
    for (auto& cell : cells)
        cell = Trimmed(cell);
    return cells;
}

// One record of a target file or expected list that is not blank or a #
// comment: its CSV cells, its first line's number, that line trimmed, and the
// whole record's text trimmed.
struct ListRecord {
    std::vector<std::string> cells;
    std::size_t firstLine = 0;
    std::string line, text;
};

// Hands each record of `text` to `take`, which returns an error to stop.
std::optional<std::string>
ForEachListRecord(const std::string& text,
                  const std::function<std::optional<std::string>(const ListRecord&)>& take) {
    std::size_t lineNumber = 0, at = 0;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        at = 3; // a byte-order mark from a Windows editor
    while (at < text.size()) {
        const std::size_t lineStart = at;
        ListRecord record;
        record.firstLine = lineNumber + 1;
        std::size_t lineEnd = text.find('\n', at);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        record.line = Trimmed(text.substr(at, lineEnd - at));
        if (record.line.empty() || record.line[0] == '#') {
            at = lineEnd + 1;
            ++lineNumber;
            continue;
        }
        record.cells = ReadCsvRecord(text, at, lineNumber);
        record.text = Trimmed(text.substr(lineStart, at - lineStart));
        if (auto error = take(record))
            return error;
    }
    return std::nullopt;
}

} // namespace

std::variant<std::vector<PinnedTarget>, std::string> ParseTargetFile(const std::string& text) {
    std::vector<PinnedTarget> targets;
    // Set by a CSV header.
    std::optional<std::size_t> ipColumn, serialColumn;
    const auto error =
        ForEachListRecord(text, [&](const ListRecord& record) -> std::optional<std::string> {
            const auto& cells = record.cells;
            if (!ipColumn && targets.empty() && cells.size() > 1) {
                const auto ip = std::find(cells.begin(), cells.end(), "ip");
                if (ip != cells.end()) {
                    ipColumn = static_cast<std::size_t>(ip - cells.begin());
                    const auto serial = std::find(cells.begin(), cells.end(), "serial");
                    if (serial != cells.end())
                        serialColumn = static_cast<std::size_t>(serial - cells.begin());
                    return std::nullopt;
                }
            }
            const std::size_t column = ipColumn.value_or(0);
            const std::string address = column < cells.size() ? cells[column] : std::string();
            if (!CheckedSubnetPrefix(address))
                return "line " + std::to_string(record.firstLine) + ": \"" + record.text +
                       "\" does not hold an IPv4 address";
            PinnedTarget target{address, std::nullopt};
            if (serialColumn && *serialColumn < cells.size() && !cells[*serialColumn].empty()) {
                const SerialCell serial = ReadSerialCell(cells[*serialColumn], record.firstLine);
                if (!serial.error.empty())
                    return serial.error;
                target.serial = platform::Utf8ToGbk(serial.serial);
            }
            targets.push_back(std::move(target));
            return std::nullopt;
        });
    if (error)
        return *error;
    return targets;
}

std::variant<std::vector<ExpectedCollector>, std::string>
ParseExpectedList(const std::string& text) {
    std::vector<ExpectedCollector> list;
    std::map<std::string, std::size_t> indexOfSerial; // raw serial -> its index in `list`
    std::map<std::string, std::string> serialAt;      // address -> raw serial
    // Set by a CSV header.
    std::optional<std::size_t> serialColumn, ipColumn;
    const auto error =
        ForEachListRecord(text, [&](const ListRecord& record) -> std::optional<std::string> {
            const auto& cells = record.cells;
            const std::string& line = record.line;
            const std::size_t firstLine = record.firstLine;
            const auto bad = [&](const std::string& why) {
                return "line " + std::to_string(firstLine) + ": \"" + record.text + "\" " + why;
            };
            if (!serialColumn && list.empty()) {
                const auto serial = std::find(cells.begin(), cells.end(), "serial");
                if (serial != cells.end()) {
                    serialColumn = static_cast<std::size_t>(serial - cells.begin());
                    const auto ip = std::find(cells.begin(), cells.end(), "ip");
                    if (ip != cells.end())
                        ipColumn = static_cast<std::size_t>(ip - cells.begin());
                    return std::nullopt;
                }
            }
            ExpectedCollector collector;
            std::string serial, address;
            if (serialColumn) {
                serial = *serialColumn < cells.size() ? cells[*serialColumn] : "";
                address = ipColumn && *ipColumn < cells.size() ? cells[*ipColumn] : "";
            } else if (const auto equals = line.find('='); equals != std::string::npos) {
                address = Trimmed(line.substr(0, equals));
                serial = Trimmed(line.substr(equals + 1));
                if (address.empty())
                    return bad("names no address before \"=\"");
            } else {
                serial = line;
            }
            if (!address.empty() && !CheckedSubnetPrefix(address))
                return bad("does not hold an IPv4 address before its serial");
            if (serial.empty())
                return bad("names no serial");
            // Whatever its form, the list may have passed through a spreadsheet.
            const SerialCell cell = ReadSerialCell(serial, firstLine);
            if (!cell.error.empty())
                return cell.error;
            serial = cell.serial;
            if (!serialColumn && CheckedSubnetPrefix(serial))
                return bad("is an address, not a serial (write IP=SERIAL to pin one)");
            collector.serial = platform::Utf8ToGbk(serial);
            if (!address.empty())
                collector.address = address;
            if (const auto seen = indexOfSerial.find(collector.serial);
                seen != indexOfSerial.end()) {
                ExpectedCollector& earlier = list[seen->second];
                if (collector.address && earlier.address && *collector.address != *earlier.address)
                    return bad("lists serial " + serial + " again, at another address (" +
                               *earlier.address + ")");
                if (collector.address && !earlier.address) {
                    if (serialAt.count(*collector.address) != 0)
                        return bad("lists address " + *collector.address + " for a second serial");
                    earlier.address = collector.address;
                    serialAt[*collector.address] = collector.serial;
                }
                return std::nullopt;
            }
            if (collector.address) {
                if (const auto other = serialAt.find(*collector.address); other != serialAt.end())
                    return bad("lists address " + *collector.address + " for a second serial (" +
                               platform::GbkToUtf8(other->second) + ")");
                serialAt[*collector.address] = collector.serial;
            }
            indexOfSerial[collector.serial] = list.size();
            list.push_back(std::move(collector));
            return std::nullopt;
        });
    if (error)
        return *error;
    if (list.empty())
        return std::string("names no collector");
    return list;
}

} // namespace fleet
