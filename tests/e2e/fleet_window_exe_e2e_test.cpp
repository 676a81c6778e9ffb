// End-to-end: the real CollectorFleetWindow.exe under wine in the tool
// namespace, against emulated collectors in the field namespace, driven by
// fleet_automation.exe from another process under the same wine server:
// sweep, image, selection, a run with its confirmation, the outcomes, the
// report saved through the save dialog, the images the collectors received;
// a stop in the middle of a run, and the question before closing during one.
// Both programs come from the Windows tree (scripts/build-windows.sh
// --with-tests); without it every case skips.

#include "netns_fixture.h"
#include "report_check.h"
#include "windows_tree.h"
#include "wine_window_rig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using nlohmann::json;

namespace {

const std::string kWindowsTree = e2e::WindowsTree();
const std::string kProgram = kWindowsTree + "/app/CollectorFleetWindow.exe";
const std::string kAutomation = kWindowsTree + "/tests/win32/fleet_automation.exe";
const std::string kWineState = kWindowsTree + "/wine";

// Columns of a row as fleet_automation prints it.
enum Cell { kChecked, kSerial, kIp, kVersion, kPlan, kStage, kProgress, kOutcome, kReason };

using Row = std::vector<std::string>;

Row Split(const std::string& line) {
    Row cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, '\t');)
        cells.push_back(cell);
    cells.resize(kReason + 1);
    return cells;
}

// The rows by address.
std::map<std::string, Row> ByAddress(const std::vector<std::string>& lines) {
    std::map<std::string, Row> rows;
    for (const auto& line : lines) {
        const Row row = Split(line);
        rows[row[kIp]] = row;
    }
    return rows;
}

std::string Host(int host) {
    return "198.51.100." + std::to_string(host);
}

// Each collector's outcome and reason code in a saved report.
std::map<std::string, std::pair<std::string, std::string>> Outcomes(const json& report) {
    std::map<std::string, std::pair<std::string, std::string>> outcomes;
    for (const auto& c : report.at("collectors"))
        outcomes[c.at("ip")] = {c.at("outcome"), c.at("reason")};
    return outcomes;
}

class FleetWindowExeInNamespace : public ::testing::Test {
protected:
    void SetUp() override {
        E2E_REQUIRE_NAMESPACES();
        struct stat info {};
        if (::stat(kProgram.c_str(), &info) != 0 || ::stat(kAutomation.c_str(), &info) != 0)
            GTEST_SKIP() << "the Windows tree is not built at " << kWindowsTree
                         << " (scripts/build-windows.sh x86_64 --with-tests)";
    }

    void TearDown() override {
        if (rig_) {
            rig_->CloseProgram(program_);
            rig_->End();
        }
    }

    // The namespaces for hosts .first-.last, the display and the window.
    void StartWindow(int first, int last) {
        net_ = std::make_unique<e2e::NetnsFixture>(e2e::FieldRange(first, last));
        ASSERT_TRUE(net_->Ok()) << net_->Error();
        rig_ = std::make_unique<e2e::WineWindowRig>(*net_, kWineState, kAutomation);
        ASSERT_TRUE(rig_->StartDisplay());
        program_ = rig_->Launch(kProgram);
        ASSERT_GT(program_, 0);
        // The only adapter in the tool namespace that is not loopback is chosen by itself.
        const auto adapter = Automate({"wait-ready", "60000"});
        ASSERT_EQ(adapter.size(), 1u) << net_->LogOf(program_);
        EXPECT_NE(adapter[0].find(std::string(e2e::kToolAddress) + "/24"), std::string::npos)
            << adapter[0];
    }

    void Emulator(const std::string& tag, const std::vector<std::string>& options) {
        e2e::StartEmulatorInField(*net_, COLLECTOR_EMULATOR_PATH, tag, options, 240);
    }

    // Sweeps until `count` rows are listed, then chooses the image through
    // the open-file dialog.
    void SweepAndChoose(std::size_t count, const std::string& imagePath) {
        Automate({"click", "btnSearch"});
        ASSERT_EQ(Automate({"wait-rows", std::to_string(count), "20000"}).size(), count);
        Automate({"choose-file", "btnBrowse", e2e::WinePath(imagePath), "10000"});
        Automate({"wait-text", "edtVersion", "S2.00", "5000"});
    }

