#include "platform/interrupts.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

std::vector<int> InterruptSignals() {
#ifdef SIGBREAK
    return {SIGINT, SIGTERM, SIGBREAK};
#elif defined(SIGHUP)
    return {SIGINT, SIGTERM, SIGHUP};
#else
    return {SIGINT, SIGTERM};
#endif
}

void IgnoreBrokenPipe() {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

#ifdef _WIN32

namespace {

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE; // Ctrl+C and Ctrl+Break reach the program as signals
    std::raise(SIGTERM);
    // Returning would end the process now; the program's own exit ends it
    // (and this thread) once the report is written.
    Sleep(INFINITE);
    return TRUE;
}

} // namespace

void TreatConsoleCloseAsInterrupt() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

#else

void TreatConsoleCloseAsInterrupt() {}

#endif

} // namespace platform
