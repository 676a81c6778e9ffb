// Program entry: the main window with the real sockets, dialogs, clock and
// local-address lookup, run until the window closes. No argument is read.

#include "gui/qt/frmmain.h"
#include "platform/sleeper.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);

    platform::RealSleeper sleeper;
    WindowSeams seams;
    seams.ports = core::ToolPorts{8000, 8000, 23, 23};
    seams.sleeper = &sleeper;
    // Notices, the open-file dialog and the local address: the window's own.

    TFrmmain frmmain(std::move(seams));
    frmmain.show();
    return application.exec();
}
