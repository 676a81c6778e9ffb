// The Win32 window's controls as laid out at start, their kinds, texts,
// fonts, enabled state and behaviour flags, the tab order, and the docking
// rules when the window is resized.

#include "win32_window_fixture.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <cwctype>
#include <vector>

namespace {

struct ExpectedControl {
    ControlId id;
    const wchar_t* className;
    int parent; // 0: the window itself
    Placement placement;
    const wchar_t* text;
    int fontPixels;
};

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

TEST(Win32WindowLayout, EveryControlHasItsKindParentPlaceTextAndFont) {
    TestWindow w;
    EXPECT_EQ(TextOf(w.Handle()), L"采集器程序升级工具");
    RECT client{};
    GetClientRect(w.Handle(), &client);
    EXPECT_EQ(client.right, 607);
    EXPECT_EQ(client.bottom, 401);
    const LONG_PTR style = StyleOf(w.Handle());
    EXPECT_EQ(style & WS_THICKFRAME, WS_THICKFRAME);
    EXPECT_EQ(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_NE(GetClassLongPtrW(w.Handle(), GCLP_HICON), 0) << "the window's own icon";

    // lbl3 until shown; ProgressBar1 before the status bar first draws its panel.
    const std::vector<ExpectedControl> table = {
        {kPnl1, L"static", 0, {0, 0, 398, 382}, L"", 13},
        {kLv1, L"syslistview32", kPnl1, {0, 0, 398, 382}, L"", 13},
        {kGrp1, L"button", 0, {400, -1, 201, 98}, L"", 13},
        {kLbl1, L"static", kGrp1, {10, 16, 73, 13}, L"本地端口号", 13},
        {kLbl2, L"static", kGrp1, {10, 39, 65, 17}, L"本地ip地址", 13},
        {kLbl3, L"static", kGrp1, {84, 39, 28, 13}, L"lbl3", 13},
        {kEdtHostPort, L"edit", kGrp1, {85, 11, 49, 21}, L"8000", 13},
        {kBtnSearch, L"button", kGrp1, {58, 65, 79, 22}, L"搜寻设备", 13},
        {kLbl7, L"static", 0, {398, 105, 117, 13}, L"升级程序文件选择：", 13},
        {kBtn1, L"button", 0, {549, 99, 44, 22}, L"浏览", 16},
        {kRedt2, L"richedit50w", 0, {399, 128, 202, 61}, L"", 13},
        {kLbl4, L"static", 0, {400, 198, 117, 13}, L"待升级程序版本号：", 13},
        {kEdt1, L"edit", 0, {400, 220, 200, 21}, L"", 13},
        {kLbl6, L"static", 0, {408, 254, 185, 13}, L"", 13},
        {kBtnUpg, L"button", 0, {472, 352, 75, 25}, L"升级程序", 13},
        {kProgressBar1, L"msctls_progress32", 0, {264, 184, 89, 17}, L"", 13},
        {kStat1, L"msctls_statusbar32", 0, {0, 382, 607, 19}, L"", 13},
    };
    for (const ExpectedControl& expected : table) {
        SCOPED_TRACE(expected.id);
        const HWND control = w.Control(expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), expected.className);
        const HWND parent =
            expected.parent == 0 ? w.Handle() : w.Control(ControlId(expected.parent));
        EXPECT_EQ(GetParent(control), parent);
        EXPECT_EQ(GetDlgCtrlID(control), expected.id);
        EXPECT_EQ(PlacementInParent(control), expected.placement);
        EXPECT_EQ(TextOf(control), expected.text);
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, expected.id != kEdtHostPort);
        if (expected.id == kRedt2)
            continue; // a rich edit keeps its font as character format, below
        const LOGFONTW font = FontOf(control);
        EXPECT_STREQ(font.lfFaceName, L"宋体");
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
    EXPECT_STREQ(format.szFaceName, L"宋体");
    EXPECT_EQ(format.yHeight, 13 * 1440 / 96) << "13 pixels in twips at 96 dpi";
    EXPECT_EQ(format.bCharSet, GB2312_CHARSET);
    EXPECT_EQ(StyleOf(w.Control(kLbl6)) & SS_TYPEMASK, SS_CENTER);

    const HWND lv1 = w.Control(kLv1);
    const LONG_PTR listStyle = StyleOf(lv1);
    EXPECT_EQ(listStyle & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(listStyle & (LVS_SINGLESEL | LVS_SHOWSELALWAYS), LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    EXPECT_EQ(listStyle & (LVS_EDITLABELS | LVS_SORTASCENDING | LVS_SORTDESCENDING), 0);
    EXPECT_NE(SendMessageW(lv1, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT, 0);
    const std::vector<std::pair<std::wstring, int>> columns = {
        {L"序列号", 130}, {L"IP", 105}, {L"版本号", 140}};
    for (int i = 0; i < 4; ++i) {
        wchar_t caption[32] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption;
        column.cchTextMax = 32;
        const bool exists = SendMessageW(lv1, LVM_GETCOLUMNW, static_cast<WPARAM>(i),
                                         reinterpret_cast<LPARAM>(&column)) != FALSE;
        if (i == 3) {
            EXPECT_FALSE(exists) << "exactly three columns";
            break;
        }
        ASSERT_TRUE(exists);
        EXPECT_EQ(caption, columns[i].first);
        EXPECT_EQ(column.cx, columns[i].second);
    }

    // One panel, spanning the bar.
    int rightEdges[4] = {};
    EXPECT_EQ(SendMessageW(w.Control(kStat1), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(rightEdges)),
              1);
    EXPECT_EQ(rightEdges[0], -1);
    // The progress bar starts empty.
    EXPECT_EQ(SendMessageW(w.Control(kProgressBar1), PBM_GETPOS, 0, 0), 0);
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
    EXPECT_EQ(client.right, 607);
    EXPECT_EQ(client.bottom, 401);
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
    const std::vector<int> order = {kBtnSearch, kBtnUpg, kBtn1, kEdt1, kRedt2, kLv1};
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
        EXPECT_EQ(PlacementInParent(w.Control(kPnl1)), (Placement{0, 0, 398, height - 19}));
        EXPECT_EQ(PlacementInParent(w.Control(kLv1)), (Placement{0, 0, 398, height - 19}));
        EXPECT_EQ(PlacementInParent(stat1), (Placement{0, height - 19, width, 19}));
        EXPECT_EQ(PlacementInParent(w.Control(kBtnUpg)), (Placement{472, 352, 75, 25}));
        EXPECT_EQ(PlacementInParent(w.Control(kGrp1)), (Placement{400, -1, 201, 98}));

        // The bar hosts the progress bar over its panel, but for 10 pixels.
        ASSERT_EQ(GetParent(progress), stat1);
        RECT panel{};
        SendMessageW(stat1, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&panel));
        EXPECT_GE(panel.right, width - 4) << "the only panel spans the bar";
        EXPECT_EQ(PlacementInParent(progress),
                  (Placement{panel.left, panel.top, panel.right - panel.left - 10,
                             panel.bottom - panel.top}));
    }
}

} // namespace
