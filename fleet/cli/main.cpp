// collector-fleet: finds the collectors of one adapter's subnet and upgrades
// many of them at once. It sweeps and sends only within that subnet (a /24 at
// most).
#include "fleet/cli/commands.h"
#include "fleet/cli/doctor_command.h"
#include "fleet/cli/image_commands.h"
#include "fleet/session/firmware_image.h"
#include "fleet/session/fleet_policy.h"
#include "platform/command_line.h"
#include "platform/crash_report.h"
#include "platform/interrupts.h"
#include "platform/terminal.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

namespace {

void AddAdapterOptions(CLI::App& command, fleet::AdapterOptions& adapter) {
    auto* name = command.add_option(
        "--interface", adapter.interfaces,
        "adapter to work on, by name (see: interfaces); repeatable. all: every adapter that is "
        "up with an IPv4 address that is neither loopback nor 169.254/16, virtual ones (bridge, "
        "docker, vEthernet, tun/tap, VPN) only when named as well");
    command.add_option("--address", adapter.address, "adapter to work on, by its IPv4 address")
        ->excludes(name);
    command.add_option(
        "--subnet", adapter.subnets,
        "a routed subnet to sweep as well, CIDR, /24 or wider (repeatable): each /24 in it is "
        "swept from the adapter whose route leads there; at most 16 /24s a run. Nothing is sent "
        "outside these subnets and the chosen adapters' own /24s");
}

void AddSignatureOptions(CLI::App& command, fleet::SignatureOptions& signature) {
    command.add_option("--trusted-key", signature.trustedKeys,
                       "a public key (PEM) trusted to sign images, besides those of the site's "
                       "trusted-keys folder; its name is the file name without .pem (repeatable)");
}

void AddSweepOptions(CLI::App& command, fleet::SweepOptions& sweep) {
    command
        .add_option(
            "--sweeps", sweep.sweeps,
            "sweeps of the subnet at least (more while new collectors answer), replies merged")
        ->check(CLI::Range(1, fleet::policy::kMaxSweepRounds))
        ->capture_default_str();
    command.add_option("--wait", sweep.waitMs, "milliseconds to wait for replies after a sweep")
        ->check(CLI::Range(static_cast<int>(fleet::policy::kMinSweepWait.count()),
                           static_cast<int>(fleet::policy::kMaxSweepWait.count())))
        ->capture_default_str();
}

// Shown when the program is double-clicked: its console would close before
// anyone could read what it prints.
constexpr const char* kRunFromCommandPrompt =
    "collector-fleet.exe 是命令行程序，请在命令提示符中运行：\n"
    "  在本文件夹窗口的地址栏输入 cmd 并按回车，再输入\n"
    "    collector-fleet --help\n"
    "  查看用法。要用窗口批量升级，请运行 CollectorFleetWindow.exe。\n"
    "\n"
    "collector-fleet.exe is a command-line program: run it from a command prompt.\n"
    "  Type cmd in this folder's address bar, press Enter, then type\n"
    "    collector-fleet --help\n"
    "  for its usage. To upgrade from a window, run CollectorFleetWindow.exe.\n"
    "\n"
    "按任意键关闭 / Press any key to close.\n";

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"collector-fleet: discover and upgrade the collectors of one network adapter's "
                 "subnet.\nIt sweeps and sends only within the chosen adapter's /24, or within "
                 "its own subnet when that is narrower; with several adapters (--interface A "
                 "--interface B, --interface all) within each one's, and within the subnets "
                 "named with --subnet."};
    app.name("collector-fleet");
    app.set_version_flag("--version", "collector-fleet " COLLECTOR_FLEET_VERSION,
                         "print the program's version and exit");
    app.require_subcommand(1);
    app.footer("Exit statuses of upgrade: see collector-fleet upgrade --help. discover: 0, or 1 "
               "when no collector answered; 2 wrong usage or a set-up error.");

    app.add_subcommand("interfaces", "list this computer's IPv4 adapters (sends nothing)");

    fleet::DoctorCommandOptions doctor;
    auto* doctorCommand = app.add_subcommand(
        "doctor", "check what keeps collectors from being found: ports 23 and 8000, each "
                  "adapter, on Windows its network category and the firewall, and one round of "
                  "probes on each adapter (exit 0 when nothing is wrong, else 1)");
    doctorCommand->add_option("--interface", doctor.interfaces,
                              "adapter to check, by name (repeatable; default: every adapter "
                              "that is up with an IPv4 address, not loopback)");
    std::string doctorFormat = "text";
    doctorCommand->add_option("--format", doctorFormat, "text, or json: one object per check")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();

    fleet::DiscoverOptions discover;
    auto* discoverCommand =
        app.add_subcommand("discover", "sweep the subnet and list the collectors");
    AddAdapterOptions(*discoverCommand, discover.adapter);
    AddSweepOptions(*discoverCommand, discover.sweep);
    std::string format = "table";
    discoverCommand->add_option("--format", format, "table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}))
        ->capture_default_str();
    discoverCommand->add_option(
        "--expect", discover.expectFile,
        "the collectors expected: serials one a line, IP=SERIAL lines, or the CSV of discover "
        "--format csv; lists the ones not found and the ones not expected (exit 1 when one is "
        "missing)");

    fleet::UpgradeOptions upgrade;
    auto* upgradeCommand = app.add_subcommand("upgrade", "upgrade collectors of the subnet");
    upgradeCommand->footer(
        "Exit status: 0 every target upgraded and verified or already current (at least one\n"
        "upgraded), 1 anything else (a failure, a refusal, not verified, an address conflict,\n"
        "a serial mismatch, no collector found, the report not written), 2 wrong usage or a\n"
        "set-up error (nothing sent), 3 nothing to do (every target already current), 4 not\n"
        "confirmed at the question (nothing sent), 130 interrupted (Ctrl+C, SIGTERM or\n"
        "SIGHUP). A dry run exits as the run would, as far as the sweep tells. The report is\n"
        "written in every case but 2. An expected collector (--expect) that did not answer\n"
        "the sweep makes it 1.");
    AddAdapterOptions(*upgradeCommand, upgrade.adapter);
    AddSweepOptions(*upgradeCommand, upgrade.sweep);
    auto* imageOption = upgradeCommand->add_option("--image", upgrade.imagePath,
                                                   "firmware image; its name begins with S");
    auto* imageNameOption = upgradeCommand->add_option(
        "--image-name", upgrade.imageName,
        "with --dry-run and --image-sha256, instead of --image: plan from the image's file name "
        "alone, without reading it (the report then gives it no size and no blocks)");
    imageOption->excludes(imageNameOption);
    auto* imageSha256Option =
        upgradeCommand
            ->add_option("--image-sha256", upgrade.imageSha256,
                         "refuse the image unless its SHA-256 is this (64 hex digits)")
            ->transform(CLI::Validator(
                [](std::string& text) {
                    const auto digest = fleet::Sha256FromText(text);
                    if (!digest)
                        return std::string("not 64 hex digits: ") + text;
                    text = *digest;
                    return std::string();
                },
                "HEX"));
    AddSignatureOptions(*upgradeCommand, upgrade.signature);
    upgradeCommand->add_flag("--require-signature", upgrade.signature.requireSignature,
                             "refuse an image without a signature file IMAGE.sig by a trusted key "
                             "(also when the site's policy does not ask for one)");
    auto* targets = upgradeCommand->add_option(
        "--target", upgrade.targets,
        "collector IP, or IP=SERIAL to upgrade it only while that serial answers there "
        "(repeatable)");
    auto* targetFile = upgradeCommand->add_option(
        "--target-file", upgrade.targetFile,
        "collector IPs, one a line, or the CSV of discover --format csv (each IP pinned to its "
        "serial)");
    auto* all = upgradeCommand->add_flag("--all", upgrade.all, "every collector the sweep finds");
    targets->excludes(all);
    targetFile->excludes(all);
    auto* expect = upgradeCommand->add_option(
        "--expect", upgrade.expectFile,
        "the collectors expected: serials one a line, IP=SERIAL lines (pinning the address too), "
        "or the CSV of discover --format csv. Every collector found is a target; a listed one "
        "that does not answer is reported not_found and fails the run; one found but not "
        "listed is planned unexpected");
    expect->excludes(targets);
    expect->excludes(targetFile);
    upgradeCommand
        ->add_flag("--only-expected", upgrade.onlyExpected,
                   "with --expect: leave collectors that are not listed alone")
        ->needs(expect);
    upgradeCommand->add_option("--exclude", upgrade.excluded,
                               "leave this collector IP alone (repeatable)");
    auto* parallel =
        upgradeCommand
            ->add_option("--parallel", upgrade.parallel, "sessions at once (default: all)")
            ->check(CLI::PositiveNumber);
    upgradeCommand
        ->add_option("--canary", upgrade.canary,
                     "with more than one collector, upgrade and verify this many first, before "
                     "any other starts; 0: no canary")
        ->capture_default_str();
    std::size_t maxFailures = 0;
    auto* maxFailuresOption =
        upgradeCommand
            ->add_option("--max-failures", maxFailures,
                         "start no new session once this many have failed or stayed unverified "
                         "(needs --parallel; default: no limit)")
            ->check(CLI::PositiveNumber);
    bool noVerify = false;
    upgradeCommand->add_flag("--no-verify", noVerify,
                             "do not probe the version again after completion");
    upgradeCommand
        ->add_option("--verify-timeout", upgrade.verifyTimeoutSeconds,
                     "seconds to wait for a collector to report its new version after completion, "
                     "probing every " +
                         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                            fleet::policy::kVerifyInterval)
                                            .count()) +
                         " s")
        ->check(CLI::Range(1, static_cast<int>(fleet::policy::kMaxVerifyTimeout.count())))
        ->capture_default_str();
    upgradeCommand->add_flag("--dry-run", upgrade.dryRun,
                             "sweep and print what would happen to each collector; send nothing "
                             "else");
    upgradeCommand->add_option("--report", upgrade.reportPath,
                               "write the JSON report here (kept up to date during the run)");
    upgradeCommand->add_option("--report-html", upgrade.reportHtmlPath,
                               "write the report as one self-contained HTML page here, at the end "
                               "of the run (also when interrupted)");
    upgradeCommand->add_option(
        "--log", upgrade.logPath,
        "write a log for support here: a line per session and run event, each with its UTC "
        "time in milliseconds. At 64 MiB the file is renamed to FILE.1 (replacing an older "
        "one) and a new FILE begins. A failure to write it is told once and the log stops; "
        "the run goes on");
    std::string logLevel = "events";
    upgradeCommand
        ->add_option("--log-level", logLevel,
                     "events, or datagrams: also every datagram sent and received (address:port, "
                     "length, bytes in hex); a received one is stamped with the kernel's receive "
                     "time on Linux, elsewhere with the time it was read")
        ->check(CLI::IsMember({"events", "datagrams"}))
        ->capture_default_str();
    std::string reportFormat = "text";
    upgradeCommand
        ->add_option("--format", reportFormat,
                     "text: a result table; json: the report on standard output")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    upgradeCommand->add_option("--progress", upgrade.progress, "auto, tty, plain or quiet")
        ->check(CLI::IsMember({"auto", "tty", "plain", "quiet"}))
        ->capture_default_str();
    upgradeCommand->add_flag("--yes", upgrade.yes, "do not ask for confirmation");

    auto* imageCommand = app.add_subcommand(
        "image", "signing keys and signed images: keygen, sign, verify (sends nothing)");
    imageCommand->require_subcommand(1);
    std::string keyName;
    auto* keygenCommand = imageCommand->add_subcommand(
        "keygen", "make an ECDSA P-256 key pair: NAME.pem (public) and NAME.private.pem (mode 0600)");
    keygenCommand->add_option("--out", keyName, "the key pair's name (and path)")->required();
    std::string privateKey, signedImage;
    auto* signCommand =
        imageCommand->add_subcommand("sign", "write IMAGE.sig, the image's signature file");
    signCommand->add_option("--key", privateKey, "the private key (PEM)")->required();
    signCommand->add_option("IMAGE", signedImage, "the firmware image; its name begins with S")
        ->required();
    fleet::SignatureOptions verifyOptions;
    auto* verifyCommand = imageCommand->add_subcommand(
        "verify", "check IMAGE.sig against the trusted keys (exit 0 signed by a trusted key, 1 "
                  "unsigned or refused, 2 set-up error)");
    AddSignatureOptions(*verifyCommand, verifyOptions);
    verifyCommand->add_option("IMAGE", signedImage, "the firmware image")->required();

    // On Windows a crash leaves a report and names it on standard error: a
    // message box would hold an unattended run (over SSH, from a scheduler).
    platform::InstallCrashHandlers(platform::CrashNotice::StandardError);
    // Output that nobody reads any more (a closed pipe or terminal) must not
    // end a run before its report is written.
    platform::IgnoreBrokenPipe();
    platform::ShowUtf8OnConsole();
    // Started from Explorer: no arguments, and a console of its own that
    // closes when the program ends.
    if (argc <= 1 && platform::AloneOnItsConsole()) {
        std::cout << kRunFromCommandPrompt << std::flush;
        platform::WaitForKeyPress();
        return fleet::kExitUsage;
    }
    // CLI11 takes the arguments after the program's name, last one first.
    std::vector<std::string> arguments = platform::Utf8Arguments(argc, argv);
    if (!arguments.empty())
        arguments.erase(arguments.begin());
    std::reverse(arguments.begin(), arguments.end());
    try {
        app.parse(arguments);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : fleet::kExitUsage;
    }

    if (app.got_subcommand("interfaces"))
        return fleet::RunInterfaces();
    if (app.got_subcommand("doctor")) {
        doctor.json = doctorFormat == "json";
        return fleet::RunDoctorCommand(doctor);
    }
    if (app.got_subcommand("discover")) {
        discover.format = format == "csv"    ? fleet::ListFormat::Csv
                          : format == "json" ? fleet::ListFormat::Json
                                             : fleet::ListFormat::Table;
        return fleet::RunDiscover(discover);
    }
    if (keygenCommand->parsed())
        return fleet::RunImageKeygen(keyName);
    if (signCommand->parsed())
        return fleet::RunImageSign(privateKey, signedImage);
    if (verifyCommand->parsed())
        return fleet::RunImageVerify(verifyOptions, signedImage);
    if (upgrade.imagePath.empty() && upgrade.imageName.empty()) {
        std::cerr << "collector-fleet upgrade: name the image with --image FILE\n";
        return fleet::kExitUsage;
    }
    if (*imageNameOption && !(upgrade.dryRun && *imageSha256Option)) {
        std::cerr << "collector-fleet upgrade: --image-name plans only: it needs --dry-run and "
                     "--image-sha256\n";
        return fleet::kExitUsage;
    }
    if (upgrade.targets.empty() && upgrade.targetFile.empty() && !upgrade.all &&
        upgrade.expectFile.empty()) {
        std::cerr << "collector-fleet upgrade: name the collectors with --target IP, "
                     "--target-file FILE, --expect FILE or --all\n";
        return fleet::kExitUsage;
    }
    if (*maxFailuresOption) {
        // With every collector started at once there is nobody left to hold back.
        if (!*parallel) {
            std::cerr << "collector-fleet upgrade: --max-failures needs --parallel N: with every "
                         "collector started at once no session is left to hold back\n";
            return fleet::kExitUsage;
        }
        upgrade.maxFailures = maxFailures;
    }
    upgrade.format = reportFormat == "json" ? fleet::ReportFormat::Json : fleet::ReportFormat::Text;
    upgrade.verify = !noVerify;
    upgrade.logDatagrams = logLevel == "datagrams";
    return fleet::RunUpgrade(upgrade);
}
