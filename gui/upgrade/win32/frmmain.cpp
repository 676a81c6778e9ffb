#include "gui/upgrade/win32/frmmain.h"

#include "gui/upgrade/shell/window_geometry.h"
#include "gui/win32_support/about_entry.h"
#include "gui/win32_support/window_dpi.h"
#include "platform/wide_text.h"

#include <commctrl.h>
#include <richedit.h>

#include <stdexcept>

using core::kLastSocketMessage;
using core::kSocketNotifyMessage;
using platform::Utf8ToWide;
using win32_support::OuterSizeForClient;
using win32_support::WindowDpi;

namespace upgradeui::win32 {

namespace {

// Not WS_CLIPCHILDREN: the group box draws only its frame, so the window
// paints the button face beneath it.
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

void Place(HWND control, const upgradeui::Rect& r) {
    MoveWindow(control, r.left, r.top, r.width, r.height, TRUE);
}

std::wstring Wide(std::string_view utf8) {
    return Utf8ToWide(std::string(utf8));
}

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontFaceExists(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The window's font face: by its English name, which every Windows knows
// whatever its language; by its Chinese name where only that one is present.
// Where neither exists the system picks a font of the GB2312 character set,
// so every caption renders.
const std::wstring& SongFace() {
    static const std::wstring face = [] {
        const std::wstring english = Wide(upgradeui::kFontFace);
        return FontFaceExists(english) ? english : Wide(upgradeui::kFontFaceChinese);
    }();
    return face;
}

HFONT SongFont(int pixels) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, SongFace().c_str());
}

// pnl1 and grp1 are parents of controls; their controls' notifications and
// colour requests must reach the main window, which handles every control's
// events and paints every label on the button face.
LRESULT CALLBACK ForwardToOwner(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR owner) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return SendMessageW(reinterpret_cast<HWND>(owner), message, wParam, lParam);
    default:
        return DefSubclassProc(window, message, wParam, lParam);
    }
}

