#include "gui/win32_fleet/fleet_window_win32.h"

#include "gui/fleet_common/fleet_adapters.h"
#include "gui/fleet_common/fleet_engine_events.h"
#include "gui/fleet_common/fleet_report_files.h"
#include "gui/fleet_common/fleet_settings.h"
#include "gui/fleet_common/fleet_texts.h"
#include "gui/fleet_common/fleet_window_actions.h"
#include "gui/win32_support/window_dpi.h"
#include "gui/win32_support/window_text.h"
#include "platform/read_file.h"
#include "platform/wide_text.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <filesystem>
#include <utility>

using namespace fleetwin;
using win32ui::SetWindowTextUtf8;
using win32ui::WindowTextUtf8;

namespace fleetwin32 {

namespace {

constexpr wchar_t kWindowClass[] = L"CollectorFleetWindow";
constexpr UINT kEngineMessage = WM_APP + 1; // the engine queued events
constexpr UINT_PTR kRepaintTimer = 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::wstring W(std::string_view utf8) {
    return platform::Utf8ToWide(std::string(utf8));
}

// The window class, the style and any extra style of each kind of control.
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

int Scale(int value, UINT dpi) {
    return win32ui::ScaleToDpi(value, dpi);
}

// A font whose characters are `pixels` high.
HFONT WindowFont(int pixels) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Microsoft YaHei UI");
}

std::string OpenImageDialog(HWND owner) {
    wchar_t path[MAX_PATH * 4] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    const std::wstring filter = W(text::kImageFiles) + std::wstring(L"\0*.bin\0", 7);
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(std::size(path));
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameW(&dialog) ? platform::WideToUtf8(path) : std::string();
}

std::string SaveDialog(HWND owner, bool csv) {
    wchar_t path[MAX_PATH * 4] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = csv ? L"CSV\0*.csv\0" : L"JSON\0*.json\0";
    dialog.lpstrDefExt = csv ? L"csv" : L"json";
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(std::size(path));
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    return GetSaveFileNameW(&dialog) ? platform::WideToUtf8(path) : std::string();
}

} // namespace

