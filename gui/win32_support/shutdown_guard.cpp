#include "gui/win32_support/shutdown_guard.h"

namespace win32_support {

void ShutdownGuard::Hold(HWND window, bool hold) {
    if (hold == held_)
        return;
    held_ = hold;
    // Refused where the system keeps no reasons: the refused end of session
    // still makes Windows ask, with its own words.
    if (hold)
        ShutdownBlockReasonCreate(window, kShutdownBlockReason);
    else
        ShutdownBlockReasonDestroy(window);
}

} // namespace win32_support
