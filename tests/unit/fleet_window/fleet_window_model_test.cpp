// The fleet window's model on a clock set by hand, without a toolkit: the
// plan column follows the image, selection, sort and filter, coalesced
// progress, outcomes and "retry failed".
#include "gui/fleet/shell/fleet_texts.h"
#include "gui/fleet/shell/fleet_window_model.h"

#include <gtest/gtest.h>

#include <tuple>

using fleet::PlanKind;
using fleet::ResultKind;
using fleetui::Clock;
using fleetui::Column;
using fleetui::FleetWindowModel;
using fleetui::Phase;

namespace {

const char kOwn[] = "198.51.100.1";

fleet::FieldTable Field() {
    fleet::FieldTable field(kOwn);
    const std::pair<const char*, const char*> replies[] = {
        {"198.51.100.20", "B7#S1.00"}, {"198.51.100.3", "A1#V2.00"}, {"198.51.100.10", "C3#S2.00"},
        {"198.51.100.4", "D4#S1.00"},  {"198.51.100.7", "E5#S1.00"}, {"198.51.100.7", "F6#S1.00"}};
    for (const auto& [ip, text] : replies)
        field.OnSearchFrame("\x1B" + std::string(text) + "\x05", ip);
    return field;
}

std::shared_ptr<const fleet::FirmwareImage> Image(const std::string& version) {
    auto image = fleet::FirmwareImage{}.WithVersionText(version);
    image.fileName = version + ".bin";
    return std::make_shared<const fleet::FirmwareImage>(std::move(image));
}

std::vector<std::string> Addresses(const FleetWindowModel& model) {
    std::vector<std::string> shown;
    for (const auto* row : model.Visible())
        shown.push_back(row->entry.address);
    return shown;
}

std::string PlanOf(const FleetWindowModel& model, const std::string& address) {
    return FleetWindowModel::CellText(*model.Find(address), Column::Plan);
}

struct Swept : ::testing::Test {
    void SetUp() override { model.SetField(Field(), *fleet::SweepScope::Of(kOwn, 24)); }
    FleetWindowModel model;
    Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);
};

} // namespace

TEST_F(Swept, PlanColumnFollowsTheImageAndItsEditedVersion) {
    EXPECT_EQ(model.RowCount(), 5u);
    EXPECT_EQ(PlanOf(model, "198.51.100.4"), ""); // no image yet
    model.SetImage(Image("S2.00"));
    EXPECT_EQ(PlanOf(model, "198.51.100.4"), "升级");
    EXPECT_EQ(PlanOf(model, "198.51.100.10"), "已是当前版本");
    EXPECT_EQ(PlanOf(model, "198.51.100.3"), "拒绝(V版本)");
    EXPECT_EQ(PlanOf(model, "198.51.100.7"), "地址冲突");
    // The operator edits the version field: S1.00 collectors become current.
    model.SetVersionText(" S1.00 ");
    EXPECT_EQ(model.Image()->versionText, "S1.00");
    EXPECT_EQ(PlanOf(model, "198.51.100.4"), "已是当前版本");
    EXPECT_EQ(PlanOf(model, "198.51.100.10"), "升级");
}

TEST_F(Swept, SelectionAllNoneNotCurrentByHandAndKeptOverASweep) {
    model.SetImage(Image("S2.00"));
    model.SelectAll();
    EXPECT_EQ(model.CheckedCount(), 5u);
    model.SelectNone();
    EXPECT_EQ(model.CheckedCount(), 0u);
    model.SelectNotCurrent();
    EXPECT_EQ(model.CheckedAddresses(),
              (std::vector<std::string>{"198.51.100.4", "198.51.100.20"}));
    model.SetChecked("198.51.100.4", false);
    model.SetChecked("198.51.100.99", true); // not a row: nothing happens
    EXPECT_EQ(model.CheckedAddresses(), std::vector<std::string>{"198.51.100.20"});
    model.SetField(Field(), *fleet::SweepScope::Of(kOwn, 24)); // searched again
    EXPECT_EQ(model.CheckedAddresses(), std::vector<std::string>{"198.51.100.20"});
    EXPECT_EQ(PlanOf(model, "198.51.100.20"), "升级"); // the image still applies
}

