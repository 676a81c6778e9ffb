// The window's controls as laid out at start, their behaviour flags, the tab
// order, and the docking rules when the window is resized.

#include "window_fixture.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

struct ExpectedControl {
    const char* name;
    const char* className;
    const char* parent;
    QRect geometry;
    QString text; // only checked where the control has a caption
};

QString Caption(QObject* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QPushButton*>(control))
        return button->text();
    if (auto* line = qobject_cast<QLineEdit*>(control))
        return line->text();
    if (auto* rich = qobject_cast<QTextEdit*>(control))
        return rich->toPlainText();
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return group->title();
    return QString();
}

TEST(WindowLayout, EveryControlHasItsNameKindParentPlaceAndText) {
    TestWindow w;
    EXPECT_EQ(w->windowTitle(), QStringLiteral("采集器程序升级工具"));
    EXPECT_EQ(w->size(), QSize(607, 401));
    EXPECT_FALSE(w->windowIcon().isNull());
    // Centred on the desktop at its outer size of 623 x 440.
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w->pos(), desktop.topLeft() +
                            QPoint((desktop.width() - 623) / 2, (desktop.height() - 440) / 2));
    EXPECT_EQ(w->font().family(), QStringLiteral("宋体"));
    EXPECT_EQ(w->font().pixelSize(), 13);

    const std::vector<ExpectedControl> table = {
        {"pnl1", "QFrame", "Frmmain", {0, 0, 398, 382}, {}},
        {"lv1", "QTreeWidget", "pnl1", {0, 0, 398, 382}, {}},
        {"grp1", "QGroupBox", "Frmmain", {400, -1, 201, 98}, {}},
        {"lbl1", "QLabel", "grp1", {10, 16, 73, 13}, QStringLiteral("本地端口号")},
        {"lbl2", "QLabel", "grp1", {10, 39, 65, 17}, QStringLiteral("本地ip地址")},
        {"lbl3", "QLabel", "grp1", {84, 39, 28, 13}, QStringLiteral("lbl3")},
        {"edtHostPort", "QLineEdit", "grp1", {85, 11, 49, 21}, QStringLiteral("8000")},
        {"btnsearch", "QPushButton", "grp1", {58, 65, 79, 22}, QStringLiteral("搜寻设备")},
        {"lbl7", "QLabel", "Frmmain", {398, 105, 117, 13}, QStringLiteral("升级程序文件选择：")},
        {"btn1", "QPushButton", "Frmmain", {549, 99, 44, 22}, QStringLiteral("浏览")},
        {"redt2", "QTextEdit", "Frmmain", {399, 128, 202, 61}, QString()},
        {"lbl4", "QLabel", "Frmmain", {400, 198, 117, 13}, QStringLiteral("待升级程序版本号：")},
        {"edt1", "QLineEdit", "Frmmain", {400, 220, 200, 21}, QString()},
        {"lbl6", "QLabel", "Frmmain", {408, 254, 185, 13}, QString()},
        {"btnUPG", "QPushButton", "Frmmain", {472, 352, 75, 25}, QStringLiteral("升级程序")},
        // Before the status bar first draws its panel.
        {"ProgressBar1", "QProgressBar", "Frmmain", {264, 184, 89, 17}, {}},
        {"stat1", "QStatusBar", "Frmmain", {0, 382, 607, 19}, {}},
    };
    for (const ExpectedControl& expected : table) {
        SCOPED_TRACE(expected.name);
        QWidget* control = w.Control(expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(expected.className));
        ASSERT_NE(control->parentWidget(), nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(expected.parent));
        EXPECT_EQ(control->geometry(), expected.geometry);
        EXPECT_EQ(Caption(control), expected.text);
        EXPECT_TRUE(control->toolTip().isEmpty());
        if (QByteArray(expected.name) == "btn1")
            EXPECT_EQ(control->font().pixelSize(), 16);
        else
            EXPECT_EQ(control->font().pixelSize(), 13);
    }
}

