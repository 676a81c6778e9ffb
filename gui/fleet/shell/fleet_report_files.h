#pragma once

// The window's files: the report saved where the operator chose, the last
// report kept in the settings folder, the settings. Reading and writing the
// report's contents is fleet's report module (fleet/run/fleet_report.h).

#include <optional>
#include <string>

namespace fleetui {

// Writes `text` to `path` (UTF-8 name) through a temporary file renamed over
// it. The text is empty on success, else why not.
std::string WriteFileAtomically(const std::string& path, const std::string& text);
// The whole file, or none.
std::optional<std::string> ReadWholeFile(const std::string& path);

} // namespace fleetui
