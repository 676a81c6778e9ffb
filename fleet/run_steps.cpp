#include "fleet/run_steps.h"

#include "fleet/ipv4_address.h"
#include "platform/network_adapters.h"

#include <algorithm>

namespace fleet {

std::variant<Adapter, std::string> PickAdapter(const AdapterOptions& options) {
    auto chosen =
        ChooseAdapter(platform::ListNetworkAdapters(), options.interfaceName, options.address);
    if (auto* error = std::get_if<std::string>(&chosen))
        return std::move(*error);
    const auto& adapter = std::get<platform::NetworkAdapter>(chosen);
    const auto scope = SweepScope::Of(adapter.address, adapter.prefixLength);
    if (!scope)
        return "the adapter's address " + adapter.address + " is not IPv4";
    return Adapter{adapter, *scope};
}

void RunInterrupt::Interrupt() {
    requested_ = true;
    if (running_ != nullptr)
        running_->Interrupt();
}

void RunInterrupt::Attach(UpgradeRun* run) {
    running_ = run;
    if (running_ != nullptr && requested_)
        running_->Interrupt();
}

// Sends the probe to every host of the scope, `sweeps` times, waiting for
// replies after each round; one lost reply then does not hide a collector.
FieldTable SweepField(asio::io_context& io, FleetSockets& sockets, const SweepScope& scope,
                      const SweepOptions& options, const RunInterrupt* interrupt) {
    FieldTable field(scope.Own());
    sockets.onSearchFrame = [&field](const std::string& sender, const std::string& frame) {
        field.OnSearchFrame(frame, sender);
    };
    const auto interrupted = [interrupt] { return interrupt != nullptr && interrupt->Requested(); };
    asio::steady_timer wait(io);
    for (int round = 0; round < options.sweeps; ++round) {
        for (const auto& address : scope.Hosts())
            sockets.SendProbe(address);
        bool waited = false;
        wait.expires_after(std::chrono::milliseconds(options.waitMs));
        wait.async_wait([&waited](const asio::error_code&) { waited = true; });
        while (!waited && !interrupted())
            io.run_one();
        if (!waited) { // interrupted: the timer's handler must run before it goes
            wait.cancel();
            while (!waited)
                io.run_one();
            break;
        }
    }
    sockets.onSearchFrame = nullptr;
    return field;
}

CollectorResult ResultOf(const UpgradeSession& session, CollectorResult base,
                         const WallClock& wall) {
    const bool started = session.CurrentStage() != Stage::Waiting;
    switch (session.Result()) {
    case Outcome::Upgraded:
        base.result = ResultKind::Upgraded;
        break;
    case Outcome::NotVerified:
        base.result = ResultKind::NotVerified;
        break;
    case Outcome::Refused:
        base.result = ResultKind::Refused;
        break;
    case Outcome::AlreadyCurrent:
        base.result = ResultKind::AlreadyCurrent;
        break;
    case Outcome::Failed:
        base.result = ResultKind::Failed;
        break;
    case Outcome::Interrupted:
        base.result = ResultKind::Interrupted;
        break;
    case Outcome::Pending:
        base.result = started ? ResultKind::InProgress : ResultKind::NotStarted;
        break;
    }
    base.reasonCode = session.ReasonCode();
    base.reason = session.Reason();
    base.stage =
        ReportStageName(session.Finished() ? session.StageReached() : session.CurrentStage());
    if (started)
        base.started = UtcTimestamp(wall.At(session.StartedAt()));
    if (session.Finished())
        base.ended = UtcTimestamp(wall.At(session.FinishedAt()));
    base.verified = session.Result() == Outcome::Upgraded && session.VerifiedVersion();
    base.versionAfter = session.VerifiedVersion();
    if (session.Result() == Outcome::AlreadyCurrent)
        base.versionAfter =
            base.versionBefore.empty() ? std::nullopt : std::optional(base.versionBefore);
    base.passes = session.Pass();
    base.blocksSent = session.BlocksSent();
    base.blocksResent = session.BlocksResent();
    base.resendOutsideImage = session.ResendOutsideImage();
    if (session.Finished())
        base.seconds =
            std::chrono::duration<double>(session.FinishedAt() - session.StartedAt()).count();
    return base;
}

std::vector<CollectorResult> CurrentResults(const TargetPlan& plan, const UpgradeRun* run) {
    std::vector<CollectorResult> results = plan.settled;
    for (std::size_t i = 0; i < plan.toUpgrade.size(); ++i) {
        CollectorResult result = plan.toUpgradeAs[i];
        if (run != nullptr) {
            result = ResultOf(*run->Sessions()[i], result, run->Wall());
            if (result.result == ResultKind::NotStarted && !run->HaltCode().empty()) {
                result.reasonCode = run->HaltCode();
                result.reason = run->HaltReason();
            }
        }
        results.push_back(result);
    }
    std::sort(results.begin(), results.end(),
              [](const auto& a, const auto& b) { return AddressLess(a.address, b.address); });
    return results;
}

std::vector<CollectorResult> PlannedResults(const TargetPlan& plan) {
    TargetPlan planned = plan;
    for (auto& result : planned.toUpgradeAs)
        result.result = ResultKind::Planned;
    return CurrentResults(planned, nullptr);
}

} // namespace fleet
