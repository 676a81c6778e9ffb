#pragma once

// The fleet window's behaviour without a toolkit: every handler, which
// controls are enabled when, the close rule, the adapter choice and the
// settings, the engine's events applied to the model. A toolkit's window
// builds its controls from the description, implements FleetView and
// FleetDialogs, and hands each event of the operator or the engine here.

#include "gui/fleet/shell/fleet_adapters.h"
#include "gui/fleet/shell/fleet_settings.h"
#include "gui/fleet/shell/fleet_window_model.h"
#include "gui/fleet/shell/fleet_window_ports.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fleetui {

// What the shell reaches outside the window. Empty entries take the real ones.
struct FleetShellSeams {
    std::string settingsFolder; // UTF-8: the remembered adapter and the last report
    // Called on the engine's thread when events wait; must only post to the
    // window's thread, which then calls EngineWoke().
    std::function<void()> wake;
    std::function<std::vector<platform::NetworkAdapter>()> listAdapters;
    std::function<std::unique_ptr<FleetEngine>(std::function<void()> wake)> makeEngine;
};

class FleetWindowShell {
public:
    FleetWindowShell(FleetShellSeams seams, FleetView& view, FleetDialogs& dialogs);
    ~FleetWindowShell(); // interrupts a run and ends the engine first
    FleetWindowShell(const FleetWindowShell&) = delete;
    FleetWindowShell& operator=(const FleetWindowShell&) = delete;

    // The controls exist: list the adapters and show the last run's report.
    void Opened();

    // --- the operator
    void AdapterListOpening(); // read the adapters again
    void AdapterChosen(int index);
    void SearchClicked();
    void BrowseClicked();
    void ChooseImage(const std::string& path);
    void VersionEdited(const std::string& text);
    void FilterEdited(const std::string& text);
    void HeaderClicked(int column);
    void RowChecked(int index, bool checked); // index among the rows shown
    void SelectAllClicked();
    void SelectNoneClicked();
    void SelectNotCurrentClicked();
    void StartClicked();
    void StopClicked();
    void RetryClicked();
    void SaveClicked(bool csv);
    // The expected list: from a file (serials, IP=SERIAL lines or a discover
    // CSV), from the last sweep, or none; remembered with the settings.
    void ExpectedFromFileClicked();
    void ExpectedFromSweepClicked();
    void ExpectedClearClicked();
    // True when the window may close now. During a run the operator is asked;
    // a yes stops the run honestly and the window closes once its report is
    // written (CloseWindow).
    bool CloseRequested();

    // --- the engine and the clock
    void EngineWoke();
    void RepaintDue();

    const FleetWindowModel& Model() const { return model_; }
    std::string LastReportPath() const;
    std::string SettingsPath() const;

private:
    // Runs a handler; what escapes it is shown in the error box, so no
    // exception ever reaches the toolkit.
    void Guarded(const std::function<void()>& handler);
    // Applies a change to the view; events it causes are the window's own.
    void Render(const std::function<void()>& change);
    void RefreshAdapters();
    fleet::AdapterOptions ChosenAdapter() const;
    void RebuildTable();
    void ShowChangedRows(const std::vector<std::string>& addresses);
    void UpdateControls();
    void ReopenLastReport();
    // Takes the expected list, remembers it, and redraws what it changes.
    void UseExpected(std::vector<fleet::ExpectedCollector> expected);
    // The settings file as it is, changed by `change`, written back.
    // The text is empty on success, else why not.
    std::string SaveSetting(const std::function<void(FleetSettings&)>& change);

    FleetShellSeams seams_;
    FleetView& view_;
    FleetDialogs& dialogs_;
    FleetWindowModel model_;
    OfferedAdapters adapters_;
    std::vector<std::string> shown_;          // addresses of the rows shown, in order
    std::map<std::string, int> rowOf_;        // address -> index among them
    std::optional<fleet::Report> lastReport_; // the last run's, or the one reopened
    bool rendering_ = false;
    bool closeAfterRun_ = false;
    bool holdingShutdown_ = false;
    Column sortColumn_ = Column::Address;
    bool ascending_ = true;
    std::unique_ptr<FleetEngine> engine_; // last: its thread sees a whole shell
};

} // namespace fleetui
