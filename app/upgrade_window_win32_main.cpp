// Program entry of CollectorUpgrade.exe: the Win32 main window with the real
// sockets, boxes, open-file dialog, clock and local-address lookup, run until
// the window closes. No argument is read.

#include "gui/win32/frmmain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    gui::WindowSeams seams;
    seams.ports = core::ToolPorts{};
    win32win::TFrmmain frmmain(std::move(seams));
    frmmain.Show(showCommand);
    return win32ui::RunMessageLoop(frmmain);
}
