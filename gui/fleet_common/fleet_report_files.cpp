#include "gui/fleet_common/fleet_report_files.h"

#include "platform/gbk.h"
#include "platform/read_file.h"
#include "platform/replace_file.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fleetwin {

namespace {

std::string FieldText(const nlohmann::json& value) {
    if (value.is_null())
        return {};
    if (value.is_string())
        return value.get<std::string>();
    return value.dump();
}

template <typename Kind, typename Namer>
std::optional<Kind> KindNamed(const std::string& name, Namer namer, int count) {
    for (int i = 0; i < count; ++i)
        if (name == namer(static_cast<Kind>(i)))
            return static_cast<Kind>(i);
    return std::nullopt;
}

} // namespace

std::string ReportCsv(const std::string& reportJson) {
    static const char* const kFields[] = {
        "ip",     "serial", "version_before", "version_after", "plan",          "outcome", "reason",
        "detail", "stage",  "passes",         "blocks_sent",   "blocks_resent", "seconds"};
    // The byte order mark makes a spreadsheet read the file as UTF-8 even
    // where the system's own code page is another (GBK on a Chinese Windows).
    std::string csv = "\xEF\xBB\xBF";
    for (const char* field : kFields)
        csv += std::string(field == kFields[0] ? "" : ",") + field;
    csv += "\r\n";
    const auto report = nlohmann::json::parse(reportJson, nullptr, false);
    if (report.is_discarded() || !report.contains("collectors"))
        return csv;
    for (const auto& collector : report["collectors"]) {
        for (const char* field : kFields)
            csv += std::string(field == kFields[0] ? "" : ",") +
                   fleet::CsvField(collector.contains(field) ? FieldText(collector[field]) : "");
        csv += "\r\n";
    }
    return csv;
}

std::optional<KeptReport> ReadReport(const std::string& reportJson) {
    const auto report = nlohmann::json::parse(reportJson, nullptr, false);
    if (report.is_discarded() || !report.is_object() || !report.contains("collectors") ||
        !report["collectors"].is_array())
        return std::nullopt;
    KeptReport kept;
    const auto image = report.value("image", nlohmann::json::object());
    if (image.is_object()) {
        kept.head.imageName = FieldText(image.value("name", nlohmann::json()));
        kept.head.imageVersion = FieldText(image.value("version", nlohmann::json()));
        kept.head.sha256 = FieldText(image.value("sha256", nlohmann::json()));
    }
    kept.head.started = FieldText(report.value("started", nlohmann::json()));
    if (report.contains("ended") && report["ended"].is_string())
        kept.head.ended = report["ended"].get<std::string>();
    if (report.contains("exit_status") && report["exit_status"].is_number_integer())
        kept.head.exitStatus = report["exit_status"].get<int>();
    const auto count = [&report](const char* key) {
        const auto value = report.value(key, nlohmann::json());
        return value.is_number_unsigned() ? std::optional(value.get<std::size_t>()) : std::nullopt;
    };
    if (const auto expected = count("expected"), found = count("found"), missing = count("missing");
        expected && found && missing)
        kept.head.expected = fleet::ExpectedCounts{*expected, *found, *missing};
    auto& results = kept.results;
    for (const auto& c : report["collectors"]) {
        if (!c.is_object() || !c.contains("ip") || !c["ip"].is_string())
            return std::nullopt;
        fleet::CollectorResult r;
        r.address = c["ip"].get<std::string>();
        r.serial = platform::Utf8ToGbk(FieldText(c.value("serial", nlohmann::json())));
        r.versionBefore =
            platform::Utf8ToGbk(FieldText(c.value("version_before", nlohmann::json())));
        if (c.contains("version_after") && c["version_after"].is_string())
            r.versionAfter = platform::Utf8ToGbk(c["version_after"].get<std::string>());
        r.plan = KindNamed<fleet::PlanKind>(FieldText(c.value("plan", nlohmann::json())),
                                            fleet::PlanName, fleet::kPlanKindCount)
                     .value_or(fleet::PlanKind::Upgrade);
        const auto outcome =
            KindNamed<fleet::ResultKind>(FieldText(c.value("outcome", nlohmann::json())),
                                         fleet::ResultName, fleet::kResultKindCount);
        if (!outcome)
            return std::nullopt;
        r.result = *outcome;
        r.reasonCode = FieldText(c.value("reason", nlohmann::json()));
        r.reason = FieldText(c.value("detail", nlohmann::json()));
        r.stage = FieldText(c.value("stage", nlohmann::json()));
        const auto text = [&c](const char* field) -> std::optional<std::string> {
            if (c.contains(field) && c[field].is_string())
                return c[field].get<std::string>();
            return std::nullopt;
        };
        r.started = text("started");
        r.ended = text("ended");
        r.verified =
            c.contains("verified") && c["verified"].is_boolean() && c["verified"].get<bool>();
        results.push_back(std::move(r));
    }
    return kept;
}

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string error;
    if (platform::ReplaceFileContents(path, text, &error))
        return {};
    return "cannot write " + path + ": " + error;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace fleetwin
