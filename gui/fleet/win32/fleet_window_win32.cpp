#include "gui/fleet/win32/fleet_window_win32.h"

#include "gui/fleet/shell/fleet_texts.h"
#include "gui/win32_support/about_entry.h"
#include "gui/win32_support/window_dpi.h"
#include "gui/win32_support/window_text.h"
#include "platform/wide_text.h"

#include <commdlg.h>

#include <algorithm>
#include <utility>

using namespace fleetui;

namespace fleetui::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"CollectorFleetWindow";
constexpr UINT kEngineMessage = WM_APP + 1; // the engine has events waiting
constexpr UINT_PTR kRepaintTimer = 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kFontPixels = 12; // at 96 dpi

std::wstring W(std::string_view utf8) {
    return platform::Utf8ToWide(std::string(utf8));
}

int Scale(int value, UINT dpi) {
    return win32_support::ScaleToDpi(value, dpi);
}

// The window class and style of each kind of control.
struct ControlClass {
    const wchar_t* name;
    DWORD style;
};

ControlClass ClassOf(FleetControlKind kind) {
    switch (kind) {
    case FleetControlKind::Label:
        return {L"STATIC", SS_LEFT};
    case FleetControlKind::Choice:
        return {WC_COMBOBOXW, WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL};
    case FleetControlKind::Button:
        return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON};
    case FleetControlKind::LineEdit:
        return {L"EDIT", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL};
    case FleetControlKind::ReadOnlyEdit:
        return {L"EDIT", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY};
    case FleetControlKind::Table:
        return {WC_LISTVIEWW, WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS};
    case FleetControlKind::ProgressBar:
        return {PROGRESS_CLASSW, 0};
    case FleetControlKind::StatusLine:
        return {L"STATIC", SS_LEFT | SS_SUNKEN};
    }
    return {L"STATIC", 0};
}

// Creation order is the tab order, so the dialog keys follow the description,
// and each label comes just before the control it names, which is where a
// screen reader looks for the name of a control without a caption.
std::vector<const FleetControl*> CreationOrder() {
    std::vector<const FleetControl*> byTab, ordered;
    for (const auto& control : FleetControls())
        if (control.kind != FleetControlKind::Label)
            byTab.push_back(&control);
    std::stable_sort(byTab.begin(), byTab.end(), [](auto* a, auto* b) {
        return static_cast<unsigned>(a->tabOrder) < static_cast<unsigned>(b->tabOrder); // -1 last
    });
    for (const FleetControl* control : byTab) {
        for (const auto& label : FleetControls())
            if (label.kind == FleetControlKind::Label && control->caption.empty() &&
                !control->accessibleName.empty() && label.caption == control->accessibleName)
                ordered.push_back(&label);
        ordered.push_back(control);
    }
    for (const auto& control : FleetControls())
        if (std::find(ordered.begin(), ordered.end(), &control) == ordered.end())
            ordered.push_back(&control);
    return ordered;
}

// The common file dialog: open (`save` false) or save as, "" when cancelled.
std::string FileDialog(HWND owner, const std::wstring& filter, const wchar_t* extension,
                       bool save) {
    wchar_t path[MAX_PATH * 4] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrDefExt = extension;
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(std::size(path));
    dialog.Flags = OFN_NOCHANGEDIR | (save ? OFN_OVERWRITEPROMPT : OFN_HIDEREADONLY);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    return chosen ? platform::WideToUtf8(path) : std::string();
}

} // namespace

FleetWindow::FleetWindow(FleetShellSeams seams, FleetDialogs* dialogs) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Register(kWindowClass);
    Create(0, kWindowClass, W(text::kTitle), kWindowStyle, 100, 100);
    win32_support::AddAboutEntry(window_);
    dpi_ = win32_support::WindowDpi(window_);
    const SIZE outer = win32_support::OuterSizeForClient(
        Scale(kFleetClientWidth, dpi_), Scale(kFleetClientHeight, dpi_), kWindowStyle, 0, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
    accessibleNames_ = std::make_unique<win32_support::AccessibleNames>();
    CreateControls();

    seams.wake = [window = window_] { PostMessageW(window, kEngineMessage, 0, 0); };
    FleetView& view = *this;
    FleetDialogs& own = *this;
    shell_ = std::make_unique<FleetWindowShell>(std::move(seams), view, dialogs ? *dialogs : own);
    shell_->Opened();
}