TEST_F(Swept, SortByColumnAndFilterBySerialAddressOrVersion) {
    // Numeric address order, not text order (.3 before .10).
    EXPECT_EQ(Addresses(model),
              (std::vector<std::string>{"198.51.100.3", "198.51.100.4", "198.51.100.7",
                                        "198.51.100.10", "198.51.100.20"}));
    model.SortBy(Column::Serial, false);
    EXPECT_EQ(model.Visible().front()->serial, "E5");
    model.SortBy(Column::Version, true); // equal versions keep the address order
    EXPECT_EQ(Addresses(model),
              (std::vector<std::string>{"198.51.100.4", "198.51.100.7", "198.51.100.20",
                                        "198.51.100.10", "198.51.100.3"}));
    model.SetFilter("S2.");
    EXPECT_EQ(Addresses(model), std::vector<std::string>{"198.51.100.10"});
    model.SetFilter(" 100.2 "); // the spaces around it do not count
    EXPECT_EQ(Addresses(model), std::vector<std::string>{"198.51.100.20"});
    model.SetFilter("A1");
    EXPECT_EQ(Addresses(model), std::vector<std::string>{"198.51.100.3"});
    model.SetFilter("");
    EXPECT_EQ(model.Visible().size(), 5u);
}

TEST_F(Swept, StartIsRefusedWithoutImageOrSelectionAndConfirmationNamesAll) {
    EXPECT_EQ(model.StartRefusal(), "请先选择升级文件");
    model.SetImage(Image("S2.00"));
    EXPECT_EQ(model.StartRefusal(), "没有选择要升级的采集器");
    model.SelectNotCurrent();
    EXPECT_EQ(model.StartRefusal(), "");
    image::SignatureCheck signature{true, true, "43e94c726227cfb1", "release", ""};
    model.SetSignature(signature);
    EXPECT_EQ(model.StatusLine(), "S2.00.bin：已签名：release");
    const auto text = model.ConfirmationText("ab12", 1);
    EXPECT_NE(text.find("\n已签名：release\n"), std::string::npos) << text;
    EXPECT_NE(text.find("升级 2 台采集器"), std::string::npos);
    EXPECT_NE(text.find("S2.00.bin"), std::string::npos);
    EXPECT_NE(text.find("SHA-256：ab12"), std::string::npos);
    EXPECT_NE(text.find("先试升级 1 台"), std::string::npos);
    model.RunStarted(model.CheckedAddresses(), t0);
    EXPECT_EQ(model.StartRefusal(), "正在运行"); // no second run on top
}

TEST_F(Swept, ProgressIsCoalescedToOneRepaintPerInterval) {
    model.SetImage(Image("S2.00"));
    model.SelectAll();
    model.RunStarted({"198.51.100.4", "198.51.100.20"}, t0);
    // Many reports within one interval: nothing shown before it has passed,
    // then only the latest per row, each row once.
    for (int percent = 1; percent <= 50; ++percent)
        model.QueueProgress({{"198.51.100.4", "blocks", percent}, {"198.51.100.20", "request", 2}});
    EXPECT_TRUE(model.Flush(t0 + std::chrono::milliseconds(99)).empty());
    EXPECT_EQ(model.Find("198.51.100.4")->percent, 0);
    const auto changed = model.Flush(t0 + std::chrono::milliseconds(100));
    EXPECT_EQ(changed.size(), 2u);
    EXPECT_EQ(model.Find("198.51.100.4")->percent, 50);
    EXPECT_EQ(FleetWindowModel::CellText(*model.Find("198.51.100.4"), Column::Stage), "发送数据");
    // Nothing queued, or only what is already shown: no repaint.
    EXPECT_TRUE(model.Flush(t0 + std::chrono::milliseconds(300)).empty());
    model.QueueProgress({{"198.51.100.20", "request", 2}});
    EXPECT_TRUE(model.Flush(t0 + std::chrono::milliseconds(400)).empty());
    EXPECT_EQ(model.OverallPercent(), 26); // (50 + 2) / 2
}

