#include "gui/fleet/shell/fleet_report_files.h"

#include "platform/read_file.h"
#include "platform/replace_file.h"

#include <fstream>
#include <sstream>

namespace fleetui {

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string error;
    if (platform::ReplaceFileContents(path, text, &error))
        return {};
    return "cannot write " + path + ": " + error;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace fleetui
