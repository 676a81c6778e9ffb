#include "fleet/cli/commands.h"

#include "fleet/cli/image_commands.h"
#include "fleet/run/doctor.h"
#include "fleet/run/field_table.h"
#include "fleet/run/fleet_plan.h"
#include "fleet/run/fleet_run.h"
#include "fleet/run/fleet_sockets.h"
#include "fleet/run/ipv4_address.h"
#include "fleet/run/report_html.h"
#include "fleet/run/run_log.h"
#include "fleet/run/run_record.h"
#include "platform/gbk.h"
#include "platform/interrupts.h"
#include "platform/network_adapters.h"
#include "platform/read_file.h"
#include "platform/replace_file.h"
#include "platform/terminal.h"

#include <algorithm>
#include <iostream>
#include <optional>
#include <set>

namespace fleet {

namespace {

int SetupError(const std::string& message) {
    std::cerr << "collector-fleet: " << message << "\n";
    return kExitUsage;
}

std::string SweepingLine(const Adapter& chosen) {
    std::string lines;
    for (const auto& part : chosen.scope.Parts())
        lines += "Sweeping " + SweepScope::SubnetOf(part) + " from " + part.own + " (" +
                 part.adapter + ")\n";
    return lines;
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
bool Confirm(const std::vector<CollectorResult>& targets, const FirmwareImage& image,
             const std::string& signature) {
    std::cerr << "About to upgrade " << targets.size() << " collector(s) to " << image.versionText
              << " (" << image.fileName << ", " << image.blockCount << " blocks, SHA-256 "
              << image.sha256 << ", " << signature << "):\n";
    for (const auto& t : targets)
        std::cerr << "  " << t.address << "  " << platform::GbkToUtf8(t.serial) << "  "
                  << platform::GbkToUtf8(t.versionBefore) << "\n";
    std::cerr << "Proceed? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

void PrintPlan(std::ostream& out, const std::vector<CollectorResult>& results) {
    std::vector<std::vector<std::string>> rows = {{"IP", "serial", "version", "plan", "reason"}};
    for (const auto& r : results)
        rows.push_back({r.address, platform::GbkToUtf8(r.serial),
                        platform::GbkToUtf8(r.versionBefore), PlanName(r.plan),
                        r.reason.empty() ? "-" : r.reason});
    PrintRows(out, rows);
}

// The text of a list the operator gave (a target file, an expected list),
// at most 1 MiB of it, or why it cannot be read.
std::variant<std::string, std::string> ReadListFile(const std::string& path) {
    platform::ReadOnlyFile file;
    if (!file.Open(path))
        return std::variant<std::string, std::string>(std::in_place_index<1>, file.Error());
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), 1 << 20)), '\0');
    text.resize(file.Read(text.data(), text.size()));
    return std::variant<std::string, std::string>(std::in_place_index<0>, std::move(text));
}

// The collectors of --expect FILE, each pinned address inside the scope;
// none without the option. The text says what is wrong with the file.
std::variant<std::optional<Expectation>, std::string>
ExpectedFrom(const std::string& path, bool onlyExpected, const SweepScope& scope) {
    if (path.empty())
        return std::optional<Expectation>();
    const auto read = ReadListFile(path);
    if (read.index() == 1)
        return "cannot read the expected list " + path + ": " + std::get<1>(read);
    auto parsed = ParseExpectedList(std::get<0>(read));
    if (const auto* error = std::get_if<std::string>(&parsed))
        return "the expected list " + path + (error->rfind("line", 0) == 0 ? ", " : " ") + *error;
    Expectation expectation{std::move(std::get<std::vector<ExpectedCollector>>(parsed)),
                            onlyExpected};
    for (const auto& collector : expectation.collectors)
        if (collector.address)
            if (const auto problem = CheckTarget(*collector.address, scope); !problem.empty())
                return "the expected list " + path + ": " + problem;
    return std::optional<Expectation>(std::move(expectation));
}

