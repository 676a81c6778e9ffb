#pragma once

// The engine's events applied to the window's model, once for both toolkits;
// what is left to a renderer is to redraw what the result names.

#include "gui/fleet/shell/fleet_engine_thread.h"
#include "gui/fleet/shell/fleet_window_model.h"

#include <optional>
#include <string>
#include <vector>

namespace fleetui {

struct AppliedEvents {
    bool rebuild = false;  // rows came, went or changed plan: redraw the whole table
    bool runEnded = false; // the run is over: stop the repaint timer
    std::vector<std::string> settledAddresses; // rows whose session ended: redraw now
    std::optional<fleet::Report> report;       // the run's report, when it gave one
    std::optional<std::string> failure;        // the engine failed: for the error box
};

AppliedEvents ApplyEngineEvents(FleetWindowModel& model, std::vector<EngineEvent> events);

} // namespace fleetui
