#include "gui/upgrade/shell/window_geometry.h"

#include <algorithm>

namespace upgradeui {

int ScaleToDpi(int value, int dpi) {
    return static_cast<int>(static_cast<long long>(value) * dpi / kDesignDpi);
}

Rect ScaleToDpi(const Rect& rect, int dpi) {
    return {ScaleToDpi(rect.left, dpi), ScaleToDpi(rect.top, dpi), ScaleToDpi(rect.width, dpi),
            ScaleToDpi(rect.height, dpi)};
}

DockedLayout LayOutDocked(int clientWidth, int clientHeight, int dpi) {
    const int panelWidth = ScaleToDpi(Describe(kPnl1).bounds.width, dpi);
    const int statusHeight = ScaleToDpi(Describe(kStat1).bounds.height, dpi);
    const int bodyHeight = std::max(0, clientHeight - statusHeight);
    return {{0, 0, panelWidth, bodyHeight},
            {0, 0, panelWidth, bodyHeight},
            {0, bodyHeight, clientWidth, statusHeight}};
}

Rect ProgressInPanel(const Rect& panel, int dpi) {
    return {panel.left, panel.top, panel.width - ScaleToDpi(kProgressRightGap, dpi), panel.height};
}

} // namespace upgradeui
