// The window's side of the core's ports: the view shows the collectors' bytes
// decoded and fills the fields, and the workers' display changes land on the
// UI thread in order and within range.

#include "window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <thread>

using core::DeviceEntry;
using core::WorkerDisplay;
using upgradeui::qt::WidgetToolView;

namespace {

TEST(WindowView, RowsShowTheCollectorsBytesDecoded) {
    const std::pair<DeviceEntry, QStringList> cases[] = {
        {{"123456", "192.168.1.50", "S2.01"}, {"123456", "192.168.1.50", "S2.01"}},
        {{"\xB2\xE2\xCA\xD4", "10.0.0.7", "S\xC9\xFD\xBC\xB6"},
         {QStringLiteral("测试"), "10.0.0.7", QStringLiteral("S升级")}},
        {{"123456", "10.0.0.8", ""}, {"123456", "10.0.0.8", ""}},
        {{"   ", "10.0.0.9", "S1"}, {"   ", "10.0.0.9", "S1"}},
        {{std::string("\xFF", 1), "10.0.0.10", "S1"},
         {QStringLiteral("\uFFFD"), "10.0.0.10", "S1"}},
    };
    TestWindow w;
    auto* list = w.Control<QTreeWidget>("lv1");
    for (const auto& [device, shown] : cases)
        w->View().DeviceAdded(device);
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(std::size(cases)));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        SCOPED_TRACE(i);
        const QTreeWidgetItem* item = list->topLevelItem(i);
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(item->text(column), cases[i].second[column]);
        EXPECT_FALSE(item->flags() & Qt::ItemIsEditable);
    }
}

TEST(WindowView, SerialUpdateSelectionClearAndFields) {
    TestWindow w;
    WidgetToolView& view = w->View();
    auto* list = w.Control<QTreeWidget>("lv1");
    view.DeviceAdded({"123456", "192.168.1.50", "S2.01"});
    view.DeviceAdded({"654321", "192.168.1.51", "S2.02"});
    EXPECT_EQ(view.SelectedRow(), std::nullopt);

    view.DeviceSerialChanged(0, " AB789 ");
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral(" AB789 "));
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("S2.01"));

    // A click anywhere on the row selects all of it.
    w->show();
    const QRect versionCell = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(300, versionCell.center().y()));
    EXPECT_EQ(view.SelectedRow(), 1);
    EXPECT_EQ(list->selectedItems().size(), 1);

    view.DevicesCleared();
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(view.SelectedRow(), std::nullopt);

    // The chosen file fills redt2 and edt1; the version field is read as typed.
    view.ImageChosen("/fw/S1.02.bin", "S1.02");
    EXPECT_EQ(w.Control<QTextEdit>("redt2")->toPlainText(), QStringLiteral("/fw/S1.02.bin"));
    auto* version = w.Control<QLineEdit>("edt1");
    EXPECT_EQ(version->text(), QStringLiteral("S1.02"));
    version->setText(QStringLiteral(" S升级 "));
    EXPECT_EQ(view.VersionText(), " S升级 ");
    view.LocalAddressChanged("10.1.2.3");
    EXPECT_EQ(w.Control<QLabel>("lbl3")->text(), QStringLiteral("10.1.2.3"));
}

TEST(WorkerDisplay, CallsFromAWorkerArriveInOrderAndClamped) {
    TestWindow w;
    auto* progress = w.Control<QProgressBar>("ProgressBar1");
    auto* status = w.Control<QLabel>("lbl6");
    QSignalSpy values(progress, &QProgressBar::valueChanged);

    WorkerDisplay& display = w->Display();
    std::thread worker([&] {
        display.SetProgressMaximum(4);
        display.SetStatusText("正在升级");
        for (int i = 0; i < 6; ++i) // two past the end
            display.AdvanceProgress();
        display.SetProgressPosition(-3);
        display.SetStatusText("正在查询升级是否成功");
        display.SetProgressPosition(99);
        display.SetStatusText("升级失败");
    });
    worker.join();
    // Nothing has reached the widgets yet: it all waits for the UI thread.
    EXPECT_EQ(values.count(), 0);
    EXPECT_EQ(status->text(), QString());

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return status->text() == QStringLiteral("升级失败"); }, 2000));
    QList<int> seen;
    for (const QList<QVariant>& call : values)
        seen << call.first().toInt();
    EXPECT_EQ(seen, (QList<int>{0, 1, 2, 3, 4, 0, 4}));
    EXPECT_EQ(progress->maximum(), 4);
    EXPECT_EQ(progress->value(), 4);
}

TEST(WorkerDisplay, AnEmptyRangeShowsAnEmptyBarNotABusyOne) {
    TestWindow w;
    auto* progress = w.Control<QProgressBar>("ProgressBar1");
    w->Display().SetProgressMaximum(0);
    w->Display().AdvanceProgress();
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->value() == 0; }, 2000));
    QApplication::processEvents();
    EXPECT_GT(progress->maximum(), progress->minimum());
    EXPECT_EQ(progress->value(), 0);
}

} // namespace
