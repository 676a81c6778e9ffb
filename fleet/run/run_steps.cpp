#include "fleet/run/run_steps.h"

#include "fleet/run/ipv4_address.h"
#include "platform/gbk.h"
#include "platform/network_adapters.h"

#include <algorithm>

namespace fleet {

std::variant<Adapter, std::string> PickAdapter(const AdapterOptions& options) {
    return ChooseAdapters(platform::ListNetworkAdapters(), options, platform::RouteSourceAddress);
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

SweepOptions WithExpectedAddresses(SweepOptions sweep, const std::optional<Expectation>& expected) {
    if (expected)
        for (const auto& collector : expected->collectors)
            if (collector.address)
                sweep.direct.push_back(*collector.address);
    return sweep;
}

SweepRounds::SweepRounds(const SweepOptions& options, const SweepScope& scope)
    : hosts_(scope.Hosts()), minRounds_(std::max(1, options.sweeps)),
      maxRounds_(std::max(minRounds_, policy::kSweepRoundsMax)), wait_(std::max(0, options.waitMs)),
      directOnly_(options.directOnly) {
    for (const auto& address : options.direct)
        if (scope.Contains(address) && !scope.IsOwn(address) &&
            std::find(expected_.begin(), expected_.end(), address) == expected_.end())
            expected_.push_back(address);
}

std::optional<SweepRounds::Round> SweepRounds::Next(const FieldTable& field) {
    Round round{{}, policy::kDirectProbeWait, false};
    for (const auto& address : expected_)
        if (field.Find(address) == nullptr)
            round.addresses.push_back(address);
    if (!wholeDone_) {
        if (whole_ > 0) {
            quiet_ = field.Size() > lastSize_ ? 0 : quiet_ + 1;
            lastSize_ = field.Size();
        }
        const bool enough =
            quiet_ >= policy::kSweepQuietRounds || (directOnly_ && round.addresses.empty());
        wholeDone_ = whole_ >= maxRounds_ || (whole_ >= minRounds_ && enough);
        if (!wholeDone_) {
            ++whole_;
            return Round{hosts_, wait_, true};
        }
    }
    if (direct_ >= policy::kDirectProbeRounds || round.addresses.empty())
        return std::nullopt;
    ++direct_;
    return round;
}

FieldTable SweepField(asio::io_context& io, FleetSockets& sockets, const SweepScope& scope,
                      const SweepOptions& options, const RunInterrupt* interrupt) {
    FieldTable field(scope);
    sockets.onSearchFrame = [&field](const std::string& sender, const std::string& frame) {
        field.OnSearchFrame(frame, sender);
    };
    const auto interrupted = [interrupt] { return interrupt != nullptr && interrupt->Requested(); };
    asio::steady_timer wait(io);
    SweepRounds rounds(options, scope);
    while (const auto round = rounds.Next(field)) {
        for (const auto& address : round->addresses)
            sockets.SendProbe(address);
        bool waited = false;
        wait.expires_after(round->wait);
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
    base.reasonCode = ReasonName(session.ReasonCode());
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

std::string CanaryFailureText(const TargetPlan& plan, const UpgradeRun& run) {
    const auto index = run.FailedCanary();
    if (!index)
        return {};
    const CollectorResult canary =
        ResultOf(*run.Sessions()[*index], plan.toUpgradeAs[*index], run.Wall());
    std::string outcome = ResultName(canary.result);
    std::replace(outcome.begin(), outcome.end(), '_', ' ');
    return "the canary collector " + canary.address + " (serial " +
           platform::GbkToUtf8(canary.serial) + ") was not upgraded: " + outcome +
           (canary.reason.empty() ? "" : ", " + canary.reason);
}

std::vector<CollectorResult> CurrentResults(const TargetPlan& plan, const UpgradeRun* run) {
    std::vector<CollectorResult> results = plan.settled;
    // Unstarted targets say why nothing more started, naming the canary that stopped the run.
    std::string haltReason;
    if (run != nullptr && run->HaltCode() != Reason::None) {
        const std::string canary = CanaryFailureText(plan, *run);
        haltReason = canary.empty() ? run->HaltReason() : "not started: " + canary;
    }
    for (std::size_t i = 0; i < plan.toUpgrade.size(); ++i) {
        CollectorResult result = plan.toUpgradeAs[i];
        if (run != nullptr) {
            result = ResultOf(*run->Sessions()[i], result, run->Wall());
            if (result.result == ResultKind::NotStarted && run->HaltCode() != Reason::None) {
                result.reasonCode = ReasonName(run->HaltCode());
                result.reason = haltReason;
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
