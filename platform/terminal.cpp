#include "platform/terminal.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdlib>
#else
#include <unistd.h>
#endif

namespace platform {

#ifdef _WIN32

namespace {

// A console answers GetConsoleMode; a file, a pipe and the NUL device do not
// (the C runtime's _isatty takes NUL for a terminal).
bool IsConsole(DWORD which, DWORD* mode) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, mode);
}

UINT originalOutputCodePage = 0;

void RestoreOutputCodePage() {
    SetConsoleOutputCP(originalOutputCodePage);
}

} // namespace

bool StandardInputIsTerminal() {
    DWORD mode = 0;
    return IsConsole(STD_INPUT_HANDLE, &mode);
}

bool StandardErrorTakesEscapes() {
    DWORD mode = 0;
    if (!IsConsole(STD_ERROR_HANDLE, &mode))
        return false;
    // Consoles before Windows 10 refuse escape processing: plain lines then.
    return SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE),
                          mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void ShowUtf8OnConsole() {
    const UINT current = GetConsoleOutputCP();
    if (current == 0 || current == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8))
        return;
    originalOutputCodePage = current;
    std::atexit(RestoreOutputCodePage);
}

bool AloneOnItsConsole() {
    // Counts the processes attached to this console, this one included; 0
    // without a console.
    DWORD processes[2] = {};
    return GetConsoleProcessList(processes, 2) == 1;
}

void WaitForKeyPress() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!IsConsole(STD_INPUT_HANDLE, &mode))
        return;
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record{};
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1)
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
            return;
}

#else

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

bool StandardErrorTakesEscapes() {
    return isatty(STDERR_FILENO) != 0;
}

void ShowUtf8OnConsole() {} // terminals here take UTF-8 as it is

bool AloneOnItsConsole() {
    return false; // a terminal here stays open after the program ends
}

void WaitForKeyPress() {}

#endif

} // namespace platform
