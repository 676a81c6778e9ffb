#pragma once

// Reading and driving the windows of another process under the same wine
// server, for the automation programs that end-to-end tests run beside a
// real program: window texts through WM_GETTEXT, list-view cells through
// memory allocated inside the program's process, the program's dialogs
// (message boxes and the common file dialogs) found and answered.

#include "platform/wide_text.h"

#include <windows.h>

#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace automation {

// The file name field of the common file dialogs: the edit inside cmb13
// (explorer style), or edt1 (older layouts).
inline constexpr int kFileNameCombo = 0x47c;
inline constexpr int kFileNameEdit = 0x480;
// The text of a message box.
inline constexpr int kMessageBoxText = 0xFFFF;

// One line of UTF-8 on standard output.
inline void Print(const std::wstring& text) {
    const std::string utf8 = platform::WideToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
}

// Polls `found` every 20 ms until it holds or `timeoutMs` passes.
inline bool WaitFor(const std::function<bool()>& found, int timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        if (found())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
}

inline std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The first descendant with control id `id` (and window class `className`, if given).
inline HWND Descendant(HWND parent, int id, const wchar_t* className = nullptr) {
    struct Search {
        int id;
        const wchar_t* className;
        HWND found;
    } search{id, className, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM state) CALLBACK -> BOOL {
            auto* s = reinterpret_cast<Search*>(state);
            if (GetDlgCtrlID(child) != s->id ||
                (s->className != nullptr && lstrcmpiW(ClassOf(child).c_str(), s->className) != 0))
                return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

inline std::wstring Text(HWND window) {
    // WM_GETTEXT is carried across processes; GetWindowText would not ask a
    // control of another process.
    const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

// The visible dialogs (#32770) of the process that owns `main`: message boxes
// and file dialogs.
inline std::vector<HWND> ProgramDialogs(HWND main) {
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(
        [](HWND window, LPARAM state) CALLBACK -> BOOL {
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

inline HWND FileNameField(HWND dialog) {
    if (HWND edit = Descendant(dialog, kFileNameCombo, L"Edit"))
        return edit;
    return Descendant(dialog, kFileNameEdit, L"Edit");
}

// Waits for a file dialog of the program, types `path` and presses OK.
// Returns what went wrong, or nullptr.
inline const char* AnswerFileDialog(HWND main, const std::wstring& path, int timeoutMs) {
    HWND dialog = nullptr;
    HWND field = nullptr;
    if (!WaitFor(
            [&] {
                for (HWND candidate : ProgramDialogs(main))
                    if ((field = FileNameField(candidate)) != nullptr)
                        return (dialog = candidate) != nullptr;
                return false;
            },
            timeoutMs))
        return "no file dialog";
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    if (!WaitFor([&] { return !IsWindow(dialog); }, timeoutMs))
        return "the file dialog stays open";
    return nullptr;
}

// Waits for a message box of the program, prints its caption and text and
// presses `button` (IDOK, IDYES, IDNO). False when none came.
inline bool AnswerMessageBox(HWND main, int button, int timeoutMs) {
    HWND box = nullptr;
    if (!WaitFor(
            [&] {
                for (HWND candidate : ProgramDialogs(main))
                    if (FileNameField(candidate) == nullptr)
                        return (box = candidate) != nullptr;
                return false;
            },
            timeoutMs))
        return false;
    Print(Text(box));
    const HWND text = Descendant(box, kMessageBoxText);
    Print(text != nullptr ? Text(text) : L"");
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return true;
}

// Memory inside the program's process, for list-view messages whose
// arguments are pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, std::size_t size) {
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
    HANDLE process_ = nullptr;
    char* memory_ = nullptr;
};

inline constexpr int kCellChars = 256;

// A buffer big enough for Cell().
inline RemoteBuffer CellBuffer(HWND listView) {
    return RemoteBuffer(listView, sizeof(LVITEMW) + kCellChars * sizeof(wchar_t));
}

inline std::wstring Cell(HWND listView, RemoteBuffer& remote, int row, int column) {
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

inline int RowCount(HWND listView) {
    return static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
}

// Exit statuses of an automation program: 1 timed out or not found, 2 a bad
// command line (its usage is the comment at the top of its source).
inline int Fail(const char* program, const char* why) {
    std::fprintf(stderr, "%s: %s\n", program, why);
    return 1;
}

inline int Usage(const char* program) {
    std::fprintf(stderr, "usage: see the comment at the top of %s.cpp\n", program);
    return 2;
}

// The commands every automation program knows of the window it drives:
// "window-rect" prints its outer rectangle (left top width height), "close"
// does what its close box does. -1 for any other command.
inline int WindowCommand(HWND main, const std::wstring& command) {
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
    return -1;
}

// An automation program's entry: `run` on the arguments, with output lines
// ending in \n as the tests read them.
inline int AutomationMain(int argc, wchar_t* argv[],
                          int (*run)(const std::vector<std::wstring>& args)) {
    _setmode(_fileno(stdout), _O_BINARY);
    const int status = run(std::vector<std::wstring>(argv + 1, argv + argc));
    std::fflush(stdout);
    return status;
}

} // namespace automation
