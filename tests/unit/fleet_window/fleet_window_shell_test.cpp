// The fleet window's shell over fake ports: what is enabled when, the
// adapter remembered, the last report's head, file errors, the questions
// before a run and before closing during one, the shutdown held during a run,
// the engine's events shown; and the real engine thread failing, which leaves
// a crash report.
#include "gui/fleet/shell/fleet_report_files.h"
#include "gui/fleet/shell/fleet_texts.h"
#include "gui/fleet/shell/fleet_window_shell.h"
#include "platform/read_file.h"

#include "fake_fleet_window.h"
#include "fleet_last_report.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

using namespace fleetui;

namespace {

struct Shell : ::testing::Test {
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("fleet-shell-" +
                  std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // With the fake engine unless the test makes its own.
    void Open(decltype(FleetShellSeams::makeEngine) makeEngine = {}) {
        FleetShellSeams seams;
        seams.settingsFolder = folder.string();
        seams.listAdapters = [] {
            return std::vector<platform::NetworkAdapter>{{"lo", "127.0.0.1", 8, true},
                                                         {"veth0", "198.51.100.1", 24},
                                                         {"veth1", "203.0.113.1", 24}};
        };
        seams.makeEngine = makeEngine ? makeEngine : [this](std::function<void()>) {
            auto fake = std::make_unique<support::FakeFleetEngine>();
            engine = fake.get();
            return std::unique_ptr<FleetEngine>(std::move(fake));
        };
        shell = std::make_unique<FleetWindowShell>(seams, view, dialogs);
        shell->Opened();
    }
    // Two collectors answer the sweep: .4 on S1.00, .5 already on S2.00;
    // `findings`: what the checks found on the adapter.
    void Sweep(std::string findings = {}) {
        shell->SearchClicked();
        fleet::FieldTable field("198.51.100.1");
        field.OnSearchFrame("\x1B"
                            "D4#S1.00"
                            "\x05",
                            "198.51.100.4");
        field.OnSearchFrame("\x1B"
                            "D5#S2.00"
                            "\x05",
                            "198.51.100.5");
        engine->queued.push_back(
            SweepDone{field, fleet::SweepScope::Of("198.51.100.1", 24), "", std::move(findings)});
        shell->EngineWoke();
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (folder / name).string();
        EXPECT_EQ(WriteFileAtomically(path, text), "");
        return path;
    }

    std::filesystem::path folder;
    support::FakeFleetView view;
    support::FakeFleetDialogs dialogs;
    support::FakeFleetEngine* engine = nullptr;
    std::unique_ptr<FleetWindowShell> shell;
};

} // namespace

TEST_F(Shell, OpensOnTheLastReportWithItsHead_AndRemembersTheAdapterChosen) {
    Write("last-report.json",
          support::LastReportOfThree({fleet::ResultKind::InProgress, fleet::ResultKind::Upgraded,
                                      fleet::ResultKind::NotStarted}));
    Open();
    ASSERT_EQ(view.rows.size(), 3u);
    // The report never ended: the collectors it left "not started" or "in
    // progress" may have been mid-transfer.
    EXPECT_EQ(FleetWindowModel::CellText(view.rows[1], Column::Outcome), text::kOutcomeUnknown);
    EXPECT_EQ(FleetWindowModel::CellText(view.rows[2], Column::Outcome), text::kOutcomeUnknown);
    EXPECT_NE(view.texts[kStatusLine].find("S2.bin"), std::string::npos);
    EXPECT_NE(view.texts[kStatusLine].find("没有正常结束"), std::string::npos);
    EXPECT_TRUE(view.enabled[kSaveCsvButton]);
    EXPECT_FALSE(view.enabled[kStopButton]);
    // Two adapters can reach collectors: the operator chooses, and the choice holds next time.
    EXPECT_EQ(view.chosenAdapter, -1);
    shell->SearchClicked();
    EXPECT_EQ(dialogs.notices.back(), text::kChooseAdapter);
    shell->AdapterChosen(2);
    shell.reset();
    Open();
    EXPECT_EQ(view.chosenAdapter, 2);
    shell->SearchClicked();
    EXPECT_EQ(engine->sweeps.at(0).address, "203.0.113.1");
    EXPECT_FALSE(view.enabled[kSearchButton]); // while it sweeps
    // A second choice ticks a second adapter: one search sweeps both, by
    // name, and both are ticked next time; choosing one again unticks it.
    shell.reset();
    Open();
    shell->AdapterChosen(1);
    EXPECT_EQ(view.adapters[1], "[√] veth0  198.51.100.1/24");
    shell.reset();
    Open();
    EXPECT_EQ(view.adapters[2], "[√] veth1  203.0.113.1/24");
    shell->SearchClicked();
    EXPECT_EQ(engine->sweeps.at(0).interfaces, (std::vector<std::string>{"veth0", "veth1"}));
    shell->AdapterChosen(1);
    EXPECT_EQ(view.chosenAdapter, 2);
    EXPECT_EQ(view.adapters[1], "[  ] veth0  198.51.100.1/24");
}

TEST_F(Shell, FileErrorsInTheErrorBoxNameThePathOnce_TheNameRuleIsANotice) {
    Open();
    shell->ChooseImage((folder / "s1.bin").string());
    EXPECT_EQ(dialogs.notices.back(), protocol::kNameRuleNotice);
    const std::string missing = (folder / "S9.bin").string();
    shell->ChooseImage(missing);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    const std::string& error = dialogs.errors[0];
    EXPECT_NE(error.find(missing), std::string::npos);
    EXPECT_EQ(error.find(missing), error.rfind(missing)) << error;
    EXPECT_EQ(shell->Model().Image(), nullptr);
    // A damaged signature file refuses the image, with the reason.
    const std::string signedImage = Write("S9.bin", "x");
    Write("S9.bin.sig", "collector-image-signature 1\n");
    shell->ChooseImage(signedImage);
    ASSERT_EQ(dialogs.errors.size(), 2u);
    EXPECT_NE(dialogs.errors[1].find("签名未通过检查"), std::string::npos) << dialogs.errors[1];
    EXPECT_NE(dialogs.errors[1].find("cut short"), std::string::npos) << dialogs.errors[1];
    EXPECT_EQ(shell->Model().Image(), nullptr);
    // Saving over a folder that does not exist is a file error too.
    Write("last-report.json",
          support::LastReportOfThree({fleet::ResultKind::Failed, fleet::ResultKind::Upgraded,
                                      fleet::ResultKind::Upgraded}));
    shell.reset();
    Open();
    dialogs.savePath = (folder / "no" / "such.csv").string();
    shell->SaveClicked(true);
    EXPECT_EQ(dialogs.errors.size(), 3u);
}

TEST_F(Shell, ConfirmedRunOfThePinnedCollectors_CloseDuringItAsksThenStopsAndCloses) {
    Open();
    shell->AdapterChosen(1);
    Sweep();
    ASSERT_EQ(view.rows.size(), 2u);
    // Which collectors are not current needs the image: asked for, not silently nothing.
    shell->SelectNotCurrentClicked();
    EXPECT_EQ(dialogs.notices.back(), text::kNoImage);
    shell->ChooseImage(Write("S2.00.bin", std::string(700, 'x')));
    EXPECT_EQ(view.texts[kVersionEdit], "S2.00");
    shell->SelectNotCurrentClicked();
    EXPECT_EQ(view.texts[kSelectionCount], text::SelectionCountText(1, 2));

    shell->StartClicked(); // answered no
    EXPECT_TRUE(engine->runs.empty());
    dialogs.answer = true;
    shell->StartClicked();
    ASSERT_EQ(engine->runs.size(), 1u);
    EXPECT_EQ(engine->runs[0].adapter.address, "198.51.100.1");
    ASSERT_EQ(engine->runs[0].targets.size(), 1u); // pinned to the serial shown
    EXPECT_EQ(engine->runs[0].targets[0].address, "198.51.100.4");
    EXPECT_EQ(engine->runs[0].targets[0].serial, "D4");
    EXPECT_TRUE(view.repainting);
    EXPECT_TRUE(view.holdingShutdown);
    EXPECT_TRUE(view.enabled[kStopButton]);
    EXPECT_FALSE(view.enabled[kStartButton]);

    dialogs.answer = false;
    EXPECT_FALSE(shell->CloseRequested());
    EXPECT_EQ(engine->interrupts, 0);
    dialogs.answer = true;
    EXPECT_FALSE(shell->CloseRequested());
    EXPECT_EQ(engine->interrupts, 1);
    EXPECT_FALSE(view.closed); // not before the report is written
    EXPECT_TRUE(view.holdingShutdown) << "until the stopped run has ended";
    fleet::CollectorResult stopped;
    stopped.address = "198.51.100.4";
    stopped.result = fleet::ResultKind::Interrupted;
    stopped.stage = "blocks";
    engine->queued.push_back(RunDone{{stopped}, fleet::Report{}, true, 130, "", std::nullopt});
    shell->EngineWoke();
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(view.repainting);
    EXPECT_FALSE(view.holdingShutdown);
    EXPECT_EQ(FleetWindowModel::CellText(view.rows[0], Column::Outcome), "已中断");
    EXPECT_TRUE(shell->CloseRequested());
}

// The expected list: taken from the sweep or a file, remembered across
// windows, given to the run; the collectors it misses get rows of their own,
// and the status line counts them.
TEST_F(Shell, ExpectedList_FromSweepOrFileRememberedGivenToTheRunAndCounted) {
    Open();
    shell->ExpectedFromSweepClicked(); // nothing swept yet
    EXPECT_EQ(dialogs.notices.back(), text::kSearchFirst);
    shell->AdapterChosen(1);
    Sweep();
    shell->ExpectedFromSweepClicked();
    dialogs.openPath = Write("expected.txt", "198.51.100.4=D4\nD9\n198.51.100.5\n");
    shell->ExpectedFromFileClicked(); // a bad line: refused, the list kept
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_NE(dialogs.errors[0].find("line 3"), std::string::npos) << dialogs.errors[0];
    EXPECT_EQ(shell->Model().Expected().size(), 2u);

    Write("expected.txt", "198.51.100.4=D4\nD9\n");
    shell.reset();
    Open(); // the list saved with the adapter survives another window
    shell->ExpectedFromFileClicked();
    shell->AdapterChosen(1);
    Sweep("防火墙没有放行本程序"); // one expected is missing: what the checks found follows
    EXPECT_EQ(view.texts[kStatusLine], "找到 2 台采集器（198.51.100.0/24）；" +
                                           text::ExpectedCountsText({2, 1, 1}) +
                                           "。防火墙没有放行本程序");
    EXPECT_EQ(FleetWindowModel::CellText(view.rows[1], Column::Plan), "（非预期）");
    shell->ChooseImage(Write("S2.00.bin", std::string(700, 'x')));
    shell->SelectAllClicked();
    dialogs.answer = true;
    shell->StartClicked();
    ASSERT_EQ(engine->runs.size(), 1u);
    ASSERT_TRUE(engine->runs[0].expected);
    EXPECT_EQ(
        engine->runs[0].expected->collectors,
        (std::vector<fleet::ExpectedCollector>{{"D4", "198.51.100.4"}, {"D9", std::nullopt}}));

    fleet::CollectorResult missing;
    missing.serial = "D9";
    missing.plan = fleet::PlanKind::NotFound;
    missing.result = fleet::ResultKind::NotFound;
    missing.reasonCode = "no_sweep_reply";
    engine->queued.push_back(
        RunDone{{missing}, fleet::Report{}, false, 1, "", fleet::ExpectedCounts{2, 1, 1}});
    shell->EngineWoke();
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(FleetWindowModel::CellText(view.rows[0], Column::Outcome), "未找到");
    EXPECT_NE(view.texts[kStatusLine].find(text::ExpectedCountsText({2, 1, 1})), std::string::npos);
    shell->SelectAllClicked(); // a collector nobody answered for is never a target
    EXPECT_EQ(view.texts[kSelectionCount], text::SelectionCountText(2, 3));
    shell->ExpectedClearClicked();
    EXPECT_TRUE(LoadSettings(shell->SettingsPath()).expected.empty());
}

// What escapes the engine's thread ends the sweep, not the program: the error
// box and the status line say so and, on Windows, name a minidump and a note
// (with the program's version and the exception) under %LOCALAPPDATA%.
TEST_F(Shell, EngineThreadThatThrows_LeavesACrashReportWhereTheErrorSays) {
#ifdef _WIN32
    const auto appData = folder / "LocalAppData";
    _putenv_s("LOCALAPPDATA", appData.string().c_str());
#endif
    std::mutex mutex;
    std::condition_variable changed;
    bool woke = false;
    Open([&](std::function<void()>) {
        auto wake = [&] {
            std::lock_guard lock(mutex);
            woke = true;
            changed.notify_one();
        };
        auto broken =
            [](const fleet::AdapterOptions&) -> std::variant<fleet::Adapter, std::string> {
            throw std::runtime_error("adapter table broken");
        };
        return std::make_unique<EngineThread>(wake, broken);
    });
    shell->AdapterChosen(1);
    shell->SearchClicked();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return woke; }));
    }
    shell->EngineWoke();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    const std::string message = dialogs.errors[0];
    EXPECT_NE(message.find("adapter table broken"), std::string::npos) << message;
    EXPECT_EQ(view.texts[kStatusLine], message);
    EXPECT_EQ(shell->Model().CurrentPhase(), Phase::Idle);
    EXPECT_TRUE(view.enabled[kSearchButton]);

    std::vector<std::filesystem::path> named;
    std::istringstream lines(message);
    for (std::string line; std::getline(lines, line);)
        if (line.ends_with(".dmp") || line.ends_with(".txt"))
            named.push_back(platform::PathFromUtf8(line));
#ifdef _WIN32
    ASSERT_EQ(named.size(), 2u) << message;
    const auto crashFolder = appData / "CollectorUpgrade" / "crash";
    for (const auto& file : named) {
        EXPECT_TRUE(std::filesystem::equivalent(file.parent_path(), crashFolder)) << file;
        EXPECT_GT(std::filesystem::file_size(file), 0u) << file;
    }
    std::ifstream dump(named[0], std::ios::binary);
    std::string signature(4, '\0');
    dump.read(signature.data(), 4);
    EXPECT_EQ(signature, "MDMP");
    std::stringstream note;
    note << std::ifstream(named[1], std::ios::binary).rdbuf();
    EXPECT_NE(note.str().find("Version: " COLLECTOR_PROJECT_VERSION), std::string::npos);
    EXPECT_NE(note.str().find("adapter table broken"), std::string::npos) << note.str();
#else
    EXPECT_TRUE(named.empty()) << message; // Linux keeps its own core dumps
#endif
    shell.reset(); // the engine's thread ends before the wake it calls goes
}
