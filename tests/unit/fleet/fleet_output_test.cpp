// What a fleet run shows: progress on standard error, results and listings
// on standard output, the JSON report and the exit status.
#include "fleet/run/fleet_report.h"
#include "fleet/run/progress.h"
#include "fleet/run/report_html.h"
#include "fleet/run/run_record.h"
#include "recording_session_link.h"

#include "blank_image.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <tuple>

using namespace std::chrono_literals;
using fleet::ResultKind;

namespace {

std::string Captured(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    while (const auto got = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, got);
    return text;
}

fleet::CollectorResult Result(std::string ip, ResultKind kind) {
    fleet::CollectorResult r;
    r.address = std::move(ip);
    r.result = kind;
    return r;
}

} // namespace

TEST(FleetOutput, ExitStatus_UpgradedFailedNothingToDoOrEmpty) {
    using V = std::vector<fleet::CollectorResult>;
    const auto status = [](V results, bool dryRun = false) {
        return fleet::ExitStatusFor(results, dryRun);
    };
    EXPECT_EQ(status(V{Result("a", ResultKind::Upgraded), Result("b", ResultKind::AlreadyCurrent)}),
              0);
    for (const auto other : {ResultKind::Refused, ResultKind::NotVerified, ResultKind::Conflict,
                             ResultKind::Interrupted, ResultKind::NotStarted})
        EXPECT_EQ(status(V{Result("a", ResultKind::Upgraded), Result("b", other)}), 1)
            << fleet::ResultName(other);
    EXPECT_EQ(status(V{Result("a", ResultKind::AlreadyCurrent)}), 3);
    EXPECT_EQ(status(V{}), 1); // nobody answered the sweep: a failure, not "nothing to do"

    auto planned = Result("a", ResultKind::Planned);
    auto current = Result("b", ResultKind::AlreadyCurrent);
    current.plan = fleet::PlanKind::AlreadyCurrent;
    EXPECT_EQ(status(V{planned, current}, true), 0);
    EXPECT_EQ(status(V{current}, true), 3);
    EXPECT_EQ(status(V{}, true), 1);
    // A dry run predicts the run: a target that would not be upgraded fails it.
    for (const auto plan : {fleet::PlanKind::RefusedV, fleet::PlanKind::NotFound,
                            fleet::PlanKind::AddressConflict, fleet::PlanKind::NotInSubnet}) {
        auto settled = Result("c", ResultKind::NotStarted);
        settled.plan = plan;
        EXPECT_EQ(status(V{planned, current, settled}, true), 1) << fleet::PlanName(plan);
        EXPECT_EQ(status(V{current, settled}, true), 1) << fleet::PlanName(plan);
    }
}

namespace {

// A report as the engine writes it during a run, every kind of field filled
// in, texts from the network in GBK.
fleet::Report SampleReport() {
    fleet::Report report{"1.0",
                         {"站点-7",
                          "veth0",
                          "198.51.100.1",
                          24,
                          std::string(64, 'a'),
                          false,
                          {1, std::nullopt, 2, false, 90},
                          false,
                          "2026-12-07T15:00:00Z",
                          {},
                          {},
                          {}},
                         {"S2.bin", "S2", 301, 2},
                         {}};
    auto failed = Result("198.51.100.7", ResultKind::Failed);
    failed.serial = "\xD6\xD0"; // GBK for 中
    failed.versionBefore = "S1";
    failed.reasonCode = "no_reply_query";
    failed.reason = "no answer, \"EN\" asked 5 times";
    failed.stage = "query";
    std::tie(failed.passes, failed.blocksSent, failed.blocksResent, failed.seconds) =
        std::tuple(2, 7, 1, 15.0004);
    failed.started = failed.ended = "2026-12-07T15:00:01Z";
    auto upgraded = Result("198.51.100.11", ResultKind::Upgraded);
    upgraded.serial = "SN2";
    upgraded.versionAfter = "S2";
    upgraded.stage = "done";
    upgraded.started = upgraded.ended = "2026-12-07T15:00:09Z";
    upgraded.verified = true;
    auto running = Result("198.51.100.12", ResultKind::InProgress);
    running.stage = "blocks";
    running.started = "2026-12-07T15:00:02Z";
    report.results = {failed, upgraded, running};
    return report;
}

// What the schema's checker (the end-to-end tests' own) says of each report,
// written to a file named by its index; none without python3 and jsonschema.
std::optional<std::string> SchemaViolations(const std::vector<std::string>& reports) {
#ifdef REPORT_CHECK_SCRIPT
    std::string command = "python3 " REPORT_CHECK_SCRIPT " " COLLECTOR_REPORT_SCHEMA;
    const auto dir = std::filesystem::temp_directory_path();
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const auto path = dir / ("fleet-schema-" + std::to_string(i) + ".json");
        std::ofstream(path, std::ios::binary) << reports[i];
        command += " " + path.string();
    }
    std::FILE* checker = ::popen((command + " 2>&1").c_str(), "r");
    const std::string output = checker ? Captured(checker) : "";
    const int status = checker ? ::pclose(checker) : -1;
    if (status == 0 || output.find(": collectors/") != std::string::npos)
        return output;
#endif
    return std::nullopt;
}

} // namespace

