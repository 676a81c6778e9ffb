// A whole upgrade on real loopback sockets and real time, against a small
// collector of the test's own.
#include "main/upgrade_tool.h"
#include "platform/sleeper.h"

#include "fake_views.h"
#include "mini_collector.h"
#include "ui_thread_pump.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

TEST(WholeUpgrade, FewBlocksEndCompleteAndTheCollectorHoldsTheImage) {
    // 3 blocks: the last one short.
    std::string image;
    for (int i = 0; i < 700; ++i)
        image += static_cast<char>((i * 37) & 0xFF);
    const auto path = std::filesystem::temp_directory_path() / "S9.99.bin";
    std::ofstream(path, std::ios::binary) << image;

    MiniCollector collector;
    FakeWindow window;
    RealSleeper sleeper;
    UpgradeTool tool(window.Views(sleeper), ToolPorts{0, collector.Port(), 0, collector.Port()});
    tool.FormActivate();
    collector.ReplyTo(tool.UpgradeChannel().Socket().LocalPort());
    window.list.AppendRow({"123456", "127.0.0.1", "S1.00"});
    window.list.selected = 0;
    window.dialog.script.push_back(path.string());

    tool.btn1Click();
    ASSERT_EQ(window.fields.edt1, "S9.99");
    const auto start = std::chrono::steady_clock::now();
    tool.btnUPGClick();
    ASSERT_TRUE(PumpUntil(
        tool, [&] { return !window.notices.shown.empty(); }, std::chrono::seconds(20)));
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_EQ(window.notices.shown.size(), 1u);
    EXPECT_EQ(window.notices.shown[0].second, "升级完成");
    EXPECT_TRUE(tool.Mode().Is(Mode::Empty));
    EXPECT_EQ(collector.Image(), image);
    EXPECT_EQ(collector.Queries(), 1);
    // 3 × 150 ms + 5000 ms before the first query.
    EXPECT_GE(elapsed, std::chrono::milliseconds(5450));
    tool.StopWorkers();
    std::filesystem::remove(path);
}

} // namespace
