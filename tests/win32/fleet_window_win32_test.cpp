// The Win32 fleet window renders and forwards, under wine, with no network:
// the controls as described at the window's resolution (place, font, column
// widths, again after a change of resolution), Tab order and the names a
// screen reader reads; the shared renderer scenario through the controls'
// messages, with the header's sort arrow; the progress column as bars; the
// About entry, and the end of the session refused during a run. What the
// shell does is its own test's.

#include "gui/fleet/win32/fleet_window_win32.h"

#include "accessible_name.h"
#include "fake_fleet_window.h"
#include "fleet_last_report.h"
#include "fleet_renderer_scenario.h"
#include "gui/fleet/shell/fleet_report_files.h"
#include "gui/win32_support/about_entry.h"
#include "gui/win32_support/window_dpi.h"
#include "gui/win32_support/window_text.h"
#include "platform/wide_text.h"
#include "window_icon_sizes.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

using namespace fleetui;
using fleetui::win32::FleetWindow;
using win32_support::ScaleToDpi;
using win32_support::WindowTextUtf8;

namespace {

RECT PlaceInParent(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string CellText(HWND list, int row, Column column) {
    wchar_t text[256] = L"";
    ListView_GetItemText(list, row, static_cast<int>(column), text, 256);
    return platform::WideToUtf8(text);
}

struct Win32Fleet : ::testing::Test {
    void SetUp() override {
        folder = (std::filesystem::temp_directory_path() /
                  ("fleet-win32-" + std::to_string(GetCurrentProcessId())))
                     .string();
        std::filesystem::create_directories(folder);
        // Upgraded ones reached the end: their progress cells read 100%.
        report = support::LastReportOfThree(
            {fleet::ResultKind::Failed, fleet::ResultKind::Upgraded, fleet::ResultKind::Upgraded},
            [](fleet::CollectorResult& result) {
                result.stage = result.result == fleet::ResultKind::Upgraded ? "done" : "";
            });
        ASSERT_EQ(WriteFileAtomically(folder + "/last-report.json", report), "");
        FleetShellSeams seams;
        seams.settingsFolder = folder;
        seams.listAdapters = [] {
            return std::vector<platform::NetworkAdapter>{{"eth0", "198.51.100.1", 24},
                                                         {"eth1", "203.0.113.1", 24}};
        };
        seams.makeEngine = [this](std::function<void()>) {
            auto fake = std::make_unique<support::FakeFleetEngine>();
            engine = fake.get();
            return fake;
        };
        window = std::make_unique<FleetWindow>(seams, &dialogs);
        list = window->Control(kSweepTable);
    }
    void TearDown() override {
        window.reset();
        std::filesystem::remove_all(folder);
    }
    std::string folder, report;
    support::FakeFleetDialogs dialogs;
    support::FakeFleetEngine* engine = nullptr; // nothing reaches a network
    std::unique_ptr<FleetWindow> window;
    HWND list = nullptr;
};

} // namespace

// Every control at its described place and width, the font, the list's
// column widths and the window's large and small icons, at `dpi`.
void ExpectLaidOutAt(const FleetWindow& window, int dpi) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " dpi");
    RECT client{};
    GetClientRect(window.Handle(), &client);
    EXPECT_EQ(client.right, ScaleToDpi(kFleetClientWidth, dpi));
    EXPECT_EQ(client.bottom, ScaleToDpi(kFleetClientHeight, dpi));
    for (const auto& control : FleetControls()) {
        SCOPED_TRACE(std::string(control.name));
        const HWND handle = window.Control(control.id);
        ASSERT_NE(handle, nullptr);
        const RECT r = PlaceInParent(handle);
        EXPECT_EQ(r.left, ScaleToDpi(control.bounds.left, dpi));
        EXPECT_EQ(r.top, ScaleToDpi(control.bounds.top, dpi));
        EXPECT_EQ(r.right - r.left, ScaleToDpi(control.bounds.width, dpi));
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(handle, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(font.lfHeight, -ScaleToDpi(12, dpi));
    }
    const HWND list = window.Control(kSweepTable);
    for (int column = 0; column < kColumnCount; ++column)
        EXPECT_EQ(ListView_GetColumnWidth(list, column), ScaleToDpi(kColumnWidths[column], dpi))
            << "column " << column;
    EXPECT_EQ(WindowIconWidth(window.Handle(), ICON_BIG), 32 * dpi / 96);
    EXPECT_EQ(WindowIconWidth(window.Handle(), ICON_SMALL), 16 * dpi / 96);
}

