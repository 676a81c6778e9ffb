#pragma once

// Control identifiers of the Win32 window and the window's private messages.
// Automation and tests find a control by its identifier (GetDlgItem on its
// parent, or TFrmmain::Control).

#include "gui/win32/windows_api.h"

enum ControlId : int {
    kPnl1 = 100,
    kLv1,
    kGrp1,
    kLbl1,
    kLbl2,
    kLbl3,
    kEdtHostPort,
    kBtnSearch,
    kLbl7,
    kBtn1,
    kRedt2,
    kLbl4,
    kEdt1,
    kLbl6,
    kBtnUpg,
    kProgressBar1,
    kStat1,
};

inline constexpr wchar_t kMainWindowClass[] = L"TFrmmain";

// Above WM_APP, so never inside the socket message range 1106..1206.
inline constexpr UINT kWorkerUpdateMessage = WM_APP + 1; // one queued worker change
inline constexpr UINT kStartUpMessage = WM_APP + 2;      // start-up if no activation came