    // Presses start and answers the confirmation with yes; returns its text.
    std::string StartConfirmed() {
        Automate({"click", "btnStart"});
        const auto box = Automate({"wait-box", "10000", "yes"});
        EXPECT_FALSE(box.empty());
        std::string text;
        for (std::size_t i = 1; i < box.size(); ++i)
            text += box[i] + "\n";
        EXPECT_EQ(box.empty() ? "" : box[0], "确认升级");
        return text;
    }

    // The report saved through the save dialog of `button`, as text.
    std::string SaveReport(const std::string& button, const std::string& name) {
        const std::string path = net_->ScratchDir() + "/" + name;
        Automate({"choose-file", button, e2e::WinePath(path), "10000"});
        EXPECT_TRUE(e2e::WaitForFile(path, 5s)) << path;
        return e2e::ReadFile(path);
    }

    std::vector<std::string> Automate(const std::vector<std::string>& args) {
        return rig_->Automate(args);
    }

    std::unique_ptr<e2e::NetnsFixture> net_;
    std::unique_ptr<e2e::WineWindowRig> rig_;
    pid_t program_ = -1;
};

// 20 collectors: 12 to upgrade, 3 already current, 2 "V", one refusing
// (E80), one silent to the request, one silent to the completion query.
TEST_F(FleetWindowExeInNamespace, MixedField_SelectNotCurrentStartOutcomesReportAndImages) {
    const auto began = std::chrono::steady_clock::now();
    ASSERT_NO_FATAL_FAILURE(StartWindow(10, 29));
    const std::string scratch = net_->ScratchDir();
    Emulator("good", {"--address", "198.51.100.10-21", "--version", "S1.00", "--image-out",
                      scratch + "/image-%a.bin"});
    Emulator("current", {"--address", "198.51.100.22-24", "--version", "S2.00"});
    Emulator("old", {"--address", "198.51.100.25-26", "--version", "V1.00"});
    Emulator("noflash", {"--address", "198.51.100.27", "--request-reply", "e80"});
    Emulator("mute", {"--address", "198.51.100.28", "--request-reply", "silent"});
    Emulator("stalls", {"--address", "198.51.100.29", "--query-reply", "silent"});
    const std::string imagePath = scratch + "/S2.00.bin";
    const std::string image = e2e::WriteImage(imagePath, 3000); // 10 blocks
    ASSERT_NO_FATAL_FAILURE(SweepAndChoose(20, imagePath));

    auto rows = ByAddress(Automate({"rows"}));
    ASSERT_EQ(rows.size(), 20u);
    for (int host = 10; host <= 29; ++host) {
        const std::string expected = host >= 22 && host <= 24   ? "已是当前版本"
                                     : host >= 25 && host <= 26 ? "拒绝(V版本)"
                                                                : "升级";
        EXPECT_EQ(rows[Host(host)][kPlan], expected) << Host(host);
    }
    Automate({"click", "btnSelectNotCurrent"});
    Automate({"wait-text", "lblCount", "已选择 15 / 20 台", "5000"});
    rows = ByAddress(Automate({"rows"}));
    for (int host = 10; host <= 29; ++host)
        EXPECT_EQ(rows[Host(host)][kChecked], host >= 22 && host <= 26 ? "0" : "1") << Host(host);

    std::string sha256;
    e2e::RunCommand({"sha256sum", imagePath}, &sha256);
    const std::string question = StartConfirmed();
    EXPECT_NE(question.find("升级 15 台采集器"), std::string::npos) << question;
    EXPECT_NE(question.find("先试升级 1 台"), std::string::npos) << question;
    EXPECT_NE(question.find("S2.00.bin"), std::string::npos) << question;
    EXPECT_NE(question.find(sha256.substr(0, 64)), std::string::npos) << question;
    EXPECT_NE(question.find("未签名"), std::string::npos) << question; // no S2.00.bin.sig

    // The canary (.10) runs alone first: the others wait until it has verified.
    Automate({"wait-cell", Host(10), std::to_string(kStage), "发送数据", "10000"});
    EXPECT_EQ(ByAddress(Automate({"rows"}))[Host(11)][kStage], "等待");
    // E2E_WIN32_FLEET_SCREENSHOT=<png> keeps a picture of the window once the
    // rest are sending too.
    if (const char* shot = std::getenv("E2E_WIN32_FLEET_SCREENSHOT"); shot && *shot) {
        Automate({"wait-cell", Host(11), std::to_string(kStage), "发送数据", "30000"});
        std::this_thread::sleep_for(600ms);
        EXPECT_TRUE(rig_->Screenshot(Automate({"window-rect"}).at(0), shot)) << shot;
    }
    // The stalling one is asked for the verification time (90 s) before it
    // fails: well inside three minutes.
    Automate({"wait-enabled", "btnSearch", "180000"});

    rows = ByAddress(Automate({"rows"}));
    for (int host = 10; host <= 21; ++host) {
        EXPECT_EQ(rows[Host(host)][kOutcome], "升级成功") << Host(host);
        EXPECT_EQ(rows[Host(host)][kStage], "完成") << Host(host);
        EXPECT_EQ(e2e::ReadFile(scratch + "/image-" + Host(host) + ".bin"), image) << Host(host);
    }
    EXPECT_EQ(rows[Host(27)][kOutcome], "拒绝");
    EXPECT_EQ(rows[Host(28)][kOutcome], "失败");
    EXPECT_EQ(rows[Host(28)][kStage], "请求");
    EXPECT_EQ(rows[Host(29)][kOutcome], "失败");
    EXPECT_EQ(rows[Host(29)][kStage], "查询");
    for (int host = 22; host <= 26; ++host) // not selected, not touched
        EXPECT_EQ(rows[Host(host)][kOutcome], "") << Host(host);
    Automate({"wait-text", "lblCount", "已选择 15 / 20 台", "1000"});

    // The report, saved as JSON and as CSV where the operator chooses.
    const json report = json::parse(SaveReport("btnSaveJson", "saved.json"), nullptr, false);
    EXPECT_EQ(e2e::ReportSchemaViolations(net_->ScratchDir() + "/saved.json"), "");
    ASSERT_FALSE(report.is_discarded());
    EXPECT_EQ(report.at("exit_status"), 1);
    EXPECT_EQ(report.at("interrupted"), false);
    EXPECT_EQ(report.at("image").at("version"), "S2.00");
    std::map<std::string, std::pair<std::string, std::string>> expected;
    for (int host = 10; host <= 21; ++host)
        expected[Host(host)] = {"upgraded", ""};
    expected[Host(27)] = {"refused", "E80"};
    expected[Host(28)] = {"failed", "no_reply_request"};
    expected[Host(29)] = {"failed", "no_reply_query"};
    EXPECT_EQ(Outcomes(report), expected);

    const auto csv = e2e::Lines(SaveReport("btnSaveCsv", "saved.csv"));
    ASSERT_EQ(csv.size(), 16u);
    // A byte order mark first, so a spreadsheet on a Chinese Windows reads UTF-8.
    EXPECT_EQ(
        csv[0].rfind("\xEF\xBB\xBFip,serial,version_before,version_after,plan,outcome,reason,", 0),
        0u)
        << csv[0];
    std::map<std::string, std::pair<std::string, std::string>> fromCsv;
    for (std::size_t i = 1; i < csv.size(); ++i) {
        std::vector<std::string> fields;
        std::istringstream in(csv[i]);
        for (std::string field; std::getline(in, field, ',');)
            fields.push_back(field);
        ASSERT_GE(fields.size(), 7u) << csv[i];
        fromCsv[fields[0]] = {fields[5], fields[6]};
    }
    EXPECT_EQ(fromCsv, expected);

    // "Retry failed" checks exactly the two failures and asks before it runs them.
    Automate({"click", "btnRetry"});
    const auto retry = Automate({"wait-box", "10000", "no"});
    ASSERT_GE(retry.size(), 2u);
    EXPECT_EQ(retry[1], "升级 2 台采集器");
    Automate({"wait-text", "lblCount", "已选择 2 / 20 台", "5000"});
    rows = ByAddress(Automate({"rows"}));
    EXPECT_EQ(rows[Host(28)][kChecked], "1");
    EXPECT_EQ(rows[Host(29)][kChecked], "1");

    std::cout << "[ FIGURE ] CollectorFleetWindow.exe under wine, 20 collectors from start to "
                 "saved reports: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - began)
                     .count()
              << " ms\n";
}

