#pragma once

// One fleet upgrade run, for the command line and the fleet window alike: a
// sweep right before anything else is sent, the plan, the confirmation, the
// sessions under the canary and launch limits with the system kept awake,
// the report written at the start, as sessions change stage (at most once a
// second), after each session and at the end, and the exit status. What the
// two show differs; they see the run through hooks.

#include "fleet/run/fleet_report.h"
#include "fleet/run/launch_plan.h"
#include "fleet/run/run_log.h"
#include "fleet/run/run_record.h"
#include "fleet/run/run_steps.h"
#include "fleet/session/fleet_policy.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

// What a run is to do.
struct RunSetup {
    std::shared_ptr<const FirmwareImage> image;
    std::vector<PinnedTarget> targets; // empty: every collector the sweep finds
    std::vector<std::string> excluded;
    // The collectors the run expects; none: no list, nothing compared.
    std::optional<Expectation> expected;
    SweepOptions sweep;
    LaunchLimits limits{0, policy::kCanary, std::nullopt};
    bool verify = true;
    std::chrono::seconds verifyTimeout = policy::kVerifyTimeout;
    bool dryRun = false; // sweep and plan; send nothing else
};

// How a front end follows the run; each one may be left unset. All are
// called on the io_context's thread.
struct RunHooks {
    // After the sweep and the plan, before anything but the sweep is sent.
    std::function<void(const FieldTable&, const TargetPlan&)> planned;
    // Asked once before the first upgrade message. False: nothing is sent, the
    // upgrade targets are reported not started ("not_confirmed", or
    // "interrupted" when an interrupt came meanwhile) and the run ends with
    // kExitNotConfirmed (kExitInterrupted). Unset: yes.
    std::function<bool(const TargetPlan&)> confirm;
    // Shows each session's changes (the terminal); unset: nothing shown.
    ProgressView* progress = nullptr;
    // Every policy::kProgressInterval while the sessions run.
    std::function<void(const UpgradeRun&)> sample;
    // As each collector's session ends, with its result.
    std::function<void(const CollectorResult&)> settled;
    // The report could not be written after a session ended; the run goes on.
    std::function<void(const std::string& error)> reportTrouble;
    // Where the run's and its sessions' events are logged; null: nowhere.
    RunLog* log = nullptr;
};

struct RunEnd {
    bool confirmed = true; // false: the confirmation said no; nothing was sent but the sweep
    bool interrupted = false;
    std::vector<CollectorResult> results; // ascending by address
    int exitStatus = kExitUsage;
    std::string reportError; // the report was not written, at the end or before
    // Why no other target started after the canary: which one and how it
    // ended (CanaryFailureText); empty when no canary stopped the run.
    std::string canaryFailure;
};

// The report's head for a run through `adapter` of `image`, begun at `started`.
RunInfo RunInfoFor(const Adapter& adapter, const FirmwareImage& image, bool dryRun,
                   std::chrono::system_clock::time_point started);

// Runs the upgrade on `io`'s thread through `sockets` (open; their scope
// bounds the sweep and the targets) until it ends or `interrupt` ends it,
// writing `record`.
RunEnd RunFleetUpgrade(asio::io_context& io, FleetSockets& sockets, const RunSetup& setup,
                       RunRecord& record, const RunHooks& hooks, RunInterrupt& interrupt);

} // namespace fleet
