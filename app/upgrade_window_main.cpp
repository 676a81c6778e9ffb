// Program entry: the main window with the real sockets, dialogs, clock and
// local-address lookup, run until the window closes. No argument is read.

#include "gui/upgrade/qt/frmmain.h"
#include "platform/local_address.h"
#include "platform/sleeper.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);

    platform::RealSleeper sleeper;
    upgradeui::WindowSeams seams;
    seams.ports = core::ToolPorts{};
    seams.sleeper = &sleeper;
    seams.lookupLocalAddress = platform::LookupLocalIPv4;
    // Notices and the open-file dialog: the window's own, over the window.

    upgradeui::qt::TFrmmain frmmain(std::move(seams));
    frmmain.show();
    return application.exec();
}
