// The Win32 window on a display at 144 dpi (150 % scaling): every place,
// size and font is the described one scaled by one and a half, and a change
// of resolution lays everything out again. Run in a wine prefix whose display
// is set to 144 dpi (WINE_LOGPIXELS in scripts/wine-run.sh).
//
// WIN32_DPI_SCREENSHOT_HOLD_MS=<ms> fills in a few rows and a running progress
// bar, prints the window's place on the screen ("window-rect L T W H") and
// keeps the window up that long, for scripts/screenshot-win32-dpi.sh.

#include "win32_window_fixture.h"
#include "window_icon_sizes.h"

#include "gui/upgrade/shell/window_geometry.h"
#include "gui/win32_support/window_dpi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kDpi = 144;

Placement ToPlacement(const upgradeui::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

LONG FontHeightOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// Every control that keeps its described place, at `dpi`.
void ExpectFixedControlsAt(TestWindow& w, int dpi) {
    for (const upgradeui::ControlDescription& control : upgradeui::MainWindowControls()) {
        if (control.dock != upgradeui::Dock::None || control.id == kProgressBar1 ||
            control.id == kLbl3)
            continue; // docked, hosted by the status bar, sized to its text
        SCOPED_TRACE(std::string(control.name));
        EXPECT_EQ(PlacementInParent(w.Control(control.id)),
                  ToPlacement(upgradeui::ScaleToDpi(control.bounds, dpi)));
        if (control.kind != upgradeui::ControlKind::RichEdit) {
            EXPECT_EQ(FontHeightOf(w.Control(control.id)),
                      -upgradeui::ScaleToDpi(control.fontPixels, dpi));
        }
    }
    EXPECT_EQ(SendMessageW(w.Control(kLv1), LVM_GETCOLUMNWIDTH, 0, 0),
              upgradeui::ScaleToDpi(upgradeui::DeviceListColumns()[0].width, dpi));
}

TEST(Win32WindowDpi, At144DpiEverythingIsOneAndAHalfTimesItsSizeAndRelaidOnAChange) {
    TestWindow w;
    ASSERT_EQ(w->Dpi(), static_cast<UINT>(kDpi)) << "the display of this test runs at 144 dpi";
    RECT client{};
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(client.right, 910);
    EXPECT_EQ(client.bottom, 601);
    ExpectFixedControlsAt(w, kDpi);
    EXPECT_EQ(WindowIconWidth(w.Handle(), ICON_BIG), 48);
    EXPECT_EQ(WindowIconWidth(w.Handle(), ICON_SMALL), 24);

    ASSERT_TRUE(w.ShowAndStart());
    const upgradeui::DockedLayout docked = upgradeui::LayOutDocked(910, 601, kDpi);
    EXPECT_EQ(PlacementInParent(w.Control(kLv1)), ToPlacement(docked.lv1));
    EXPECT_EQ(PlacementInParent(w.Control(kStat1)), ToPlacement(docked.stat1));
    RedrawWindow(w.Control(kStat1), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(30);
    RECT panel{};
    SendMessageW(w.Control(kStat1), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&panel));
    EXPECT_EQ(PlacementInParent(w.Control(kProgressBar1)).width,
              panel.right - panel.left - upgradeui::ScaleToDpi(upgradeui::kProgressRightGap, kDpi));

    if (const char* hold = std::getenv("WIN32_DPI_SCREENSHOT_HOLD_MS"); hold != nullptr) {
        for (const core::DeviceEntry& device :
             std::vector<core::DeviceEntry>{{"ZJ2024000117", "198.51.100.17", "S1.02"},
                                            {"ZJ2024000118", "198.51.100.18", "S1.02"},
                                            {"ZJ2023000342", "198.51.100.42", "S1.01"}})
            w->View().DeviceAdded(device);
        SelectListRow(w.Control(kLv1), 0);
        w->View().ImageChosen("C:\\firmware\\S2.00.bin", "S2.00");
        w->View().StatusChanged("正在升级");
        w->Display().SetProgressMaximum(20);
        w->Display().SetProgressPosition(7);
        PumpFor(300);
        RECT shown{};
        GetWindowRect(w.Handle(), &shown);
        std::printf("window-rect %ld %ld %ld %ld\n", shown.left, shown.top,
                    shown.right - shown.left, shown.bottom - shown.top);
        std::fflush(stdout);
        PumpFor(std::atoi(hold));
    }

    // Moved to a monitor at 100 %: the offered rectangle holds the client
    // area at 96 dpi, and every control goes back to its described place.
    RECT outer{};
    GetWindowRect(w.Handle(), &outer);
    const SIZE at96 = win32_support::OuterSizeForClient(
        upgradeui::kClientWidth, upgradeui::kClientHeight,
        static_cast<DWORD>(GetWindowLongPtrW(w.Handle(), GWL_STYLE)),
        static_cast<DWORD>(GetWindowLongPtrW(w.Handle(), GWL_EXSTYLE)), 96);
    RECT suggested{outer.left, outer.top, outer.left + at96.cx, outer.top + at96.cy};
    SendMessageW(w.Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96),
                 reinterpret_cast<LPARAM>(&suggested));
    PumpFor(30);
    EXPECT_EQ(w->Dpi(), 96u);
    ExpectFixedControlsAt(w, 96);
    EXPECT_EQ(WindowIconWidth(w.Handle(), ICON_BIG), 32);
    EXPECT_EQ(WindowIconWidth(w.Handle(), ICON_SMALL), 16);
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(PlacementInParent(w.Control(kStat1)),
              ToPlacement(upgradeui::LayOutDocked(client.right, client.bottom).stat1));
}

} // namespace
