#pragma once

// The outcome of a fleet run per collector, as a table for people and as JSON
// for records; and the listing of a discovered field.

#include "fleet/field_table.h"
#include "fleet/firmware_image.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fleet {

enum class ResultKind { Upgraded, UpToDate, Refused, Failed, NotStarted };
const char* ResultName(ResultKind kind);

struct CollectorResult {
    std::string address;
    std::string serial;        // raw GBK, empty when it did not answer the sweep
    std::string versionBefore; // raw GBK
    std::optional<std::string> versionAfter;
    ResultKind result = ResultKind::NotStarted;
    std::string reason; // UTF-8
    int passes = 0;
    std::size_t blocksResent = 0;
    double seconds = 0;
};

// Exit statuses of the program.
inline constexpr int kExitAllUpgraded = 0;
inline constexpr int kExitSomeNotUpgraded = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNothingToDo = 3;

// 0 when at least one was upgraded and all others are up to date, 3 when none
// needed an upgrade, 1 otherwise.
int ExitStatusFor(const std::vector<CollectorResult>& results);

void PrintResultTable(std::ostream& out, const std::vector<CollectorResult>& results);
// `upgradeSeconds`: wall time of the upgrade sessions as a whole.
std::string ReportJson(const FirmwareImage& image, const std::vector<CollectorResult>& results,
                       double upgradeSeconds);

// Rows as columns two blanks apart, wide (CJK) characters counted as two.
void PrintRows(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

enum class ListFormat { Table, Csv, Json };
void PrintField(std::ostream& out, const std::vector<FieldEntry>& field, ListFormat format);

} // namespace fleet
