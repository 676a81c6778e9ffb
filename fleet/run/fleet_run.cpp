#include "fleet/run/fleet_run.h"

#include "platform/host_name.h"
#include "platform/keep_awake.h"

#include <algorithm>
#include <cstdio>

namespace fleet {

RunInfo RunInfoFor(const Adapter& adapter, const FirmwareImage& image, bool dryRun,
                   std::chrono::system_clock::time_point started) {
    RunInfo info;
    info.hostName = platform::HostName();
    info.adapterName = adapter.adapter.name;
    info.adapterAddress = adapter.adapter.address;
    info.adapterPrefix = adapter.adapter.prefixLength;
    for (const auto& part : adapter.scope.Parts()) {
        auto known = std::find_if(info.adapters.begin(), info.adapters.end(),
                                  [&](const RunAdapter& a) { return a.address == part.own; });
        if (known == info.adapters.end()) {
            RunAdapter entry{part.adapter, part.own, 24, {}};
            for (const auto& listed : adapter.adapters)
                if (listed.address == part.own)
                    entry.prefix = listed.prefixLength;
            known = info.adapters.insert(info.adapters.end(), entry);
        }
        known->subnets.push_back(SweepScope::SubnetOf(part));
    }
    info.imageSha256 = image.sha256;
    info.dryRun = dryRun;
    info.started = UtcTimestamp(started);
    return info;
}

namespace {

// The options of `setup` as the report's head records them.
RunOptions OptionsOf(const RunSetup& setup) {
    RunOptions options;
    options.canary = setup.limits.canary;
    if (setup.limits.parallel != 0)
        options.parallel = setup.limits.parallel;
    options.maxFailures = setup.limits.maxFailures;
    options.verify = setup.verify;
    options.verifyTimeoutSeconds = setup.verifyTimeout.count();
    return options;
}

// Calls `sample` every progress interval until stopped; stopping waits for
// the timer's last handler, so that none runs against a run that has gone.
class Sampler {
public:
    Sampler(asio::io_context& io, std::function<void()> sample)
        : io_(io), timer_(io), sample_(std::move(sample)) {
        Arm();
    }
    ~Sampler() { Stop(); }
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    void Stop() {
        stopped_ = true;
        timer_.cancel();
        while (armed_)
            io_.run_one();
    }

private:
    void Arm() {
        armed_ = true;
        timer_.expires_after(policy::kProgressInterval);
        timer_.async_wait([this](const asio::error_code& error) {
            armed_ = false;
            if (error || stopped_)
                return;
            sample_();
            Arm();
        });
    }

