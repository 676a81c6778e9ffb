#pragma once

// Control identifiers of the Win32 window (from the window's description) and
// the window's private messages. Automation and tests find a control by its
// identifier (GetDlgItem on its parent, or TFrmmain::Control).

#include "gui/upgrade/shell/window_description.h"
#include "gui/win32_support/windows_api.h"

namespace upgradeui::win32 {

using upgradeui::ControlId;
using enum upgradeui::ControlId;

inline constexpr wchar_t kMainWindowClass[] = L"TFrmmain";

// Above WM_APP, so never inside the socket message range 1106..1206.
inline constexpr UINT kWorkerUpdateMessage = WM_APP + 1; // one queued worker change
inline constexpr UINT kStartUpMessage = WM_APP + 2;      // start-up if no activation came

} // namespace upgradeui::win32
