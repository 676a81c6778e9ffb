#include "fleet/fleet_report.h"

#include "platform/gbk.h"
#include "protocol/hex.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iomanip>

namespace fleet {

namespace {

// Display width of UTF-8 text, counting a CJK character as two columns.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        columns += c >= 0xE0 ? 2 : 1;
    }
    return columns;
}

} // namespace

void PrintRows(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths.resize(std::max(widths.size(), row.size()));
            widths[c] = std::max(widths[c], Columns(row[c]));
        }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size())
                line += std::string(widths[c] - Columns(row[c]) + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    }
}

namespace {

// A CSV field, quoted when it holds a separator, a quote or a line break.
std::string Csv(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos)
        return field;
    std::string quoted = "\"";
    for (const char c : field)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

const char* ResultName(ResultKind kind) {
    switch (kind) {
    case ResultKind::Upgraded:
        return "ok";
    case ResultKind::UpToDate:
        return "up-to-date";
    case ResultKind::Refused:
        return "refused";
    case ResultKind::Failed:
        return "failed";
    case ResultKind::NotStarted:
        return "not-started";
    }
    return "?";
}

int ExitStatusFor(const std::vector<CollectorResult>& results) {
    bool upgraded = false;
    for (const auto& result : results) {
        if (result.result == ResultKind::Upgraded)
            upgraded = true;
        else if (result.result != ResultKind::UpToDate)
            return kExitSomeNotUpgraded;
    }
    return upgraded ? kExitAllUpgraded : kExitNothingToDo;
}

void PrintResultTable(std::ostream& out, const std::vector<CollectorResult>& results) {
    std::vector<std::vector<std::string>> rows = {
        {"IP", "serial", "before", "after", "result", "passes", "resent", "seconds", "reason"}};
    for (const auto& r : results) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
        rows.push_back(
            {r.address, platform::GbkToUtf8(r.serial), platform::GbkToUtf8(r.versionBefore),
             r.versionAfter ? platform::GbkToUtf8(*r.versionAfter) : "-", ResultName(r.result),
             std::to_string(r.passes), std::to_string(r.blocksResent), seconds,
             r.reason.empty() ? "-" : r.reason});
    }
    PrintRows(out, rows);
}

std::string ReportJson(const FirmwareImage& image, const std::vector<CollectorResult>& results,
                       double upgradeSeconds) {
    nlohmann::ordered_json report;
    report["image"] = {{"name", image.fileName},
                       {"version", image.versionText},
                       {"size", image.sizeBytes},
                       {"blocks", image.blockCount}};
    report["upgrade_seconds"] = std::round(upgradeSeconds * 1000) / 1000;
    report["collectors"] = nlohmann::ordered_json::array();
    for (const auto& r : results) {
        nlohmann::ordered_json entry = {
            {"ip", r.address},
            {"serial", platform::GbkToUtf8(r.serial)},
            {"serial_hex", protocol::HexEncode(r.serial)},
            {"version_before", platform::GbkToUtf8(r.versionBefore)},
            {"version_before_hex", protocol::HexEncode(r.versionBefore)},
            {"version_after", r.versionAfter
                                  ? nlohmann::ordered_json(platform::GbkToUtf8(*r.versionAfter))
                                  : nlohmann::ordered_json(nullptr)},
            {"result", ResultName(r.result)},
            {"reason", r.reason},
            {"passes", r.passes},
            {"blocks_resent", r.blocksResent},
            {"seconds", std::round(r.seconds * 1000) / 1000},
        };
        report["collectors"].push_back(entry);
    }
    return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

void PrintField(std::ostream& out, const std::vector<FieldEntry>& field, ListFormat format) {
    if (format == ListFormat::Json) {
        auto list = nlohmann::ordered_json::array();
        for (const auto& e : field)
            list.push_back({{"ip", e.address},
                            {"serial", platform::GbkToUtf8(e.serial)},
                            {"serial_hex", protocol::HexEncode(e.serial)},
                            {"version", platform::GbkToUtf8(e.version)},
                            {"version_hex", protocol::HexEncode(e.version)}});
        out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
        return;
    }
    if (format == ListFormat::Csv) {
        out << "serial,ip,version\n";
        for (const auto& e : field)
            out << Csv(platform::GbkToUtf8(e.serial)) << "," << e.address << ","
                << Csv(platform::GbkToUtf8(e.version)) << "\n";
        return;
    }
    std::vector<std::vector<std::string>> rows = {{"serial", "IP", "version"}};
    for (const auto& e : field)
        rows.push_back({platform::GbkToUtf8(e.serial), e.address, platform::GbkToUtf8(e.version)});
    PrintRows(out, rows);
}

} // namespace fleet