TEST(FleetOutput, ReportJson_ValidByTheSchemaReadBackAsWrittenAndAsCsv) {
    auto report = SampleReport();
    report.run.expected = fleet::ExpectedCounts{3, 2, 1};
    report.run.imageSignature = fleet::ReportSignature{"43e94c726227cfb1", "release", true};
    const std::string during = fleet::ReportJson(report);
    // The reader gets back all the writer wrote: written again, the same bytes.
    const auto read = fleet::ReadReport(during);
    ASSERT_TRUE(read);
    EXPECT_EQ(fleet::ReportJson(*read), during);
    EXPECT_EQ(read->results.at(0).serial, "\xD6\xD0");
    EXPECT_NE(during.find(R"("serial":"中","serial_hex":"D6D0")"), std::string::npos);
    // One line per collector, so that a field's report reads well with grep.
    EXPECT_NE(during.find("\n    {\"ip\":\"198.51.100.11\","), std::string::npos) << during;
    for (const char* broken : {"", "{", "[]", R"({"collectors":[{"ip":1}]})",
                               R"({"collectors":[{"ip":"1.2.3.4","outcome":"exploded"}]})"})
        EXPECT_FALSE(fleet::ReadReport(broken)) << broken;

    const auto csv = fleet::ReportCsv(report);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "\xEF\xBB\xBF" // UTF-8 byte order mark
              "ip,serial,version_before,version_after,plan,outcome,reason,detail,stage,passes,"
              "blocks_sent,blocks_resent,seconds");
    EXPECT_NE(csv.find("\r\n198.51.100.7,中,S1,,upgrade,failed,no_reply_query,"
                       "\"no answer, \"\"EN\"\" asked 5 times\",query,2,7,1,15.0\r\n"),
              std::string::npos);
    EXPECT_NE(csv.find("\r\n198.51.100.11,SN2,,S2,upgrade,upgraded,"), std::string::npos);

    report.run.ended = "2026-12-07T15:01:00Z";
    report.run.imageSignature.reset(); // unsigned: null
    std::tie(report.run.exitStatus, report.run.interrupted, report.run.upgradeSeconds) =
        std::tuple(130, true, 8.5);
    const std::string unfinished = fleet::ReportJson(report); // a final report still under way
    report.results.pop_back();
    const auto violations = SchemaViolations({during, fleet::ReportJson(report), unfinished});
    EXPECT_EQ(fleet::UtcTimestamp(std::chrono::system_clock::time_point{} + 86400s + 61s),
              "1970-01-02T00:01:01Z");
    if (!violations)
        GTEST_SKIP() << "no python3 with jsonschema to check the reports by the schema";
    // Only the final report that leaves a session under way is refused.
    EXPECT_NE(violations->find("fleet-schema-2.json: collectors/2/outcome: "), std::string::npos);
    EXPECT_EQ(std::count(violations->begin(), violations->end(), '\n'), 1) << *violations;
}

