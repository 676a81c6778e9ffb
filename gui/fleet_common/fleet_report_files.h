#pragma once

// The run's report as the window keeps it: the engine's JSON, the same as a
// CSV table for a spreadsheet, and the JSON read back to show the last run
// when the window opens again.

#include "fleet/fleet_report.h"

#include <optional>
#include <string>
#include <vector>

namespace fleetwin {

// A UTF-8 byte order mark, then one line per collector: ip, serial,
// versions, plan, outcome, reason, stage, passes, blocks, seconds. Fields
// are written by fleet::CsvField (quoted, formula-like ones kept as text).
std::string ReportCsv(const std::string& reportJson);

// What a report says of its run as a whole.
struct ReportHead {
    std::string imageName, imageVersion, sha256;
    std::string started;
    std::optional<std::string> ended; // none: the run never ended (the program stopped)
    std::optional<int> exitStatus;
    std::optional<fleet::ExpectedCounts> expected; // the run had an expected list
};

struct KeptReport {
    ReportHead head;
    std::vector<fleet::CollectorResult> results; // texts back in GBK, as the sweep gives them
};

// A report written by the engine; none when the text is not such a report.
std::optional<KeptReport> ReadReport(const std::string& reportJson);

// Writes `text` to `path` (UTF-8 name) through a temporary file renamed over
// it. The text is empty on success, else why not.
std::string WriteFileAtomically(const std::string& path, const std::string& text);
// The whole file, or none.
std::optional<std::string> ReadWholeFile(const std::string& path);

} // namespace fleetwin
