#pragma once

// The fleet window in Win32: it renders the controls described in
// gui/fleet/shell at the monitor's resolution and what the shell tells it to
// show (the rows in a list view with check boxes, the progress column drawn as
// bars, the shutdown held during a run), and hands every message of the
// operator and the engine to the shell. Its system menu has the About entry.

#include "gui/fleet/shell/fleet_window_ports.h"
#include "gui/fleet/shell/fleet_window_shell.h"
#include "gui/win32_support/accessible_names.h"
#include "gui/win32_support/message_window.h"
#include "gui/win32_support/shutdown_guard.h"

#include <commctrl.h>

#include <memory>

namespace fleetui::win32 {

class FleetWindow : public win32_support::MessageWindow,
                    private fleetui::FleetView,
                    private fleetui::FleetDialogs {
public:
    // `dialogs` answers the boxes and file dialogs; null: the system's own.
    explicit FleetWindow(fleetui::FleetShellSeams seams, fleetui::FleetDialogs* dialogs = nullptr);
    ~FleetWindow() override;

    HWND Control(fleetui::FleetControlId id) const { return GetDlgItem(window_, id); }
    fleetui::FleetWindowShell& Shell() { return *shell_; }
    void Show(int showCommand);
    UINT Dpi() const { return dpi_; }

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void CreateControls();
    void ApplyDpi(); // places, font and column widths at dpi_
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR& header);
    LRESULT DrawProgressCell(const NMLVCUSTOMDRAW& draw);

    // fleetui::FleetView
    void ShowRows(const std::vector<const fleetui::Row*>& rows) override;
    void ShowRow(int index, const fleetui::Row& row) override;
    void ShowSortColumn(fleetui::Column column, bool ascending) override;
    void ShowAdapters(const std::vector<std::string>& labels, int chosen) override;
    void SetText(fleetui::FleetControlId id, const std::string& text) override;
    void SetEnabled(fleetui::FleetControlId id, bool enabled) override;
    void SetOverallPercent(int percent) override;
    void StartRepaintTimer(std::chrono::milliseconds interval) override;
    void StopRepaintTimer() override;
    void CloseWindow() override;
    void HoldShutdown(bool hold) override;

    // fleetui::FleetDialogs, with the system's boxes
    std::string OpenImagePath() override;
    std::string OpenExpectedListPath() override;
    std::string SaveReportPath(bool csv) override;
    bool Ask(const std::string& title, const std::string& question) override;
    void Notice(const std::string& text) override;
    void Error(const std::string& text) override;

    HWND list_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    std::unique_ptr<win32_support::AccessibleNames> accessibleNames_;
    win32_support::ShutdownGuard shutdownGuard_;
    std::unique_ptr<fleetui::FleetWindowShell> shell_; // last: it sees a whole window
};

} // namespace fleetui::win32
