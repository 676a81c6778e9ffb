#pragma once

// One whole upgrade in real time: a tool wired to fakes and a real sleeper,
// one emulated collector on loopback, the image written to a file, chosen,
// and sent from the press of the upgrade button until the first notice.

#include "core/upgrade_tool.h"
#include "platform/sleeper.h"

#include "collector_emulator.h"
#include "fake_views.h"
#include "ui_thread_pump.h"
#include "utf8_path.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct LoopbackUpgradeResult {
    bool finished = false; // a notice came before the timeout
    std::chrono::steady_clock::duration elapsed{};
    std::vector<std::string> notices;
    std::string versionText; // edt1 after browsing
    core::Mode modeAfter = core::Mode::Empty;
    std::string collectorImage;
    int queries = 0;
};

inline LoopbackUpgradeResult RunLoopbackUpgrade(const std::string& fileName,
                                                const std::string& image,
                                                std::chrono::milliseconds timeout) {
    const auto path = std::filesystem::temp_directory_path() / PathFromUtf8(fileName);
    std::ofstream(path, std::ios::binary) << image;

    collector_emulator::EmulatorOptions options;
    options.collectors = {{"127.0.0.1", "123456", "S1.00"}};
    options.searchPort = 0; // free ports
    options.upgradePort = 0;
    collector_emulator::Emulator collector(options);
    LoopbackUpgradeResult result;
    if (!collector.Start())
        return result;
    const auto ports = *collector.Report("127.0.0.1");
    FakeWindow window;
    platform::RealSleeper sleeper;
    core::UpgradeTool tool(window.Ports(sleeper),
                           core::ToolPorts{0, ports.upgradePort, 0, ports.searchPort});
    tool.FormActivate();
    ListDevices(tool, {{"123456", "127.0.0.1", "S1.00"}});
    window.view.selected = 0;
    window.dialog.script.push_back(Utf8(path));
    tool.btn1Click();

    result.versionText = window.view.edt1;
    const auto start = std::chrono::steady_clock::now();
    tool.btnUPGClick();
    result.finished = PumpUntil(
        tool, [&] { return !window.notices.shown.empty(); }, timeout);
    result.elapsed = std::chrono::steady_clock::now() - start;
    tool.StopWorkers();
    std::filesystem::remove(path);

    for (const auto& notice : window.notices.shown)
        result.notices.push_back(notice.second);
    result.modeAfter = tool.Mode().Get();
    const auto report = *collector.Report("127.0.0.1");
    collector.Stop();
    result.collectorImage = report.image;
    result.queries = static_cast<int>(report.queries);
    return result;
}