// The targets the operator named: --target, then the lines of --target-file,
// each pinned to a serial where one was given. The text says what is wrong
// with them.
std::variant<std::vector<PinnedTarget>, std::string> NamedTargets(const UpgradeOptions& options,
                                                                  const SweepScope& scope) {
    std::vector<PinnedTarget> targets;
    for (const auto& argument : options.targets) {
        const auto parsed = ParseTargetArgument(argument);
        if (const auto* error = std::get_if<std::string>(&parsed))
            return "--target " + *error;
        const auto& target = std::get<PinnedTarget>(parsed);
        if (const auto problem = CheckTarget(target.address, scope); !problem.empty())
            return "--target " + problem;
        targets.push_back(target);
    }
    for (const auto& excluded : options.excluded)
        if (!CheckedSubnetPrefix(excluded))
            return "--exclude \"" + excluded + "\" is not an IPv4 address";
    if (!options.targetFile.empty()) {
        const auto read = ReadListFile(options.targetFile);
        if (read.index() == 1)
            return "cannot read the target file " + options.targetFile + ": " + std::get<1>(read);
        auto parsed = ParseTargetFile(std::get<0>(read));
        if (const auto* error = std::get_if<std::string>(&parsed))
            return "the target file " + options.targetFile + ", " + *error;
        const auto& listed = std::get<std::vector<PinnedTarget>>(parsed);
        if (listed.empty())
            return "the target file " + options.targetFile + " names no collector";
        targets.insert(targets.end(), listed.begin(), listed.end());
    }
    return targets;
}

// What to say when the sweep found nobody, or fewer than expected: for each
// adapter concerned, its subnets and what the checks found on it.
std::string SweepFindingsMessage(const Adapter& chosen, const FieldTable& field,
                                 const ProbeCounter& counter) {
    std::string out;
    for (const auto& findings : SweepFindings(chosen, field, counter)) {
        const platform::NetworkAdapter& adapter = findings.adapter;
        const std::string where = findings.subnets + " from " + adapter.name + " (" +
                                  adapter.address + "/" + std::to_string(adapter.prefixLength) +
                                  ")";
        out += "collector-fleet: " +
               (findings.silent ? "no collector answered the sweep of " + where
                                : "fewer collectors answered the sweep of " + where +
                                      " than expected") +
               ". What the checks found (检查结果):\n" + FindingsText(findings.checks);
    }
    return out;
}

// Writes the report's page; the text says why not, empty on success.
std::string WriteReportHtml(const std::string& path, const RunInfo& run, const FirmwareImage& image,
                            const std::vector<CollectorResult>& results) {
    std::string error;
    if (path.empty() ||
        platform::ReplaceFileContents(path, ReportHtml(run, image, results), &error))
        return {};
    return "cannot write the HTML report to " + path + ": " + error;
}

} // namespace

int RunInterfaces() {
    const auto adapters = platform::ListNetworkAdapters();
    std::vector<std::vector<std::string>> rows = {{"name", "address", "prefix", ""}};
    for (const auto& adapter : adapters)
        rows.push_back({adapter.name, adapter.address, "/" + std::to_string(adapter.prefixLength),
                        adapter.loopback               ? "loopback"
                        : adapter.virtualKind.empty() ? ""
                                                       : "virtual (" + adapter.virtualKind + ")"});
    PrintRows(std::cout, rows);
    return adapters.empty() ? kExitUsage : 0;
}

// The sweep against the expected list: the counts, each collector found but
// not listed, each listed one not found. Written after the listing (to
// standard error when the listing is CSV or JSON, which stay as they are).
void PrintExpectedComparison(std::ostream& out, const FieldTable& field,
                             const Expectation& expected) {
    std::set<std::string> listed;
    for (const auto& collector : expected.collectors)
        listed.insert(collector.serial);
    for (const auto& entry : field.SortedByAddress())
        if (listed.count(entry.serial) == 0)
            out << "not expected: " << platform::GbkToUtf8(entry.serial) << " at " << entry.address
                << "\n";
    const auto missing = MissingExpected(field, expected.collectors);
    for (const auto& collector : missing)
        out << "not found: " << platform::GbkToUtf8(collector.serial)
            << (collector.address ? " (listed at " + *collector.address + ")" : "")
            << ": did not answer the sweep\n";
    out << ExpectedCountsText({expected.collectors.size(),
                               expected.collectors.size() - missing.size(), missing.size()})
        << "\n";
}

