#pragma once

// The fleet window in Win32: it renders the controls described in
// gui/fleet_common at the monitor's resolution, shows the model's rows in a
// list view with check boxes, and turns the operator's actions and the
// engine's queued events (posted as a window message) into calls on the
// model and the engine.

#include "gui/fleet_common/fleet_engine_thread.h"
#include "gui/fleet_common/fleet_window_description.h"
#include "gui/fleet_common/fleet_window_model.h"
#include "gui/win32_fleet/accessible_names.h"
#include "gui/win32_support/message_window.h"
#include "platform/network_adapters.h"

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace fleetwin32 {

// The list's column widths at 96 dpi.
inline constexpr int kColumnWidths[fleetwin::kColumnCount] = {40, 110, 110, 80, 90,
                                                              70, 70,  100, 190};

// The dialogs (UTF-8 texts), replaceable so that tests answer them.
struct FleetDialogs {
    std::function<std::string()> openImage;      // "" = cancelled
    std::function<std::string(bool csv)> saveAs; // "" = cancelled
    std::function<bool(const std::string& title, const std::string& text)> ask;
    std::function<void(const std::string& text)> notice;
};

class FleetWindow : public win32ui::MessageWindow {
public:
    // `settingsFolder` (UTF-8) holds the remembered adapter and the last report.
    explicit FleetWindow(std::string settingsFolder, FleetDialogs dialogs = {});
    ~FleetWindow() override;

    HWND Control(fleetwin::FleetControlId id) const { return GetDlgItem(window_, id); }
    const fleetwin::FleetWindowModel& Model() const { return model_; }
    void Show(int showCommand);
    // What the browse button does once the dialog has given a path (UTF-8).
    void ChooseImage(const std::string& path);
    std::string LastReportPath() const { return settingsFolder_ + "/last-report.json"; }
    UINT Dpi() const { return dpi_; }

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void CreateControls();
    void ApplyDpi(); // places, fonts and column widths at dpi_
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
    FleetDialogs dialogs_;
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

} // namespace fleetwin32
