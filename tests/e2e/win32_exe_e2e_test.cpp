// End-to-end: the real CollectorUpgrade.exe under wine in the tool namespace,
// against the collector emulator in the field namespace, driven by
// collector_automation.exe from another process under the same wine server.
// Both programs come from the Windows tree (scripts/build-windows.sh
// --with-tests); without it every case skips.
//
// The wine server runs inside the tool namespace, with a prefix of that
// namespace's own (it creates the program's sockets); scripts/wine-run.sh
// sees to both. It is ended after each case.

#include "netns_fixture.h"
#include "windows_tree.h"
#include "wine_window_rig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string kWindowsTree = e2e::WindowsTree();
const std::string kProgram = kWindowsTree + "/app/CollectorUpgrade.exe";
const std::string kAutomation = kWindowsTree + "/tests/win32/collector_automation.exe";
// The same wine state as the Windows tree's own tests: one prefix template.
const std::string kWineState = kWindowsTree + "/wine";

// "采集器C" in GBK, and as the window must show it.
constexpr const char* kGbkSerial = "\xB2\xC9\xBC\xAF\xC6\xF7"
                                   "C";
constexpr const char* kGbkSerialShown = "采集器C";

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Field `index` of a list row as automation prints it: serial, IP, version.
std::string Field(const std::string& row, int index) {
    std::istringstream in(row);
    std::string field;
    for (int i = 0; i <= index; ++i)
        std::getline(in, field, '\t');
    return field;
}

std::string RandomImage(const std::string& path, std::size_t bytes) {
    std::mt19937 rng(static_cast<unsigned>(bytes));
    std::string image(bytes, '\0');
    for (char& c : image)
        c = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary) << image;
    return image;
}

// The emulator's report of one collector, from its JSON summary.
nlohmann::json Report(const std::string& summaryPath, const std::string& address) {
    const auto summary = nlohmann::json::parse(e2e::ReadFile(summaryPath), nullptr, false);
    if (summary.is_discarded())
        return {};
    for (const auto& entry : summary.value("collectors", nlohmann::json::array()))
        if (entry.value("address", "") == address)
            return entry;
    return {};
}

using e2e::WinePath;

class WineProgramInNamespace : public ::testing::Test {
protected:
    void SetUp() override {
        E2E_REQUIRE_NAMESPACES();
        if (!Exists(kProgram) || !Exists(kAutomation))
            GTEST_SKIP() << "the Windows tree is not built at " << kWindowsTree
                         << " (scripts/build-windows.sh x86_64 --with-tests)";
        net_ = std::make_unique<e2e::NetnsFixture>(e2e::FieldRange(10, 12));
        ASSERT_TRUE(net_->Ok()) << net_->Error();
        rig_ = std::make_unique<e2e::WineWindowRig>(*net_, kWineState, kAutomation);
    }

    void TearDown() override {
        if (rig_) {
            rig_->CloseProgram(program_);
            rig_->End();
        }
    }

    // The field: three collectors, each with its own serial, version S1.00; the
    // third's serial is Chinese, sent as the collectors send it: GBK bytes.
    void StartField(const std::vector<std::string>& options) {
        summary_ = net_->ScratchDir() + "/summary.json";
        const std::string ready = net_->ScratchDir() + "/emulator.ready";
        std::vector<std::string> argv = {COLLECTOR_EMULATOR_PATH,
                                         "--address",
                                         std::string("198.51.100.10=SN-A,198.51.100.11=SN-B,"
                                                     "198.51.100.12=") +
                                             kGbkSerial,
                                         "--image-out",
                                         net_->ScratchDir() + "/got-%a.bin",
                                         "--summary",
                                         summary_,
                                         "--ready-file",
                                         ready,
                                         "--run-seconds",
                                         "180"};
        argv.insert(argv.end(), options.begin(), options.end());
        emulator_ = net_->SpawnInField(argv);
        ASSERT_TRUE(emulator_ > 0 && e2e::WaitForFile(ready, 10s)) << net_->LogOf(emulator_);
    }

    // A virtual display and the program, both in the tool namespace.
    void StartProgram() {
        ASSERT_TRUE(rig_->StartDisplay());
        started_ = std::chrono::steady_clock::now();
        program_ = rig_->Launch(kProgram);
        ASSERT_GT(program_, 0);
        const auto ready = Automate({"wait-ready", "60000"});
        ASSERT_EQ(ready.size(), 2u) << net_->LogOf(program_);
        EXPECT_EQ(ready[0], e2e::kToolAddress) << "lbl3 holds the tool namespace's address";
        EXPECT_EQ(ready[1], "等待升级");
    }

    int RunAutomation(const std::vector<std::string>& args, std::vector<std::string>& lines) {
        return rig_->RunAutomation(args, lines);
    }
    std::vector<std::string> Automate(const std::vector<std::string>& args) {
        return rig_->Automate(args);
    }

    // Sweep, wait for the three rows, and select the first collector.
    void SweepAndSelectFirst() {
        Automate({"click", "search"});
        const auto rows = Automate({"wait-rows", "3", "15000"});
        ASSERT_EQ(rows.size(), 3u);
        Automate({"select", "0"});
    }

    std::unique_ptr<e2e::NetnsFixture> net_;
    std::unique_ptr<e2e::WineWindowRig> rig_;
    pid_t program_ = -1, emulator_ = -1;
    std::string summary_;
    std::chrono::steady_clock::time_point started_;
};