FleetWindow::FleetWindow(std::string settingsFolder, FleetDialogs dialogs)
    : settingsFolder_(std::move(settingsFolder)), dialogs_(std::move(dialogs)) {
    if (!dialogs_.openImage)
        dialogs_.openImage = [this] { return OpenImageDialog(window_); };
    if (!dialogs_.saveAs)
        dialogs_.saveAs = [this](bool csv) { return SaveDialog(window_, csv); };
    if (!dialogs_.ask)
        dialogs_.ask = [this](const std::string& title, const std::string& text) {
            return MessageBoxW(window_, W(text).c_str(), W(title).c_str(),
                               MB_YESNO | MB_ICONQUESTION) == IDYES;
        };
    if (!dialogs_.notice)
        dialogs_.notice = [this](const std::string& text) {
            MessageBoxW(window_, W(text).c_str(), W(text::kTitle).c_str(), MB_OK);
        };

    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Register(kWindowClass);
    Create(0, kWindowClass, W(text::kTitle), kWindowStyle, 100, 100);
    dpi_ = win32ui::WindowDpi(window_);
    const SIZE outer = win32ui::OuterSizeForClient(
        Scale(kFleetClientWidth, dpi_), Scale(kFleetClientHeight, dpi_), kWindowStyle, 0, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
    accessibleNames_ = std::make_unique<AccessibleNames>();
    CreateControls();
    RefreshAdapters();
    if (const auto text = ReadWholeFile(LastReportPath()))
        if (const auto results = ReadReport(*text)) {
            model_.ShowReport(*results);
            lastReportJson_ = *text;
        }
    RebuildList();
    engine_ = std::make_unique<EngineThread>(
        [window = window_] { PostMessageW(window, kEngineMessage, 0, 0); });
}

FleetWindow::~FleetWindow() {
    engine_.reset(); // interrupts a run and joins before the window goes
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

namespace {

// Creation order is the tab order, so the dialog keys follow the description,
// and each label comes just before the control it names, which is where a
// screen reader looks for the name of a control without a caption.
std::vector<const FleetControl*> CreationOrder() {
    std::vector<const FleetControl*> byTab, ordered;
    for (const auto& control : FleetControls())
        if (control.kind != FleetControlKind::Label)
            byTab.push_back(&control);
    std::stable_sort(byTab.begin(), byTab.end(), [](auto* a, auto* b) {
        const int ka = a->tabOrder < 0 ? 1000 : a->tabOrder,
                  kb = b->tabOrder < 0 ? 1000 : b->tabOrder;
        return ka < kb;
    });
    const auto labelOf = [](const FleetControl& named) -> const FleetControl* {
        for (const auto& label : FleetControls())
            if (label.kind == FleetControlKind::Label && !named.accessibleName.empty() &&
                label.caption == named.accessibleName)
                return &label;
        return nullptr;
    };
    for (const FleetControl* control : byTab) {
        if (const FleetControl* label = labelOf(*control); label && control->caption.empty())
            ordered.push_back(label);
        ordered.push_back(control);
    }
    for (const auto& control : FleetControls())
        if (std::find(ordered.begin(), ordered.end(), &control) == ordered.end())
            ordered.push_back(&control);
    return ordered;
}

} // namespace

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
                column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
                column.pszText = const_cast<wchar_t*>(header.c_str());
                column.cx = Scale(kColumnWidths[i], dpi_);
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

// Places and sizes every control, its font and the list's columns at the
// window's resolution. The old font goes once every control has the new one.
void FleetWindow::ApplyDpi() {
    const HFONT old = std::exchange(font_, WindowFont(Scale(12, dpi_)));
    for (const auto& control : FleetControls()) {
        const HWND handle = Control(control.id);
        const int height = control.kind == FleetControlKind::Choice ? control.bounds.height * 8
                                                                    : control.bounds.height;
        SetWindowPos(handle, nullptr, Scale(control.bounds.left, dpi_),
                     Scale(control.bounds.top, dpi_), Scale(control.bounds.width, dpi_),
                     Scale(height, dpi_), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
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
        DrainEngine();
        return 0;
    case WM_TIMER:
        if (wParam == kRepaintTimer)
            Repaint();
        return 0;
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyDpi();
        return 0;
    }
    case WM_CLOSE:
        // A run never ends silently: the operator is asked, the run is
        // interrupted honestly and the window closes once its report is written.
        if (model_.CurrentPhase() == Phase::Running || model_.CurrentPhase() == Phase::Stopping) {
            if (!closeAfterRun_ && dialogs_.ask(text::kCloseTitle, text::kCloseQuestion)) {
                closeAfterRun_ = true;
                Stop();
            }
            return 0;
        }
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void FleetWindow::OnCommand(int id, int code) {
    switch (id) {
    case kSearchButton:
        Search();
        break;
    case kBrowseButton:
        if (const auto path = dialogs_.openImage(); !path.empty())
            ChooseImage(path);
        break;
    case kStartButton:
        Start();
        break;
    case kStopButton:
        Stop();
        break;
    case kRetryButton:
        if (model_.SelectFailed() > 0) {
            RebuildList();
            Start();
        }
        break;
    case kSaveJsonButton:
        Save(false);
        break;
    case kSaveCsvButton:
        Save(true);
        break;
    case kSelectAllButton:
        model_.SelectAll();
        RebuildList();
        break;
    case kSelectNoneButton:
        model_.SelectNone();
        RebuildList();
        break;
    case kSelectNotCurrentButton:
        model_.SelectNotCurrent();
        RebuildList();
        break;
    case kFilterEdit:
        if (code == EN_CHANGE && !filling_) {
            model_.SetFilter(WindowTextUtf8(Control(kFilterEdit)));
            RebuildList();
        }
        break;
    case kVersionEdit:
        if (code == EN_CHANGE && !filling_) {
            model_.SetVersionText(WindowTextUtf8(Control(kVersionEdit)));
            RebuildList();
        }
        break;
    case kAdapterChoice:
        if (code == CBN_DROPDOWN)
            RefreshAdapters();
        if (code == CBN_SELCHANGE) {
            const auto index = SendMessageW(Control(kAdapterChoice), CB_GETCURSEL, 0, 0);
            if (index >= 0 && static_cast<std::size_t>(index) < adapters_.size()) {
                std::filesystem::create_directories(platform::PathFromUtf8(settingsFolder_));
                SaveSettings(settingsFolder_ + "/fleet-window.json", {adapters_[index].name});
            }
        }
        break;
    default:
        break;
    }
}

LRESULT FleetWindow::OnNotify(const NMHDR& header) {
    if (header.hwndFrom != list_)
        return 0;
    if (header.code == NM_CUSTOMDRAW)
        return DrawProgressCell(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
    if (header.code == LVN_COLUMNCLICK) {
        const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
        ascending_ = column == sortColumn_ ? !ascending_ : true;
        sortColumn_ = column;
        model_.SortBy(static_cast<Column>(column), ascending_);
        RebuildList();
    } else if (header.code == LVN_ITEMCHANGED && !filling_) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) == 0 ||
            ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) == 0)
            return 0;
        const auto rows = model_.Visible();
        if (change.iItem < 0 || change.iItem >= static_cast<int>(rows.size()))
            return 0;
        model_.SetChecked(rows[change.iItem]->entry.address,
                          ListView_GetCheckState(list_, change.iItem) != 0);
        UpdateControls();
    }
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

void FleetWindow::RefreshAdapters() {
    const HWND choice = Control(kAdapterChoice);
    const auto remembered = LoadSettings(settingsFolder_ + "/fleet-window.json");
    const auto index = SendMessageW(choice, CB_GETCURSEL, 0, 0);
    const bool chosen = index >= 0 && static_cast<std::size_t>(index) < adapters_.size();
    const auto offered =
        OfferAdapters(platform::ListNetworkAdapters(), chosen ? adapters_[index].name : "",
                      chosen ? adapters_[index].address : "", remembered.adapterName);
    adapters_ = offered.adapters;
    SendMessageW(choice, CB_RESETCONTENT, 0, 0);
    for (const auto& label : offered.Labels())
        SendMessageW(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(label).c_str()));
    SendMessageW(choice, CB_SETCURSEL, static_cast<WPARAM>(offered.chosen), 0);
}

fleet::AdapterOptions FleetWindow::ChosenAdapter() const {
    fleet::AdapterOptions options;
    const auto index = SendMessageW(Control(kAdapterChoice), CB_GETCURSEL, 0, 0);
    if (index >= 0 && static_cast<std::size_t>(index) < adapters_.size())
        options.address = adapters_[index].address;
    return options;
}

void FleetWindow::Search() {
    if (model_.CurrentPhase() != Phase::Idle)
        return;
    RefreshAdapters();
    if (ChosenAdapter().address.empty()) {
        dialogs_.notice(text::kChooseAdapter);
        return;
    }
    model_.BeginSweep();
    engine_->Sweep(ChosenAdapter());
    UpdateControls();
}

void FleetWindow::ChooseImage(const std::string& path) {
    const OpenedImage opened = OpenImage(path);
    if (!opened.image) {
        dialogs_.notice(opened.notice);
        return;
    }
    filling_ = true;
    SetWindowTextUtf8(Control(kImagePath), path);
    SetWindowTextUtf8(Control(kVersionEdit), opened.image->versionText);
    filling_ = false;
    model_.SetImage(opened.image);
    RebuildList();
}

void FleetWindow::Start() {
    if (!StartRun(model_, *engine_, ChosenAdapter(), LastReportPath(), dialogs_.ask,
                  dialogs_.notice))
        return;
    RebuildList();
    SetTimer(window_, kRepaintTimer, static_cast<UINT>(FleetWindowModel::kRepaintInterval.count()),
             nullptr);
}

void FleetWindow::Stop() {
    if (model_.CurrentPhase() != Phase::Running)
        return;
    engine_->Interrupt();
    model_.StopRequested();
    UpdateControls();
}

void FleetWindow::Save(bool csv) {
    if (lastReportJson_.empty())
        return;
    const std::string path = dialogs_.saveAs(csv);
    if (path.empty())
        return;
    if (const auto problem =
            WriteFileAtomically(path, csv ? ReportCsv(lastReportJson_) : lastReportJson_);
        !problem.empty())
        dialogs_.notice(problem);
}

void FleetWindow::DrainEngine() {
    const AppliedEvents applied = ApplyEngineEvents(model_, engine_->Drain());
    if (applied.runEnded)
        KillTimer(window_, kRepaintTimer);
    if (applied.reportJson)
        lastReportJson_ = *applied.reportJson;
    if (applied.rebuild) {
        RebuildList();
    } else {
        for (const auto& address : applied.settledAddresses)
            if (const auto it = rowOf_.find(address); it != rowOf_.end())
                UpdateRow(it->second, *model_.Find(address));
    }
    if (closeAfterRun_ && model_.CurrentPhase() == Phase::Idle)
        PostMessageW(window_, WM_CLOSE, 0, 0);
}

// Every 100 ms during a run: only rows that changed are touched.
void FleetWindow::Repaint() {
    for (const auto& address : model_.Flush(Clock::now()))
        if (const auto it = rowOf_.find(address); it != rowOf_.end())
            UpdateRow(it->second, *model_.Find(address));
    UpdateControls();
}

void FleetWindow::RebuildList() {
    filling_ = true;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list_);
    rowOf_.clear();
    const auto rows = model_.Visible();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertItem(list_, &item);
        rowOf_[rows[i]->entry.address] = i;
        UpdateRow(i, *rows[i]);
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
    filling_ = false;
    UpdateControls();
}

