#pragma once

// The program's state and its handlers, free of Qt: the two channels and their
// buffers, the mode, the image texts and the two workers. The window TFrmmain
// owns one, implements the ports it talks through, and forwards its events.
// Every method except the constructor's arguments' lifetimes runs on the UI
// thread; the workers reach the window only through WorkerDisplay.

#include "core/block_workers.h"
#include "core/channels.h"
#include "platform/sleeper.h"
#include "core/session_mode.h"
#include "core/ui_ports.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct ToolPorts {
    std::uint16_t upgradeLocal = 8000;
    std::uint16_t upgradeDestination = 8000;
    std::uint16_t searchLocal = 23;
    std::uint16_t searchDestination = 23;
};

// Everything the tool reaches outside itself. All must outlive the tool.
struct ToolPortsAndViews {
    DeviceList& deviceList;
    FormFields& fields;
    Notices& notices;
    OpenFileDialog& fileDialog;
    WorkerDisplay& workerDisplay;
    SocketEvents& socketEvents;
    Sleeper& sleeper;
    std::function<std::optional<std::string>()> lookupLocalAddress;
};

class UpgradeTool {
public:
    UpgradeTool(ToolPortsAndViews views, ToolPorts ports = {});
    ~UpgradeTool();
    UpgradeTool(const UpgradeTool&) = delete;
    UpgradeTool& operator=(const UpgradeTool&) = delete;

    // Window events. Exceptions propagate to the caller's error guard.
    void FormShow();
    void FormActivate(); // start-up; runs once, later calls do nothing
    void FormClose();
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();
    void HandleSocketMessage();

    // The receive path's frame handlers, public for tests.
    void HandleUpgradeFrame(const std::string& frame);
    void HandleSearchReply(const std::string& frame, const std::string& sender);

    // Ends both workers promptly: pauses are cut short, queues quit, threads joined.
    void StopWorkers();

    SessionMode& Mode() { return mode_; }
    UdpChannel& UpgradeChannel() { return upgradeChannel_; }
    UdpChannel& SearchChannel() { return searchChannel_; }
    const std::string& ImageHex() const { return imageHex_; }
    const ImageText& SendImageHex() const { return sendImageHex_; }
    bool WorkersRunning() const { return tupthread_ != nullptr; }

private:
    void OnAccept(const std::string& frame);
    void OnResendList(const std::string& frame);
    // The selected row's IP, or the address the request went to if none is selected.
    std::string TargetAddress() const;

    ToolPortsAndViews views_;
    ToolPorts ports_;
    UdpChannel upgradeChannel_;
    UdpChannel searchChannel_;
    SessionMode mode_;
    std::string imageHex_;
    ImageText sendImageHex_;
    std::string requestAddress_;
    bool activated_ = false;
    std::unique_ptr<Tupthread> tupthread_;
    std::unique_ptr<Tupthread1> tupthread1_;
};

// "Message." as the error box shows it: a full stop is added when the last
// byte sorts after ".".
std::string ErrorBoxText(const std::string& message);

// The application title: the program file's name up to its first ".", every
// character after the first in lower case.
std::string ApplicationTitle(const std::string& programPath);
