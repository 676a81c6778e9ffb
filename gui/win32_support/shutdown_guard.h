#pragma once

// Holds a shutdown, restart or logoff while an upgrade runs: a collector cut
// off mid-flash must be recovered by hand. While held, the window has a
// shutdown block reason registered and refuses WM_QUERYENDSESSION, so Windows
// shows the reason and asks the user before it ends the program. Whether to
// hold is the window's shell's decision; this only tells Windows.

#include "gui/win32_support/windows_api.h"

namespace win32_support {

// What Windows shows beside the program's name while a shutdown is held.
inline constexpr wchar_t kShutdownBlockReason[] = L"正在升级采集器，请勿关机";

class ShutdownGuard {
public:
    // Registers the reason for `window` (hold) or removes it; a repeat of the
    // present state does nothing.
    void Hold(HWND window, bool hold);
    bool Held() const { return held_; }
    // The answer to WM_QUERYENDSESSION: FALSE while held.
    LRESULT AnswerQueryEndSession() const { return held_ ? FALSE : TRUE; }

private:
    bool held_ = false;
};

} // namespace win32_support
