#include "fleet/fleet_report.h"

#include "platform/gbk.h"
#include "protocol/hex.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

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

std::string CsvField(const std::string& field) {
    // Serials and versions come from the network: a cell a spreadsheet would
    // take for a formula is kept as text by a leading apostrophe.
    const bool formulaLike =
        !field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos;
    const std::string cell = formulaLike ? "'" + field : field;
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (const char c : cell)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

const char* PlanName(PlanKind kind) {
    switch (kind) {
    case PlanKind::Upgrade:
        return "upgrade";
    case PlanKind::AlreadyCurrent:
        return "already_current";
    case PlanKind::RefusedV:
        return "refused_v";
    case PlanKind::NotInSubnet:
        return "not_in_subnet";
    case PlanKind::AddressConflict:
        return "address_conflict";
    case PlanKind::NotFound:
        return "not_found";
    case PlanKind::Unexpected:
        return "unexpected";
    }
    return "?";
}

const char* ResultName(ResultKind kind) {
    switch (kind) {
    case ResultKind::Upgraded:
        return "upgraded";
    case ResultKind::NotVerified:
        return "not_verified";
    case ResultKind::Refused:
        return "refused";
    case ResultKind::AlreadyCurrent:
        return "already_current";
    case ResultKind::Failed:
        return "failed";
    case ResultKind::Interrupted:
        return "interrupted";
    case ResultKind::Conflict:
        return "conflict";
    case ResultKind::NotStarted:
        return "not_started";
    case ResultKind::Planned:
        return "planned";
    case ResultKind::InProgress:
        return "in_progress";
    case ResultKind::NotFound:
        return "not_found";
    }
    return "?";
}

bool LeftAloneAsUnexpected(const CollectorResult& result) {
    return result.plan == PlanKind::Unexpected && result.result == ResultKind::NotStarted &&
           result.reasonCode == kNotExpectedCode;
}

std::string ExpectedCountsText(const ExpectedCounts& counts) {
    return "expected " + std::to_string(counts.expected) + ", found " +
           std::to_string(counts.found) + ", missing " + std::to_string(counts.missing);
}

int ExitStatusFor(const std::vector<CollectorResult>& results, bool dryRun) {
    if (results.empty())
        return kExitSomeNotUpgraded;
    // A dry run's planned upgrade stands for the upgrade it predicts.
    const ResultKind done = dryRun ? ResultKind::Planned : ResultKind::Upgraded;
    bool upgraded = false;
    for (const auto& result : results) {
        if (result.result == done)
            upgraded = true;
        else if (result.result != ResultKind::AlreadyCurrent && !LeftAloneAsUnexpected(result))
            return kExitSomeNotUpgraded;
    }
    return upgraded ? kExitAllUpgraded : kExitNothingToDo;
}

const char* ToolVersion() {
    return COLLECTOR_FLEET_VERSION;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const std::tm* utc = std::gmtime(&seconds); // one thread writes reports
    char text[32] = {};
    if (utc != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

void PrintResultTable(std::ostream& out, const std::vector<CollectorResult>& results) {
    std::vector<std::vector<std::string>> rows = {{"IP", "serial", "before", "after", "outcome",
                                                   "stage", "passes", "sent", "resent", "seconds",
                                                   "reason"}};
    for (const auto& r : results) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
        rows.push_back(
            {r.address, platform::GbkToUtf8(r.serial), platform::GbkToUtf8(r.versionBefore),
             r.versionAfter ? platform::GbkToUtf8(*r.versionAfter) : "-", ResultName(r.result),
             r.stage, std::to_string(r.passes), std::to_string(r.blocksSent),
             std::to_string(r.blocksResent), seconds, r.reason.empty() ? "-" : r.reason});
    }
    PrintRows(out, rows);
}

std::string CollectorJsonLine(const CollectorResult& r) {
    using Json = nlohmann::ordered_json;
    const Json entry = {
        {"ip", r.address},
        {"serial", platform::GbkToUtf8(r.serial)},
        {"serial_hex", protocol::HexEncode(r.serial)},
        {"version_before", platform::GbkToUtf8(r.versionBefore)},
        {"version_before_hex", protocol::HexEncode(r.versionBefore)},
        {"version_after",
         r.versionAfter ? Json(platform::GbkToUtf8(*r.versionAfter)) : Json(nullptr)},
        {"plan", PlanName(r.plan)},
        {"outcome", ResultName(r.result)},
        {"reason", r.reasonCode},
        {"detail", r.reason},
        {"stage", r.stage},
        {"passes", r.passes},
        {"blocks_sent", r.blocksSent},
        {"blocks_resent", r.blocksResent},
        {"resend_outside_image", r.resendOutsideImage},
        {"seconds", std::round(r.seconds * 1000) / 1000},
        {"started", r.started ? Json(*r.started) : Json(nullptr)},
        {"ended", r.ended ? Json(*r.ended) : Json(nullptr)},
        {"verified", r.verified},
    };
    return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ReportJson(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<std::string>& collectorLines) {
    using Json = nlohmann::ordered_json;
    const auto orNull = [](const std::optional<std::size_t>& value) {
        return value ? Json(*value) : Json(nullptr);
    };
    Json report;
    report["schema_version"] = kReportSchemaVersion;
    report["tool"] = {{"name", "collector-fleet"}, {"version", ToolVersion()}};
    report["host"] = run.hostName;
    report["adapter"] = {
        {"name", run.adapterName}, {"address", run.adapterAddress}, {"prefix", run.adapterPrefix}};
    report["image"] = {{"name", image.fileName},
                       {"version", image.versionText},
                       {"size", image.sizeBytes},
                       {"blocks", image.blockCount},
                       {"sha256", run.imageSha256}};
    report["dry_run"] = run.dryRun;
    report["options"] = {{"canary", run.options.canary},
                         {"parallel", orNull(run.options.parallel)},
                         {"max_failures", orNull(run.options.maxFailures)},
                         {"verify", run.options.verify},
                         {"verify_timeout_seconds", run.options.verifyTimeoutSeconds}};
    report["interrupted"] = run.interrupted;
    report["started"] = run.started;
    report["ended"] = run.ended ? Json(*run.ended) : Json(nullptr);
    report["exit_status"] = run.exitStatus ? Json(*run.exitStatus) : Json(nullptr);
    report["upgrade_seconds"] =
        run.upgradeSeconds ? Json(std::round(*run.upgradeSeconds * 1000) / 1000) : Json(nullptr);
    if (run.expected) {
        report["expected"] = run.expected->expected;
        report["found"] = run.expected->found;
        report["missing"] = run.expected->missing;
    }
    report["collectors"] = Json::array();
    // The head ends in `"collectors": []` and the closing brace; the lines go in between.
    std::string text = report.dump(2, ' ', false, Json::error_handler_t::replace);
    text.erase(text.rfind("[]"));
    text += "[";
    const char* separator = "\n    ";
    for (const auto& line : collectorLines) {
        text += separator;
        text += line;
        separator = ",\n    ";
    }
    return text + (collectorLines.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string ReportJson(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<CollectorResult>& results) {
    std::vector<std::string> lines;
    for (const auto& r : results)
        lines.push_back(CollectorJsonLine(r));
    return ReportJson(run, image, lines);
}

void PrintField(std::ostream& out, const std::vector<FieldEntry>& field, ListFormat format) {
    if (format == ListFormat::Json) {
        auto list = nlohmann::ordered_json::array();
        for (const auto& e : field) {
            auto others = nlohmann::ordered_json::array();
            for (const auto& serial : e.otherSerials)
                others.push_back(platform::GbkToUtf8(serial));
            list.push_back({{"ip", e.address},
                            {"serial", platform::GbkToUtf8(e.serial)},
                            {"serial_hex", protocol::HexEncode(e.serial)},
                            {"version", platform::GbkToUtf8(e.version)},
                            {"version_hex", protocol::HexEncode(e.version)},
                            {"conflict", e.conflict},
                            {"other_serials", others}});
        }
        out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
        return;
    }
    if (format == ListFormat::Csv) {
        // The address first: a target file can be this listing as it is.
        out << "ip,serial,version\n";
        for (const auto& e : field)
            out << e.address << "," << CsvField(platform::GbkToUtf8(e.serial)) << ","
                << CsvField(platform::GbkToUtf8(e.version)) << "\n";
        return;
    }
    std::vector<std::vector<std::string>> rows = {{"serial", "IP", "version", ""}};
    for (const auto& e : field) {
        std::string note;
        if (e.conflict) {
            note = "address conflict: also answered as";
            for (const auto& serial : e.otherSerials)
                note += " " + platform::GbkToUtf8(serial);
        }
        rows.push_back(
            {platform::GbkToUtf8(e.serial), e.address, platform::GbkToUtf8(e.version), note});
    }
    PrintRows(out, rows);
}

} // namespace fleet
