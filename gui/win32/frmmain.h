#pragma once

// The main window in the Win32 API. It lays out the controls, owns the core's
// UpgradeTool and binds it to the controls through the core's ports, and
// forwards the window's events (show, first activation, close, the buttons,
// socket readiness) to the tool's handlers inside one error guard.

#include "core/upgrade_tool.h"
#include "gui/win32/frmmain_dialogs.h"
#include "gui/win32/frmmain_ids.h"
#include "gui/win32/frmmain_ports.h"
#include "gui/win32/frmmain_socket_events.h"
#include "platform/sleeper.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

// What the window reaches outside itself. An empty entry takes the program's
// real one; tests fill every entry so that nothing modal is ever shown and no
// real interface is ever swept.
struct WindowSeams {
    core::ToolPorts ports;                      // local and destination ports of both channels
    core::Notices* notices = nullptr;           // null: message boxes over the window
    core::OpenFileDialog* fileDialog = nullptr; // null: GetOpenFileNameW over the window
    platform::Sleeper* sleeper = nullptr;       // null: the window's own RealSleeper
    std::function<std::optional<std::string>()> lookupLocalAddress; // empty: LookupLocalIPv4
};

// A control's place in its parent's client area, in pixels.
struct Bounds {
    int left, top, width, height;
};

class TFrmmain {
public:
    // Registers the window class (once) and creates the window and its
    // controls, hidden. Throws std::runtime_error when Windows refuses.
    explicit TFrmmain(WindowSeams seams = {});
    ~TFrmmain(); // ends the workers, then destroys the window if still there
    TFrmmain(const TFrmmain&) = delete;
    TFrmmain& operator=(const TFrmmain&) = delete;

    // Shows the window; FormShow runs, and start-up follows on first activation.
    void Show(int showCommand = SW_SHOWNORMAL);

    HWND Handle() const { return window_; }
    HWND Control(ControlId id) const;
    core::UpgradeTool& Tool() { return *tool_; }
    ControlToolView& View() { return *view_; }
    core::WorkerDisplay& Display() { return *workerDisplay_; }
    bool Destroyed() const { return window_ == nullptr; }

    // Owner-draw handler of stat1's only panel: hosts ProgressBar1 in the panel,
    // ten pixels short of its right edge. `panel` is in stat1's client coordinates.
    void stat1DrawPanel(const RECT& panel);

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void BuildControls();
    HWND AddControl(ControlId id, ControlId parent, const wchar_t* className, const wchar_t* text,
                    DWORD style, DWORD extendedStyle, Bounds bounds, HFONT font);
    void LayOutDocked();
    void OnCommand(int id, int notification);

    void HandleSocketMessage();
    void FormShow();
    void FormActivate();
    void FormClose();
    void btnsearchClick();
    void btn1Click();
    void btnUPGClick();

    // Runs `handler`; whatever escapes it is shown in the error box, so no
    // exception ever reaches the window procedure.
    void Guarded(const std::function<void()>& handler) noexcept;

    HWND window_ = nullptr;
    std::map<int, HWND> controls_;
    HFONT font_ = nullptr;       // 宋体, 13 px
    HFONT buttonFont_ = nullptr; // 宋体, 16 px, btn1 only

    MessageBoxNotices ownNotices_;
    FileOpenDialog ownFileDialog_;
    platform::RealSleeper ownSleeper_;
    AsyncSelectSocketEvents socketEvents_;
    core::Notices* notices_ = nullptr;

    std::unique_ptr<ControlToolView> view_;
    std::unique_ptr<PostedWorkerDisplay> workerDisplay_;
    std::unique_ptr<core::UpgradeTool> tool_;
    bool shown_ = false;
    bool activated_ = false;
    bool drainPosted_ = false; // a follow-up socket message is queued
};

// The program's message loop for `frmmain`, with dialog keys (Tab moves along
// the tab order). Returns when the window has been destroyed.
int RunMessageLoop(TFrmmain& frmmain);
