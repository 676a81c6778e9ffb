#pragma once

// The run's report as one self-contained HTML page for people: the run's
// head, the count of each outcome as a bar, and the table of collectors,
// sorted by clicking a column's header. Style and script are inline (the
// same as the estate page's: ansible/plugins/module_utils/fleet_page.py); the
// page loads nothing from anywhere. Built from the same data as the JSON
// report.

#include "fleet/run/fleet_report.h"
#include "fleet/session/firmware_image.h"

#include <string>
#include <string_view>
#include <vector>

namespace fleet {

// `text` (UTF-8) with &, <, >, " and ' written as character references.
std::string HtmlEscape(std::string_view text);

std::string ReportHtml(const Report& report);
std::string ReportHtml(const RunInfo& run, const FirmwareImage& image,
                       const std::vector<CollectorResult>& results);

} // namespace fleet
