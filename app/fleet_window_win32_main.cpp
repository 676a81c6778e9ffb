// Program entry of CollectorFleetWindow.exe: the fleet window over
// collector-fleet's engine, its settings and last report in this computer's
// application data folder (%LOCALAPPDATA%). No argument is read. A crash
// leaves a report and says where.

#include "gui/fleet/win32/fleet_window_win32.h"

#include "platform/app_data_folder.h"
#include "platform/crash_report.h"
#include "platform/socket_library.h"

#include <objbase.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    platform::InstallCrashHandlers(platform::CrashNotice::Dialog);
    // The adapters' list and the engine's sockets need the socket library.
    platform::EnsureSocketLibrary();
    // COM on this thread, for the names screen readers read (and the file dialogs).
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    fleetui::FleetShellSeams seams;
    seams.settingsFolder = platform::LocalAppDataFolder("CollectorFleet");
    if (seams.settingsFolder.empty())
        seams.settingsFolder = ".\\CollectorFleet";
    int status = 0;
    {
        fleetui::win32::FleetWindow window(std::move(seams));
        window.Show(showCommand);
        status = win32_support::RunMessageLoop(window);
    }
    return status;
}