int RunDiscover(const DiscoverOptions& options) {
    const auto picked = PickAdapter(options.adapter);
    if (const auto* error = std::get_if<std::string>(&picked))
        return SetupError(*error);
    const Adapter& chosen = std::get<Adapter>(picked);
    const auto expected = ExpectedFrom(options.expectFile, false, chosen.scope);
    if (const auto* error = std::get_if<std::string>(&expected))
        return SetupError(*error);
    const auto& expectation = std::get<std::optional<Expectation>>(expected);
    asio::io_context io;
    FleetSockets sockets(io, chosen.scope);
    if (const auto error = sockets.Open(); !error.empty())
        return SetupError(error);
    std::cerr << SweepingLine(chosen);
    std::optional<ProbeCounter> counter(std::in_place, sockets);
    const FieldTable field =
        SweepField(io, sockets, chosen.scope, WithExpectedAddresses(options.sweep, expectation));
    const bool missing =
        expectation && !MissingExpected(field, expectation->collectors).empty();
    const std::string findings =
        field.Size() == 0 || missing ? SweepFindingsMessage(chosen, field, *counter) : "";
    counter.reset();
    PrintField(std::cout, field.SortedByAddress(), options.format);
    if (field.Size() == 0)
        std::cerr << findings;
    if (expectation) {
        PrintExpectedComparison(options.format == ListFormat::Table ? std::cout : std::cerr, field,
                                *expectation);
        if (missing) {
            if (field.Size() > 0)
                std::cerr << findings;
            return kExitSomeNotUpgraded;
        }
    }
    return field.Size() == 0 ? kExitSomeNotUpgraded : 0;
}

