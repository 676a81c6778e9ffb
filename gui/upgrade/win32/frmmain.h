#pragma once

// The main window in the Win32 API. It renders the window described in
// gui/upgrade/shell at the window's resolution (re-laid when the resolution
// changes), gives the shell its ports over the controls, and translates the
// window's messages (show, activation, close, the buttons, socket readiness)
// into the shell's handlers. Beyond the described window: names for screen
// readers, the About entry of its system menu, and the shutdown held while
// the shell says an upgrade runs.

#include "gui/upgrade/shell/window_shell.h"
#include "gui/upgrade/win32/frmmain_dialogs.h"
#include "gui/upgrade/win32/frmmain_ids.h"
#include "gui/upgrade/win32/frmmain_ports.h"
#include "gui/upgrade/win32/frmmain_socket_events.h"
#include "gui/win32_support/accessible_names.h"
#include "gui/win32_support/message_window.h"
#include "gui/win32_support/shutdown_guard.h"

#include <map>
#include <memory>

namespace upgradeui::win32 {

using upgradeui::WindowSeams;

class TFrmmain : public win32_support::MessageWindow {
public:
    // Registers the window class (once) and creates the window and its
    // controls, hidden. Throws std::runtime_error when Windows refuses.
    explicit TFrmmain(WindowSeams seams = {});
    ~TFrmmain(); // ends the workers, then destroys the window if still there

    // Shows the window; FormShow runs, and start-up follows on first activation.
    void Show(int showCommand = SW_SHOWNORMAL);

    HWND Control(ControlId id) const;
    core::UpgradeTool& Tool() { return shell_->Tool(); }
    ControlToolView& View() { return *view_; }
    core::WorkerDisplay& Display() { return *workerDisplay_; }
    UINT Dpi() const { return dpi_; }

    // Owner-draw handler of stat1's only panel: hosts ProgressBar1 in the panel,
    // ten pixels (at 96 dpi) short of its right edge. `panel` is in stat1's
    // client coordinates.
    void stat1DrawPanel(const RECT& panel);

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void MakeFonts();
    HFONT FontFor(const upgradeui::ControlDescription& control) const;
    void BuildControls();
    HWND MakeControl(const upgradeui::ControlDescription& control);
    void ApplyDpi(UINT dpi, const RECT* suggested); // fonts, places and sizes at `dpi`
    void LayOutDocked();
    void OnCommand(int id, int notification);
    // Start-up on the first activation, and the keyboard focus kept across
    // activations. False: the system's handling is wanted too.
    bool OnActivate(bool active, bool minimised);
    void HandleSocketMessage();

    UINT dpi_ = upgradeui::kDesignDpi;
    std::map<int, HWND> controls_;
    std::map<int, HFONT> fonts_; // by character height at 96 dpi
    HWND focusBeforeDeactivation_ = nullptr;
    win32_support::AccessibleNames accessibleNames_;
    win32_support::ShutdownGuard shutdownGuard_;

    MessageBoxNotices ownNotices_;
    FileOpenDialog ownFileDialog_;
    AsyncSelectSocketEvents socketEvents_;

    std::unique_ptr<ControlToolView> view_;
    std::unique_ptr<PostedWorkerDisplay> workerDisplay_;
    std::unique_ptr<upgradeui::WindowShell> shell_;
    bool drainPosted_ = false; // a follow-up socket message is queued
};

} // namespace upgradeui::win32
