#include "report_check.h"

#include "netns_fixture.h"

#include <gtest/gtest.h>

namespace e2e {

std::string ReportSchemaViolations(const std::string& path) {
    std::string output;
    const int status =
        RunCommand({"python3", REPORT_CHECK_SCRIPT, COLLECTOR_REPORT_SCHEMA, path}, &output);
    if (status == 0)
        return {};
    return output.empty() ? "the report check could not run (python3 with jsonschema)" : output;
}

nlohmann::json ReadCheckedReport(const std::string& path) {
    EXPECT_EQ(ReportSchemaViolations(path), "") << "report " << path;
    return nlohmann::json::parse(ReadFile(path));
}

} // namespace e2e
