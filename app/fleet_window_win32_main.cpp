// Program entry of CollectorFleetWindow.exe: the fleet window over
// collector-fleet's engine, its settings and last report in the operator's
// application data folder. No argument is read. A crash leaves a report and
// says where.

#include "gui/win32_fleet/fleet_window_win32.h"

#include "platform/crash_report.h"
#include "platform/socket_library.h"
#include "platform/wide_text.h"

#include <objbase.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    platform::InstallCrashHandlers(platform::CrashNotice::Dialog);
    // The adapters' list and the engine's sockets need the socket library.
    platform::EnsureSocketLibrary();
    // COM on this thread, for the names screen readers read (and the file dialogs).
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wchar_t folder[32768] = L"";
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", folder, 32768);
    fleetwin::FleetShellSeams seams;
    seams.settingsFolder =
        (length > 0 && length < 32768 ? platform::WideToUtf8(folder) : std::string(".")) +
        "\\CollectorFleet";
    int status = 0;
    {
        fleetwin32::FleetWindow window(std::move(seams));
        window.Show(showCommand);
        status = win32ui::RunMessageLoop(window);
    }
    return status;
}
