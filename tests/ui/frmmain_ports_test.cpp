// The window's side of the core's ports: device rows keep the collectors'
// bytes, and the workers' display changes land on the UI thread in order and
// within range.

#include "window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <thread>

namespace {

struct RowCase {
    const char* name;
    DeviceEntry entry;
    QStringList shown; // serial, IP, version as the list displays them
};

TEST(DeviceRows, ShowDecodedTextAndGiveBackTheExactBytes) {
    const std::vector<RowCase> cases = {
        {"ascii", {"123456", "192.168.1.50", "S2.01"}, {"123456", "192.168.1.50", "S2.01"}},
        {"gbk",
         {"\xB2\xE2\xCA\xD4", "10.0.0.7", "S\xC9\xFD\xBC\xB6"},
         {QStringLiteral("测试"), "10.0.0.7", QStringLiteral("S升级")}},
        {"empty version", {"123456", "10.0.0.8", ""}, {"123456", "10.0.0.8", ""}},
        {"blank serial", {"   ", "10.0.0.9", "S1"}, {"   ", "10.0.0.9", "S1"}},
        {"bytes that are not gbk",
         {std::string("\xFF\x80", 2), "10.0.0.10", std::string("S\x00X", 3)},
         {}},
    };
    TestWindow w;
    DeviceList& rows = w->Devices();
    auto* list = w.Control<QTreeWidget>("lv1");
    for (const RowCase& c : cases)
        rows.AppendRow(c.entry);
    ASSERT_EQ(rows.RowCount(), static_cast<int>(cases.size()));
    for (int i = 0; i < rows.RowCount(); ++i) {
        const RowCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const DeviceEntry back = rows.Row(i);
        EXPECT_EQ(back.serial, c.entry.serial);
        EXPECT_EQ(back.ip, c.entry.ip);
        EXPECT_EQ(back.version, c.entry.version);
        if (!c.shown.isEmpty()) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            EXPECT_EQ(item->text(0), c.shown[0]);
            EXPECT_EQ(item->text(1), c.shown[1]);
            EXPECT_EQ(item->text(2), c.shown[2]);
            EXPECT_FALSE(item->flags() & Qt::ItemIsEditable);
        }
    }
}

TEST(DeviceRows, SerialUpdateSelectionAndClear) {
    TestWindow w;
    DeviceList& rows = w->Devices();
    auto* list = w.Control<QTreeWidget>("lv1");
    rows.AppendRow({"123456", "192.168.1.50", "S2.01"});
    rows.AppendRow({"654321", "192.168.1.51", "S2.02"});
    EXPECT_EQ(rows.SelectedRow(), std::nullopt);

    rows.SetRowSerial(0, " AB789 ");
    EXPECT_EQ(rows.Row(0).serial, " AB789 ");
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral(" AB789 "));
    EXPECT_EQ(rows.Row(0).version, "S2.01");
    EXPECT_EQ(rows.Row(0).ip, "192.168.1.50");

    // A click anywhere on the row selects all of it.
    w->show();
    const QRect versionCell = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(300, versionCell.center().y()));
    EXPECT_EQ(rows.SelectedRow(), 1);
    EXPECT_EQ(list->selectedItems().size(), 1);

    rows.Clear();
    EXPECT_EQ(rows.RowCount(), 0);
    EXPECT_EQ(rows.SelectedRow(), std::nullopt);
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
