// The Win32 window's controls as laid out at start, their kinds, texts,
// fonts, enabled state and behaviour flags, the names screen readers read,
// the tab order, and the docking rules when the window is resized.

#include "win32_window_fixture.h"

#include "accessible_name.h"
#include "gui/upgrade/shell/window_geometry.h"
#include "gui/win32_support/accessible_names.h"
#include "gui/win32_support/window_text.h"
#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <vector>

using win32_support::WindowTextUtf8;

namespace {

std::wstring Wide(std::string_view utf8) {
    return platform::Utf8ToWide(std::string(utf8));
}

Placement ToPlacement(const upgradeui::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

// The window class that renders each kind of control, in lower case.
std::wstring Win32ClassOf(upgradeui::ControlKind kind) {
    using enum upgradeui::ControlKind;
    static const std::map<upgradeui::ControlKind, std::wstring> classes = {
        {Panel, L"static"},
        {Label, L"static"},
        {SizedLabel, L"static"},
        {ListView, L"syslistview32"},
        {GroupBox, L"button"},
        {Button, L"button"},
        {LineEdit, L"edit"},
        {RichEdit, L"richedit50w"},
        {ProgressBar, L"msctls_progress32"},
        {StatusBar, L"msctls_statusbar32"}};
    return classes.at(kind);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    std::wstring lower(name);
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    return lower;
}

LOGFONTW FontOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

LONG_PTR StyleOf(HWND window) {
    return GetWindowLongPtrW(window, GWL_STYLE);
}

TEST(Win32WindowLayout, EveryControlIsAsDescribed) {
    TestWindow w;
    ASSERT_EQ(w->Dpi(), 96u) << "the layout tests run at 100 %";
    EXPECT_EQ(TextOf(w.Handle()), Wide(upgradeui::kWindowCaption));
    RECT client{};
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(client.right, upgradeui::kClientWidth);
    EXPECT_EQ(client.bottom, upgradeui::kClientHeight);
    const LONG_PTR style = StyleOf(w.Handle());
    EXPECT_EQ(style & WS_THICKFRAME, WS_THICKFRAME);
    EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_NE(GetClassLongPtrW(w.Handle(), GCLP_HICON), 0) << "the window's own icon";

    // The font by its English face name where the system has it, else by its
    // Chinese one.
    const std::wstring face = FontOf(w.Control(kLbl1)).lfFaceName;
    EXPECT_TRUE(face == Wide(upgradeui::kFontFace) || face == Wide(upgradeui::kFontFaceChinese))
        << face;

    // ProgressBar1 as placed before the status bar first draws its panel.
    for (const upgradeui::ControlDescription& expected : upgradeui::MainWindowControls()) {
        SCOPED_TRACE(std::string(expected.name));
        const HWND control = w.Control(expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), Win32ClassOf(expected.kind));
        const HWND parent = expected.parent == kNoControl ? w.Handle() : w.Control(expected.parent);
        EXPECT_EQ(GetParent(control), parent);
        EXPECT_EQ(GetDlgCtrlID(control), expected.id);
        EXPECT_EQ(PlacementInParent(control), ToPlacement(expected.bounds));
        EXPECT_EQ(TextOf(control), Wide(expected.caption));
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, !expected.Has(upgradeui::kDisabled));
        if (expected.kind == upgradeui::ControlKind::RichEdit)
            continue; // a rich edit keeps its font as character format, below
        const LOGFONTW font = FontOf(control);
        EXPECT_EQ(font.lfFaceName, face);
        EXPECT_EQ(font.lfHeight, -expected.fontPixels);
    }
}

