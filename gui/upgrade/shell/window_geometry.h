#pragma once

// Where the docked controls go when the client area changes, where the
// progress bar sits in the status bar's panel, and how a 96-dpi figure grows
// with the display's resolution.

#include "gui/upgrade/shell/window_description.h"

namespace upgradeui {

// `value` (pixels at 96 dpi) at `dpi`, rounded toward zero, so that at 144 dpi
// the client area of 607 x 401 becomes 910 x 601.
int ScaleToDpi(int value, int dpi);
Rect ScaleToDpi(const Rect& rect, int dpi);

// pnl1 keeps its width and follows the client height above the status bar,
// lv1 fills pnl1, stat1 stays at the bottom at full width. All at `dpi`.
struct DockedLayout {
    Rect pnl1;
    Rect lv1;
    Rect stat1;
};
DockedLayout LayOutDocked(int clientWidth, int clientHeight, int dpi = kDesignDpi);

// ProgressBar1 over the status bar's panel (in the bar's coordinates, right
// and bottom edges exclusive), ten pixels at 96 dpi short of its right edge.
Rect ProgressInPanel(const Rect& panel, int dpi = kDesignDpi);

} // namespace upgradeui
