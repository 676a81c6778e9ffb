// Draws the main window with a few collectors listed and writes it to the PNG
// named on the command line. Nothing is sent: the window is never started up,
// and the rows are put in through the list's port.

#include "main/frmmain.h"
#include "platform/gbk.h"

#include <QApplication>
#include <QPixmap>
#include <QTreeWidget>

#include <cstdio>

namespace {

class SilentNotices : public Notices {
public:
    void Notice(const std::string&) override {}
    void PlainMessage(const std::string&) override {}
    void ErrorBox(const std::string&) override {}
};

class NoFileDialog : public OpenFileDialog {
public:
    void SetFileName(const std::string&) override {}
    std::string FileName() const override { return {}; }
    bool Execute() override { return false; }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    SilentNotices notices;
    NoFileDialog dialog;
    WindowSeams seams;
    seams.notices = &notices;
    seams.fileDialog = &dialog;
    seams.lookupLocalAddress = [] { return std::optional<std::string>("192.168.1.23"); };
    TFrmmain window(seams);

    window.Fields().SetLocalAddressText("192.168.1.23");
    window.Fields().SetStatusText("正在升级");
    window.Fields().SetImagePath("/home/field/固件/S2.05.bin");
    window.Fields().SetVersionText("S2.05");
    window.Devices().AppendRow({"201903150001", "192.168.1.50", "S2.01"});
    window.Devices().AppendRow({"201903150002", "192.168.1.51", Utf8ToGbk("S2.03测试")});
    window.Devices().AppendRow({"201811020417", "192.168.1.64", "V1.10"});
    window.Devices().AppendRow({Utf8ToGbk("一号楼"), "192.168.1.77", "S2.05"});
    window.Display().SetProgressMaximum(12);
    window.Display().SetProgressPosition(5);
    if (auto* list = window.findChild<QTreeWidget*>(QStringLiteral("lv1")))
        list->setCurrentItem(list->topLevelItem(0));

    // Lay out and draw the status bar's panel without running start-up.
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.stat1DrawPanel(QRect(0, 0, window.width(), 19));
    QApplication::processEvents();
    const QPixmap shot = window.grab();
    return shot.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