TEST(FleetOutput, ReportHtml_EscapesEveryTextAndDrawsOneSegmentPerOutcome) {
    EXPECT_EQ(fleet::HtmlEscape("<a href='x'>&\"</a>"),
              "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
    fleet::FirmwareImage image;
    image.fileName = "S<1>.bin";
    fleet::RunInfo run;
    run.adapterName = "eth\"0";
    run.exitStatus = 1;
    auto hostile = Result("198.51.100.9", ResultKind::Failed);
    hostile.serial = "<script>alert(1)</script>";
    hostile.versionBefore = "\xD6\xD0&"; // GBK for 中, then &
    hostile.reason = "answered \"<b>\"";
    auto fine = Result("198.51.100.10", ResultKind::Upgraded);
    const std::string html = fleet::ReportHtml(run, image, {hostile, fine});
    EXPECT_EQ(html.find("<script>alert"), std::string::npos);
    EXPECT_NE(html.find("<td>&lt;script&gt;alert(1)&lt;/script&gt;</td><td>中&amp;</td>"),
              std::string::npos);
    EXPECT_NE(html.find(">answered &quot;&lt;b&gt;&quot;</td>"), std::string::npos);
    EXPECT_NE(html.find("S&lt;1&gt;.bin"), std::string::npos);
    EXPECT_NE(html.find("eth&quot;0"), std::string::npos);
    // The IP column sorts by the address's value, not its text.
    EXPECT_NE(html.find("<td data-sort=\"3325256714\">198.51.100.10</td>"), std::string::npos);
    EXPECT_NE(html.find("width:50.000%;background:#2e7d32\" title=\"upgraded: 1\""),
              std::string::npos);
    EXPECT_NE(html.find("title=\"failed: 1\""), std::string::npos);
}

TEST(FleetOutput, ReportFile_ReplacedWholeOrLeftAsItWas) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("fleet-report-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    fleet::FirmwareImage image;
    fleet::RunRecord record((dir / "run.json").string(), fleet::RunInfo{}, image);
    ASSERT_TRUE(record.Write({Result("198.51.100.7", ResultKind::Failed)}));
    ASSERT_TRUE(record.Write({Result("198.51.100.7", ResultKind::Upgraded)})); // a line made anew
    EXPECT_EQ(
        nlohmann::json::parse(std::ifstream(dir / "run.json")).at("collectors").at(0).at("outcome"),
        "upgraded");
    ASSERT_TRUE(record.Write({}));
    EXPECT_EQ(nlohmann::json::parse(std::ifstream(dir / "run.json")).at("collectors").size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "run.json.tmp"));

    fleet::RunRecord nowhere((dir / "missing" / "run.json").string(), fleet::RunInfo{}, image);
    EXPECT_FALSE(nowhere.Write({}));
    EXPECT_TRUE(nowhere.WriteFailed());
    EXPECT_NE(nowhere.Error().find("cannot write the report to "), std::string::npos);
    std::filesystem::remove_all(dir);
}

TEST(FleetOutput, ReportFile_SessionsMovingOnWrittenAtMostOnceASecondNeverLeftInTheEnd) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("fleet-progress-" +
                       std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".json");
    fleet::FirmwareImage image;
    fleet::RunRecord record(path.string(), fleet::RunInfo{}, image);
    const auto outcome = [&] {
        return nlohmann::json::parse(std::ifstream(path)).at("collectors").at(0).at("outcome");
    };
    auto running = Result("198.51.100.7", ResultKind::InProgress);
    running.stage = "blocks";
    const fleet::RunRecord::TimePoint t0{};
    EXPECT_TRUE(record.ProgressChanged(t0)); // nothing written yet: at once
    ASSERT_TRUE(record.Write({running}, t0));
    EXPECT_EQ(outcome(), "in_progress");
    EXPECT_FALSE(record.ProgressChanged(t0 + 300ms));
    EXPECT_FALSE(record.ProgressDue(t0 + 999ms));
    EXPECT_TRUE(record.ProgressDue(t0 + 1s));
    ASSERT_TRUE(record.Write({running}, t0 + 600ms)); // a session ended: the change went along
    EXPECT_FALSE(record.ProgressDue(t0 + 2s));

    record.Info().ended = "2026-12-07T15:01:00Z";
    ASSERT_TRUE(record.Write({running}, t0 + 3s));
    EXPECT_EQ(outcome(), "interrupted");
    EXPECT_EQ(nlohmann::json::parse(record.Json({running})).at("collectors").at(0).at("reason"),
              "interrupted");
    std::filesystem::remove(path);
}