FleetWindow::~FleetWindow() {
    shell_.reset(); // interrupts a run and joins before the window goes
    accessibleNames_.reset();
    if (window_ != nullptr)
        DestroyWindow(window_);
    if (font_ != nullptr)
        DeleteObject(font_);
}

void FleetWindow::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

void FleetWindow::CreateControls() {
    for (const FleetControl* control : CreationOrder()) {
        const ControlClass kind = ClassOf(control->kind);
        const HWND handle = CreateWindowExW(
            0, kind.name, W(control->caption).c_str(), WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0,
            0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control->id)),
            GetModuleHandleW(nullptr), nullptr);
        if (control->kind == FleetControlKind::Table) {
            list_ = handle;
            ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT |
                                                         LVS_EX_GRIDLINES);
            for (int i = 0; i < kColumnCount; ++i) {
                const std::wstring header = W(text::kColumns[i]);
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_SUBITEM;
                column.pszText = const_cast<wchar_t*>(header.c_str());
                column.iSubItem = i;
                ListView_InsertColumn(list_, i, &column);
            }
        }
        if (control->kind == FleetControlKind::ProgressBar)
            SendMessageW(handle, PBM_SETRANGE32, 0, 100);
        if (control->kind == FleetControlKind::Table ||
            control->kind == FleetControlKind::ProgressBar)
            accessibleNames_->Name(handle, W(control->accessibleName));
    }
    ApplyDpi();
}

