#include "platform/terminal.h"

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <stdio.h>

bool StandardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

bool StandardErrorTakesEscapes() {
    if (_isatty(_fileno(stderr)) == 0)
        return false;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode))
        return false;
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

#else
#include <unistd.h>

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

bool StandardErrorTakesEscapes() {
    return isatty(STDERR_FILENO) != 0;
}

#endif