TEST(WindowLayout, ControlsBehaveAsTheToolNeeds) {
    TestWindow w;
    auto* list = w.Control<QTreeWidget>("lv1");
    ASSERT_NE(list, nullptr);
    const std::vector<std::pair<QString, int>> columns = {{QStringLiteral("序列号"), 130},
                                                          {QStringLiteral("IP"), 105},
                                                          {QStringLiteral("版本号"), 140}};
    ASSERT_EQ(list->columnCount(), 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(list->headerItem()->text(c), columns[c].first);
        EXPECT_EQ(list->columnWidth(c), columns[c].second);
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_FALSE(list->isSortingEnabled());
    // The selection stays visible when the list loses the focus.
    const QPalette palette = list->palette();
    EXPECT_EQ(palette.color(QPalette::Inactive, QPalette::Highlight),
              palette.color(QPalette::Active, QPalette::Highlight));

    auto* port = w.Control<QLineEdit>("edtHostPort");
    EXPECT_FALSE(port->isEnabled());
    EXPECT_TRUE(port->isReadOnly());

    auto* path = w.Control<QTextEdit>("redt2");
    EXPECT_TRUE(path->isReadOnly());
    EXPECT_EQ(path->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    EXPECT_FALSE(w.Control<QLineEdit>("edt1")->isReadOnly());
    EXPECT_TRUE(w.Control<QLabel>("lbl6")->alignment() & Qt::AlignHCenter);

    auto* progress = w.Control<QProgressBar>("ProgressBar1");
    EXPECT_FALSE(progress->isTextVisible());
    EXPECT_LT(progress->value(), progress->minimum() + 1); // no chunk drawn
    EXPECT_GT(progress->maximum(), progress->minimum());   // not a busy indicator
}

TEST(WindowLayout, TabOrderFollowsTheControlsNumbering) {
    TestWindow w;
    const QStringList focusable = {"lv1",  "btnsearch", "edtHostPort", "btnUPG",
                                   "btn1", "edt1",      "redt2"};
    QStringList chain;
    QWidget* start = w.Control("lv1");
    QWidget* at = start;
    for (int step = 0; step < 200 && chain.size() < focusable.size(); ++step) {
        if (focusable.contains(at->objectName()) && !chain.contains(at->objectName()))
            chain << at->objectName();
        at = at->nextInFocusChain();
    }
    EXPECT_EQ(chain, focusable);

    // With the keyboard, the disabled port field is skipped.
    ASSERT_TRUE(w.ShowAndStart());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    start->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == start; }, 1000));
    const QStringList byTab = {"btnsearch", "btnUPG", "btn1", "edt1", "redt2", "lv1"};
    for (const QString& expected : byTab) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), expected);
    }
}

struct ResizeCase {
    QSize client;
    QRect statusBar;
    QRect progress;
    QRect panel;
};

TEST(WindowLayout, ResizingKeepsThePanelWidthAndTheStatusBarAtTheBottom) {
    const std::vector<ResizeCase> cases = {
        {{607, 401}, {0, 382, 607, 19}, {0, 0, 597, 19}, {0, 0, 398, 382}},
        {{900, 401}, {0, 382, 900, 19}, {0, 0, 890, 19}, {0, 0, 398, 382}},
        {{700, 520}, {0, 501, 700, 19}, {0, 0, 690, 19}, {0, 0, 398, 501}},
        {{640, 300}, {0, 281, 640, 19}, {0, 0, 630, 19}, {0, 0, 398, 281}},
    };
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    for (const ResizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.client.width() << "x" << c.client.height());
        w->resize(c.client);
        QApplication::processEvents();
        auto* stat1 = w.Control<QStatusBar>("stat1");
        auto* progress = w.Control<QProgressBar>("ProgressBar1");
        EXPECT_EQ(stat1->geometry(), c.statusBar);
        EXPECT_EQ(progress->parentWidget(), stat1);
        EXPECT_TRUE(progress->isVisible());
        EXPECT_EQ(progress->geometry(), c.progress);
        EXPECT_EQ(w.Control("pnl1")->geometry(), c.panel);
        EXPECT_EQ(w.Control("lv1")->geometry(), QRect(QPoint(0, 0), c.panel.size()));
        // Everything else stays where it was.
        EXPECT_EQ(w.Control("btnUPG")->geometry(), QRect(472, 352, 75, 25));
        EXPECT_EQ(w.Control("grp1")->geometry(), QRect(400, -1, 201, 98));
        EXPECT_EQ(w.Control("lbl6")->geometry(), QRect(408, 254, 185, 13));
    }
}

TEST(WindowLayout, DrawPanelPlacesTheProgressBarTenPixelsShortOfThePanelEdge) {
    const std::vector<std::pair<QRect, QRect>> cases = {
        {{0, 0, 607, 19}, {0, 0, 597, 19}},
        {{2, 3, 100, 15}, {2, 3, 90, 15}},
        {{5, 1, 30, 18}, {5, 1, 20, 18}},
    };
    TestWindow w;
    auto* progress = w.Control<QProgressBar>("ProgressBar1");
    for (const auto& [panel, expected] : cases) {
        w->stat1DrawPanel(panel);
        EXPECT_EQ(progress->parentWidget(), w.Control("stat1"));
        EXPECT_EQ(progress->geometry(), expected) << panel.x() << "," << panel.y();
    }
}

} // namespace
