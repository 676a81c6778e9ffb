// What a fleet run shows: progress on standard error, results and listings
// on standard output, the JSON report and the exit status.
#include "fleet/fleet_report.h"
#include "fleet/progress.h"
#include "fleet/report_html.h"
#include "fleet/run_record.h"
#include "recording_session_link.h"

#include "blank_image.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

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

TEST(FleetOutput, ReportJson_RunHeadAndEveryFieldOfACollector) {
    fleet::FirmwareImage image;
    image.fileName = "S2.bin";
    image.versionText = "S2";
    image.sizeBytes = 301;
    image.blockCount = 2;
    fleet::RunInfo run;
    run.adapterName = "veth0";
    run.adapterAddress = "198.51.100.1";
    run.adapterPrefix = 24;
    run.imageSha256 = "ab";
    run.started = "2026-12-07T15:00:00Z";
    run.hostName = "站点-7";
    run.options = {1, std::nullopt, 2, false, 90};
    auto r = Result("198.51.100.7", ResultKind::Interrupted);
    r.serial = "\xD6\xD0"; // GBK for 中
    r.versionBefore = "S1";
    r.reasonCode = "interrupted";
    r.reason = "interrupted while sending";
    r.stage = "blocks";
    r.passes = 2;
    r.blocksSent = 7;
    r.blocksResent = 1;
    r.resendOutsideImage = 3;
    r.seconds = 15.0004;
    r.started = "2026-12-07T15:00:01Z";
    auto json = nlohmann::json::parse(fleet::ReportJson(run, image, {r}));
    EXPECT_EQ(json.at("schema_version"), 1);
    EXPECT_EQ(json.at("host"), "站点-7");
    EXPECT_EQ(json.at("options"), (nlohmann::json{{"canary", 1},
                                                  {"parallel", nullptr},
                                                  {"max_failures", 2},
                                                  {"verify", false},
                                                  {"verify_timeout_seconds", 90}}));
    EXPECT_EQ(json.at("tool"),
              (nlohmann::json{{"name", "collector-fleet"}, {"version", fleet::ToolVersion()}}));
    EXPECT_EQ(json.at("adapter"),
              (nlohmann::json{{"name", "veth0"}, {"address", "198.51.100.1"}, {"prefix", 24}}));
    EXPECT_EQ(json.at("image"), (nlohmann::json{{"name", "S2.bin"},
                                                {"version", "S2"},
                                                {"size", 301},
                                                {"blocks", 2},
                                                {"sha256", "ab"}}));
    EXPECT_EQ(json.at("started"), "2026-12-07T15:00:00Z");
    EXPECT_TRUE(json.at("ended").is_null()); // a report written during the run
    EXPECT_TRUE(json.at("exit_status").is_null());
    EXPECT_EQ(json.at("collectors").at(0), (nlohmann::json{{"ip", "198.51.100.7"},
                                                           {"serial", "中"},
                                                           {"serial_hex", "D6D0"},
                                                           {"version_before", "S1"},
                                                           {"version_before_hex", "5331"},
                                                           {"version_after", nullptr},
                                                           {"plan", "upgrade"},
                                                           {"outcome", "interrupted"},
                                                           {"reason", "interrupted"},
                                                           {"detail", "interrupted while sending"},
                                                           {"stage", "blocks"},
                                                           {"passes", 2},
                                                           {"blocks_sent", 7},
                                                           {"blocks_resent", 1},
                                                           {"resend_outside_image", 3},
                                                           {"seconds", 15.0},
                                                           {"started", "2026-12-07T15:00:01Z"},
                                                           {"ended", nullptr},
                                                           {"verified", false}}));
    run.ended = "2026-12-07T15:01:00Z";
    run.exitStatus = 130;
    run.interrupted = true;
    json =
        nlohmann::json::parse(fleet::ReportJson(run, image, std::vector<fleet::CollectorResult>{}));
    EXPECT_EQ(json.at("exit_status"), 130);
    EXPECT_EQ(json.at("interrupted"), true);
    EXPECT_EQ(json.at("collectors"), nlohmann::json::array());
    // One line per collector, so that a field's report reads well with grep.
    const std::string two = fleet::ReportJson(run, image, {r, r});
    EXPECT_NE(two.find("\n    {\"ip\":\"198.51.100.7\""), std::string::npos) << two;
    EXPECT_EQ(nlohmann::json::parse(two).at("collectors").size(), 2u);
    EXPECT_EQ(fleet::UtcTimestamp(std::chrono::system_clock::time_point{} + 86400s + 61s),
              "1970-01-02T00:01:01Z");
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
