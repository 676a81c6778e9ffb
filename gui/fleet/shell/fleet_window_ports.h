#pragma once

// The ports between the fleet window's shell (fleet_window_shell.h) and a
// toolkit, which implements both; tests fake them once, in tests/support.
// Every text is UTF-8.

#include "gui/fleet/shell/fleet_engine_thread.h"
#include "gui/fleet/shell/fleet_window_description.h"
#include "gui/fleet/shell/fleet_window_model.h"

#include <chrono>
#include <string>
#include <vector>

namespace fleetui {

// What the shell tells the window to show. UI thread only; each call is one
// change to apply at once. The window sends no event back while it applies
// one (the shell ignores what comes meanwhile).
class FleetView {
public:
    virtual ~FleetView() = default;
    // The table shows exactly these rows, in this order.
    virtual void ShowRows(const std::vector<const Row*>& rows) = 0;
    // Row `index` of the rows last shown has changed.
    virtual void ShowRow(int index, const Row& row) = 0;
    virtual void ShowSortColumn(Column column, bool ascending) = 0;
    // The adapter list's labels and the chosen one (-1: none).
    virtual void ShowAdapters(const std::vector<std::string>& labels, int chosen) = 0;
    // A label's, a field's or the status line's text.
    virtual void SetText(FleetControlId id, const std::string& text) = 0;
    virtual void SetEnabled(FleetControlId id, bool enabled) = 0;
    virtual void SetOverallPercent(int percent) = 0;
    // While it runs, the window calls the shell's RepaintDue() every `interval`.
    virtual void StartRepaintTimer(std::chrono::milliseconds interval) = 0;
    virtual void StopRepaintTimer() = 0;
    // The window closes now, without asking again.
    virtual void CloseWindow() = 0;
    // True from a run's start until it has ended: collectors may be mid-flash,
    // and the window holds a shutdown, restart or logoff meanwhile. A toolkit
    // without such a guard ignores it.
    virtual void HoldShutdown(bool /*hold*/) {}
};

// The modal boxes and file dialogs. Each returns once the operator answered.
class FleetDialogs {
public:
    virtual ~FleetDialogs() = default;
    virtual std::string OpenImagePath() = 0;          // "" when cancelled
    virtual std::string OpenExpectedListPath() = 0;   // "" when cancelled
    virtual std::string SaveReportPath(bool csv) = 0; // "" when cancelled
    virtual bool Ask(const std::string& title, const std::string& question) = 0;
    virtual void Notice(const std::string& text) = 0; // information, OK
    virtual void Error(const std::string& text) = 0;  // a file or the system failed
};

} // namespace fleetui
