#include "fleet/commands.h"
#include "fleet/run_steps.h"

#include "fleet/field_table.h"
#include "fleet/fleet_plan.h"
#include "fleet/fleet_sockets.h"
#include "fleet/ipv4_address.h"
#include "fleet/run_record.h"
#include "fleet/upgrade_run.h"
#include "platform/gbk.h"
#include "platform/interrupts.h"
#include "platform/keep_awake.h"
#include "platform/network_adapters.h"
#include "platform/read_file.h"
#include "platform/terminal.h"

#include <algorithm>
#include <iostream>

namespace fleet {

namespace {

int SetupError(const std::string& message) {
    std::cerr << "collector-fleet: " << message << "\n";
    return kExitUsage;
}

} // namespace

// Sends the probe to every host of the scope, `sweeps` times, waiting for
// replies after each round; one lost reply then does not hide a collector.
FieldTable SweepField(asio::io_context& io, FleetSockets& sockets, const SweepScope& scope,
                      const SweepOptions& options, const bool* interrupted) {
    FieldTable field(scope.Own());
    sockets.onSearchFrame = [&field](const std::string& sender, const std::string& frame) {
        field.OnSearchFrame(frame, sender);
    };
    asio::steady_timer wait(io);
    for (int round = 0; round < options.sweeps; ++round) {
        for (const auto& address : scope.Hosts())
            sockets.SendProbe(address);
        bool waited = false;
        wait.expires_after(std::chrono::milliseconds(options.waitMs));
        wait.async_wait([&waited](const asio::error_code&) { waited = true; });
        while (!waited && !(interrupted && *interrupted))
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

namespace {

std::string SweepingLine(const Adapter& chosen) {
    return "Sweeping " + chosen.scope.Subnet() + " from " + chosen.scope.Own() + " (" +
           chosen.adapter.name + ")\n";
}

ProgressMode ChooseProgress(const std::string& mode) {
    if (mode == "tty") {
        platform::StandardErrorTakesEscapes(); // switches a Windows console's escapes on
        return ProgressMode::Tty;
    }
    if (mode == "plain")
        return ProgressMode::Plain;
    if (mode == "quiet")
        return ProgressMode::Quiet;
    return platform::StandardErrorTakesEscapes() ? ProgressMode::Tty : ProgressMode::Plain;
}

// Lists the targets and asks. Without a terminal on standard input there is
// nobody to ask: the caller refuses unless --yes was given.
bool Confirm(const std::vector<CollectorResult>& targets, const FirmwareImage& image) {
    std::cerr << "About to upgrade " << targets.size() << " collector(s) to " << image.versionText
              << " (" << image.fileName << ", " << image.blockCount << " blocks):\n";
    for (const auto& t : targets)
        std::cerr << "  " << t.address << "  " << platform::GbkToUtf8(t.serial) << "  "
                  << platform::GbkToUtf8(t.versionBefore) << "\n";
    std::cerr << "Proceed? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

} // namespace

CollectorResult ResultOf(const UpgradeSession& session, CollectorResult base) {
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
        base.result = ResultKind::NotStarted;
        break;
    }
    base.reasonCode = session.ReasonCode();
    base.reason = session.Reason();
    base.stage = ReportStageName(session.StageReached());
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

// Every result of the run as it stands: the settled ones, then each upgrade
// target by its session (unstarted ones with the reason nothing started).
std::vector<CollectorResult> CurrentResults(const TargetPlan& plan, const UpgradeRun* run) {
    std::vector<CollectorResult> results = plan.settled;
    for (std::size_t i = 0; i < plan.toUpgrade.size(); ++i) {
        CollectorResult result = plan.toUpgradeAs[i];
        if (run != nullptr) {
            result = ResultOf(*run->Sessions()[i], result);
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

namespace {

// The dry run's results: what would happen, nothing done.
std::vector<CollectorResult> PlannedResults(const TargetPlan& plan) {
    std::vector<CollectorResult> results = CurrentResults(plan, nullptr);
    for (auto& result : results)
        if (result.plan == PlanKind::Upgrade)
            result.result = ResultKind::Planned;
    return results;
}

void PrintPlan(std::ostream& out, const std::vector<CollectorResult>& results) {
    std::vector<std::vector<std::string>> rows = {{"IP", "serial", "version", "plan", "reason"}};
    for (const auto& r : results)
        rows.push_back({r.address, platform::GbkToUtf8(r.serial),
                        platform::GbkToUtf8(r.versionBefore), PlanName(r.plan),
                        r.reason.empty() ? "-" : r.reason});
    PrintRows(out, rows);
}

// The targets the operator named: --target, then the lines of --target-file.
// The text says what is wrong with them.
std::variant<std::vector<std::string>, std::string> NamedTargets(const UpgradeOptions& options,
                                                                 const SweepScope& scope) {
    for (const auto& target : options.targets)
        if (const auto problem = CheckTarget(target, scope); !problem.empty())
            return "--target " + problem;
    for (const auto& excluded : options.excluded)
        if (!CheckedSubnetPrefix(excluded))
            return "--exclude \"" + excluded + "\" is not an IPv4 address";
    std::vector<std::string> targets = options.targets;
    if (!options.targetFile.empty()) {
        platform::ReadOnlyFile file;
        if (!file.Open(options.targetFile))
            return "cannot read the target file " + options.targetFile + ": " + file.Error();
        std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), 1 << 20)),
                         '\0');
        text.resize(file.Read(text.data(), text.size()));
        auto parsed = ParseTargetFile(text);
        if (const auto* error = std::get_if<std::string>(&parsed))
            return "the target file " + options.targetFile + ", " + *error;
        const auto& listed = std::get<std::vector<std::string>>(parsed);
        if (listed.empty())
            return "the target file " + options.targetFile + " names no collector";
        targets.insert(targets.end(), listed.begin(), listed.end());
    }
    return targets;
}

} // namespace

std::string EmptySweepMessage(const Adapter& chosen) {
    const platform::NetworkAdapter& adapter = chosen.adapter;
    return "no collector answered the sweep of " + chosen.scope.Subnet() + " from " + adapter.name +
           " (" + adapter.address + "/" + std::to_string(adapter.prefixLength) +
           "). Check that the collectors are powered and cabled to this adapter's network, that "
           "this is the right adapter (see: collector-fleet interfaces), and that no firewall "
           "drops UDP port 23.";
}

int RunInterfaces() {
    const auto adapters = platform::ListNetworkAdapters();
    std::vector<std::vector<std::string>> rows = {{"name", "address", "prefix", ""}};
    for (const auto& adapter : adapters)
        rows.push_back({adapter.name, adapter.address, "/" + std::to_string(adapter.prefixLength),
                        adapter.loopback ? "loopback" : ""});
    PrintRows(std::cout, rows);
    return adapters.empty() ? kExitUsage : 0;
}

int RunDiscover(const DiscoverOptions& options) {
    const auto picked = PickAdapter(options.adapter);
    if (const auto* error = std::get_if<std::string>(&picked))
        return SetupError(*error);
    const Adapter& chosen = std::get<Adapter>(picked);
    asio::io_context io;
    FleetSockets sockets(io, chosen.scope);
    if (const auto error = sockets.Open(); !error.empty())
        return SetupError(error);
    std::cerr << SweepingLine(chosen);
    const FieldTable field = SweepField(io, sockets, chosen.scope, options.sweep);
    PrintField(std::cout, field.SortedByAddress(), options.format);
    if (field.Size() == 0) {
        std::cerr << "collector-fleet: " << EmptySweepMessage(chosen) << "\n";
        return kExitSomeNotUpgraded;
    }
    return 0;
}

int RunUpgrade(const UpgradeOptions& options) {
    const auto startedAt = std::chrono::system_clock::now();
    const auto loaded = LoadFirmwareImage(options.imagePath);
    if (const auto* error = std::get_if<std::string>(&loaded))
        return SetupError(*error);
    const auto image = std::get<std::shared_ptr<const FirmwareImage>>(loaded);

    const auto picked = PickAdapter(options.adapter);
    if (const auto* error = std::get_if<std::string>(&picked))
        return SetupError(*error);
    const Adapter& chosen = std::get<Adapter>(picked);
    const platform::NetworkAdapter& adapter = chosen.adapter;
    const auto named = NamedTargets(options, chosen.scope);
    if (const auto* error = std::get_if<std::string>(&named))
        return SetupError(*error);
    const auto& targets = std::get<std::vector<std::string>>(named);
    // A dry run sends no upgrade message, so it needs nobody's confirmation.
    if (!options.dryRun && !options.yes && !platform::StandardInputIsTerminal())
        return SetupError("standard input is not a terminal, so nobody can confirm: add --yes");

    RunInfo info;
    info.adapterName = adapter.name;
    info.adapterAddress = adapter.address;
    info.adapterPrefix = adapter.prefixLength;
    info.imageSha256 = image->sha256;
    info.dryRun = options.dryRun;
    info.started = UtcTimestamp(startedAt);
    RunRecord record(options.reportPath, info, *image);
    // A report that cannot be kept is known before anything is sent.
    if (!record.Write({}))
        return SetupError(record.Error());

    asio::io_context io;
    FleetSockets sockets(io, chosen.scope);
    if (const auto error = sockets.Open(); !error.empty())
        return SetupError(error);
    const ProgressMode progressMode = ChooseProgress(options.progress);
    if (progressMode != ProgressMode::Quiet)
        std::cerr << SweepingLine(chosen);

    // From here an interrupt ends the run in order: no new session, each
    // collector reported as it stands, the report written, status 130.
    platform::TreatConsoleCloseAsInterrupt();
    bool interrupted = false;
    UpgradeRun* running = nullptr;
    asio::signal_set interrupts(io);
    for (const int signal : platform::InterruptSignals())
        interrupts.add(signal);
    interrupts.async_wait([&](const asio::error_code& error, int) {
        if (error)
            return;
        interrupted = true;
        if (running != nullptr)
            running->Interrupt();
    });

    const FieldTable field = SweepField(io, sockets, chosen.scope, options.sweep, &interrupted);
    const TargetPlan plan = PlanTargets(field, options.all ? std::vector<std::string>{} : targets,
                                        options.excluded, *image, chosen.scope);
    if (field.Size() == 0)
        std::cerr << "collector-fleet: " << EmptySweepMessage(chosen) << "\n";

    std::vector<CollectorResult> results;
    if (options.dryRun) {
        results = PlannedResults(plan);
        if (options.format == ReportFormat::Text)
            PrintPlan(std::cout, results);
    } else if (!interrupted && !plan.toUpgrade.empty()) {
        // While the question waits for an answer, Ctrl+C ends the program at
        // once: nothing has been sent but the sweep.
        interrupts.clear();
        if (!options.yes && !Confirm(plan.toUpgradeAs, *image))
            return SetupError("not confirmed; nothing was sent");
        for (const int signal : platform::InterruptSignals())
            interrupts.add(signal);
        SessionTiming timing;
        timing.verify = options.verify;
        timing.verifyTimeout = std::chrono::seconds(options.verifyTimeoutSeconds);
        ProgressView progress(progressMode, stderr);
        LaunchLimits limits{options.parallel, options.canary, options.maxFailures};
        UpgradeRun run(io, sockets, image, plan.toUpgrade, limits, timing, progress);
        running = &run;
        run.onSessionEnded = [&](std::size_t) {
            if (!record.Write(CurrentResults(plan, &run)) && record.Error().size())
                std::cerr << "collector-fleet: " << record.Error() << "\n";
        };
        record.Write(CurrentResults(plan, &run));
        {
            // The system must not sleep while blocks go out or completion is
            // awaited; released however the run ends.
            const platform::KeepAwakeScope awake(&platform::SystemKeepAwake());
            run.Run();
        }
        running = nullptr;
        record.Info().upgradeSeconds = run.Seconds();
        results = CurrentResults(plan, &run);
    } else {
        results = CurrentResults(plan, nullptr);
        for (auto& result : results)
            if (interrupted && result.plan == PlanKind::Upgrade) {
                result.reasonCode = "interrupted";
                result.reason = "not started: the run was interrupted";
            }
    }
    interrupts.cancel();

    int status = interrupted ? kExitInterrupted : ExitStatusFor(results, options.dryRun);
    RunInfo& final = record.Info();
    final.interrupted = interrupted;
    final.ended = UtcTimestamp(std::chrono::system_clock::now());
    final.exitStatus = status;
    if (!record.Write(results) || record.WriteFailed()) {
        std::cerr << "collector-fleet: " << record.Error() << "\n";
        if (status != kExitInterrupted) {
            status = kExitSomeNotUpgraded;
            final.exitStatus = status;
        }
    }
    if (options.format == ReportFormat::Json)
        std::cout << record.Json(results);
    else if (!options.dryRun)
        PrintResultTable(std::cout, results);
    if (interrupted)
        std::cerr << "collector-fleet: interrupted\n";
    return status;
}

} // namespace fleet
