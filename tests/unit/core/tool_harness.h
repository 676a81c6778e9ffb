#pragma once

// An UpgradeTool wired to the shared fakes, with loopback listeners as the collector on
// both channels, a scratch folder for image files, and worker pauses on
// virtual time. The workers' 5000 ms settle pause is held until the test
// opens the gate, so a test can look at the state a handler left before a
// worker moves the mode on to "EN".

#include "core/error_text.h"
#include "core/upgrade_tool.h"
#include "protocol/messages.h"
#include "pubpro/uPubpro.h"

#include "destination_listener.h"
#include "fake_views.h"
#include "recording_display.h"
#include "utf8_path.h"
#include "virtual_sleeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>

class Gate {
public:
    void Open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    // Bounded, so a forgotten gate fails a test instead of hanging it.
    void Wait() {
        std::unique_lock lock(mutex_);
        opened_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

class ToolTest : public ::testing::Test {
protected:
    ToolTest() {
        static std::atomic<int> serial{0};
        folder = std::filesystem::temp_directory_path() /
                 ("core_tests_" + std::to_string(std::random_device{}()) + "_" +
                  std::to_string(serial++));
        std::filesystem::create_directories(folder);
        sleeper.OnPause([this](long long, int ms) {
            if (ms == protocol::kSettleMs)
                settle.Wait();
        });
        Make({0, upgradePeer.Port(), 0, searchPeer.Port()});
    }
    ~ToolTest() override {
        settle.Open();
        tool.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // A remade tool shares the sleeper that the old one cancelled on its way
    // out, so its workers' passes would end at their first pause.
    void Make(core::ToolPorts ports) {
        tool.reset();
        tool = std::make_unique<core::UpgradeTool>(
            window.Ports(sleeper, [this] { return localAddress; }), ports);
    }

    // `relative` is UTF-8 text; returns the full path as UTF-8.
    std::string WriteFile(const std::string& relative, const std::string& bytes) {
        const auto path = folder / PathFromUtf8(relative);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return Utf8(path);
    }

    // The operator browses to a new file `name` holding `bytes`.
    std::string Browse(const std::string& name, const std::string& bytes) {
        const std::string path = WriteFile(name, bytes);
        dialog.script.push_back(path);
        tool->btn1Click();
        return path;
    }

    // Start-up, one selected S-version collector at 127.0.0.1, an image of
    // `bytes` bytes, the request sent and taken off the wire: mode "LU".
    void RequestUpgrade(std::size_t bytes) {
        tool->FormActivate();
        ListDevices(*tool, {{"123456", "127.0.0.1", "S2.01"}});
        view.selected = 0;
        Browse("S1.02.bin", std::string(bytes, '\x5A'));
        tool->btnUPGClick();
        ASSERT_EQ(upgradePeer.WaitFor(1).size(), 1u);
        upgradePeer.Forget();
        ASSERT_TRUE(tool->Mode().Is(core::Mode::LU));
    }

    std::vector<std::string> NoticeTexts(NoticeKind kind) const {
        std::vector<std::string> texts;
        for (const auto& [k, text] : notices.shown)
            if (k == kind)
                texts.push_back(text);
        return texts;
    }

    static std::vector<std::string> Bytes(const std::vector<DestinationListener::Received>& got) {
        std::vector<std::string> bytes;
        for (const auto& datagram : got)
            bytes.push_back(datagram.bytes);
        return bytes;
    }

    FakeWindow window;
    FakeView& view = window.view;
    FakeNotices& notices = window.notices;
    FakeFileDialog& dialog = window.dialog;
    RecordingDisplay& display = window.display;
    NoSocketEvents& events = window.events;
    VirtualSleeper sleeper;
    DestinationListener upgradePeer;
    DestinationListener searchPeer;
    std::optional<std::string> localAddress = "127.0.0.1";
    Gate settle;
    std::filesystem::path folder;
    std::unique_ptr<core::UpgradeTool> tool;
};
