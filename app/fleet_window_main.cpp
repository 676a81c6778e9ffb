// The fleet window's program: the window over collector-fleet's engine, its
// settings and last report in the operator's settings folder.

#include "gui/fleet/qt/fleet_window.h"

#include <QApplication>
#include <QIcon>
#include <QStandardPaths>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CollectorFleet"));
    QApplication::setDesktopFileName(QStringLiteral("net.fieldcollector.CollectorFleet"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/fleet/collector-fleet.png")));
    fleetui::FleetShellSeams seams;
    seams.settingsFolder =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toUtf8().toStdString();
    fleetui::qt::FleetWindow window(std::move(seams));
    window.show();
    return application.exec();
}
