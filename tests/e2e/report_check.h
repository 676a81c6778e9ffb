#pragma once

// The report a run of collector-fleet or the fleet window wrote, read the way
// every end-to-end test reads one: checked against the report's JSON Schema
// (fleet/run/report.schema.json) first, a failure of the test when it does not
// match, then parsed.

#include <nlohmann/json.hpp>

#include <string>

namespace e2e {

// Empty when the report at `path` matches the schema; otherwise each violation.
std::string ReportSchemaViolations(const std::string& path);

// The report at `path`, parsed, after the schema check (a non-fatal failure).
nlohmann::json ReadCheckedReport(const std::string& path);

} // namespace e2e
