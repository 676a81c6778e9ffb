#pragma once

// The steps of a run that both front ends take: the command line's upgrade
// command and the fleet window. Each runs on the thread of the io_context it
// is given.

#include "fleet/commands.h"
#include "fleet/field_table.h"
#include "fleet/fleet_plan.h"
#include "fleet/fleet_sockets.h"
#include "fleet/upgrade_run.h"

#include <string>
#include <variant>
#include <vector>

namespace fleet {

// The adapter chosen, and the hosts its subnet lets a run reach.
struct Adapter {
    platform::NetworkAdapter adapter;
    SweepScope scope;
};

std::variant<Adapter, std::string> PickAdapter(const AdapterOptions& options);

// Sends the probe to every host of the scope, `sweeps` times, waiting for
// replies after each round. Ends early once `*interrupted` is set.
FieldTable SweepField(asio::io_context& io, FleetSockets& sockets, const SweepScope& scope,
                      const SweepOptions& options, const bool* interrupted = nullptr);

// One collector's result from its session, on top of what the plan knew.
CollectorResult ResultOf(const UpgradeSession& session, CollectorResult base);

// Every result of the run as it stands: the settled ones, then each upgrade
// target by its session (unstarted ones with the reason nothing started).
std::vector<CollectorResult> CurrentResults(const TargetPlan& plan, const UpgradeRun* run);

// What to say when nobody answered the sweep: the adapter, its subnet, what to check.
std::string EmptySweepMessage(const Adapter& chosen);

} // namespace fleet