TEST(FleetOutput, FieldListing_CsvQuotesKeepsFormulasAsTextAndTableAlignsWideCharacters) {
    const std::vector<fleet::FieldEntry> field = {{"198.51.100.9", "a,b", "S\"1"},
                                                  {"198.51.100.10", "\xD6\xD0", "S1"}};
    std::ostringstream csv;
    fleet::PrintField(csv, field, fleet::ListFormat::Csv);
    EXPECT_EQ(csv.str(), "ip,serial,version\n"
                         "198.51.100.9,\"a,b\",\"S\"\"1\"\n"
                         "198.51.100.10,中,S1\n");
    // Cells a spreadsheet would run as formulas are kept as text; quoting still applies.
    EXPECT_EQ(fleet::CsvField("=1+2"), "'=1+2");
    EXPECT_EQ(fleet::CsvField("+S1"), "'+S1");
    EXPECT_EQ(fleet::CsvField("-2"), "'-2");
    EXPECT_EQ(fleet::CsvField("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(fleet::CsvField("\tx"), "'\tx");
    EXPECT_EQ(fleet::CsvField("\rx"), "\"'\rx\"");
    EXPECT_EQ(fleet::CsvField("=A1,\"b\""), "\"'=A1,\"\"b\"\"\"");
    EXPECT_EQ(fleet::CsvField("S1=2-3"), "S1=2-3");
    EXPECT_EQ(fleet::CsvField(""), "");
    // A serial a spreadsheet would take for a number or a date is kept as text too.
    EXPECT_EQ(fleet::SerialCsvField("0012345") + fleet::SerialCsvField("'7"), "'0012345''7");
    EXPECT_EQ(fleet::SerialCsvField("SN,1") + fleet::SerialCsvField("-1"), "\"SN,1\"'-1");
    std::ostringstream table;
    fleet::PrintField(table, field, fleet::ListFormat::Table);
    EXPECT_EQ(table.str(), "serial  IP             version\n"
                           "a,b     198.51.100.9   S\"1\n"
                           "中      198.51.100.10  S1\n");

    // An address answering with two serials is listed, and marked.
    std::vector<fleet::FieldEntry> twins = {field[0]};
    twins[0].conflict = true;
    twins[0].otherSerials = {"x"};
    std::ostringstream marked;
    fleet::PrintField(marked, twins, fleet::ListFormat::Table);
    EXPECT_NE(
        marked.str().find("a,b     198.51.100.9  S\"1      address conflict: also answered as x"),
        std::string::npos)
        << marked.str();
    std::ostringstream json;
    fleet::PrintField(json, twins, fleet::ListFormat::Json);
    EXPECT_EQ(nlohmann::json::parse(json.str())[0].at("conflict"), true);
}

TEST(FleetOutput, Progress_PlainLinesPerStageTtyRedrawsInPlace) {
    const auto image = support::BlankImage(600); // two blocks
    RecordingSessionLink link;
    fleet::UpgradeSession session("198.51.100.7", image, link);
    const auto t = fleet::TimePoint{} + 1h;

    std::FILE* plainOut = std::tmpfile();
    std::FILE* ttyOut = std::tmpfile();
    fleet::ProgressView plain(fleet::ProgressMode::Plain, plainOut);
    fleet::ProgressView tty(fleet::ProgressMode::Tty, ttyOut);
    const std::vector<const fleet::UpgradeSession*> all = {&session};
    const auto step = [&] {
        plain.Changed(session);
        tty.Changed(session);
    };
    session.Start(t);
    step();
    session.OnUpgradeFrame("\x1B"
                           "R000086D7\x05",
                           t);
    step();
    tty.Tick(all);
    session.OnTimer(t + 150ms); // the second block: same stage
    step();
    tty.Tick(all);
    tty.Tick(all); // nothing changed: no drawing
    session.OnTimer(t + 300ms);
    step();
    plain.Finish(all);
    tty.Finish(all);

    // Each plain line carries its UTC time: "2026-12-07T15:00:00Z ".
    const std::regex stamp("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ ");
    EXPECT_EQ(std::regex_replace(Captured(plainOut), stamp, ""),
              "198.51.100.7 requesting\n"
              "198.51.100.7 sending pass 1 (2 blocks)\n"
              "198.51.100.7 settling\n");
    const std::string drawn = Captured(ttyOut);
    EXPECT_EQ(drawn, "\x1b[2K198.51.100.7 sending pass 1, block 1/2\n"
                     "\x1b[2K1 active, 0 waiting, 0 upgraded, 0 not upgraded\n\x1b[J"
                     "\x1b[2F\x1b[2K198.51.100.7 sending pass 1, block 2/2\n"
                     "\x1b[2K1 active, 0 waiting, 0 upgraded, 0 not upgraded\n\x1b[J"
                     "\x1b[2F\x1b[2K198.51.100.7 settling\n"
                     "\x1b[2K1 active, 0 waiting, 0 upgraded, 0 not upgraded\n\x1b[J");
    std::fclose(plainOut);
    std::fclose(ttyOut);
}
