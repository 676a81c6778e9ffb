// The window's report files: the CSV beside the engine's JSON, the JSON read
// back on the next start, settings that never keep the window from opening.
#include "gui/fleet_common/fleet_report_files.h"
#include "gui/fleet_common/fleet_settings.h"

#include "fleet/fleet_report.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string SampleReport() {
    fleet::FirmwareImage image = fleet::FirmwareImage{}.WithVersionText("S1.2");
    image.fileName = "S1.2.bin";
    fleet::RunInfo info;
    info.adapterName = "veth0";
    info.imageSha256 = "ab12";
    info.started = "2026-12-07T15:00:00Z"; // never ended
    info.expected = fleet::ExpectedCounts{3, 2, 1};
    fleet::CollectorResult a;
    a.address = "198.51.100.10";
    a.serial = "\xB2\xE2\xCA\xD4"; // 测试 in GBK
    a.versionBefore = "S1.1";
    a.result = fleet::ResultKind::Failed;
    a.reasonCode = "no_reply_query";
    a.reason = "no answer, \"EN\" asked 5 times";
    a.stage = "query";
    fleet::CollectorResult b;
    b.address = "198.51.100.11";
    b.serial = "SN2";
    b.result = fleet::ResultKind::Upgraded;
    b.versionAfter = "S1.2";
    b.stage = "done";
    b.started = "2026-12-07T15:00:01Z";
    b.ended = "2026-12-07T15:00:09Z";
    b.verified = true;
    return fleet::ReportJson(info, image, {a, b});
}

} // namespace

TEST(FleetReportFiles, CsvHasOneQuotedLinePerCollector) {
    const auto csv = fleetwin::ReportCsv(SampleReport());
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "\xEF\xBB\xBF" // UTF-8 byte order mark
              "ip,serial,version_before,version_after,plan,outcome,reason,detail,stage,passes,"
              "blocks_sent,blocks_resent,seconds");
    EXPECT_NE(csv.find("198.51.100.10,测试,S1.1,,upgrade,failed,no_reply_query,"
                       "\"no answer, \"\"EN\"\" asked 5 times\",query,"),
              std::string::npos);
    EXPECT_NE(csv.find("198.51.100.11,SN2,,S1.2,upgrade,upgraded,"), std::string::npos);
}

TEST(FleetReportFiles, ReportReadBackAsTheEngineWroteIt) {
    const auto kept = fleetwin::ReadReport(SampleReport());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->head.imageName, "S1.2.bin");
    EXPECT_EQ(kept->head.sha256, "ab12");
    EXPECT_EQ(kept->head.started, "2026-12-07T15:00:00Z");
    EXPECT_FALSE(kept->head.ended);
    EXPECT_FALSE(kept->head.exitStatus);
    EXPECT_EQ(kept->head.expected, (fleet::ExpectedCounts{3, 2, 1}));
    const auto* results = &kept->results;
    ASSERT_EQ(results->size(), 2u);
    EXPECT_EQ((*results)[0].serial, "\xB2\xE2\xCA\xD4");
    EXPECT_EQ((*results)[0].result, fleet::ResultKind::Failed);
    EXPECT_EQ((*results)[0].reasonCode, "no_reply_query");
    EXPECT_EQ((*results)[0].stage, "query");
    EXPECT_EQ((*results)[1].versionAfter, "S1.2");
    EXPECT_EQ((*results)[1].ended, "2026-12-07T15:00:09Z");
    EXPECT_TRUE((*results)[1].verified);
    EXPECT_FALSE((*results)[0].started);
    for (const char* broken : {"", "{", "[]", R"({"collectors":[{"ip":1}]})",
                               R"({"collectors":[{"ip":"1.2.3.4","outcome":"exploded"}]})"})
        EXPECT_FALSE(fleetwin::ReadReport(broken)) << broken;
}

TEST(FleetReportFiles, FilesReplacedWholeAndSettingsSurviveGarbage) {
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("fleet-window-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "settings.json").string();
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, ""); // missing
    // The expected list comes back as saved: GBK serials, pinned or not.
    const std::vector<fleet::ExpectedCollector> expected = {{"\xB2\xE2\x39", "198.51.100.7"},
                                                            {"8100010", std::nullopt}};
    EXPECT_EQ(fleetwin::SaveSettings(path, {"veth0", expected}), "");
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, "veth0");
    EXPECT_EQ(fleetwin::LoadSettings(path).expected, expected);
    EXPECT_EQ(fleetwin::WriteFileAtomically(path, "{not json"), "");
    EXPECT_EQ(fleetwin::LoadSettings(path).adapterName, "");
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    EXPECT_NE(fleetwin::WriteFileAtomically((folder / "no" / "such.json").string(), "x"), "");
    std::filesystem::remove_all(folder);
}
