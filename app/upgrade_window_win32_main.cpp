// Program entry of CollectorUpgrade.exe: the Win32 main window with the real
// sockets, boxes, open-file dialog, clock and local-address lookup, run until
// the window closes. No argument is read. A crash leaves a report and says
// where.

#include "gui/upgrade/win32/frmmain.h"
#include "platform/crash_report.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    platform::InstallCrashHandlers(platform::CrashNotice::Dialog);
    upgradeui::WindowSeams seams;
    seams.ports = core::ToolPorts{};
    upgradeui::win32::TFrmmain frmmain(std::move(seams));
    frmmain.Show(showCommand);
    return win32_support::RunMessageLoop(frmmain);
}
