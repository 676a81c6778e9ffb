#include "fleet/commands.h"

#include "fleet/field_table.h"
#include "fleet/fleet_plan.h"
#include "fleet/fleet_sockets.h"
#include "fleet/ipv4_address.h"
#include "fleet/upgrade_run.h"
#include "platform/gbk.h"
#include "platform/keep_awake.h"
#include "platform/network_adapters.h"
#include "platform/read_file.h"
#include "platform/terminal.h"

#include <csignal>
#include <fstream>
#include <iostream>

namespace fleet {

namespace {

int SetupError(const std::string& message) {
    std::cerr << "collector-fleet: " << message << "\n";
    return kExitUsage;
}

// Sends the probe to every host of the /24, `sweeps` times, waiting for replies
// after each round; one lost reply then does not hide a collector.
FieldTable SweepField(asio::io_context& io, FleetSockets& sockets, const std::string& own,
                      const SweepOptions& options) {
    FieldTable field(own);
    sockets.onSearchFrame = [&field](const std::string& sender, const std::string& frame) {
        field.OnSearchFrame(frame, sender);
    };
    asio::steady_timer wait(io);
    for (int round = 0; round < options.sweeps; ++round) {
        for (const auto& address : SweepAddresses(own))
            sockets.SendProbe(address);
        bool waited = false;
        wait.expires_after(std::chrono::milliseconds(options.waitMs));
        wait.async_wait([&waited](const asio::error_code&) { waited = true; });
        while (!waited)
            io.run_one();
    }
    sockets.onSearchFrame = nullptr;
    return field;
}

std::variant<platform::NetworkAdapter, std::string> PickAdapter(const AdapterOptions& options) {
    return ChooseAdapter(platform::ListNetworkAdapters(), options.interfaceName, options.address);
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

CollectorResult ResultOf(const UpgradeSession& session, CollectorResult base) {
    switch (session.Result()) {
    case Outcome::Upgraded:
        base.result = ResultKind::Upgraded;
        break;
    case Outcome::Refused:
        base.result = ResultKind::Refused;
        break;
    case Outcome::Failed:
        base.result = ResultKind::Failed;
        break;
    case Outcome::Pending:
        base.result = ResultKind::NotStarted;
        break;
    }
    base.reason = session.Reason();
    base.versionAfter = session.VerifiedVersion();
    base.passes = session.Pass();
    base.blocksResent = session.BlocksResent();
    if (session.Finished())
        base.seconds =
            std::chrono::duration<double>(session.FinishedAt() - session.StartedAt()).count();
    return base;
}

} // namespace

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
    const auto adapter = PickAdapter(options.adapter);
    if (const auto* error = std::get_if<std::string>(&adapter))
        return SetupError(*error);
    const std::string own = std::get<platform::NetworkAdapter>(adapter).address;
    asio::io_context io;
    FleetSockets sockets(io, own);
    if (const auto error = sockets.Open(); !error.empty())
        return SetupError(error);
    std::cerr << "Sweeping " << *CheckedSubnetPrefix(own) << "0/24 from " << own << " ("
              << std::get<platform::NetworkAdapter>(adapter).name << ")\n";
    const FieldTable field = SweepField(io, sockets, own, options.sweep);
    PrintField(std::cout, field.SortedByAddress(), options.format);
    return 0;
}

int RunUpgrade(const UpgradeOptions& options) {
    const auto loaded = LoadFirmwareImage(options.imagePath);
    if (const auto* error = std::get_if<std::string>(&loaded))
        return SetupError(*error);
    const auto image = std::get<std::shared_ptr<const FirmwareImage>>(loaded);

    const auto adapter = PickAdapter(options.adapter);
    if (const auto* error = std::get_if<std::string>(&adapter))
        return SetupError(*error);
    const std::string own = std::get<platform::NetworkAdapter>(adapter).address;
    for (const auto& target : options.targets)
        if (const auto problem = CheckTarget(target, own); !problem.empty())
            return SetupError("--target " + problem);
    if (!options.yes && !platform::StandardInputIsTerminal())
        return SetupError("standard input is not a terminal, so nobody can confirm: add --yes");

    asio::io_context io;
    FleetSockets sockets(io, own);
    if (const auto error = sockets.Open(); !error.empty())
        return SetupError(error);
    const ProgressMode progressMode = ChooseProgress(options.progress);
    if (progressMode != ProgressMode::Quiet)
        std::cerr << "Sweeping " << *CheckedSubnetPrefix(own) << "0/24 from " << own << "\n";
    const FieldTable field = SweepField(io, sockets, own, options.sweep);
    const TargetPlan plan =
        PlanTargets(field, options.all ? std::vector<std::string>{} : options.targets, *image);

    std::vector<CollectorResult> results = plan.settled;
    double upgradeSeconds = 0;
    if (!plan.toUpgrade.empty()) {
        if (!options.yes && !Confirm(plan.toUpgradeAs, *image))
            return SetupError("not confirmed; nothing was sent");
        SessionTiming timing;
        timing.verify = options.verify;
        ProgressView progress(progressMode, stderr);
        UpgradeRun run(io, sockets, image, plan.toUpgrade,
                       LaunchLimits{options.parallel, options.canary, options.maxFailures}, timing,
                       progress);
        // An interrupt ends the run early but still prints and records what was done.
        asio::signal_set interrupts(io, SIGINT, SIGTERM);
        interrupts.async_wait([&run](const asio::error_code& error, int) {
            if (!error)
                run.Interrupt();
        });
        {
            // The system must not sleep while blocks go out or completion is
            // awaited; released however the run ends.
            const platform::KeepAwakeScope awake(&platform::SystemKeepAwake());
            run.Run();
        }
        interrupts.cancel();
        upgradeSeconds = run.Seconds();
        for (std::size_t i = 0; i < plan.toUpgrade.size(); ++i) {
            CollectorResult result = ResultOf(*run.Sessions()[i], plan.toUpgradeAs[i]);
            if (result.result == ResultKind::NotStarted)
                result.reason = run.HaltReason();
            results.push_back(result);
        }
    } else if (results.empty()) {
        std::cerr << "collector-fleet: no collector found\n";
    }
    std::sort(results.begin(), results.end(),
              [](const auto& a, const auto& b) { return AddressLess(a.address, b.address); });
    PrintResultTable(std::cout, results);
    if (!options.reportPath.empty()) {
        std::ofstream report(platform::PathFromUtf8(options.reportPath),
                             std::ios::binary | std::ios::trunc);
        report << ReportJson(*image, results, upgradeSeconds);
        if (!report.flush())
            std::cerr << "collector-fleet: cannot write the report to " << options.reportPath
                      << "\n";
    }
    return ExitStatusFor(results);
}

} // namespace fleet
