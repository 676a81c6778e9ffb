#pragma once

// The steps of a run that both front ends take: the command line and the
// fleet window. Each runs on the thread of the io_context it is given.

#include "fleet/field_table.h"
#include "fleet/fleet_plan.h"
#include "fleet/fleet_policy.h"
#include "fleet/fleet_sockets.h"
#include "fleet/upgrade_run.h"

#include <string>
#include <variant>
#include <vector>

namespace fleet {

// The adapter to work on, by name or by address; with neither, the only
// non-loopback one.
struct AdapterOptions {
    std::string interfaceName;
    std::string address;
};

struct SweepOptions {
    int sweeps = policy::kSweepRounds;
    int waitMs = static_cast<int>(policy::kSweepWait.count()); // after each sweep, for the replies
};

// The adapter chosen, and the hosts its subnet lets a run reach.
struct Adapter {
    platform::NetworkAdapter adapter;
    SweepScope scope;
};

std::variant<Adapter, std::string> PickAdapter(const AdapterOptions& options);

// Ends a sweep or a run in order: the sweep stops, no new session starts,
// each running one ends where it stands, the report is still written. Used
// on the thread of the run's io_context only (a signal handler there, or a
// handler posted to it).
class RunInterrupt {
public:
    void Interrupt();
    bool Requested() const { return requested_; }
    // Before a new sweep or run.
    void Clear() { requested_ = false; }
    // The sessions an interrupt ends from now on (null: none); those of a run
    // already interrupted end at once.
    void Attach(UpgradeRun* run);

private:
    bool requested_ = false;
    UpgradeRun* running_ = nullptr;
};

// Sends the probe to every host of the scope, `sweeps` times, waiting for
// replies after each round. Ends early once `interrupt` is requested.
FieldTable SweepField(asio::io_context& io, FleetSockets& sockets, const SweepScope& scope,
                      const SweepOptions& options, const RunInterrupt* interrupt = nullptr);

// One collector's result from its session, on top of what the plan knew: in
// progress while it runs, its times told by `wall`.
CollectorResult ResultOf(const UpgradeSession& session, CollectorResult base,
                         const WallClock& wall);

// Every result of the run as it stands: the settled ones, then each upgrade
// target by its session (unstarted ones with the reason nothing started).
std::vector<CollectorResult> CurrentResults(const TargetPlan& plan, const UpgradeRun* run);

// Why the run stopped after its canary, naming it and its end ("the canary
// collector 198.51.100.10 (serial 8100010) was not upgraded: refused,
// collector has no flash (E80)"); empty when no canary halted the run.
std::string CanaryFailureText(const TargetPlan& plan, const UpgradeRun& run);

// A dry run's results: what would happen, nothing done.
std::vector<CollectorResult> PlannedResults(const TargetPlan& plan);

} // namespace fleet