    asio::io_context& io_;
    asio::steady_timer timer_;
    std::function<void()> sample_;
    bool armed_ = false, stopped_ = false;
};

// The sessions of the plan's upgrade targets, run to their end.
std::vector<CollectorResult> RunSessions(asio::io_context& io, FleetSockets& sockets,
                                         const RunSetup& setup, const TargetPlan& plan,
                                         RunRecord& record, const RunHooks& hooks,
                                         RunInterrupt& interrupt, std::string* canaryFailure) {
    SessionTiming timing;
    timing.verify = setup.verify;
    timing.verifyTimeout = setup.verifyTimeout;
    ProgressView quiet(ProgressMode::Quiet, stderr);
    UpgradeRun run(io, sockets, setup.image, plan.toUpgrade, setup.limits, timing,
                   hooks.progress != nullptr ? *hooks.progress : quiet);
    Reason haltLogged = Reason::None;
    run.onSessionEnded = [&](std::size_t index) {
        if (!record.Write(CurrentResults(plan, &run)) && hooks.reportTrouble)
            hooks.reportTrouble(record.Error());
        if (hooks.log && run.HaltCode() != haltLogged) {
            haltLogged = run.HaltCode();
            const std::string canary = CanaryFailureText(plan, run);
            hooks.log->Event(
                "no new session starts: " + (canary.empty() ? run.HaltReason() : canary) + " (" +
                ReasonName(haltLogged) + ")");
        }
        if (hooks.settled)
            hooks.settled(ResultOf(*run.Sessions()[index], plan.toUpgradeAs[index], run.Wall()));
    };
    // Sessions moving on are written as they stand, throttled; a write that
    // fails here is told by the next session's end and by the last write.
    run.onStageChanged = [&](std::size_t) {
        if (record.ProgressChanged(Clock::now()))
            record.Write(CurrentResults(plan, &run));
    };
    if (hooks.log) {
        run.onSessionEvent = [&hooks](const UpgradeSession& s) { hooks.log->Session(s); };
        if (setup.limits.canary > 0 && plan.toUpgrade.size() > 1)
            hooks.log->Event("canary: the first " + std::to_string(setup.limits.canary) +
                             " session(s) go alone; the rest start once each is upgraded and "
                             "verified");
    }
    record.Write(CurrentResults(plan, &run));
    Sampler sampler(io, [&] {
        if (record.ProgressDue(Clock::now()))
            record.Write(CurrentResults(plan, &run));
        if (hooks.sample)
            hooks.sample(run);
    });
    interrupt.Attach(&run);
    {
        // The system must not sleep while blocks go out or completion is
        // awaited; released however the run ends.
        const platform::KeepAwakeScope awake(&platform::SystemKeepAwake());
        run.Run();
    }
    interrupt.Attach(nullptr);
    sampler.Stop();
    record.Info().upgradeSeconds = run.Seconds();
    if (canaryFailure != nullptr)
        *canaryFailure = CanaryFailureText(plan, run);
    return CurrentResults(plan, &run);
}

// Every result of a run that started no session: the upgrade targets are
// reported not started, for `reasonCode` and `reason`.
std::vector<CollectorResult> NoneStarted(const TargetPlan& plan, Reason reasonCode,
                                         const char* reason) {
    TargetPlan none = plan;
    for (auto& result : none.toUpgradeAs) {
        result.reasonCode = ReasonName(reasonCode);
        result.reason = reason;
    }
    return CurrentResults(none, nullptr);
}

} // namespace

RunEnd RunFleetUpgrade(asio::io_context& io, FleetSockets& sockets, const RunSetup& setup,
                       RunRecord& record, const RunHooks& hooks, RunInterrupt& interrupt) {
    RunEnd end;
    record.Info().options = OptionsOf(setup);
    record.Write({}); // the head as the run goes by; a failure sticks and is told at the end
    if (hooks.log)
        hooks.log->Started(record.Info(), *setup.image);
    // Each named target is a collector expected at its address: if the
    // sweep's rounds miss it, it is probed there before it counts as not
    // found. Nobody else matters to such a run, so the rounds end once every
    // target has answered.
    SweepOptions sweep = WithExpectedAddresses(setup.sweep, setup.expected);
    for (const auto& target : setup.targets)
        sweep.direct.push_back(target.address);
    sweep.directOnly = sweep.directOnly || !setup.targets.empty();
    const FieldTable field = SweepField(io, sockets, sockets.Scope(), sweep, &interrupt);
    const TargetPlan plan =
        PlanTargets(field, setup.targets, setup.excluded, *setup.image, sockets.Scope(),
                    setup.expected ? &*setup.expected : nullptr);
    record.Info().expected = plan.expected;
    if (hooks.log)
        hooks.log->Planned(field, plan);
    if (hooks.planned)
        hooks.planned(field, plan);

    if (setup.dryRun) {
        end.results = PlannedResults(plan);
    } else {
        // Asked only when there is something to send and the run goes on.
        if (!interrupt.Requested() && !plan.toUpgrade.empty() && hooks.confirm)
            end.confirmed = hooks.confirm(plan);
        if (interrupt.Requested())
            end.results =
                NoneStarted(plan, Reason::Interrupted, "not started: the run was interrupted");
        else if (!end.confirmed) {
            if (hooks.log)
                hooks.log->Event("not confirmed: nothing sent");
            end.results =
                NoneStarted(plan, Reason::NotConfirmed, "not started: the run was not confirmed");
        } else if (!plan.toUpgrade.empty())
            end.results =
                RunSessions(io, sockets, setup, plan, record, hooks, interrupt, &end.canaryFailure);
        else
            end.results = CurrentResults(plan, nullptr);
    }

    end.interrupted = interrupt.Requested();
    end.exitStatus = end.interrupted  ? kExitInterrupted
                     : !end.confirmed ? kExitNotConfirmed
                                      : ExitStatusFor(end.results, setup.dryRun);
    RunInfo& final = record.Info();
    final.interrupted = end.interrupted;
    final.ended = UtcTimestamp(std::chrono::system_clock::now());
    final.exitStatus = end.exitStatus;
    if (!record.Write(end.results) || record.WriteFailed()) {
        end.reportError = record.Error();
        if (!end.interrupted)
            final.exitStatus = end.exitStatus = kExitSomeNotUpgraded;
    }
    if (hooks.log)
        hooks.log->Ended(end.exitStatus, end.interrupted, end.results);
    return end;
}

} // namespace fleet
