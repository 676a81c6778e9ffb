#pragma once

// The steps of a run that both front ends take: the command line and the
// fleet window. Each runs on the thread of the io_context it is given.

#include "fleet/run/adapter_choice.h"
#include "fleet/run/field_table.h"
#include "fleet/run/fleet_plan.h"
#include "fleet/run/fleet_sockets.h"
#include "fleet/run/upgrade_run.h"
#include "fleet/session/fleet_policy.h"

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace fleet {

struct SweepOptions {
    int sweeps = policy::kSweepRounds; // rounds at least; more while new collectors answer
    int waitMs = static_cast<int>(policy::kSweepWait.count()); // after each sweep, for the replies
    // Where collectors are expected (named targets, the last known address of
    // an expected serial): those still silent after the rounds get direct
    // probes there. Addresses outside the scope, or the adapter's own, are
    // left out.
    std::vector<std::string> direct;
    // Only the collectors at `direct` matter (a run of named targets): the
    // rounds over the whole scope end, after `sweeps`, once all have answered.
    bool directOnly = false;
};

// `sweep` with the known address of each expected collector added to its
// direct probes; the rest of the field still matters, so the rounds go on as
// usual.
SweepOptions WithExpectedAddresses(SweepOptions sweep, const std::optional<Expectation>& expected);

// The rounds of one sweep, decided from what each round brought: the whole
// scope at least `sweeps` times and on while new collectors answer, until
// policy::kSweepQuietRounds rounds in a row brought nobody new (at most
// max(sweeps, policy::kSweepRoundsMax) rounds, or as soon as every expected
// address has answered when only those matter); then direct probes to the
// expected addresses that have not answered, policy::kDirectProbeRounds
// times at most, until each has. Bounded whatever answers.
class SweepRounds {
public:
    SweepRounds(const SweepOptions& options, const SweepScope& scope);

    struct Round {
        std::vector<std::string> addresses; // each gets one probe
        std::chrono::milliseconds wait;     // for the replies, before the next round
        bool whole = true;                  // false: direct probes
    };
    // The next round, given the field as the rounds so far have filled it;
    // nothing once the sweep is over.
    std::optional<Round> Next(const FieldTable& field);

    int WholeRounds() const { return whole_; }
    int DirectRounds() const { return direct_; }

private:
    std::vector<std::string> hosts_, expected_;
    int minRounds_, maxRounds_;
    std::chrono::milliseconds wait_;
    int whole_ = 0, direct_ = 0, quiet_ = 0;
    std::size_t lastSize_ = 0;
    bool wholeDone_ = false, directOnly_ = false;
};

// ChooseAdapters over this computer's adapters and routes.
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

// Sweeps the scope by the rounds of SweepRounds, waiting for replies after
// each round. Ends early once `interrupt` is requested.
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