TEST(Win32WindowLayout, FieldsListAndStatusBarHaveTheirBehaviourFlags) {
    TestWindow w;
    EXPECT_EQ(StyleOf(w.Control(kEdtHostPort)) & ES_READONLY, ES_READONLY);
    EXPECT_EQ(StyleOf(w.Control(kEdt1)) & ES_READONLY, 0);
    const HWND redt2 = w.Control(kRedt2);
    EXPECT_EQ(StyleOf(redt2) & (ES_READONLY | ES_MULTILINE | WS_VSCROLL),
              ES_READONLY | ES_MULTILINE | WS_VSCROLL);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(redt2, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.szFaceName, std::wstring(FontOf(w.Control(kLbl1)).lfFaceName));
    EXPECT_EQ(format.yHeight, 13 * 1440 / 96) << "13 pixels in twips at 96 dpi";
    EXPECT_EQ(format.bCharSet, GB2312_CHARSET);
    EXPECT_EQ(StyleOf(w.Control(kLbl6)) & SS_TYPEMASK, SS_CENTER);

    const HWND lv1 = w.Control(kLv1);
    const LONG_PTR listStyle = StyleOf(lv1);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(listStyle & (LVS_SINGLESEL | LVS_SHOWSELALWAYS), LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    EXPECT_EQ(listStyle & (LVS_EDITLABELS | LVS_SORTASCENDING | LVS_SORTDESCENDING), 0);
    EXPECT_NE(SendMessageW(lv1, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT, 0);
    const auto columns = upgradeui::DeviceListColumns();
    for (int i = 0; i <= static_cast<int>(columns.size()); ++i) {
        wchar_t caption[32] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption;
        column.cchTextMax = 32;
        const bool exists = SendMessageW(lv1, LVM_GETCOLUMNW, static_cast<WPARAM>(i),
                                         reinterpret_cast<LPARAM>(&column)) != FALSE;
        if (i == static_cast<int>(columns.size())) {
            EXPECT_FALSE(exists) << "no column beyond the described ones";
            break;
        }
        ASSERT_TRUE(exists);
        EXPECT_EQ(caption, Wide(columns[static_cast<std::size_t>(i)].caption));
        EXPECT_EQ(column.cx, columns[static_cast<std::size_t>(i)].width);
    }

    // One panel, spanning the bar.
    int rightEdges[4] = {};
    EXPECT_EQ(SendMessageW(w.Control(kStat1), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(rightEdges)),
              1);
    EXPECT_EQ(rightEdges[0], -1);
    // The progress bar starts empty.
    EXPECT_EQ(SendMessageW(w.Control(kProgressBar1), PBM_GETPOS, 0, 0), 0);
}

// Screen readers read the fields and the list by the names the description
// gives them, set through the annotation service. wine 8's service takes no
// name (SetHwndPropStr answers E_NOTIMPL): there the names cannot be read
// back, and the test says so instead.
TEST(Win32WindowLayout, ScreenReadersReadTheFieldsAndTheListByTheirNames) {
    TestWindow w;
    {
        win32_support::AccessibleNames probe;
        if (!probe.Name(w.Control(kLbl6), L"probe"))
            GTEST_SKIP() << "the system's annotation service takes no names";
    }
    CoInitialize(nullptr);
    for (const upgradeui::ControlDescription& control : upgradeui::MainWindowControls()) {
        if (const std::string_view name = upgradeui::AccessibleName(control.id); !name.empty()) {
            EXPECT_EQ(AccessibleNameOf(w.Control(control.id)), name) << control.name;
        }
    }
    CoUninitialize();
}

TEST(Win32WindowLayout, WindowOpensCentredOnTheDesktop) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    RECT outer{};
    GetWindowRect(w.Handle(), &outer);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs(outer.left + outer.right - screenWidth), 1);
    EXPECT_LE(std::abs(outer.top + outer.bottom - screenHeight), 1);
    RECT client{};
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(client.right, upgradeui::kClientWidth);
    EXPECT_EQ(client.bottom, upgradeui::kClientHeight);
}

TEST(Win32WindowLayout, TabWalksListSearchUpgradeBrowseVersionPathAndSkipsDisabledPort) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    // The Tab key as the program's message loop hands it to the dialog manager.
    const auto pressTab = [&](bool shift) {
        if (shift) {
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0x80;
            SetKeyboardState(keys);
        }
        MSG key{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        IsDialogMessageW(w.Handle(), &key);
        if (shift) {
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
        }
        return GetDlgCtrlID(GetFocus());
    };
    SetFocus(w.Control(kLv1));
    ASSERT_EQ(GetFocus(), w.Control(kLv1));
    // The described chain, but for the disabled port field, round to the list.
    std::vector<int> order;
    for (const upgradeui::ControlDescription* control : upgradeui::TabChain())
        if (!control->Has(upgradeui::kDisabled))
            order.push_back(control->id);
    std::rotate(order.begin(), order.begin() + 1, order.end());
    for (const int expected : order)
        EXPECT_EQ(pressTab(false), expected) << "Tab leaves the path field too";
    SetFocus(w.Control(kBtnUpg));
    EXPECT_EQ(pressTab(true), kBtnSearch) << "Shift+Tab goes back";
}

TEST(Win32WindowLayout, ResizingDocksListAndStatusBarAndKeepsTheProgressBarTenPixelsShort) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    const HWND stat1 = w.Control(kStat1);
    const HWND progress = w.Control(kProgressBar1);

    for (const auto& [growWidth, growHeight] : {std::pair{0, 0}, {200, 100}, {-100, -50}}) {
        SCOPED_TRACE(growWidth);
        RECT outer{};
        GetWindowRect(w.Handle(), &outer);
        RECT client{};
        GetClientRect(w.Handle(), &client);
        SetWindowPos(w.Handle(), nullptr, 0, 0, outer.right - outer.left + growWidth,
                     outer.bottom - outer.top + growHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        const int width = client.right + growWidth;
        const int height = client.bottom + growHeight;
        RedrawWindow(stat1, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        PumpFor(30);

        GetClientRect(w.Handle(), &client);
        ASSERT_EQ(client.right, width);
        ASSERT_EQ(client.bottom, height);
        const upgradeui::DockedLayout docked = upgradeui::LayOutDocked(width, height);
        EXPECT_EQ(PlacementInParent(w.Control(kPnl1)), ToPlacement(docked.pnl1));
        EXPECT_EQ(PlacementInParent(w.Control(kLv1)), ToPlacement(docked.lv1));
        EXPECT_EQ(PlacementInParent(stat1), ToPlacement(docked.stat1));
        for (const ControlId fixed : {kBtnUpg, kGrp1})
            EXPECT_EQ(PlacementInParent(w.Control(fixed)),
                      ToPlacement(upgradeui::Describe(fixed).bounds));

        // The bar hosts the progress bar over its panel, but for 10 pixels.
        ASSERT_EQ(GetParent(progress), stat1);
        RECT panel{};
        SendMessageW(stat1, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&panel));
        EXPECT_GE(panel.right, width - 4) << "the only panel spans the bar";
        EXPECT_EQ(PlacementInParent(progress), ToPlacement(upgradeui::ProgressInPanel(
                                                   {panel.left, panel.top, panel.right - panel.left,
                                                    panel.bottom - panel.top})));
    }
}

} // namespace