int RunUpgrade(const UpgradeOptions& options) {
    const auto startedAt = std::chrono::system_clock::now();
    const bool namedOnly = !options.imageName.empty();
    const auto loaded = namedOnly ? NamedFirmwareImage(options.imageName, options.imageSha256)
                                  : LoadFirmwareImage(options.imagePath);
    if (const auto* error = std::get_if<std::string>(&loaded))
        return SetupError(*error);
    const auto image = std::get<std::shared_ptr<const FirmwareImage>>(loaded);
    if (!namedOnly && !options.imageSha256.empty())
        if (const auto wrong = CheckImageDigest(*image, options.imageSha256); !wrong.empty())
            return SetupError(wrong);
    // The signature is checked when the image is loaded, and again just
    // before the run starts (and after the question): a key taken out of the
    // trusted ones meanwhile, or a signature file replaced, stops it there.
    const auto checkSignature = [&]() -> std::optional<image::SignatureCheck> {
        if (namedOnly)
            return image::SignatureCheck{true, false, {}, {}, {}}; // nothing read: nothing to check
        auto check = CheckFirmwareSignature(*image, options.signature);
        if (check.accepted)
            return check;
        std::cerr << "collector-fleet: the image " << image->path << " is refused: "
                  << check.refusal << "; nothing was sent\n";
        return std::nullopt;
    };
    auto signature = checkSignature();
    if (!signature)
        return kExitUsage;

    const auto picked = PickAdapter(options.adapter);
    if (const auto* error = std::get_if<std::string>(&picked))
        return SetupError(*error);
    const Adapter& chosen = std::get<Adapter>(picked);
    const auto named = NamedTargets(options, chosen.scope);
    if (const auto* error = std::get_if<std::string>(&named))
        return SetupError(*error);
    const auto& targets = std::get<std::vector<PinnedTarget>>(named);
    const auto expected = ExpectedFrom(options.expectFile, options.onlyExpected, chosen.scope);
    if (const auto* error = std::get_if<std::string>(&expected))
        return SetupError(*error);
    // A dry run sends no upgrade message, so it needs nobody's confirmation.
    if (!options.dryRun && !options.yes && !platform::StandardInputIsTerminal())
        return SetupError("standard input is not a terminal, so nobody can confirm: add --yes");

    RunInfo info = RunInfoFor(chosen, *image, options.dryRun, startedAt);
    if (signature->isSigned)
        info.imageSignature = ReportSignature{signature->keyId, signature->keyName, true};
    RunRecord record(options.reportPath, std::move(info), *image);
    std::optional<RunLog> log;
    if (!options.logPath.empty())
        log.emplace(options.logPath, options.logDatagrams ? LogLevel::Datagrams : LogLevel::Events,
                    std::cerr);

    asio::io_context io;
    FleetSockets sockets(io, chosen.scope);
    if (log && log->LogsDatagrams())
        sockets.onDatagram = [&log](const DatagramEvent& datagram) { log->Datagram(datagram); };
    if (const auto error = sockets.Open(); !error.empty())
        return SetupError(error);
    // Nothing is written before the run can start, so that a run refused
    // (status 2) leaves an earlier report as it was; the log only grows. A
    // report that cannot be kept is still known before anything is sent.
    if (log)
        if (const auto error = log->Open(); !error.empty())
            return SetupError(error);
    if (const auto again = checkSignature();
        !again || again->isSigned != signature->isSigned || again->keyId != signature->keyId)
        return again ? SetupError("the image's signature changed while the run was set up; "
                                  "nothing was sent")
                     : kExitUsage;
    if (!record.Write({}))
        return SetupError(record.Error());
    if (const auto error = WriteReportHtml(options.reportHtmlPath, record.Info(), *image, {});
        !error.empty())
        return SetupError(error);
    const ProgressMode progressMode = ChooseProgress(options.progress);
    if (progressMode != ProgressMode::Quiet)
        std::cerr << SweepingLine(chosen);

    // From here an interrupt, at the question too, ends the run in order: no
    // new session, each collector reported as it stands, the report
    // written, status 130.
    platform::TreatConsoleCloseAsInterrupt();
    RunInterrupt interrupt;
    asio::signal_set interrupts(io);
    for (const int signal : platform::InterruptSignals())
        interrupts.add(signal);
    interrupts.async_wait([&](const asio::error_code& error, int) {
        if (!error)
            interrupt.Interrupt();
    });

    RunSetup setup;
    setup.image = image;
    if (!options.all)
        setup.targets = targets;
    setup.excluded = options.excluded;
    setup.expected = std::get<std::optional<Expectation>>(expected);
    setup.sweep = options.sweep;
    setup.limits = {options.parallel, options.canary, options.maxFailures};
    setup.verify = options.verify;
    setup.verifyTimeout = std::chrono::seconds(options.verifyTimeoutSeconds);
    setup.dryRun = options.dryRun;
    ProgressView progress(progressMode, stderr);
    RunHooks hooks;
    hooks.progress = &progress;
    hooks.log = log ? &*log : nullptr;
    // The sweep's replies are counted for the findings; the counter goes
    // once the plan is made, before any upgrade frame.
    std::optional<ProbeCounter> counter(std::in_place, sockets);
    hooks.planned = [&](const FieldTable& field, const TargetPlan&) {
        const bool fewer =
            setup.expected && !MissingExpected(field, setup.expected->collectors).empty();
        if (field.Size() == 0 || fewer)
            std::cerr << SweepFindingsMessage(chosen, field, *counter);
        counter.reset();
    };
    hooks.confirm = [&](const TargetPlan& plan) {
        if (options.yes)
            return true;
        const bool yes = Confirm(plan.toUpgradeAs, *image, SignatureWords(*signature));
        // Ctrl+C (or a closed terminal) ends the question's read; its
        // handler runs here, so that the run ends as interrupted.
        io.poll();
        // The answer may have come long after the check: checked once more.
        const auto again = yes ? checkSignature() : signature;
        return yes && !interrupt.Requested() && again && again->keyId == signature->keyId;
    };
    hooks.reportTrouble = [](const std::string& error) {
        std::cerr << "collector-fleet: " << error << "\n";
    };
    RunEnd end = RunFleetUpgrade(io, sockets, setup, record, hooks, interrupt);
    interrupts.cancel();
    if (!end.confirmed && !end.interrupted)
        std::cerr << "collector-fleet: not confirmed; nothing was sent\n";

    if (options.dryRun && options.format == ReportFormat::Text)
        PrintPlan(std::cout, end.results);
    // Which canary stopped the run, and how it ended.
    const auto heldBack = std::count_if(end.results.begin(), end.results.end(), [](const auto& r) {
        return r.reasonCode == ReasonName(Reason::CanaryNotUpgraded);
    });
    if (!end.canaryFailure.empty() && heldBack > 0)
        std::cerr << "collector-fleet: " << end.canaryFailure << "; " << heldBack
                  << " other collector(s) not started\n";
    if (!end.reportError.empty())
        std::cerr << "collector-fleet: " << end.reportError << "\n";
    if (const auto error =
            WriteReportHtml(options.reportHtmlPath, record.Info(), *image, end.results);
        !error.empty()) {
        std::cerr << "collector-fleet: " << error << "\n";
        if (!end.interrupted)
            end.exitStatus = kExitSomeNotUpgraded;
    }
    if (options.format == ReportFormat::Json)
        std::cout << record.Json(end.results);
    else if (!options.dryRun && end.confirmed)
        PrintResultTable(std::cout, end.results);
    if (options.format == ReportFormat::Text && record.Info().expected &&
        (options.dryRun || end.confirmed))
        std::cout << ExpectedCountsText(*record.Info().expected) << "\n";
    if (end.interrupted)
        std::cerr << "collector-fleet: interrupted\n";
    return end.exitStatus;
}

} // namespace fleet
