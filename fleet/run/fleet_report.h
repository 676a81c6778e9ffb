#pragma once

// The outcome of a fleet run per collector, as a table for people and as the
// JSON report for records; and the listing of a discovered field.

#include "fleet/run/field_table.h"
#include "fleet/session/firmware_image.h"
#include "fleet/session/outcomes.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fleet {

struct CollectorResult {
    std::string address;
    std::string serial;        // raw GBK, empty when it did not answer the sweep
    std::string versionBefore; // raw GBK
    std::optional<std::string> versionAfter;
    PlanKind plan = PlanKind::Upgrade;
    ResultKind result = ResultKind::NotStarted;
    std::string reasonCode; // a code of the outcomes table (ReasonName); empty when upgraded
    std::string reason;     // the same for people (UTF-8)
    std::string stage = "sweep";
    int passes = 0;
    std::size_t blocksSent = 0, blocksResent = 0, resendOutsideImage = 0;
    double seconds = 0;
    std::optional<std::string> started, ended; // the session's UTC times, once it has them
    bool verified = false;                     // reported the image's version after completing
    std::string adapter; // the adapter it was reached through (UTF-8); empty when not found

    bool operator==(const CollectorResult&) const = default;
};

// Left alone on purpose: found, not in the expected list, and the run
// upgrades only expected collectors. Such a row neither fails a run nor
// counts as done.
bool LeftAloneAsUnexpected(const CollectorResult& result);

// How the sweep compared with the run's expected list (serials).
struct ExpectedCounts {
    std::size_t expected = 0; // serials the list names
    std::size_t found = 0;    // of them, those that answered the sweep
    std::size_t missing = 0;  // of them, those that did not
    bool operator==(const ExpectedCounts&) const = default;
};
// "expected 4, found 3, missing 1"
std::string ExpectedCountsText(const ExpectedCounts& counts);

// Exit statuses of the program.
inline constexpr int kExitAllUpgraded = 0;
inline constexpr int kExitSomeNotUpgraded = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNothingToDo = 3;
inline constexpr int kExitNotConfirmed = 4; // "no" at the question; nothing sent
inline constexpr int kExitInterrupted = 130;

// 0 when at least one was upgraded and all others are already current, 3
// when every one was already current, 1 otherwise (an empty list too: a
// sweep that found nothing is a failure; an expected collector not found
// too). A dry run predicts the same from the plan: 1 when a target would be
// refused, is missing, in conflict, pinned to another serial or outside the
// subnet; else 0 when it plans an upgrade, 3 when not. Collectors that
// --only-expected leaves alone count neither way.
int ExitStatusFor(const std::vector<CollectorResult>& results, bool dryRun);

// The version of the report's layout; raised when a field changes meaning
// or goes away (added fields keep it).
inline constexpr int kReportSchemaVersion = 1;

// The options a run went by, as the report's head records them.
struct RunOptions {
    std::size_t canary = 0;
    std::optional<std::size_t> parallel;    // none: all at once
    std::optional<std::size_t> maxFailures; // none: no limit
    bool verify = true;
    long long verifyTimeoutSeconds = 0;
};

// One adapter of the run and the subnets swept from it.
struct RunAdapter {
    std::string name, address; // UTF-8, dotted IPv4
    int prefix = 0;
    std::vector<std::string> subnets; // "198.51.100.0/24", its own first, then routed ones
    bool operator==(const RunAdapter&) const = default;
};

// The image's signature as the report names it; a run of an unsigned image has none.
struct ReportSignature {
    std::string keyId, keyName;
    bool verified = false;

    bool operator==(const ReportSignature&) const = default;
};

// The run as a whole, for the report's head.
struct RunInfo {
    std::string hostName; // UTF-8
    // The first adapter (the only one of a run over one adapter).
    std::string adapterName, adapterAddress;
    int adapterPrefix = 0;
    std::string imageSha256;
    bool dryRun = false;
    RunOptions options;
    bool interrupted = false;
    std::string started;              // UTC, ISO 8601
    std::optional<std::string> ended; // set once the run is over
    std::optional<int> exitStatus;    // likewise
    // From the first session's start to the last one's end, once known.
    std::optional<double> upgradeSeconds;
    // Set when the run was given an expected list, once the sweep is done.
    std::optional<ExpectedCounts> expected;
    // Every adapter of the run, in the order they were swept.
    std::vector<RunAdapter> adapters;
    // The key that signed the image, as checked before the run; none: unsigned.
    std::optional<ReportSignature> imageSignature;
};

// The program's version, as the build gives it.
const char* ToolVersion();
// A time as "2026-12-07T15:00:00Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

void PrintResultTable(std::ostream& out, const std::vector<CollectorResult>& results);

// The image as a report names it (no bytes: a report read back has none).
struct ReportImage {
    std::string name, version;
    std::size_t size = 0, blocks = 0;

    bool operator==(const ReportImage&) const = default;
};
ReportImage ImageOfReport(const FirmwareImage& image);

// A whole report: what the engine writes, what the fleet window keeps and
// saves, what is read back from a file.
struct Report {
    std::string toolVersion = ToolVersion();
    RunInfo run;
    ReportImage image;
    std::vector<CollectorResult> results;
};

// The report: the run's head, then one line of JSON per collector (readable
// with grep, and cheap to rewrite as results come in: only changed lines are
// made again).
std::string ReportJson(const Report& report);
std::string ReportJson(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<CollectorResult>& results);
std::string ReportJson(const RunInfo& run, const ReportImage& image,
                       const std::vector<std::string>& collectorLines,
                       const std::string& toolVersion = ToolVersion());
std::string CollectorJsonLine(const CollectorResult& result);

// A report as ReportJson wrote it, texts from the network back in GBK (from
// their hex fields); none when the text is not such a report (no collectors
// list, a collector without an address or with an unknown outcome). Fields it
// does not know are ignored; missing or mistyped ones read as empty, zero,
// false or none (an unknown plan as upgrade).
std::optional<Report> ReadReport(const std::string& json);

// The collectors as a CSV table for a spreadsheet: a UTF-8 byte order mark,
// then one line per collector (ip, serial, versions, plan, outcome, reason,
// detail, stage, passes, blocks, seconds), lines ending in CR LF, fields
// written by CsvField.
std::string ReportCsv(const Report& report);

// Rows as columns two blanks apart, wide (CJK) characters counted as two.
void PrintRows(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// A CSV field, quoted when it holds a separator, a quote or a line break. A
// field beginning with =, +, -, @, a tab or a carriage return is prefixed
// with an apostrophe, so that a spreadsheet shows it as text, not a formula.
std::string CsvField(const std::string& field);

// A serial as a CSV cell that a spreadsheet keeps as text. A serial that
// begins with a digit would be taken for a number or a date (leading zeros
// lost, "1E+15"): it gets the apostrophe too, as does one that begins with an
// apostrophe (ReadSerialCell removes one).
std::string SerialCsvField(const std::string& utf8Serial);

// A serial cell read back from a CSV that a spreadsheet may have saved: the
// apostrophe guard is removed, leading zeros are kept, and a number in
// exponent form ("1.23E+15", a serial a spreadsheet turned into a number) is
// refused. `error` names the line; empty when `serial` was read.
struct SerialCell {
    std::string serial; // UTF-8
    std::string error;
};
SerialCell ReadSerialCell(const std::string& cell, std::size_t lineNumber);

enum class ListFormat { Table, Csv, Json };
void PrintField(std::ostream& out, const std::vector<FieldEntry>& field, ListFormat format);

} // namespace fleet