// The window of a display at 96 and, in the suite's second run
// (FLEET_EXPECTED_DPI=144, a prefix whose display is at 144 dpi), at 150 %;
// then moved to a monitor of the other resolution, where it lays out again.
TEST_F(Win32Fleet, LaidOutAtTheDisplaysResolutionAndAgainWhenItChanges) {
    const char* expected = std::getenv("FLEET_EXPECTED_DPI");
    const int dpi = static_cast<int>(window->Dpi());
    EXPECT_EQ(dpi, expected != nullptr ? std::atoi(expected) : 96);
    ExpectLaidOutAt(*window, dpi);
    const int other = dpi == 96 ? 144 : 96;
    // The suggested frame keeps the present border and caption: wine draws
    // those at the display's resolution whatever the message says.
    RECT outer{}, client{};
    GetWindowRect(window->Handle(), &outer);
    GetClientRect(window->Handle(), &client);
    RECT suggested{outer.left, outer.top,
                   outer.right - client.right + ScaleToDpi(kFleetClientWidth, other),
                   outer.bottom - client.bottom + ScaleToDpi(kFleetClientHeight, other)};
    SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(other, other),
                 reinterpret_cast<LPARAM>(&suggested));
    ExpectLaidOutAt(*window, other);
}

TEST_F(Win32Fleet, CaptionsAndTabOrderAsDescribed) {
    std::vector<const FleetControl*> tabbed;
    for (const auto& control : FleetControls()) {
        SCOPED_TRACE(std::string(control.name));
        const HWND handle = window->Control(control.id);
        if (control.kind == FleetControlKind::Button) {
            EXPECT_EQ(WindowTextUtf8(handle), control.caption);
        }
        if (control.tabOrder >= 0)
            tabbed.push_back(&control);
    }
    std::sort(tabbed.begin(), tabbed.end(),
              [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });
    // Tab walks the enabled controls in the described order.
    HWND at = window->Control(tabbed.front()->id);
    std::vector<std::string> walked;
    for (std::size_t i = 0; i < tabbed.size(); ++i) {
        for (const auto* c : tabbed)
            if (window->Control(c->id) == at)
                walked.push_back(std::string(c->name));
        at = GetNextDlgTabItem(window->Handle(), at, FALSE);
    }
    std::vector<std::string> expected;
    for (const auto* c : tabbed)
        if (IsWindowEnabled(window->Control(c->id)))
            expected.push_back(std::string(c->name));
    walked.resize(std::min(walked.size(), expected.size()));
    EXPECT_EQ(walked, expected);
}

// What a screen reader reads: a button's caption, and for a field the label
// created just before it. (This wine reads labels for edit fields only.)
TEST_F(Win32Fleet, ScreenReadersReadEachFieldByItsLabel) {
    CoInitialize(nullptr);
    for (const auto& control : FleetControls()) {
        SCOPED_TRACE(std::string(control.name));
        if (control.kind == FleetControlKind::Button ||
            control.kind == FleetControlKind::LineEdit ||
            control.kind == FleetControlKind::ReadOnlyEdit) {
            EXPECT_EQ(AccessibleNameOf(window->Control(control.id)), control.accessibleName);
        }
    }
    CoUninitialize();
}

namespace {

// The sort arrow of `column`'s header: 1 up, -1 down, 0 none.
int SortArrow(HWND list, Column column) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(ListView_GetHeader(list), static_cast<int>(column), &item);
    return (item.fmt & HDF_SORTUP) ? 1 : (item.fmt & HDF_SORTDOWN) ? -1 : 0;
}

} // namespace

// The shared renderer scenario, through the Win32 controls' messages.
class Win32Driver : public support::FleetRendererDriver {
public:
    Win32Driver(FleetWindow& window, HWND list) : window_(window), list_(list) {}
    int RowCount() override { return ListView_GetItemCount(list_); }
    std::string Cell(int row, Column column) override { return CellText(list_, row, column); }
    std::string Text(FleetControlId control) override {
        return WindowTextUtf8(window_.Control(control));
    }
    bool Enabled(FleetControlId control) override {
        return IsWindowEnabled(window_.Control(control));
    }
    void Click(FleetControlId button) override {
        SendMessageW(window_.Control(button), BM_CLICK, 0, 0);
    }
    void ClickHeader(Column column) override {
        NMLISTVIEW click{};
        click.hdr.hwndFrom = list_;
        click.hdr.idFrom = kSweepTable;
        click.hdr.code = LVN_COLUMNCLICK;
        click.iSubItem = static_cast<int>(column);
        SendMessageW(window_.Handle(), WM_NOTIFY, kSweepTable, reinterpret_cast<LPARAM>(&click));
    }
    void SetText(FleetControlId edit, const std::string& utf8) override {
        SetWindowTextW(window_.Control(edit), platform::Utf8ToWide(utf8).c_str());
    }
    bool Checked(int row) override { return ListView_GetCheckState(list_, row); }
    void SetChecked(int row, bool checked) override {
        ListView_SetCheckState(list_, row, checked ? TRUE : FALSE);
    }
    void ChooseAdapter(int index) override { // as the open list closing on an item does
        const HWND combo = window_.Control(fleetui::kAdapterChoice);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(window_.Handle(), WM_COMMAND,
                     MAKEWPARAM(fleetui::kAdapterChoice, CBN_SELENDOK),
                     reinterpret_cast<LPARAM>(combo));
    }

private:
    FleetWindow& window_;
    HWND list_;
};