// The old font goes once every control has the new one.
void FleetWindow::ApplyDpi() {
    const HFONT old = std::exchange(
        font_, CreateFontW(-Scale(kFontPixels, dpi_), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei UI"));
    for (const auto& control : FleetControls()) {
        // A drop-down list's height is that of its open list.
        const int height = control.kind == FleetControlKind::Choice ? control.bounds.height * 8
                                                                    : control.bounds.height;
        SetWindowPos(Control(control.id), nullptr, Scale(control.bounds.left, dpi_),
                     Scale(control.bounds.top, dpi_), Scale(control.bounds.width, dpi_),
                     Scale(height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(Control(control.id), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    for (int i = 0; i < kColumnCount; ++i)
        ListView_SetColumnWidth(list_, i, Scale(kColumnWidths[i], dpi_));
    if (old != nullptr)
        DeleteObject(old);
}

LRESULT FleetWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case kEngineMessage:
        if (shell_)
            shell_->EngineWoke();
        return 0;
    case WM_TIMER:
        if (wParam == kRepaintTimer && shell_)
            shell_->RepaintDue();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scaling: everything again at the new
        // resolution, in the rectangle offered.
        dpi_ = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi();
        return 0;
    }
    case WM_CLOSE:
        if (!shell_ || shell_->CloseRequested())
            DestroyWindow(window_);
        return 0;
    case WM_QUERYENDSESSION:
        return shutdownGuard_.AnswerQueryEndSession();
    case WM_SYSCOMMAND:
        if (win32_support::HandleAboutCommand(window_, wParam))
            return 0;
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void FleetWindow::OnCommand(int id, int code) {
    if (!shell_)
        return; // still being built, or closing
    FleetWindowShell& shell = *shell_;
    switch (id) {
    case kSearchButton:
        return shell.SearchClicked();
    case kBrowseButton:
        return shell.BrowseClicked();
    case kStartButton:
        return shell.StartClicked();
    case kStopButton:
        return shell.StopClicked();
    case kRetryButton:
        return shell.RetryClicked();
    case kSaveJsonButton:
        return shell.SaveClicked(false);
    case kSaveCsvButton:
        return shell.SaveClicked(true);
    case kSelectAllButton:
        return shell.SelectAllClicked();
    case kSelectNoneButton:
        return shell.SelectNoneClicked();
    case kSelectNotCurrentButton:
        return shell.SelectNotCurrentClicked();
    case kExpectedFromFileButton:
        return shell.ExpectedFromFileClicked();
    case kExpectedFromSweepButton:
        return shell.ExpectedFromSweepClicked();
    case kExpectedClearButton:
        return shell.ExpectedClearClicked();
    case kFilterEdit:
        if (code == EN_CHANGE)
            shell.FilterEdited(win32_support::WindowTextUtf8(Control(kFilterEdit)));
        return;
    case kVersionEdit:
        if (code == EN_CHANGE)
            shell.VersionEdited(win32_support::WindowTextUtf8(Control(kVersionEdit)));
        return;
    case kAdapterChoice:
        if (code == CBN_DROPDOWN)
            shell.AdapterListOpening();
        // Every choice, the shown one's too (the shell ticks or unticks it):
        // from the open list when it closes on an item, else from the keys.
        if (code == CBN_SELENDOK ||
            (code == CBN_SELCHANGE &&
             !SendMessageW(Control(kAdapterChoice), CB_GETDROPPEDSTATE, 0, 0)))
            shell.AdapterChosen(
                static_cast<int>(SendMessageW(Control(kAdapterChoice), CB_GETCURSEL, 0, 0)));
        return;
    default:
        return;
    }
}

LRESULT FleetWindow::OnNotify(const NMHDR& header) {
    if (header.hwndFrom != list_)
        return 0;
    if (header.code == NM_CUSTOMDRAW)
        return DrawProgressCell(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
    if (!shell_)
        return 0;
    const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
    if (header.code == LVN_COLUMNCLICK)
        shell_->HeaderClicked(change.iSubItem);
    // A row's check box: its state image changed (not its selection).
    if (header.code == LVN_ITEMCHANGED && (change.uChanged & LVIF_STATE) != 0 &&
        ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) != 0)
        shell_->RowChecked(change.iItem, ListView_GetCheckState(list_, change.iItem) != 0);
    return 0;
}

// The progress column is drawn as a bar with its percentage on it. The cell
// keeps its text ("40%"), which the bar is drawn from and a screen reader reads.
LRESULT FleetWindow::DrawProgressCell(const NMLVCUSTOMDRAW& draw) {
    const DWORD stage = draw.nmcd.dwDrawStage;
    if (stage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (stage == CDDS_ITEMPREPAINT)
        return CDRF_NOTIFYSUBITEMDRAW;
    if (stage != (CDDS_ITEMPREPAINT | CDDS_SUBITEM) ||
        draw.iSubItem != static_cast<int>(Column::Progress))
        return CDRF_DODEFAULT;
    const int row = static_cast<int>(draw.nmcd.dwItemSpec);
    wchar_t text[16] = L"";
    ListView_GetItemText(list_, row, draw.iSubItem, text, 16);
    if (text[0] == L'\0')
        return CDRF_DODEFAULT;
    RECT cell{};
    ListView_GetSubItemRect(list_, row, draw.iSubItem, LVIR_BOUNDS, &cell);
    const HDC dc = draw.nmcd.hdc;
    FillRect(dc, &cell, GetSysColorBrush(COLOR_WINDOW));
    const int inset = Scale(2, dpi_);
    RECT bar{cell.left + inset, cell.top + inset, cell.right - inset, cell.bottom - inset};
    FrameRect(dc, &bar, GetSysColorBrush(COLOR_BTNSHADOW));
    const int percent = std::clamp(_wtoi(text), 0, 100);
    RECT filled{bar.left + 1, bar.top + 1,
                bar.left + 1 + (bar.right - bar.left - 2) * percent / 100, bar.bottom - 1};
    FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
    // The percentage in the highlight's text colour where it lies over the
    // filled part and in the window's text colour elsewhere, so that every
    // part of it stays readable, in high contrast too.
    const RECT unfilled{filled.right, bar.top, bar.right, bar.bottom};
    SetBkMode(dc, TRANSPARENT);
    for (const auto& [clip, colour] :
         {std::pair{filled, COLOR_HIGHLIGHTTEXT}, std::pair{unfilled, COLOR_WINDOWTEXT}}) {
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
        SetTextColor(dc, GetSysColor(colour));
        DrawTextW(dc, text, -1, &bar, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        RestoreDC(dc, saved);
    }
    return CDRF_SKIPDEFAULT;
}

// --- what the shell shows

void FleetWindow::ShowRows(const std::vector<const Row*>& rows) {
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertItem(list_, &item);
        ShowRow(i, *rows[i]);
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

void FleetWindow::ShowRow(int index, const Row& row) {
    ListView_SetCheckState(list_, index, row.checked ? TRUE : FALSE);
    for (int column = 1; column < kColumnCount; ++column) {
        const std::wstring text = W(FleetWindowModel::CellText(row, static_cast<Column>(column)));
        ListView_SetItemText(list_, index, column, const_cast<wchar_t*>(text.c_str()));
    }
}

void FleetWindow::ShowSortColumn(Column column, bool ascending) {
    const HWND header = ListView_GetHeader(list_);
    for (int i = 0; i < kColumnCount; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, i, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == static_cast<int>(column))
            item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        Header_SetItem(header, i, &item);
    }
}

void FleetWindow::ShowAdapters(const std::vector<std::string>& labels, int chosen) {
    const HWND choice = Control(kAdapterChoice);
    SendMessageW(choice, CB_RESETCONTENT, 0, 0);
    for (const auto& label : labels)
        SendMessageW(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(label).c_str()));
    SendMessageW(choice, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
}

void FleetWindow::SetText(FleetControlId id, const std::string& text) {
    win32_support::SetWindowTextUtf8(Control(id), text);
}

void FleetWindow::SetEnabled(FleetControlId id, bool enabled) {
    EnableWindow(Control(id), enabled);
}

void FleetWindow::SetOverallPercent(int percent) {
    SendMessageW(Control(kOverallProgress), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void FleetWindow::StartRepaintTimer(std::chrono::milliseconds interval) {
    SetTimer(window_, kRepaintTimer, static_cast<UINT>(interval.count()), nullptr);
}

void FleetWindow::StopRepaintTimer() {
    KillTimer(window_, kRepaintTimer);
}

void FleetWindow::CloseWindow() {
    PostMessageW(window_, WM_CLOSE, 0, 0); // once the shell's handler has returned
}

void FleetWindow::HoldShutdown(bool hold) {
    shutdownGuard_.Hold(window_, hold);
}

// --- the system's boxes and file dialogs

std::string FleetWindow::OpenImagePath() {
    return FileDialog(window_, W(text::kImageFiles) + std::wstring(L"\0*.bin\0", 7), nullptr,
                      false);
}

std::string FleetWindow::OpenExpectedListPath() {
    return FileDialog(window_, W(text::kExpectedFiles) + std::wstring(L"\0*.txt;*.csv\0", 13),
                      nullptr, false);
}

std::string FleetWindow::SaveReportPath(bool csv) {
    return FileDialog(window_,
                      csv ? std::wstring(L"CSV\0*.csv\0", 10) : std::wstring(L"JSON\0*.json\0", 12),
                      csv ? L"csv" : L"json", true);
}

bool FleetWindow::Ask(const std::string& title, const std::string& question) {
    return MessageBoxW(window_, W(question).c_str(), W(title).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void FleetWindow::Notice(const std::string& text) {
    MessageBoxW(window_, W(text).c_str(), W(text::kTitle).c_str(), MB_OK | MB_ICONINFORMATION);
}

void FleetWindow::Error(const std::string& text) {
    MessageBoxW(window_, W(text).c_str(), W(text::kTitle).c_str(), MB_OK | MB_ICONERROR);
}

} // namespace fleetui::win32
