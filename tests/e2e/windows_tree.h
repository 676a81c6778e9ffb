#pragma once

// Where the wine end-to-end tests find the Windows programs: the 64-bit tree
// by default; E2E_WINDOWS_TREE names another (the 32-bit build-win32, whose
// programs then run in a 32-bit wine prefix). The language of the wine
// prefix comes from WINE_LANG (see scripts/wine-run.sh).

#include <cstdlib>
#include <string>
#include <vector>

namespace e2e {

inline std::string WindowsTree() {
    const char* chosen = std::getenv("E2E_WINDOWS_TREE");
    return chosen != nullptr && *chosen != 0 ? chosen : COLLECTOR_WIN32_BUILD_DIR;
}

inline const std::string kWineRunScript = COLLECTOR_SOURCE_DIR "/scripts/wine-run.sh";

// Stops the calling namespace's wine server and deletes its prefixes.
inline std::vector<std::string> EndWineCommand(const std::string& wineState) {
    return {kWineRunScript, "--end", wineState};
}

} // namespace e2e