// The scenario, and the header's sort arrow following the order it chose.
TEST_F(Win32Fleet, SharedScenario_RowsSortFilterChecksImageAndSavedReport) {
    EXPECT_EQ(SortArrow(list, Column::Address), 1);
    Win32Driver driver(*window, list);
    support::RunFleetRendererScenario(driver, window->Shell(), dialogs, folder, report);
    EXPECT_EQ(SortArrow(list, Column::Serial), -1);
    EXPECT_EQ(SortArrow(list, Column::Address), 0);
}

// Beyond the described window: the About entry closes the system menu, and
// during a run the end of the session is refused (Windows then asks the user)
// until the run has ended.
TEST_F(Win32Fleet, AboutInTheSystemMenu_TheEndOfTheSessionRefusedDuringARun) {
    const HMENU menu = GetSystemMenu(window->Handle(), FALSE);
    EXPECT_EQ(GetMenuItemID(menu, GetMenuItemCount(menu) - 1), win32_support::kAboutCommand);
    const auto endSession = [&] {
        return SendMessageW(window->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
    };
    EXPECT_EQ(endSession(), TRUE);
    ASSERT_EQ(WriteFileAtomically(folder + "/S1.5.bin", "abc"), "");
    window->Shell().ChooseImage(folder + "/S1.5.bin");
    SendMessageW(window->Control(kSelectAllButton), BM_CLICK, 0, 0);
    dialogs.answer = true;
    SendMessageW(window->Control(kStartButton), BM_CLICK, 0, 0);
    ASSERT_EQ(engine->runs.size(), 1u);
    EXPECT_EQ(endSession(), FALSE);
    engine->queued.push_back(RunDone{{}, std::nullopt, false, 0, ""});
    window->Shell().EngineWoke();
    EXPECT_EQ(endSession(), TRUE);
}

// The progress cell of an upgraded row is painted as a full bar with its
// "100%" in the highlight's text colour; a row without progress keeps a plain
// cell.
TEST_F(Win32Fleet, ProgressColumnDrawnAsABar) {
    const int progress = static_cast<int>(Column::Progress);
    ASSERT_EQ(CellText(list, 0, Column::Progress), "100%"); // .3, upgraded
    ASSERT_EQ(CellText(list, 2, Column::Progress), "");     // .20, failed before any block
    window->Show(SW_SHOWNOACTIVATE);
    UpdateWindow(list);
    const auto pixelLeftIn = [&](int row) {
        RECT cell{};
        ListView_GetSubItemRect(list, row, progress, LVIR_BOUNDS, &cell);
        const HDC dc = GetDC(list);
        const COLORREF color = GetPixel(dc, cell.left + 6, cell.bottom - 6);
        ReleaseDC(list, dc);
        return color;
    };
    EXPECT_EQ(pixelLeftIn(0), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_NE(pixelLeftIn(2), GetSysColor(COLOR_HIGHLIGHT));
    // The pixels of the three middle lines of the full bar: the text's strokes
    // cross them.
    std::map<COLORREF, int> middle;
    RECT cell{};
    ListView_GetSubItemRect(list, 0, progress, LVIR_BOUNDS, &cell);
    const HDC dc = GetDC(list);
    const int centre = (cell.top + cell.bottom) / 2;
    for (int y = centre - 1; y <= centre + 1; ++y)
        for (int x = cell.left + 4; x < cell.right - 4; ++x)
            ++middle[GetPixel(dc, x, y)];
    ReleaseDC(list, dc);
    EXPECT_GT(middle[GetSysColor(COLOR_HIGHLIGHTTEXT)], 0);
    EXPECT_EQ(middle[GetSysColor(COLOR_WINDOWTEXT)], 0);
}