// redt2 is read-only: Tab and Shift+Tab move on from it instead of being
// typed into it, as in every other field.
LRESULT CALLBACK TabLeavesField(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
    const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    if (message == WM_GETDLGCODE)
        return result & ~(DLGC_WANTTAB | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
    return result;
}

// The rich edit class of the newest rich edit library present, loaded from
// the system folder only: a planted copy beside the program is never loaded.
const wchar_t* RichEditClass() {
    static const wchar_t* const name = [] {
        if (LoadLibraryExW(L"Msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr)
            return MSFTEDIT_CLASS;
        LoadLibraryExW(L"Riched20.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return RICHEDIT_CLASSW;
    }();
    return name;
}

// lv1's columns at `dpi`, made or resized.
void SetColumns(HWND listView, UINT dpi, bool create) {
    const auto columns = upgradeui::DeviceListColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int width = upgradeui::ScaleToDpi(columns[i].width, static_cast<int>(dpi));
        if (!create) {
            SendMessageW(listView, LVM_SETCOLUMNWIDTH, i, width);
            continue;
        }
        const std::wstring caption = Wide(columns[i].caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(caption.c_str());
        column.cx = width;
        column.iSubItem = static_cast<int>(i);
        SendMessageW(listView, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

// Class, style and extended style of each kind of control.
struct NativeKind {
    const wchar_t* className;
    DWORD style;
    DWORD extendedStyle;
};

NativeKind NativeKindOf(const upgradeui::ControlDescription& control) {
    using enum upgradeui::ControlKind;
    switch (control.kind) {
    case Panel:
        return {L"STATIC", 0, WS_EX_CONTROLPARENT};
    case ListView:
        return {WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                WS_EX_CLIENTEDGE};
    case GroupBox:
        return {L"BUTTON", BS_GROUPBOX, WS_EX_CONTROLPARENT};
    case Label:
    case SizedLabel:
        return {L"STATIC",
                static_cast<DWORD>((control.Has(upgradeui::kCentred) ? SS_CENTER : SS_LEFT) |
                                   SS_NOPREFIX),
                0};
    case LineEdit:
        return {L"EDIT",
                WS_TABSTOP | ES_AUTOHSCROLL |
                    (control.Has(upgradeui::kReadOnly) ? static_cast<DWORD>(ES_READONLY) : 0),
                WS_EX_CLIENTEDGE};
    case RichEdit:
        return {RichEditClass(),
                WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                    (control.Has(upgradeui::kReadOnly) ? static_cast<DWORD>(ES_READONLY) : 0) |
                    (control.Has(upgradeui::kVerticalScroll) ? WS_VSCROLL | ES_DISABLENOSCROLL : 0),
                WS_EX_CLIENTEDGE};
    case Button:
        return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ProgressBar:
        return {PROGRESS_CLASSW, 0, 0};
    case StatusBar:
        // The window places the bar itself. Not WS_CLIPCHILDREN: the progress
        // bar covers most of the panel, and the panel must still be drawn
        // (and the progress bar placed) when it shrinks.
        return {STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN, 0};
    }
    throw std::logic_error("a control of no known kind");
}

} // namespace

TFrmmain::TFrmmain(WindowSeams seams) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Register(kMainWindowClass);

    // Made at a provisional size; placed once its monitor's resolution is known.
    Create(kWindowExStyle, kMainWindowClass, Wide(upgradeui::kWindowCaption), kWindowStyle,
           upgradeui::kOuterWidth, upgradeui::kOuterHeight);
    dpi_ = WindowDpi(window_);
    win32_support::AddAboutEntry(window_);
    MakeFonts();
    BuildControls();

    // The outer size that holds the client area at this resolution, centred on
    // the desktop.
    const int dpi = static_cast<int>(dpi_);
    const SIZE outer = OuterSizeForClient(upgradeui::ScaleToDpi(upgradeui::kClientWidth, dpi),
                                          upgradeui::ScaleToDpi(upgradeui::kClientHeight, dpi),
                                          kWindowStyle, kWindowExStyle, dpi_);
    SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - outer.cx) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - outer.cy) / 2, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutDocked();

    ownNotices_.SetOwner(window_);
    ownFileDialog_.SetOwner(window_);
    socketEvents_.SetWindow(window_);
    view_ = std::make_unique<ControlToolView>(Control(kLv1), Control(kLbl3), Control(kLbl6),
                                              Control(kRedt2), Control(kEdt1));
    workerDisplay_ =
        std::make_unique<PostedWorkerDisplay>(window_, Control(kProgressBar1), Control(kLbl6));
    const auto holdShutdown = [this](bool hold) { shutdownGuard_.Hold(window_, hold); };
    shell_ = std::make_unique<upgradeui::WindowShell>(
        std::move(seams), upgradeui::WindowParts{*view_, *view_, *workerDisplay_, socketEvents_,
                                                 ownNotices_, ownFileDialog_, holdShutdown});
}

TFrmmain::~TFrmmain() {
    if (window_ != nullptr)
        DestroyWindow(window_); // WM_DESTROY ends the workers
    shell_.reset();
    for (const auto& [pixels, font] : fonts_)
        DeleteObject(font);
}

void TFrmmain::MakeFonts() {
    std::map<int, HFONT> made;
    for (const upgradeui::ControlDescription& control : upgradeui::MainWindowControls())
        if (!made.contains(control.fontPixels))
            made[control.fontPixels] =
                SongFont(upgradeui::ScaleToDpi(control.fontPixels, static_cast<int>(dpi_)));
    if (!made.contains(upgradeui::kWindowFontPixels))
        made[upgradeui::kWindowFontPixels] =
            SongFont(upgradeui::ScaleToDpi(upgradeui::kWindowFontPixels, static_cast<int>(dpi_)));
    // The old fonts go once every control has been given its new one.
    std::swap(fonts_, made);
    SendMessageW(window_, WM_SETFONT,
                 reinterpret_cast<WPARAM>(fonts_[upgradeui::kWindowFontPixels]), FALSE);
    for (const auto& [id, control] : controls_)
        SendMessageW(
            control, WM_SETFONT,
            reinterpret_cast<WPARAM>(FontFor(upgradeui::Describe(static_cast<ControlId>(id)))),
            TRUE);
    for (const auto& [pixels, font] : made)
        DeleteObject(font);
}

HFONT TFrmmain::FontFor(const upgradeui::ControlDescription& control) const {
    return fonts_.at(control.fontPixels);
}

HWND TFrmmain::MakeControl(const upgradeui::ControlDescription& description) {
    const NativeKind kind = NativeKindOf(description);
    const HWND parent = description.parent == kNoControl ? window_ : Control(description.parent);
    const upgradeui::Rect bounds =
        upgradeui::ScaleToDpi(description.bounds, static_cast<int>(dpi_));
    const DWORD disabled = description.Has(upgradeui::kDisabled) ? WS_DISABLED : 0;
    const HWND control = CreateWindowExW(
        kind.extendedStyle, kind.className, Wide(description.caption).c_str(),
        WS_CHILD | WS_VISIBLE | disabled | kind.style, bounds.left, bounds.top, bounds.width,
        bounds.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(description.id)),
        GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr)
        throw std::runtime_error("cannot create a control of the main window");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(description)), FALSE);
    controls_[description.id] = control;

    using enum upgradeui::ControlKind;
    switch (description.kind) {
    case Panel:
    case GroupBox:
        SetWindowSubclass(control, ForwardToOwner, 0, reinterpret_cast<DWORD_PTR>(window_));
        break;
    case ListView:
        SendMessageW(control, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                     LVS_EX_FULLROWSELECT);
        SetColumns(control, dpi_, true);
        break;
    case RichEdit:
        SetWindowSubclass(control, TabLeavesField, 0, 0);
        break;
    case ProgressBar:
        SendMessageW(control, PBM_SETRANGE32, 0, 100);
        SendMessageW(control, PBM_SETPOS, 0, 0);
        break;
    case StatusBar: {
        int parts[] = {-1}; // one owner-drawn panel spanning the bar
        SendMessageW(control, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
        SendMessageW(control, SB_SETTEXTW, SBT_OWNERDRAW, 0);
        break;
    }
    default:
        break;
    }
    return control;
}

void TFrmmain::BuildControls() {
    // Creation order is the tab order: Tab walks the window's controls in the
    // order they were made.
    for (const upgradeui::ControlDescription* control : upgradeui::CreationOrder())
        MakeControl(*control);
    // The labels come after the fields in that order, where a screen reader
    // does not look for a field's name: each field is named outright.
    for (const upgradeui::ControlDescription& control : upgradeui::MainWindowControls())
        if (const std::string_view name = upgradeui::AccessibleName(control.id); !name.empty())
            accessibleNames_.Name(Control(control.id), Wide(name));
}

HWND TFrmmain::Control(ControlId id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void TFrmmain::ApplyDpi(UINT dpi, const RECT* suggested) {
    dpi_ = dpi;
    MakeFonts();
    for (const upgradeui::ControlDescription& control : upgradeui::MainWindowControls()) {
        const HWND handle = Control(control.id);
        if (control.dock != upgradeui::Dock::None ||
            (control.id == kProgressBar1 && GetParent(handle) == Control(kStat1)))
            continue; // placed by LayOutDocked and stat1DrawPanel
        Place(handle, upgradeui::ScaleToDpi(control.bounds, static_cast<int>(dpi)));
    }
    SetColumns(Control(kLv1), dpi, false);
    if (view_)
        view_->SizeLocalAddressToText();
    if (suggested != nullptr)
        SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutDocked();
    InvalidateRect(window_, nullptr, TRUE);
}

void TFrmmain::LayOutDocked() {
    const HWND panel = Control(kPnl1);
    const HWND listView = Control(kLv1);
    const HWND statusBar = Control(kStat1);
    if (panel == nullptr || listView == nullptr || statusBar == nullptr)
        return; // still being built
    RECT client{};
    GetClientRect(window_, &client);
    const upgradeui::DockedLayout layout =
        upgradeui::LayOutDocked(client.right, client.bottom, static_cast<int>(dpi_));
    Place(panel, layout.pnl1);
    Place(listView, layout.lv1);
    Place(statusBar, layout.stat1);
}

void TFrmmain::stat1DrawPanel(const RECT& panel) {
    const HWND progress = Control(kProgressBar1);
    const HWND statusBar = Control(kStat1);
    if (GetParent(progress) != statusBar)
        SetParent(progress, statusBar);
    Place(progress, upgradeui::ProgressInPanel(
                        {panel.left, panel.top, panel.right - panel.left, panel.bottom - panel.top},
                        static_cast<int>(dpi_)));
    // The bar has just painted the panel beneath the progress bar.
    InvalidateRect(progress, nullptr, FALSE);
}

void TFrmmain::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    // The keyboard starts on the list of collectors.
    const HWND focus = GetFocus();
    if (focus == nullptr || focus == window_)
        SetFocus(Control(kLv1));
}

LRESULT TFrmmain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kSocketNotifyMessage && message <= kLastSocketMessage) {
        // Only a read event carries a datagram to read; the others (a close,
        // an error report) leave the sockets as they are.
        if (WSAGETSELECTEVENT(lParam) == FD_READ)
            HandleSocketMessage();
        return 0;
    }
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam != FALSE && shell_ && shell_->FormShow()) {
            // Start-up belongs to the first activation. A desktop that never
            // activates the window still gets it, once, when the window is up.
            PostMessageW(window_, kStartUpMessage, 0, 0);
        }
        break;
    case WM_ACTIVATE:
        if (shell_ && OnActivate(LOWORD(wParam) != WA_INACTIVE, HIWORD(wParam) != 0))
            return 0;
        break;
    case kStartUpMessage:
        if (shell_)
            shell_->FormActivate();
        return 0;
    case kWorkerUpdateMessage:
        if (workerDisplay_)
            workerDisplay_->ApplyNext();
        if (shell_)
            shell_->WorkerChangeApplied();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        if (wParam == kStat1) {
            stat1DrawPanel(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->rcItem);
            return TRUE;
        }
        break;
    case WM_SIZE:
        LayOutDocked();
        return 0;
    case WM_DPICHANGED:
        // Moved to a monitor of another scaling, or the scaling changed:
        // everything again at the new resolution, in the rectangle offered.
        ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        if (shell_)
            shell_->FormClose();
        DestroyWindow(window_);
        return 0;
    case WM_QUERYENDSESSION:
        return shutdownGuard_.AnswerQueryEndSession();
    case WM_SYSCOMMAND:
        if (win32_support::HandleAboutCommand(window_, wParam))
            return 0;
        break;
    case WM_DESTROY:
        // The workers must end before the program does: pauses are cut short
        // and both threads joined, also in the middle of a send pass.
        if (shell_)
            shell_->StopWorkers();
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: // the window is gone once this returns
        controls_.clear();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