// A stop with the button, then closing during a second run: "no" keeps
// the window and the run, "yes" interrupts it and closes.
TEST_F(FleetWindowExeInNamespace, StopMidRun_InterruptsHonestlyAndClosingAsksFirst) {
    const auto began = std::chrono::steady_clock::now();
    ASSERT_NO_FATAL_FAILURE(StartWindow(10, 13));
    Emulator("good", {"--address", "198.51.100.10-13", "--version", "S1.00"});
    const std::string imagePath = net_->ScratchDir() + "/S2.00.bin";
    e2e::WriteImage(imagePath, 18000); // 60 blocks: 9 s of sending, stopped long before
    ASSERT_NO_FATAL_FAILURE(SweepAndChoose(4, imagePath));
    Automate({"click", "btnSelectAll"});
    Automate({"wait-text", "lblCount", "已选择 4 / 4 台", "5000"});
    StartConfirmed();
    Automate({"wait-cell", Host(10), std::to_string(kStage), "发送数据", "10000"});

    // Closing during the run asks; "no" keeps the window and the run.
    Automate({"close"});
    EXPECT_EQ(Automate({"wait-box", "5000", "no"}),
              (std::vector<std::string>{"正在升级", "升级正在进行。停止升级并关闭窗口吗？"}));
    Automate({"wait-enabled", "btnStop", "1000"});

    Automate({"click", "btnStop"});
    Automate({"wait-enabled", "btnSearch", "15000"});
    auto rows = ByAddress(Automate({"rows"}));
    EXPECT_EQ(rows[Host(10)][kOutcome], "已中断");
    EXPECT_EQ(rows[Host(10)][kStage], "发送数据");
    for (int host = 11; host <= 13; ++host)
        EXPECT_EQ(rows[Host(host)][kOutcome], "未开始") << Host(host);

    const json report = json::parse(SaveReport("btnSaveJson", "stopped.json"), nullptr, false);
    EXPECT_EQ(e2e::ReportSchemaViolations(net_->ScratchDir() + "/stopped.json"), "");
    ASSERT_FALSE(report.is_discarded());
    EXPECT_EQ(report.at("interrupted"), true);
    EXPECT_EQ(report.at("exit_status"), 130);
    EXPECT_EQ(Outcomes(report), (std::map<std::string, std::pair<std::string, std::string>>{
                                    {Host(10), {"interrupted", "interrupted"}},
                                    {Host(11), {"not_started", "interrupted"}},
                                    {Host(12), {"not_started", "interrupted"}},
                                    {Host(13), {"not_started", "interrupted"}}}));

    // Closing during a run with "yes" interrupts it; the window closes by
    // itself once the run has ended, and the program ends.
    StartConfirmed();
    Automate({"wait-cell", Host(10), std::to_string(kStage), "发送数据", "10000"});
    Automate({"close"});
    EXPECT_EQ(Automate({"wait-box", "5000", "yes"}).at(0), "正在升级");
    Automate({"wait-gone", "15000"});
    EXPECT_EQ(net_->WaitExit(program_, 10s), std::optional<int>(0)) << net_->LogOf(program_);

    // Started again, the program shows the report of that run, kept in the
    // operator's application data folder; idle, it closes without a question.
    program_ = rig_->Launch(kProgram);
    ASSERT_GT(program_, 0);
    rows = ByAddress(Automate({"wait-rows", "4", "30000"}));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[Host(10)][kOutcome], "已中断");
    for (int host = 11; host <= 13; ++host)
        EXPECT_EQ(rows[Host(host)][kOutcome], "未开始") << Host(host);
    Automate({"close"});
    Automate({"wait-gone", "10000"});
    EXPECT_EQ(net_->WaitExit(program_, 10s), std::optional<int>(0)) << net_->LogOf(program_);
    program_ = -1;

    std::cout << "[ FIGURE ] CollectorFleetWindow.exe under wine, a run stopped mid-way: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - began)
                     .count()
              << " ms\n";
}

} // namespace
