#include "gui/win32/frmmain.h"

#include "core/error_text.h"
#include "platform/local_address.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <stdexcept>

using core::kLastSocketMessage;
using core::kSocketNotifyMessage;
using core::OpenFileDialog;
using core::RunGuarded;
using core::UpgradeTool;
using core::WindowPorts;

using platform::LookupLocalIPv4;
using platform::Sleeper;

namespace {

constexpr int kClientWidth = 607;
constexpr int kClientHeight = 401;
constexpr int kPanelWidth = 398;
constexpr int kStatusHeight = 19;
constexpr int kProgressRightGap = 10;
constexpr int kIconResource = 1;
// Not WS_CLIPCHILDREN: the group box draws only its frame, so the window
// paints the button face beneath it.
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

// "宋体" at a character height of `pixels`. Where no such face exists the
// system picks a font of the GB2312 character set, so every caption renders.
HFONT SongFont(int pixels) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"宋体");
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

// The rich edit class of the newest rich edit library present.
const wchar_t* RichEditClass() {
    static const wchar_t* const name = [] {
        if (LoadLibraryW(L"Msftedit.dll") != nullptr)
            return MSFTEDIT_CLASS;
        LoadLibraryW(L"Riched20.dll");
        return RICHEDIT_CLASSW;
    }();
    return name;
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    // A second window of the same process finds the class already there.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register the main window class");
}

