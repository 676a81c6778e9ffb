// Drives a running CollectorUpgrade.exe from another process under the same
// wine server, the way an operator would: presses its buttons, reads its
// labels and list rows, selects a row, answers the open-file dialog and
// reads and dismisses message boxes. End-to-end tests run one command per
// call; output is UTF-8 on stdout. Exit status: 0 done, 1 timed out or not
// found, 2 bad command line.
//
//   collector_automation wait-ready MS          lbl3 and lbl6 once lbl6 has text
//   collector_automation click search|browse|upgrade
//   collector_automation wait-rows N MS         the rows once there are N
//   collector_automation select ROW
//   collector_automation text lbl3|lbl6|redt2|edt1
//   collector_automation wait-status TEXT MS    until lbl6 reads TEXT
//   collector_automation choose-file PATH MS    browse, type PATH, OK
//   collector_automation wait-box MS            caption and text of a message box, then OK
//   collector_automation window-rect           outer rectangle: left top width height
//   collector_automation close

#include "gui/win32/frmmain_ids.h"
#include "platform/wide_text.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <io.h>
#include <string>
#include <vector>

using platform::WideToUtf8;

namespace {

constexpr wchar_t kCaption[] = L"采集器程序升级工具";
// The file name field of the common open-file dialog: the edit inside cmb13
// (explorer style), or edt1 (older layouts).
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;
constexpr int kMessageBoxText = 0xFFFF;

void Print(const std::wstring& text) {
    const std::string utf8 = WideToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

// Polls `found` every 20 ms until it holds or `timeoutMs` passes.
bool WaitFor(const std::function<bool()>& found, int timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        if (found())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
}

HWND MainWindow() {
    return FindWindowW(kMainWindowClass, kCaption);
}

// The first descendant with control id `id` (and window class `className`, if given).
HWND Descendant(HWND parent, int id, const wchar_t* className = nullptr) {
    struct Search {
        int id;
        const wchar_t* className;
        HWND found;
    } search{id, className, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM state) -> BOOL {
            auto* s = reinterpret_cast<Search*>(state);
            wchar_t name[64] = {};
            GetClassNameW(child, name, 64);
            if (GetDlgCtrlID(child) != s->id ||
                (s->className != nullptr && lstrcmpiW(name, s->className) != 0))
                return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Text(HWND window) {
    // WM_GETTEXT is carried across processes; GetWindowText would not ask a
    // control of another process.
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A dialog (#32770) of the program's process: a message box or the open-file dialog.
std::vector<HWND> ProgramDialogs(HWND main) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(
        [](HWND window, LPARAM state) -> BOOL {
            auto* s = reinterpret_cast<Search*>(state);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == s->process && IsWindowVisible(window) && ClassOf(window) == L"#32770")
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FileNameField(HWND dialog) {
    if (HWND edit = Descendant(dialog, kFileNameCombo, L"Edit"))
        return edit;
    return Descendant(dialog, kFileNameEdit, L"Edit");
}

// Memory inside the program's process, for list-view messages whose
// arguments are pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, std::size_t size) : size_(size) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
        if (process_ != nullptr)
            memory_ = static_cast<char*>(
                VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBuffer() {
        if (memory_ != nullptr)
            VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_ != nullptr)
            CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Ok() const { return memory_ != nullptr; }
    char* Address(std::size_t offset = 0) const { return memory_ + offset; }
    void Write(const void* data, std::size_t size, std::size_t offset = 0) {
        WriteProcessMemory(process_, memory_ + offset, data, size, nullptr);
    }
    void Read(void* data, std::size_t size, std::size_t offset = 0) const {
        ReadProcessMemory(process_, memory_ + offset, data, size, nullptr);
    }

private:
    std::size_t size_;
    HANDLE process_ = nullptr;
    char* memory_ = nullptr;
};

constexpr int kCellChars = 256;

std::wstring Cell(HWND listView, RemoteBuffer& remote, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote.Address(sizeof item));
    item.cchTextMax = kCellChars;
    remote.Write(&item, sizeof item);
    const wchar_t nothing = L'\0';
    remote.Write(&nothing, sizeof nothing, sizeof item);
    SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(remote.Address()));
    wchar_t text[kCellChars] = {};
    remote.Read(text, sizeof text - sizeof(wchar_t), sizeof item);
    return text;
}

int RowCount(HWND listView) {
    return static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
}

void PrintRows(HWND listView) {
    RemoteBuffer remote(listView, sizeof(LVITEMW) + kCellChars * sizeof(wchar_t));
    if (!remote.Ok())
        return;
    for (int row = 0; row < RowCount(listView); ++row)
        Print(Cell(listView, remote, row, 0) + L"\t" + Cell(listView, remote, row, 1) + L"\t" +
              Cell(listView, remote, row, 2));
}

bool SelectRow(HWND listView, int row) {
    RemoteBuffer remote(listView, sizeof(LVITEMW));
    if (!remote.Ok())
        return false;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Write(&item, sizeof item);
    return SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(remote.Address())) != FALSE;
}

int Fail(const char* why) {
    std::fprintf(stderr, "collector_automation: %s\n", why);
    return 1;
}

int Usage() {
    std::fprintf(stderr, "usage: see the comment at the top of collector_automation.cpp\n");
    return 2;
}

int Run(const std::vector<std::wstring>& args) {
    if (args.empty())
        return Usage();
    const std::wstring& command = args[0];
    const auto number = [&](std::size_t i) { return i < args.size() ? _wtoi(args[i].c_str()) : 0; };
    HWND main = nullptr;
    if (!WaitFor([&] { return (main = MainWindow()) != nullptr; },
                 command == L"wait-ready" ? number(1) : 2000))
        return Fail("no main window");
    const auto control = [&](ControlId id) { return Descendant(main, id); };

    if (command == L"wait-ready") {
        if (!WaitFor([&] { return !Text(control(kLbl6)).empty(); }, number(1)))
            return Fail("the status line stays empty");
        Print(Text(control(kLbl3)));
        Print(Text(control(kLbl6)));
        return 0;
    }
    if (command == L"click" && args.size() == 2) {
        const ControlId id = args[1] == L"search"    ? kBtnSearch
                             : args[1] == L"browse"  ? kBtn1
                             : args[1] == L"upgrade" ? kBtnUpg
                                                     : ControlId{};
        if (id == ControlId{})
            return Usage();
        // Posted: a handler that opens a modal box must not hold this caller.
        PostMessageW(control(id), BM_CLICK, 0, 0);
        return 0;
    }
    if (command == L"wait-rows" && args.size() == 3) {
        const HWND list = control(kLv1);
        if (!WaitFor([&] { return RowCount(list) >= number(1); }, number(2)))
            return PrintRows(list), Fail("too few rows");
        PrintRows(list);
        return 0;
    }
    if (command == L"select" && args.size() == 2)
        return SelectRow(control(kLv1), number(1)) ? 0 : Fail("cannot select the row");
    if (command == L"text" && args.size() == 2) {
        const ControlId id = args[1] == L"lbl3"    ? kLbl3
                             : args[1] == L"lbl6"  ? kLbl6
                             : args[1] == L"redt2" ? kRedt2
                             : args[1] == L"edt1"  ? kEdt1
                                                   : ControlId{};
        if (id == ControlId{})
            return Usage();
        Print(Text(control(id)));
        return 0;
    }
    if (command == L"wait-status" && args.size() == 3) {
        if (!WaitFor([&] { return Text(control(kLbl6)) == args[1]; }, number(2))) {
            Print(Text(control(kLbl6)));
            return Fail("the status line does not read as expected");
        }
        return 0;
    }
    if (command == L"choose-file" && args.size() == 3) {
        PostMessageW(control(kBtn1), BM_CLICK, 0, 0);
        HWND dialog = nullptr;
        HWND field = nullptr;
        if (!WaitFor(
                [&] {
                    for (HWND candidate : ProgramDialogs(main))
                        if ((field = FileNameField(candidate)) != nullptr)
                            return (dialog = candidate) != nullptr;
                    return false;
                },
                number(2)))
            return Fail("no open-file dialog");
        SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[1].c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        if (!WaitFor([&] { return !IsWindow(dialog); }, number(2)))
            return Fail("the open-file dialog stays open");
        return 0;
    }
    if (command == L"wait-box" && args.size() == 2) {
        HWND box = nullptr;
        if (!WaitFor(
                [&] {
                    for (HWND candidate : ProgramDialogs(main))
                        if (FileNameField(candidate) == nullptr)
                            return (box = candidate) != nullptr;
                    return false;
                },
                number(1)))
            return Fail("no message box");
        Print(Text(box));
        const HWND text = Descendant(box, kMessageBoxText);
        Print(text != nullptr ? Text(text) : L"");
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (command == L"window-rect") {
        RECT r{};
        GetWindowRect(main, &r);
        Print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
              std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
        return 0;
    }
    if (command == L"close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        return 0;
    }
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    _setmode(_fileno(stdout), _O_BINARY); // lines end in \n, as the tests read them
    std::vector<std::wstring> args(argv + 1, argv + argc);
    const int status = Run(args);
    std::fflush(stdout);
    return status;
}
