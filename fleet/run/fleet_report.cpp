#include "fleet/run/fleet_report.h"

#include "platform/gbk.h"
#include "protocol/hex.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <regex>
#include <string_view>
#include <type_traits>

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

std::string SerialCsvField(const std::string& utf8Serial) {
    // The apostrophe, not a formula such as ="0012345": a formula in a file
    // read from elsewhere is what spreadsheets warn about (and what CsvField
    // keeps out), while a leading apostrophe is the text prefix they all
    // honour, and one that a program reading the file back can remove.
    // A serial that begins with an apostrophe gets one more, as the reader
    // takes a leading apostrophe for the guard.
    const bool guarded =
        !utf8Serial.empty() &&
        (std::isdigit(static_cast<unsigned char>(utf8Serial[0])) || utf8Serial[0] == '\'');
    return CsvField(guarded ? "'" + utf8Serial : utf8Serial);
}

SerialCell ReadSerialCell(const std::string& cell, std::size_t lineNumber) {
    // The guard goes, whether the spreadsheet kept it or not; a serial with
    // leading zeros that lost its guard in a save is still as it was written.
    const std::string serial = !cell.empty() && cell[0] == '\'' ? cell.substr(1) : cell;
    // A spreadsheet that took a long serial for a number saves it in exponent
    // form, its digits gone: "1.23E+15".
    static const std::regex exponentForm("[0-9]+(\\.[0-9]*)?[eE][+-]?[0-9]+");
    if (serial.size() == cell.size() && std::regex_match(serial, exponentForm))
        return {{},
                "line " + std::to_string(lineNumber) + ": the serial \"" + serial +
                    "\" is a number in exponent form, as a spreadsheet saves a long serial it "
                    "took for a number; its digits are lost. Write the serials as text (the "
                    "discover CSV's apostrophe keeps them so)"};
    return {serial, {}};
}