bool TFrmmain::OnActivate(bool active, bool minimised) {
    if (active)
        shell_->FormActivate();
    if (minimised)
        return false; // the system's handling: no control to focus
    if (!active) {
        // Remembered, so Alt+Tab back puts the keyboard where it was.
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus))
            focusBeforeDeactivation_ = focus;
        return true;
    }
    const HWND back = focusBeforeDeactivation_ != nullptr && IsWindow(focusBeforeDeactivation_)
                          ? focusBeforeDeactivation_
                          : Control(kLv1);
    SetFocus(back);
    return true;
}

void TFrmmain::OnCommand(int id, int notification) {
    if (notification != BN_CLICKED || !shell_)
        return;
    switch (id) {
    case kBtnSearch:
        shell_->btnsearchClick();
        break;
    case kBtn1:
        shell_->btn1Click();
        break;
    case kBtnUpg:
        shell_->btnUPGClick();
        break;
    default:
        break;
    }
}

void TFrmmain::HandleSocketMessage() {
    drainPosted_ = false;
    shell_->HandleSocketMessage();
    // A notification may have read the other socket's datagram; ask once more
    // while anything waits, so no datagram is left without a message. The
    // message carries the read event, as Winsock's own do.
    if (window_ != nullptr && !drainPosted_ && socketEvents_.AnyWaiting()) {
        drainPosted_ = true;
        PostMessageW(window_, kSocketNotifyMessage, 0, WSAMAKESELECTREPLY(FD_READ, 0));
    }
}

} // namespace upgradeui::win32
