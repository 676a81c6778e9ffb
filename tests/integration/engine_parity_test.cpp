// The upgrade window's core and collector-fleet's session hold one collector
// conversation: the request and its accept, three blocks, a resend list
// naming the one block the collector lost, that block again, and completion.
// Both must put the same frames on the upgrade port, in the same order.
#include "core/upgrade_tool.h"
#include "fleet/session/upgrade_session.h"
#include "protocol/collector_rules.h"

#include "fake_views.h"
#include "frame_codec.h"
#include "loopback_peer.h"
#include "recording_session_link.h"
#include "reference_frames.h"
#include "ui_thread_pump.h"
#include "utf8_path.h"
#include "virtual_sleeper.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

using collector_emulator::BuildFrame;

namespace {

constexpr std::size_t kImageBytes = 700; // three blocks, the last one short
const std::string kAccept = BuildFrame("R0000");
const std::string kBlockOneLost = BuildFrame("R00010001"); // one entry: block 1
const std::string kCompleted = BuildFrame("R");

// A completion query repeated in a row as one. The core's first pass, let go
// from its pause on virtual time, may find the resend pass already polling
// and ask once more; on real time it wakes 3000 ms after its query, before
// the resend pass's 150 + 5000 ms are over, and stops.
std::vector<std::string> WithoutRepeatedQueries(const std::vector<std::string>& frames) {
    std::vector<std::string> out;
    for (const auto& frame : frames)
        if (out.empty() || frame != kCompletionQuery || out.back() != frame)
            out.push_back(frame);
    return out;
}

// The core on virtual time: the window's upgrade press, the collector's accept
// over loopback, and each later answer given while a worker waits after "EN".
std::vector<std::string> CoreConversation(const std::string& imagePath) {
    LoopbackPeer collector;
    FakeWindow window;
    VirtualSleeper sleeper;
    core::UpgradeTool tool(window.Ports(sleeper), core::ToolPorts{0, collector.Port(), 0, 0});
    tool.FormActivate();
    ListDevices(tool, {{"123456", "127.0.0.1", "S1.00"}});
    window.view.selected = 0;
    window.dialog.script.push_back(imagePath);
    tool.btn1Click();
    const std::uint16_t toolPort = tool.UpgradeChannel().Socket().LocalPort();

    // Held while an answer is handled: the resend pass waits at its next
    // pause, so it cannot turn the mode back to "EN" before the wait below
    // has seen the UI thread take the list.
    std::mutex answering;
    std::deque<std::string> answers{kBlockOneLost, kCompleted};
    sleeper.OnPause([&](long long, int ms) {
        const std::lock_guard lock(answering);
        if (ms != protocol::kQueryIntervalMs || !tool.Mode().Is(core::Mode::EN) || answers.empty())
            return;
        collector.Socket().SendTo(answers.front(), "127.0.0.1", toolPort);
        answers.pop_front();
        for (int i = 0; i < 1000 && tool.Mode().Is(core::Mode::EN); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });

    tool.btnUPGClick();
    collector.Socket().SendTo(kAccept, "127.0.0.1", toolPort);
    const bool done = PumpUntil(
        tool, [&] { return !window.notices.shown.empty(); }, std::chrono::seconds(5));
    tool.StopWorkers();
    EXPECT_TRUE(done);
    EXPECT_EQ(window.notices.NoticeTexts(), std::vector<std::string>{"升级完成"});
    return collector.Drain();
}

// The fleet session on a clock the test moves: every deadline on time, and
// the next answer as soon as the session waits for one.
std::vector<std::string> FleetConversation(const std::string& imagePath) {
    const auto loaded = fleet::LoadFirmwareImage(imagePath);
    const auto* image = std::get_if<std::shared_ptr<const fleet::FirmwareImage>>(&loaded);
    if (image == nullptr) {
        ADD_FAILURE() << std::get<std::string>(loaded);
        return {};
    }
    RecordingSessionLink link;
    fleet::UpgradeSession session("127.0.0.1", *image, link);
    link.now = fleet::TimePoint{} + std::chrono::hours(1);
    session.Start(link.now);
    for (const auto& answer : {kAccept, kBlockOneLost, kCompleted}) {
        while (session.CurrentStage() != fleet::Stage::Requesting &&
               session.CurrentStage() != fleet::Stage::Querying && session.Deadline()) {
            link.now = *session.Deadline();
            session.OnTimer(link.now);
        }
        session.OnUpgradeFrame(answer, link.now);
    }
    EXPECT_EQ(session.CurrentStage(), fleet::Stage::Verifying); // completion taken
    std::vector<std::string> frames;
    for (const auto& sent : link.sent)
        if (sent.channel == "upgrade") // the verification probe goes to the search port
            frames.push_back(sent.bytes);
    return frames;
}

TEST(EngineParity, CoreAndFleetSendTheSameFramesForOneConversationWithALostBlock) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("engine_parity_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    const std::string imagePath = Utf8(folder / "S1.02.bin");
    std::ofstream(PathFromUtf8(imagePath), std::ios::binary) << std::string(kImageBytes, '\x5A');

    const auto core = CoreConversation(imagePath);
    const auto fleet = FleetConversation(imagePath);
    std::filesystem::remove_all(folder);

    const auto block = [](unsigned index) { return ReferenceBlock(index, kImageBytes, "5A"); };
    const std::vector<std::string> expected = {
        BuildFrame("LUS1.020003"), block(0), block(1),        block(2),
        kCompletionQuery,          block(1), kCompletionQuery};
    EXPECT_EQ(WithoutRepeatedQueries(core), expected);
    EXPECT_EQ(fleet, expected);
}

} // namespace
