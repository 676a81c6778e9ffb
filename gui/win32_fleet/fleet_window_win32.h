#pragma once

// The fleet window in Win32: it renders the controls described in
// gui/fleet_common at the monitor's resolution, shows the model's rows in a
// list view with check boxes, and turns the operator's actions and the
// engine's queued events (posted as a window message) into calls on the
// model and the engine.

#include "gui/fleet_common/fleet_engine_thread.h"
#include "gui/fleet_common/fleet_window_description.h"
#include "gui/fleet_common/fleet_window_model.h"
#include "gui/win32/windows_api.h"
#include "gui/win32_fleet/accessible_names.h"
#include "platform/network_adapters.h"

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

// The dialogs (UTF-8 texts), replaceable so that tests answer them.
struct FleetWin32Dialogs {
    std::function<std::string()> openImage;      // "" = cancelled
    std::function<std::string(bool csv)> saveAs; // "" = cancelled
    std::function<bool(const std::string& title, const std::string& text)> ask;
    std::function<void(const std::string& text)> notice;
};

class FleetWin32Window {
public:
    // `settingsFolder` (UTF-8) holds the remembered adapter and the last report.
    explicit FleetWin32Window(std::string settingsFolder, FleetWin32Dialogs dialogs = {});
    ~FleetWin32Window();

    HWND Handle() const { return window_; }
    HWND Control(fleetwin::FleetControlId id) const { return GetDlgItem(window_, id); }
    const fleetwin::FleetWindowModel& Model() const { return model_; }
    void Show(int showCommand);
    // What the browse button does once the dialog has given a path (UTF-8).
    void ChooseImage(const std::string& path);
    std::string LastReportPath() const { return settingsFolder_ + "/last-report.json"; }
    UINT Dpi() const { return dpi_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void PlaceControls();
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR& header);
    LRESULT DrawProgressCell(const NMLVCUSTOMDRAW& draw);
    void RefreshAdapters();
    void Search();
    void Start();
    void Stop();
    void Save(bool csv);
    void DrainEngine();
    void Repaint();
    void RebuildList();
    void UpdateRow(int row, const fleetwin::Row& data);
    void UpdateControls();
    fleet::AdapterOptions ChosenAdapter() const;

    std::string settingsFolder_;
    FleetWin32Dialogs dialogs_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    fleetwin::FleetWindowModel model_;
    std::vector<platform::NetworkAdapter> adapters_;
    std::map<std::string, int> rowOf_;
    std::string lastReportJson_;
    bool filling_ = false;
    bool closeAfterRun_ = false;
    int sortColumn_ = static_cast<int>(fleetwin::Column::Address);
    bool ascending_ = true;
    std::unique_ptr<AccessibleNames> accessibleNames_;
    std::unique_ptr<fleetwin::EngineThread> engine_; // last: its thread sees a whole window
};

// The message loop with Tab and Shift+Tab moving along the tab order.
int RunFleetMessageLoop(FleetWin32Window& window);
