#pragma once

// In-memory stand-ins for the fleet window's ports (gui/fleet/shell/
// fleet_window_ports.h): the view, the dialogs and the engine. Each records
// what the shell did to it; the dialogs answer as the test says.

#include "gui/fleet/shell/fleet_window_ports.h"

#include <map>
#include <string>
#include <vector>

namespace support {

class FakeFleetView : public fleetui::FleetView {
public:
    void ShowRows(const std::vector<const fleetui::Row*>& shown) override {
        rows.clear();
        for (const auto* row : shown)
            rows.push_back(*row);
        ++rebuilds;
    }
    void ShowRow(int index, const fleetui::Row& row) override { rows.at(index) = row; }
    void ShowSortColumn(fleetui::Column column, bool ascending) override {
        sortColumn = column;
        sortAscending = ascending;
    }
    void ShowAdapters(const std::vector<std::string>& labels, int chosen) override {
        adapters = labels;
        chosenAdapter = chosen;
    }
    void SetText(fleetui::FleetControlId id, const std::string& text) override { texts[id] = text; }
    void SetEnabled(fleetui::FleetControlId id, bool on) override { enabled[id] = on; }
    void SetOverallPercent(int value) override { percent = value; }
    void StartRepaintTimer(std::chrono::milliseconds) override { repainting = true; }
    void StopRepaintTimer() override { repainting = false; }
    void CloseWindow() override { closed = true; }
    void HoldShutdown(bool hold) override { holdingShutdown = hold; }

    std::vector<fleetui::Row> rows;
    int rebuilds = 0;
    fleetui::Column sortColumn = fleetui::Column::Address;
    bool sortAscending = true;
    std::vector<std::string> adapters;
    int chosenAdapter = -1;
    std::map<fleetui::FleetControlId, std::string> texts;
    std::map<fleetui::FleetControlId, bool> enabled;
    int percent = 0;
    bool repainting = false;
    bool closed = false;
    bool holdingShutdown = false;
};

class FakeFleetDialogs : public fleetui::FleetDialogs {
public:
    std::string OpenImagePath() override { return openPath; }
    std::string OpenExpectedListPath() override { return openPath; }
    std::string SaveReportPath(bool) override { return savePath; }
    bool Ask(const std::string& title, const std::string& question) override {
        questions.push_back(title + "\n" + question);
        return answer;
    }
    void Notice(const std::string& text) override { notices.push_back(text); }
    void Error(const std::string& text) override { errors.push_back(text); }

    std::string openPath, savePath; // "" answers as a cancel
    bool answer = false;
    std::vector<std::string> questions, notices, errors;
};

// Takes commands and hands out the events the test queued.
class FakeFleetEngine : public fleetui::FleetEngine {
public:
    void Sweep(const fleet::AdapterOptions& adapter) override { sweeps.push_back(adapter); }
    void Start(fleetui::RunRequest request) override { runs.push_back(std::move(request)); }
    void Interrupt() override { ++interrupts; }
    std::vector<fleetui::EngineEvent> Drain() override { return std::exchange(queued, {}); }

    std::vector<fleet::AdapterOptions> sweeps;
    std::vector<fleetui::RunRequest> runs;
    int interrupts = 0;
    std::vector<fleetui::EngineEvent> queued;
};

} // namespace support
