// Wall time of whole upgrades on loopback against the protocol's floor
// (N × 150 ms + 5000 ms + one reply), printed as a table. Real time: a run
// of N = 50 takes about 12.5 s.
#include "main/upgrade_tool.h"
#include "platform/sleeper.h"

#include "fake_views.h"
#include "mini_collector.h"
#include "ui_thread_pump.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

double UpgradeSeconds(int blocks) {
    const auto path = std::filesystem::temp_directory_path() / "S0.bench.bin";
    std::ofstream(path, std::ios::binary)
        << std::string(static_cast<std::size_t>(blocks) * 300, 'x');

    MiniCollector collector;
    FakeWindow window;
    RealSleeper sleeper;
    UpgradeTool tool(window.Views(sleeper), ToolPorts{0, collector.Port(), 0, collector.Port()});
    tool.FormActivate();
    collector.ReplyTo(tool.UpgradeChannel().Socket().LocalPort());
    window.list.AppendRow({"1", "127.0.0.1", "S1"});
    window.list.selected = 0;
    window.dialog.script.push_back(path.string());
    tool.btn1Click();

    const auto start = std::chrono::steady_clock::now();
    tool.btnUPGClick();
    const bool done = PumpUntil(
        tool, [&] { return !window.notices.shown.empty(); },
        std::chrono::milliseconds(blocks * 150 + 20000));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    tool.StopWorkers();
    std::filesystem::remove(path);
    if (!done || window.notices.shown[0].second != "升级完成" ||
        collector.Image().size() != blocks * 300u) {
        std::fprintf(stderr, "upgrade of %d blocks did not complete\n", blocks);
        std::exit(1);
    }
    return elapsed.count();
}

} // namespace

int main(int argc, char** argv) {
    std::printf("%8s %10s %10s %8s\n", "blocks", "wall s", "floor s", "ratio");
    for (int i = 1; i < argc || i == 1; ++i) {
        const int blocks = argc > 1 ? std::atoi(argv[i]) : 50;
        const double floor = blocks * 0.150 + 5.0;
        const double wall = UpgradeSeconds(blocks);
        std::printf("%8d %10.3f %10.3f %8.4f\n", blocks, wall, floor, wall / floor);
    }
}