void FleetWindow::UpdateRow(int row, const Row& data) {
    const bool wasFilling = std::exchange(filling_, true);
    ListView_SetCheckState(list_, row, data.checked ? TRUE : FALSE);
    for (int column = 1; column < kColumnCount; ++column) {
        const std::wstring text = W(FleetWindowModel::CellText(data, static_cast<Column>(column)));
        ListView_SetItemText(list_, row, column, const_cast<wchar_t*>(text.c_str()));
    }
    filling_ = wasFilling;
}

void FleetWindow::UpdateControls() {
    const Phase phase = model_.CurrentPhase();
    const bool idle = phase == Phase::Idle;
    for (auto id : {kSearchButton, kBrowseButton, kVersionEdit, kAdapterChoice, kStartButton,
                    kRetryButton, kSelectAllButton, kSelectNoneButton, kSelectNotCurrentButton})
        EnableWindow(Control(id), idle);
    EnableWindow(Control(kStopButton), phase == Phase::Running);
    EnableWindow(Control(kSaveJsonButton), idle && !lastReportJson_.empty());
    EnableWindow(Control(kSaveCsvButton), idle && !lastReportJson_.empty());
    SetWindowTextUtf8(Control(kSelectionCount),
                      text::SelectionCountText(model_.CheckedCount(), model_.RowCount()));
    SendMessageW(Control(kOverallProgress), PBM_SETPOS,
                 static_cast<WPARAM>(model_.OverallPercent()), 0);
    SetWindowTextUtf8(Control(kStatusLine), model_.StatusLine());
}

} // namespace fleetwin32
