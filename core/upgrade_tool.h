#pragma once

// The composition a window drives: both channels, discovery with its device
// table, the firmware image, the upgrade session and the two workers, wired
// to the window's ports. Every method runs on the UI thread; exceptions
// propagate to the window's error guard.

#include "core/block_workers.h"
#include "core/channels.h"
#include "core/chosen_image.h"
#include "core/discovery.h"
#include "core/session_mode.h"
#include "core/status_line.h"
#include "core/tool_view.h"
#include "core/upgrade_control.h"
#include "core/worker_port.h"
#include "protocol/collector_rules.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core {

struct ToolPorts {
    std::uint16_t upgradeLocal = protocol::kUpgradePort;
    std::uint16_t upgradeDestination = protocol::kUpgradePort;
    std::uint16_t searchLocal = protocol::kSearchPort;
    std::uint16_t searchDestination = protocol::kSearchPort;
};

class UpgradeTool : private WorkerLauncher {
public:
    explicit UpgradeTool(WindowPorts window, ToolPorts ports = {});
    ~UpgradeTool() override;
    UpgradeTool(const UpgradeTool&) = delete;
    UpgradeTool& operator=(const UpgradeTool&) = delete;

    // Window events.
    void FormShow();     // the local address
    void FormActivate(); // start-up; runs once, later calls do nothing
    void FormClose();    // closes both channels
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();
    void HandleSocketMessage(); // one socket notification

    // Ends both workers promptly: pauses are cut short, queues quit, threads
    // joined. The window calls it before it destroys what the workers show on.
    void StopWorkers();

    // The parts, for a window to read and for tests to drive.
    Discovery& DeviceDiscovery() { return discovery_; }
    UpgradeControl& Session() { return session_; }
    const ChosenImage& Image() const { return image_; }
    std::string StatusText() const { return status_.Text(); }
    SessionMode& Mode() { return mode_; }
    UdpChannel& UpgradeChannel() { return upgradeChannel_; }
    UdpChannel& SearchChannel() { return searchChannel_; }
    bool WorkersRunning() const { return workers_ != nullptr; }

private:
    void StartRange(RangeRequest request) override;
    void StartList(ListRequest request) override;

    WindowPorts window_;
    ToolPorts ports_;
    UdpChannel upgradeChannel_;
    UdpChannel searchChannel_;
    SessionMode mode_;
    StatusLine status_;
    Discovery discovery_;
    ChosenImage image_;
    UpgradeControl session_;
    WorkerPort workerPort_;
    bool activated_ = false;
    std::unique_ptr<BlockWorkers> workers_;
};

} // namespace core