TEST_F(WineProgramInNamespace, SweepListsTheThreeCollectors) {
    ASSERT_NO_FATAL_FAILURE(StartField({}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    Automate({"click", "search"});
    const auto rows = Automate({"wait-rows", "3", "15000"});
    const auto listed = std::chrono::steady_clock::now() - started_;
    std::vector<std::string> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted,
              (std::vector<std::string>{"SN-A\t198.51.100.10\tS1.00", "SN-B\t198.51.100.11\tS1.00",
                                        std::string(kGbkSerialShown) + "\t198.51.100.12\tS1.00"}))
        << "a GBK serial shows as its Chinese text, whatever the system's code page";
    std::cout << "[ FIGURE ] start of CollectorUpgrade.exe under wine to three listed rows: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(listed).count() << " ms\n";
}

TEST_F(WineProgramInNamespace, WholeUpgradeWithALostBlockEndsCompleteWithAnIdenticalImage) {
    // E2E_WIN32_SCREENSHOT=<png> keeps a picture of the window a few blocks
    // into the upgrade: with the fonts of a Chinese Windows, and the image on
    // a drive D: rather than at wine's path of a Linux folder.
    const char* shot = std::getenv("E2E_WIN32_SCREENSHOT");
    const bool picture = shot != nullptr && *shot != 0;
    if (picture) {
        setenv("WINE_CJK_FONTS", "1", 1);
        setenv("WINE_DRIVE_D", net_->ScratchDir().c_str(), 1);
    }
    ASSERT_NO_FATAL_FAILURE(StartField({"--drop-blocks", "3"}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(SweepAndSelectFirst());
    const std::string target = Field(Automate({"wait-rows", "1", "1000"}).at(0), 1);

    constexpr int kBlocks = 20;
    const std::string path = net_->ScratchDir() + "/S2.00.bin";
    const std::string image = RandomImage(path, kBlocks * 300 - 17);
    Automate({"choose-file", picture ? std::string("D:\\S2.00.bin") : WinePath(path), "10000"});
    EXPECT_EQ(Automate({"text", "edt1"}), std::vector<std::string>{"S2.00"});

    const auto start = std::chrono::steady_clock::now();
    Automate({"click", "upgrade"});
    if (picture) {
        Automate({"wait-status", "正在升级", "5000"});
        std::this_thread::sleep_for(1200ms);
        EXPECT_TRUE(rig_->Screenshot(Automate({"window-rect"}).at(0), shot))
            << "screenshot to " << shot;
    }
    const auto box = Automate({"wait-box", "60000"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(box, (std::vector<std::string>{"提示", "升级完成"}));
    EXPECT_EQ(e2e::ReadFile(net_->ScratchDir() + "/got-" + target + ".bin"), image);

    net_->Terminate(emulator_);
    const auto report = Report(summary_, target);
    EXPECT_EQ(report.value("resend_lists", nlohmann::json::array()),
              nlohmann::json::parse("[[3]]"));
    EXPECT_EQ(report.value("blocks", 0), kBlocks + 1);
    // Two passes: the blocks and the one resent, each followed by the settle
    // pause before the completion query.
    const long long floorMs = (kBlocks + 1) * 150 + 2 * 5000;
    std::cout << "[ FIGURE ] upgrade of " << kBlocks << " blocks with one lost under wine: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
              << " ms; protocol floor (blocks + resent) x 150 ms + 2 x 5000 ms = " << floorMs
              << " ms\n";
}

TEST_F(WineProgramInNamespace, RefusalsAndFileErrorsShowTheirBoxes) {
    ASSERT_NO_FATAL_FAILURE(StartField({"--request-reply", "e81"}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(SweepAndSelectFirst());

    // The file-name rule: the plain box under the application title.
    const std::string wrongName = net_->ScratchDir() + "/V1.00.bin";
    RandomImage(wrongName, 900);
    Automate({"choose-file", WinePath(wrongName), "10000"});
    EXPECT_EQ(Automate({"wait-box", "5000"}),
              (std::vector<std::string>{"Collectorupgrade", "版本号必须以S开头"}));

    // A typed name that does not exist is taken, and the loader's error box follows.
    const std::string missing = WinePath(net_->ScratchDir() + "/S9.bin");
    Automate({"choose-file", missing, "10000"});
    const auto error = Automate({"wait-box", "5000"});
    ASSERT_EQ(error.size(), 2u);
    EXPECT_EQ(error[0], "Collectorupgrade");
    EXPECT_EQ(error[1].rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << error[1];
    EXPECT_EQ(error[1].back(), '.');

    const std::string path = net_->ScratchDir() + "/S1.00.bin";
    RandomImage(path, 900);
    Automate({"choose-file", WinePath(path), "10000"});
    Automate({"click", "upgrade"});
    EXPECT_EQ(Automate({"wait-box", "15000"}),
              (std::vector<std::string>{"提示", "版本相同，无需升级"}));
}

TEST_F(WineProgramInNamespace, SilentCollectorGetsFiveQueriesThreeSecondsApartThenFailure) {
    ASSERT_NO_FATAL_FAILURE(StartField({"--query-reply", "silent"}));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(SweepAndSelectFirst());
    const std::string target = Field(Automate({"wait-rows", "1", "1000"}).at(0), 1);
    const std::string path = net_->ScratchDir() + "/S3.00.bin";
    RandomImage(path, 600); // two blocks
    Automate({"choose-file", WinePath(path), "10000"});
    Automate({"click", "upgrade"});
    // 2 x 150 ms, 5000 ms, then five queries each followed by 3000 ms.
    Automate({"wait-status", "升级失败", "40000"});
    std::vector<std::string> box;
    EXPECT_NE(RunAutomation({"wait-box", "500"}, box), 0)
        << "no notice, but " << ::testing::PrintToString(box);

    net_->Terminate(emulator_);
    const auto times = Report(summary_, target).value("query_times_ms", std::vector<long long>{});
    ASSERT_EQ(times.size(), 5u);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR(times[i] - times[i - 1], 3000, 300)
            << "between queries " << i << " and " << i + 1;
}

} // namespace
