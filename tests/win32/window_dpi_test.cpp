// The Win32 window on a display at 144 dpi (150 % scaling): every place,
// size and font is the described one scaled by one and a half, and a change
// of resolution lays everything out again. Run in a wine prefix whose display
// is set to 144 dpi (WINE_LOGPIXELS in scripts/wine-run.sh).
//
// WIN32_DPI_SCREENSHOT=<file.bmp> keeps a picture of the window with a few
// rows and a running progress bar.

#include "win32_window_fixture.h"

#include "gui/common/window_geometry.h"
#include "gui/win32/window_dpi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kDpi = 144;

Placement ToPlacement(const gui::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

LONG FontHeightOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// Every control that keeps its described place, at `dpi`.
void ExpectFixedControlsAt(TestWindow& w, int dpi) {
    for (const gui::ControlDescription& control : gui::MainWindowControls()) {
        if (control.dock != gui::Dock::None || control.id == kProgressBar1 || control.id == kLbl3)
            continue; // docked, hosted by the status bar, sized to its text
        SCOPED_TRACE(std::string(control.name));
        EXPECT_EQ(PlacementInParent(w.Control(control.id)),
                  ToPlacement(gui::ScaleToDpi(control.bounds, dpi)));
        if (control.kind != gui::ControlKind::RichEdit)
            EXPECT_EQ(FontHeightOf(w.Control(control.id)),
                      -gui::ScaleToDpi(control.fontPixels, dpi));
    }
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    SendMessageW(w.Control(kLv1), LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    EXPECT_EQ(column.cx, gui::ScaleToDpi(gui::DeviceListColumns()[0].width, dpi));
}

// The window as it is on the screen, as a 32-bit BMP file.
bool SaveWindowPicture(HWND window, const std::string& unixPath) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height; // bottom-up, as a BMP file stores it
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                            DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD size = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + size;
    std::string path = "Z:" + unixPath; // wine's drive for the Unix root
    FILE* out = std::fopen(path.c_str(), "wb");
    bool written = out != nullptr && std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&header, sizeof header, 1, out) == 1 &&
                   std::fwrite(bits, size, 1, out) == 1;
    if (out != nullptr)
        written = std::fclose(out) == 0 && written;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

TEST(Win32WindowDpi, At144DpiEverythingIsOneAndAHalfTimesItsSizeAndRelaidOnAChange) {
    TestWindow w;
    ASSERT_EQ(w->Dpi(), static_cast<UINT>(kDpi)) << "the display of this test runs at 144 dpi";
    RECT client{};
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(client.right, 910);
    EXPECT_EQ(client.bottom, 601);
    ExpectFixedControlsAt(w, kDpi);

    ASSERT_TRUE(w.ShowAndStart());
    const gui::DockedLayout docked = gui::LayOutDocked(910, 601, kDpi);
    EXPECT_EQ(PlacementInParent(w.Control(kLv1)), ToPlacement(docked.lv1));
    EXPECT_EQ(PlacementInParent(w.Control(kStat1)), ToPlacement(docked.stat1));
    RedrawWindow(w.Control(kStat1), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(30);
    RECT panel{};
    SendMessageW(w.Control(kStat1), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&panel));
    EXPECT_EQ(PlacementInParent(w.Control(kProgressBar1)).width,
              panel.right - panel.left - gui::ScaleToDpi(gui::kProgressRightGap, kDpi));

    if (const char* shot = std::getenv("WIN32_DPI_SCREENSHOT"); shot != nullptr && *shot != 0) {
        for (const DeviceEntry& device : std::vector<DeviceEntry>{
                 {"ZJ2024000117", "198.51.100.17", "S1.02"},
                 {"ZJ2024000118", "198.51.100.18", "S1.02"},
                 {"ZJ2023000342", "198.51.100.42", "S1.01"}})
            w->View().DeviceAdded(device);
        SelectListRow(w.Control(kLv1), 0);
        w->View().ImageChosen("C:\\firmware\\S2.00.bin", "S2.00");
        w->View().StatusChanged("正在升级");
        w->Display().SetProgressMaximum(20);
        w->Display().SetProgressPosition(7);
        PumpFor(300);
        EXPECT_TRUE(SaveWindowPicture(w.Handle(), shot)) << shot;
    }

    // Moved to a monitor at 100 %: the offered rectangle holds the client
    // area at 96 dpi, and every control goes back to its described place.
    RECT outer{};
    GetWindowRect(w.Handle(), &outer);
    const SIZE at96 = OuterSizeForClient(gui::kClientWidth, gui::kClientHeight,
                                         static_cast<DWORD>(GetWindowLongPtrW(w.Handle(), GWL_STYLE)),
                                         static_cast<DWORD>(GetWindowLongPtrW(w.Handle(), GWL_EXSTYLE)),
                                         96);
    RECT suggested{outer.left, outer.top, outer.left + at96.cx, outer.top + at96.cy};
    SendMessageW(w.Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    PumpFor(30);
    EXPECT_EQ(w->Dpi(), 96u);
    ExpectFixedControlsAt(w, 96);
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(PlacementInParent(w.Control(kStat1)),
              ToPlacement(gui::LayOutDocked(client.right, client.bottom).stat1));
}

} // namespace