TEST_F(Swept, OutcomesThenRetryFailedChecksOnlyThoseToRunAgain) {
    model.SetImage(Image("S2.00"));
    model.SelectAll();
    model.RunStarted(model.CheckedAddresses(), t0);
    // A collector settled during the run keeps its outcome against later progress.
    fleet::CollectorResult early;
    early.address = "198.51.100.20";
    early.result = ResultKind::Upgraded;
    early.stage = "done";
    model.Settle(early);
    model.QueueProgress({{"198.51.100.4", "blocks", 40}, {"198.51.100.20", "verify", 96}});
    EXPECT_EQ(model.Flush(t0 + std::chrono::seconds(1)), std::vector<std::string>{"198.51.100.4"});
    EXPECT_EQ(model.Find("198.51.100.20")->percent, 100);
    EXPECT_NE(model.StatusLine().find("1 / 5"), std::string::npos) << model.StatusLine();
    model.StopRequested();
    EXPECT_EQ(model.CurrentPhase(), Phase::Stopping);
    auto result = [](const char* ip, PlanKind plan, ResultKind kind, const char* code) {
        fleet::CollectorResult r;
        r.address = ip;
        r.plan = plan;
        r.result = kind;
        r.reasonCode = code;
        return r;
    };
    model.RunFinished(
        {result("198.51.100.4", PlanKind::Upgrade, ResultKind::Interrupted, "interrupted"),
         result("198.51.100.20", PlanKind::Upgrade, ResultKind::Upgraded, ""),
         result("198.51.100.10", PlanKind::AlreadyCurrent, ResultKind::AlreadyCurrent, ""),
         result("198.51.100.3", PlanKind::RefusedV, ResultKind::Refused, "version_v"),
         result("198.51.100.7", PlanKind::AddressConflict, ResultKind::Conflict, "")},
        true, 130);
    EXPECT_EQ(model.CurrentPhase(), Phase::Idle);
    // Progress queued before the end never overwrites an outcome.
    EXPECT_TRUE(model.Flush(t0 + std::chrono::seconds(5)).empty());
    EXPECT_EQ(FleetWindowModel::CellText(*model.Find("198.51.100.4"), Column::Outcome), "已中断");
    // Reasons read in Chinese from their report codes; an unknown code shows
    // the report's own words rather than nothing.
    EXPECT_EQ(FleetWindowModel::CellText(*model.Find("198.51.100.3"), Column::Reason),
              "V版本不能用本程序升级");
    auto unknown = result("198.51.100.9", PlanKind::Upgrade, ResultKind::Failed, "new_code");
    unknown.reason = "a reason this window has no words for";
    EXPECT_EQ(fleetui::text::ReasonText(unknown), unknown.reason);
    // Each outcome counted by its own name; the bar counts only collectors on the image whole.
    EXPECT_EQ(model.StatusLine(), "已停止：升级成功 1，拒绝 1，已是当前版本 1，已中断 1，地址冲突 "
                                  "1（退出状态 130）");
    EXPECT_EQ(model.OverallPercent(), 48); // (100 + 100 + 40 + 0 + 0) / 5
    // Refused, current and conflicting collectors are not "failed".
    EXPECT_EQ(model.SelectFailed(), 1u);
    EXPECT_EQ(model.CheckedAddresses(), std::vector<std::string>{"198.51.100.4"});
}

TEST(FleetWindowModel, LastReportShownUntilTheNextSweep) {
    FleetWindowModel model;
    fleet::CollectorResult failed;
    failed.address = "198.51.100.9";
    failed.serial = "Z9";
    failed.result = ResultKind::Failed;
    fleet::CollectorResult upgraded = failed;
    upgraded.address = "198.51.100.8";
    upgraded.result = ResultKind::Upgraded;
    upgraded.stage = "done";
    upgraded.versionBefore = "S1";
    upgraded.versionAfter = "S2";
    fleet::Report report{"", {}, {"S2.bin"}, {failed, upgraded}};
    report.run.imageSha256 = "0123456789abcdef";
    report.run.started = "2026-12-07T15:00:00Z";
    std::tie(report.run.ended, report.run.exitStatus) = std::tuple("2026-12-07T15:05:00Z", 1);
    model.ShowReport(report);
    ASSERT_EQ(model.RowCount(), 2u);
    EXPECT_EQ(model.StatusLine(), "上次的报告：S2.bin（SHA-256 0123456789ab…），开始 "
                                  "2026-12-07T15:00:00Z，结束 2026-12-07T15:05:00Z，退出状态 "
                                  "1：升级成功 1，失败 1");
    // The version column shows what the collector reported after its upgrade.
    EXPECT_EQ(FleetWindowModel::CellText(*model.Find("198.51.100.8"), Column::Version), "S2");
    EXPECT_EQ(FleetWindowModel::CellText(*model.Find("198.51.100.9"), Column::Outcome), "失败");
    // A collector the report shows upgraded has a full bar, as after a run.
    EXPECT_EQ(FleetWindowModel::CellText(*model.Find("198.51.100.8"), Column::Progress), "100%");
    model.SetField(Field(), *fleet::SweepScope::Of(kOwn, 24));
    EXPECT_EQ(model.Find("198.51.100.9"), nullptr);
    EXPECT_EQ(model.RowCount(), 5u);
}
