// collector-fleet: finds the collectors of one adapter's /24 and upgrades many
// of them at once. It sweeps and sends only within that /24.
#include "fleet/commands.h"
#include "platform/command_line.h"
#include "platform/terminal.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {

void AddAdapterOptions(CLI::App& command, fleet::AdapterOptions& adapter) {
    auto* name = command.add_option("--interface", adapter.interfaceName,
                                    "adapter to work on, by name (see: interfaces)");
    command.add_option("--address", adapter.address, "adapter to work on, by its IPv4 address")
        ->excludes(name);
}

void AddSweepOptions(CLI::App& command, fleet::SweepOptions& sweep) {
    command.add_option("--sweeps", sweep.sweeps, "sweeps of the /24, replies merged")
        ->check(CLI::Range(1, 10))
        ->capture_default_str();
    command.add_option("--wait", sweep.waitMs, "milliseconds to wait for replies after a sweep")
        ->check(CLI::Range(100, 60000))
        ->capture_default_str();
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"collector-fleet: discover and upgrade the collectors of one network adapter's "
                 "/24.\nIt sweeps and sends only within the chosen adapter's /24."};
    app.name("collector-fleet");
    app.require_subcommand(1);

    app.add_subcommand("interfaces", "list this computer's IPv4 adapters (sends nothing)");

    fleet::DiscoverOptions discover;
    auto* discoverCommand = app.add_subcommand("discover", "sweep the /24 and list the collectors");
    AddAdapterOptions(*discoverCommand, discover.adapter);
    AddSweepOptions(*discoverCommand, discover.sweep);
    std::string format = "table";
    discoverCommand->add_option("--format", format, "table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}))
        ->capture_default_str();

    fleet::UpgradeOptions upgrade;
    auto* upgradeCommand = app.add_subcommand("upgrade", "upgrade collectors of the /24");
    AddAdapterOptions(*upgradeCommand, upgrade.adapter);
    AddSweepOptions(*upgradeCommand, upgrade.sweep);
    upgradeCommand
        ->add_option("--image", upgrade.imagePath, "firmware image; its name begins with S")
        ->required();
    auto* targets =
        upgradeCommand->add_option("--target", upgrade.targets, "collector IP (repeatable)");
    auto* all = upgradeCommand->add_flag("--all", upgrade.all, "every collector the sweep finds");
    targets->excludes(all);
    upgradeCommand->add_option("--parallel", upgrade.parallel, "sessions at once (default: all)")
        ->check(CLI::PositiveNumber);
    upgradeCommand->add_option("--canary", upgrade.canary,
                               "upgrade this many first; go on only if all succeed");
    std::size_t maxFailures = 0;
    auto* maxFailuresOption = upgradeCommand
                                  ->add_option("--max-failures", maxFailures,
                                               "start no new session once this many have failed")
                                  ->check(CLI::PositiveNumber);
    bool noVerify = false;
    upgradeCommand->add_flag("--no-verify", noVerify,
                             "do not probe the version again after completion");
    upgradeCommand->add_option("--report", upgrade.reportPath, "write a JSON report here");
    upgradeCommand->add_option("--progress", upgrade.progress, "auto, tty, plain or quiet")
        ->check(CLI::IsMember({"auto", "tty", "plain", "quiet"}))
        ->capture_default_str();
    upgradeCommand->add_flag("--yes", upgrade.yes, "do not ask for confirmation");

    platform::ShowUtf8OnConsole();
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
    if (app.got_subcommand("discover")) {
        discover.format = format == "csv"    ? fleet::ListFormat::Csv
                          : format == "json" ? fleet::ListFormat::Json
                                             : fleet::ListFormat::Table;
        return fleet::RunDiscover(discover);
    }
    if (upgrade.targets.empty() && !upgrade.all) {
        std::cerr << "collector-fleet upgrade: name the collectors with --target IP, or --all\n";
        return fleet::kExitUsage;
    }
    if (*maxFailuresOption)
        upgrade.maxFailures = maxFailures;
    upgrade.verify = !noVerify;
    return fleet::RunUpgrade(upgrade);
}