void AddColumn(HWND listView, int index, const wchar_t* caption, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(caption);
    column.cx = width;
    column.iSubItem = index;
    SendMessageW(listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

} // namespace

TFrmmain::TFrmmain(WindowSeams seams) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClass(instance, &TFrmmain::WndProc);

    // The outer size that holds a client area of 607 x 401 with this frame,
    // centred on the desktop.
    RECT outer{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    if (CreateWindowExW(kWindowExStyle, kMainWindowClass, L"采集器程序升级工具", kWindowStyle, left,
                        top, width, height, nullptr, nullptr, instance, this) == nullptr)
        throw std::runtime_error("cannot create the main window");

    font_ = SongFont(13);
    buttonFont_ = SongFont(16);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    BuildControls();
    LayOutDocked();

    ownNotices_.SetOwner(window_);
    ownFileDialog_.SetOwner(window_);
    socketEvents_.SetWindow(window_);
    notices_ = seams.notices != nullptr ? seams.notices : &ownNotices_;
    OpenFileDialog* fileDialog = seams.fileDialog != nullptr ? seams.fileDialog : &ownFileDialog_;
    Sleeper* sleeper = seams.sleeper != nullptr ? seams.sleeper : &ownSleeper_;
    auto lookup = seams.lookupLocalAddress
                      ? std::move(seams.lookupLocalAddress)
                      : std::function<std::optional<std::string>()>(LookupLocalIPv4);

    view_ = std::make_unique<ControlToolView>(Control(kLv1), Control(kLbl3), Control(kLbl6),
                                              Control(kRedt2), Control(kEdt1));
    workerDisplay_ =
        std::make_unique<PostedWorkerDisplay>(window_, Control(kProgressBar1), Control(kLbl6));
    tool_ = std::make_unique<UpgradeTool>(WindowPorts{*view_, *view_, *notices_, *fileDialog,
                                                      *workerDisplay_, socketEvents_, *sleeper,
                                                      std::move(lookup)},
                                          seams.ports);
}

TFrmmain::~TFrmmain() {
    if (window_ != nullptr)
        DestroyWindow(window_); // WM_DESTROY ends the workers
    tool_.reset();
    DeleteObject(font_);
    DeleteObject(buttonFont_);
}

HWND TFrmmain::AddControl(ControlId id, ControlId parent, const wchar_t* className,
                          const wchar_t* text, DWORD style, DWORD extendedStyle, Bounds bounds,
                          HFONT font) {
    const HWND parentWindow = parent == ControlId{} ? window_ : Control(parent);
    const HWND control = CreateWindowExW(
        extendedStyle, className, text, WS_CHILD | WS_VISIBLE | style, bounds.left, bounds.top,
        bounds.width, bounds.height, parentWindow,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr)
        throw std::runtime_error("cannot create a control of the main window");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    controls_[id] = control;
    return control;
}

HWND TFrmmain::Control(ControlId id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void TFrmmain::BuildControls() {
    // Creation order is the tab order: Tab walks the window's controls in the order they were made.
    constexpr ControlId kWindow{};
    constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

    const HWND panel =
        AddControl(kPnl1, kWindow, L"STATIC", L"", 0, WS_EX_CONTROLPARENT, {0, 0, 398, 382}, font_);
    SetWindowSubclass(panel, ForwardToOwner, 0, reinterpret_cast<DWORD_PTR>(window_));
    const HWND listView = AddControl(kLv1, kPnl1, WC_LISTVIEWW, L"",
                                     WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                     WS_EX_CLIENTEDGE, {0, 0, 398, 382}, font_);
    SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    AddColumn(listView, 0, L"序列号", 130);
    AddColumn(listView, 1, L"IP", 105);
    AddColumn(listView, 2, L"版本号", 140);

    const HWND groupBox = AddControl(kGrp1, kWindow, L"BUTTON", L"", BS_GROUPBOX,
                                     WS_EX_CONTROLPARENT, {400, -1, 201, 98}, font_);
    SetWindowSubclass(groupBox, ForwardToOwner, 0, reinterpret_cast<DWORD_PTR>(window_));
    AddControl(kBtnSearch, kGrp1, L"BUTTON", L"搜寻设备", WS_TABSTOP | BS_PUSHBUTTON, 0,
               {58, 65, 79, 22}, font_);
    AddControl(kEdtHostPort, kGrp1, L"EDIT", L"8000",
               WS_TABSTOP | WS_DISABLED | ES_READONLY | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
               {85, 11, 49, 21}, font_);
    AddControl(kLbl1, kGrp1, L"STATIC", L"本地端口号", kLabel, 0, {10, 16, 73, 13}, font_);
    AddControl(kLbl2, kGrp1, L"STATIC", L"本地ip地址", kLabel, 0, {10, 39, 65, 17}, font_);
    AddControl(kLbl3, kGrp1, L"STATIC", L"lbl3", kLabel, 0, {84, 39, 28, 13}, font_);

    AddControl(kBtnUpg, kWindow, L"BUTTON", L"升级程序", WS_TABSTOP | BS_PUSHBUTTON, 0,
               {472, 352, 75, 25}, font_);
    const HWND progress =
        AddControl(kProgressBar1, kWindow, PROGRESS_CLASSW, L"", 0, 0, {264, 184, 89, 17}, font_);
    SendMessageW(progress, PBM_SETRANGE32, 0, 100);
    SendMessageW(progress, PBM_SETPOS, 0, 0);
    AddControl(kBtn1, kWindow, L"BUTTON", L"浏览", WS_TABSTOP | BS_PUSHBUTTON, 0, {549, 99, 44, 22},
               buttonFont_);
    AddControl(kEdt1, kWindow, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
               {400, 220, 200, 21}, font_);
    const HWND redt2 = AddControl(kRedt2, kWindow, RichEditClass(), L"",
                                  WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                      ES_AUTOVSCROLL | ES_DISABLENOSCROLL,
                                  WS_EX_CLIENTEDGE, {399, 128, 202, 61}, font_);
    SetWindowSubclass(redt2, TabLeavesField, 0, 0);

    AddControl(kLbl7, kWindow, L"STATIC", L"升级程序文件选择：", kLabel, 0, {398, 105, 117, 13},
               font_);
    AddControl(kLbl4, kWindow, L"STATIC", L"待升级程序版本号：", kLabel, 0, {400, 198, 117, 13},
               font_);
    AddControl(kLbl6, kWindow, L"STATIC", L"", SS_CENTER | SS_NOPREFIX, 0, {408, 254, 185, 13},
               font_);

    // One owner-drawn panel spanning the bar; the window places the bar itself.
    // Not WS_CLIPCHILDREN: the progress bar covers most of the panel, and the
    // panel must still be drawn (and the progress bar placed) when it shrinks.
    const HWND statusBar =
        AddControl(kStat1, kWindow, STATUSCLASSNAMEW, L"", CCS_NORESIZE | CCS_NOPARENTALIGN, 0,
                   {0, 382, kClientWidth, kStatusHeight}, font_);
    int parts[] = {-1};
    SendMessageW(statusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(statusBar, SB_SETTEXTW, SBT_OWNERDRAW, 0);
}

void TFrmmain::LayOutDocked() {
    const HWND panel = Control(kPnl1);
    const HWND listView = Control(kLv1);
    const HWND statusBar = Control(kStat1);
    if (panel == nullptr || listView == nullptr || statusBar == nullptr)
        return; // still being built
    RECT client{};
    GetClientRect(window_, &client);
    const int bodyHeight = std::max(0L, client.bottom - kStatusHeight);
    MoveWindow(panel, 0, 0, kPanelWidth, bodyHeight, TRUE);
    MoveWindow(listView, 0, 0, kPanelWidth, bodyHeight, TRUE);
    MoveWindow(statusBar, 0, bodyHeight, client.right, kStatusHeight, TRUE);
}

void TFrmmain::stat1DrawPanel(const RECT& panel) {
    const HWND progress = Control(kProgressBar1);
    const HWND statusBar = Control(kStat1);
    if (GetParent(progress) != statusBar)
        SetParent(progress, statusBar);
    MoveWindow(progress, panel.left, panel.top, panel.right - panel.left - kProgressRightGap,
               panel.bottom - panel.top, TRUE);
    // The bar has just painted the panel beneath the progress bar.
    InvalidateRect(progress, nullptr, FALSE);
}

void TFrmmain::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

LRESULT CALLBACK TFrmmain::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<TFrmmain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TFrmmain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT TFrmmain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kSocketNotifyMessage && message <= kLastSocketMessage) {
        HandleSocketMessage();
        return 0;
    }
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam != FALSE && !shown_) {
            shown_ = true;
            FormShow();
            // Start-up belongs to the first activation. A desktop that never
            // activates the window still gets it, once, when the window is up.
            PostMessageW(window_, kStartUpMessage, 0, 0);
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && shown_)
            FormActivate();
        break;
    case kStartUpMessage:
        FormActivate();
        return 0;
    case kWorkerUpdateMessage:
        if (workerDisplay_)
            workerDisplay_->ApplyNext();
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
    case WM_CLOSE:
        FormClose();
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        // The workers must end before the program does: pauses are cut short
        // and both threads joined, also in the middle of a send pass.
        if (tool_)
            tool_->StopWorkers();
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        window_ = nullptr;
        controls_.clear();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void TFrmmain::OnCommand(int id, int notification) {
    if (notification != BN_CLICKED)
        return;
    switch (id) {
    case kBtnSearch:
        btnsearchClick();
        break;
    case kBtn1:
        btn1Click();
        break;
    case kBtnUpg:
        btnUPGClick();
        break;
    default:
        break;
    }
}

void TFrmmain::HandleSocketMessage() {
    drainPosted_ = false;
    Guarded([this] { tool_->HandleSocketMessage(); });
    // A notification may have read the other socket's datagram; ask once more
    // while anything waits, so no datagram is left without a message.
    if (window_ != nullptr && !drainPosted_ && socketEvents_.AnyWaiting()) {
        drainPosted_ = true;
        PostMessageW(window_, kSocketNotifyMessage, 0, 0);
    }
}

void TFrmmain::FormShow() {
    Guarded([this] { tool_->FormShow(); });
}

void TFrmmain::FormActivate() {
    if (activated_ || tool_ == nullptr)
        return;
    activated_ = true;
    Guarded([this] { tool_->FormActivate(); });
}

void TFrmmain::FormClose() {
    Guarded([this] { tool_->FormClose(); });
}

void TFrmmain::btnsearchClick() {
    Guarded([this] { tool_->btnsearchClick(); });
}

void TFrmmain::btn1Click() {
    Guarded([this] { tool_->btn1Click(); });
}

void TFrmmain::btnUPGClick() {
    Guarded([this] { tool_->btnUPGClick(); });
}

void TFrmmain::Guarded(const std::function<void()>& handler) noexcept {
    RunGuarded(*notices_, handler);
}

int RunMessageLoop(TFrmmain& frmmain) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Dialog keys: Tab and Shift+Tab move along the tab order.
        if (!frmmain.Destroyed() && IsDialogMessageW(frmmain.Handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