bool LeftAloneAsUnexpected(const CollectorResult& result) {
    return result.plan == PlanKind::Unexpected && result.result == ResultKind::NotStarted &&
           result.reasonCode == ReasonName(Reason::Unexpected);
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

namespace {

using OrderedJson = nlohmann::ordered_json;

OrderedJson CollectorJson(const CollectorResult& r) {
    using Json = OrderedJson;
    return {
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
        {"adapter", r.adapter},
    };
}

// --- reading back: every field optional, a wrong type read as absent

const nlohmann::json* Field(const nlohmann::json& object, const char* name) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> TextOf(const nlohmann::json& object, const char* name) {
    const auto* value = Field(object, name);
    if (value == nullptr || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

std::string Text(const nlohmann::json& object, const char* name) {
    return TextOf(object, name).value_or("");
}

template <typename Number>
std::optional<Number> NumberOf(const nlohmann::json& object, const char* name) {
    const auto* value = Field(object, name);
    if (value == nullptr)
        return std::nullopt;
    if constexpr (std::is_floating_point_v<Number>) {
        if (value->is_number())
            return value->get<Number>();
    } else if (std::is_unsigned_v<Number> ? value->is_number_unsigned()
                                          : value->is_number_integer()) {
        return value->get<Number>();
    }
    return std::nullopt;
}

bool Flag(const nlohmann::json& object, const char* name) {
    const auto* value = Field(object, name);
    return value != nullptr && value->is_boolean() && value->get<bool>();
}

// Raw bytes from a hex field when it holds them; else the UTF-8 text in GBK.
std::string NetworkText(const nlohmann::json& object, const char* name, const char* hexName) {
    const std::string hex = Text(object, hexName);
    std::string bytes;
    bool valid = hex.size() % 2 == 0;
    for (std::size_t i = 0; valid && i < hex.size(); i += 2) {
        unsigned value = 0;
        valid = std::sscanf(hex.c_str() + i, "%2x", &value) == 1 &&
                std::isxdigit(static_cast<unsigned char>(hex[i + 1]));
        bytes += static_cast<char>(value);
    }
    if (valid && !hex.empty())
        return bytes;
    return platform::Utf8ToGbk(Text(object, name));
}

template <typename Kind, typename Namer>
std::optional<Kind> KindNamed(const std::string& name, Namer namer, int count) {
    for (int i = 0; i < count; ++i)
        if (name == namer(static_cast<Kind>(i)))
            return static_cast<Kind>(i);
    return std::nullopt;
}

std::optional<CollectorResult> ReadCollector(const nlohmann::json& c) {
    const auto address = TextOf(c, "ip");
    const auto outcome = KindNamed<ResultKind>(Text(c, "outcome"), ResultName, kResultKindCount);
    if (!address || !outcome)
        return std::nullopt;
    CollectorResult r;
    r.address = *address;
    r.serial = NetworkText(c, "serial", "serial_hex");
    r.versionBefore = NetworkText(c, "version_before", "version_before_hex");
    if (const auto after = TextOf(c, "version_after"))
        r.versionAfter = platform::Utf8ToGbk(*after);
    r.plan =
        KindNamed<PlanKind>(Text(c, "plan"), PlanName, kPlanKindCount).value_or(PlanKind::Upgrade);
    r.result = *outcome;
    r.reasonCode = Text(c, "reason");
    r.reason = Text(c, "detail");
    r.stage = Text(c, "stage");
    r.passes = NumberOf<int>(c, "passes").value_or(0);
    r.blocksSent = NumberOf<std::size_t>(c, "blocks_sent").value_or(0);
    r.blocksResent = NumberOf<std::size_t>(c, "blocks_resent").value_or(0);
    r.resendOutsideImage = NumberOf<std::size_t>(c, "resend_outside_image").value_or(0);
    r.seconds = NumberOf<double>(c, "seconds").value_or(0);
    r.started = TextOf(c, "started");
    r.ended = TextOf(c, "ended");
    r.verified = Flag(c, "verified");
    r.adapter = Text(c, "adapter");
    return r;
}

} // namespace

std::string CollectorJsonLine(const CollectorResult& r) {
    return CollectorJson(r).dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

ReportImage ImageOfReport(const FirmwareImage& image) {
    return {image.fileName, image.versionText, image.sizeBytes, image.blockCount};
}

std::string ReportJson(const RunInfo& run, const ReportImage& image,
                       const std::vector<std::string>& collectorLines,
                       const std::string& toolVersion) {
    using Json = OrderedJson;
    const auto orNull = [](const std::optional<std::size_t>& value) {
        return value ? Json(*value) : Json(nullptr);
    };
    Json report;
    report["schema_version"] = kReportSchemaVersion;
    report["tool"] = {{"name", "collector-fleet"}, {"version", toolVersion}};
    report["host"] = run.hostName;
    report["adapter"] = {
        {"name", run.adapterName}, {"address", run.adapterAddress}, {"prefix", run.adapterPrefix}};
    report["adapters"] = Json::array();
    for (const auto& adapter : run.adapters)
        report["adapters"].push_back({{"name", adapter.name},
                                      {"address", adapter.address},
                                      {"prefix", adapter.prefix},
                                      {"subnets", adapter.subnets}});
    report["image"] = {{"name", image.name},
                       {"version", image.version},
                       {"size", image.size},
                       {"blocks", image.blocks},
                       {"sha256", run.imageSha256},
                       {"signature", run.imageSignature
                                         ? Json{{"key_id", run.imageSignature->keyId},
                                                {"key_name", run.imageSignature->keyName},
                                                {"verified", run.imageSignature->verified}}
                                         : Json(nullptr)}};
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

std::string ReportJson(const Report& report) {
    std::vector<std::string> lines;
    for (const auto& r : report.results)
        lines.push_back(CollectorJsonLine(r));
    return ReportJson(report.run, report.image, lines, report.toolVersion);
}

std::string ReportJson(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<CollectorResult>& results) {
    return ReportJson(Report{ToolVersion(), run, ImageOfReport(image), results});
}

std::optional<Report> ReadReport(const std::string& json) {
    const auto report = nlohmann::json::parse(json, nullptr, false);
    const auto* collectors = Field(report, "collectors");
    if (collectors == nullptr || !collectors->is_array())
        return std::nullopt;
    Report read;
    read.toolVersion = Text(report.value("tool", nlohmann::json()), "version");
    RunInfo& run = read.run;
    run.hostName = Text(report, "host");
    if (const auto* adapter = Field(report, "adapter")) {
        run.adapterName = Text(*adapter, "name");
        run.adapterAddress = Text(*adapter, "address");
        run.adapterPrefix = NumberOf<int>(*adapter, "prefix").value_or(0);
    }
    if (const auto* adapters = Field(report, "adapters"); adapters && adapters->is_array())
        for (const auto& adapter : *adapters) {
            RunAdapter read{Text(adapter, "name"),
                            Text(adapter, "address"),
                            NumberOf<int>(adapter, "prefix").value_or(0),
                            {}};
            if (const auto* subnets = Field(adapter, "subnets"); subnets && subnets->is_array())
                for (const auto& subnet : *subnets)
                    if (subnet.is_string())
                        read.subnets.push_back(subnet.get<std::string>());
            run.adapters.push_back(std::move(read));
        }
    if (const auto* image = Field(report, "image")) {
        read.image = {Text(*image, "name"), Text(*image, "version"),
                      NumberOf<std::size_t>(*image, "size").value_or(0),
                      NumberOf<std::size_t>(*image, "blocks").value_or(0)};
        run.imageSha256 = Text(*image, "sha256");
        if (const auto* signature = Field(*image, "signature"); signature && signature->is_object())
            run.imageSignature = ReportSignature{Text(*signature, "key_id"),
                                                 Text(*signature, "key_name"),
                                                 Flag(*signature, "verified")};
    }
    run.dryRun = Flag(report, "dry_run");
    if (const auto* options = Field(report, "options")) {
        run.options.canary = NumberOf<std::size_t>(*options, "canary").value_or(0);
        run.options.parallel = NumberOf<std::size_t>(*options, "parallel");
        run.options.maxFailures = NumberOf<std::size_t>(*options, "max_failures");
        run.options.verify = Flag(*options, "verify");
        run.options.verifyTimeoutSeconds =
            NumberOf<long long>(*options, "verify_timeout_seconds").value_or(0);
    }
    run.interrupted = Flag(report, "interrupted");
    run.started = Text(report, "started");
    run.ended = TextOf(report, "ended");
    run.exitStatus = NumberOf<int>(report, "exit_status");
    run.upgradeSeconds = NumberOf<double>(report, "upgrade_seconds");
    const auto expected = NumberOf<std::size_t>(report, "expected");
    const auto found = NumberOf<std::size_t>(report, "found");
    const auto missing = NumberOf<std::size_t>(report, "missing");
    if (expected && found && missing)
        run.expected = ExpectedCounts{*expected, *found, *missing};
    for (const auto& c : *collectors) {
        auto result = ReadCollector(c);
        if (!result)
            return std::nullopt;
        read.results.push_back(std::move(*result));
    }
    return read;
}

std::string ReportCsv(const Report& report) {
    static const char* const kFields[] = {
        "ip",     "serial", "version_before", "version_after", "plan",          "outcome", "reason",
        "detail", "stage",  "passes",         "blocks_sent",   "blocks_resent", "seconds"};
    // The byte order mark makes a spreadsheet read the file as UTF-8 even
    // where the system's own code page is another (GBK on a Chinese Windows).
    std::string csv = "\xEF\xBB\xBF";
    for (const char* field : kFields)
        csv += std::string(field == kFields[0] ? "" : ",") + field;
    csv += "\r\n";
    for (const auto& result : report.results) {
        // The cells are the report's own fields, as its JSON writes them.
        const auto collector = nlohmann::json::parse(CollectorJsonLine(result));
        for (const char* field : kFields) {
            const auto& value = collector[field];
            csv += std::string(field == kFields[0] ? "" : ",") +
                   CsvField(value.is_null()     ? std::string()
                            : value.is_string() ? value.get<std::string>()
                                                : value.dump());
        }
        csv += "\r\n";
    }
    return csv;
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
            out << e.address << "," << SerialCsvField(platform::GbkToUtf8(e.serial)) << ","
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
        for (const auto& address : e.alsoAt) // never upgraded, as a conflict
            note += (note.empty() ? "" : "; ") + std::string("same serial on another adapter at ") +
                    address;
        rows.push_back(
            {platform::GbkToUtf8(e.serial), e.address, platform::GbkToUtf8(e.version), note});
    }
    PrintRows(out, rows);
}

} // namespace fleet
