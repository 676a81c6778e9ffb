#pragma once

// The commands of collector-fleet that reach the network, each returning the
// exit status (the image commands: image_commands.h).

#include "fleet/run/fleet_report.h"
#include "fleet/run/progress.h"
#include "fleet/run/run_steps.h"
#include "fleet/session/firmware_image.h"
#include "fleet/session/fleet_policy.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

struct DiscoverOptions {
    AdapterOptions adapter;
    SweepOptions sweep;
    ListFormat format = ListFormat::Table;
    std::string expectFile; // the collectors expected; empty: none compared
};

enum class ReportFormat { Text, Json };

struct UpgradeOptions {
    AdapterOptions adapter;
    SweepOptions sweep;
    std::string imagePath;
    std::string imageSha256; // lower-case hex; empty: not checked
    SignatureOptions signature; // the keys and policy IMAGE.sig is checked by
    // With dryRun: plan from this file name and imageSha256 without reading
    // the image, which need not be on this computer.
    std::string imageName;
    std::vector<std::string> targets; // "IP" or "IP=SERIAL" (UTF-8)
    std::string targetFile;
    // The collectors expected (serials, IP=SERIAL lines, or a discover CSV):
    // each one missing from the sweep is reported not found. Without
    // targets, every collector found is a target.
    std::string expectFile;
    bool onlyExpected = false; // leave found collectors that are not expected alone
    std::vector<std::string> excluded;
    bool all = false;
    std::size_t parallel = 0; // 0: all at once
    // Upgraded and verified one by one before the rest start; applies when
    // there is more than one collector to upgrade. 0: none.
    std::size_t canary = policy::kCanary;
    std::optional<std::size_t> maxFailures;
    bool verify = true;
    int verifyTimeoutSeconds = static_cast<int>(policy::kVerifyTimeout.count());
    bool dryRun = false;
    std::string reportPath;
    std::string reportHtmlPath; // the report as a page for people, written at the end
    std::string logPath;        // the log for support
    bool logDatagrams = false;  // the log also holds every datagram
    ReportFormat format = ReportFormat::Text;
    std::string progress = "auto"; // auto | tty | plain | quiet
    bool yes = false;
};

int RunInterfaces();
int RunDiscover(const DiscoverOptions& options);
int RunUpgrade(const UpgradeOptions& options);

} // namespace fleet
