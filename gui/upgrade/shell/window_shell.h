#pragma once

// The toolkit-free half of a window: it resolves the seams, owns the core's
// UpgradeTool, and forwards each window event to the tool inside the one
// error guard. A toolkit's window builds its controls and ports, then hands
// every event here and nothing else.

#include "core/upgrade_tool.h"
#include "platform/sleeper.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace upgradeui {

// What a window reaches outside itself. An empty entry takes the program's
// real one; tests fill every entry so that nothing modal is ever shown and no
// real interface is ever swept.
struct WindowSeams {
    core::ToolPorts ports;                      // local and destination ports of both channels
    core::Notices* notices = nullptr;           // null: the toolkit's message boxes
    core::OpenFileDialog* fileDialog = nullptr; // null: the toolkit's open-file dialog
    platform::Sleeper* sleeper = nullptr;       // null: the shell's own RealSleeper
    std::function<std::optional<std::string>()> lookupLocalAddress; // empty: LookupLocalIPv4
};

// The window's own pieces: its ports over the controls, and its real modal
// boxes and dialog for the seams left empty.
struct WindowParts {
    core::ToolView& view;
    core::OperatorInput& input;
    core::WorkerDisplay& workerDisplay;
    core::SocketEvents& socketEvents;
    core::Notices& ownNotices;
    core::OpenFileDialog& ownFileDialog;
    // Told true when an upgrade starts sending blocks or querying its end,
    // and false once it has ended: the toolkit holds a shutdown meanwhile.
    // Empty: nothing is told.
    std::function<void(bool)> holdShutdown = {};
};

class WindowShell {
public:
    WindowShell(WindowSeams seams, WindowParts parts);
    ~WindowShell(); // ends the workers before anything they show on goes
    WindowShell(const WindowShell&) = delete;
    WindowShell& operator=(const WindowShell&) = delete;

    core::UpgradeTool& Tool() { return *tool_; }

    // The window is being shown. The first time, FormShow runs and the result
    // is true: the toolkit then arranges a start-up for when the window is up,
    // for a desktop that never activates it. Later shows do nothing.
    bool FormShow();
    // The window became active (or the arranged start-up came). Start-up runs
    // on the first of these after the first show, and never again: coming
    // back from a notice, a dialog, another program or the minimised state
    // does not repeat it.
    void FormActivate();
    void FormClose();
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();
    void HandleSocketMessage();
    // A worker's change has been applied on the window's thread: the upgrade
    // may have ended on the worker's side meanwhile.
    void WorkerChangeApplied() noexcept;

    void StopWorkers() noexcept;

private:
    // Runs `handler`; whatever escapes it is shown in the error box, so no
    // exception ever reaches the toolkit.
    void Guarded(const std::function<void()>& handler) noexcept;
    // Tells holdShutdown when the upgrade starts or ends running.
    void FollowUpgrade() noexcept;

    platform::RealSleeper ownSleeper_;
    core::Notices* notices_;
    std::function<void(bool)> holdShutdown_;
    std::unique_ptr<core::UpgradeTool> tool_;
    bool upgradeRunning_ = false;
    bool shown_ = false;
    bool activated_ = false;
};

} // namespace upgradeui
