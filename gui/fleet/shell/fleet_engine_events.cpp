#include "gui/fleet/shell/fleet_engine_events.h"

#include <variant>

namespace fleetui {

AppliedEvents ApplyEngineEvents(FleetWindowModel& model, std::vector<EngineEvent> events) {
    AppliedEvents applied;
    for (auto& event : events) {
        if (auto* sweep = std::get_if<SweepDone>(&event)) {
            if (sweep->field)
                model.SetField(*sweep->field, *sweep->scope, sweep->findings);
            if (!sweep->error.empty())
                model.SweepFailed(sweep->error);
            applied.rebuild = true;
        } else if (auto* batch = std::get_if<ProgressBatch>(&event)) {
            model.QueueProgress(batch->rows);
        } else if (auto* settled = std::get_if<CollectorSettled>(&event)) {
            model.Settle(settled->result);
            applied.settledAddresses.push_back(settled->result.address);
        } else if (auto* done = std::get_if<RunDone>(&event)) {
            applied.runEnded = true;
            model.RunFinished(done->results, done->interrupted, done->exitStatus, done->expected);
            if (done->report)
                applied.report = std::move(done->report);
            if (!done->error.empty())
                model.SweepFailed(done->error);
            applied.rebuild = true;
        } else if (auto* failed = std::get_if<EngineFailed>(&event)) {
            const Phase phase = model.CurrentPhase();
            if (phase == Phase::Running || phase == Phase::Stopping) {
                model.RunFinished({}, false, fleet::kExitSomeNotUpgraded);
                applied.runEnded = true;
            }
            model.SweepFailed(failed->message); // back to idle, the message in the status line
            applied.failure = failed->message;
            applied.rebuild = true;
        }
    }
    return applied;
}

} // namespace fleetui
