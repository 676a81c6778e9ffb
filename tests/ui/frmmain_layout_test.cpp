// The window's controls as laid out at start, their behaviour flags, the tab
// order, and the docking rules when the window is resized.

#include "window_fixture.h"

#include "gui/upgrade/shell/window_geometry.h"

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

#include <map>

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToQRect(const upgradeui::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

// The Qt class that renders each kind of control.
const char* QtClassOf(upgradeui::ControlKind kind) {
    using enum upgradeui::ControlKind;
    static const std::map<upgradeui::ControlKind, const char*> classes = {
        {Panel, "QFrame"},        {ListView, "QTreeWidget"}, {GroupBox, "QGroupBox"},
        {Label, "QLabel"},        {SizedLabel, "QLabel"},    {LineEdit, "QLineEdit"},
        {RichEdit, "QTextEdit"},  {Button, "QPushButton"},   {ProgressBar, "QProgressBar"},
        {StatusBar, "QStatusBar"}};
    return classes.at(kind);
}

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

TEST(WindowLayout, EveryControlIsAsDescribed) {
    TestWindow w;
    EXPECT_EQ(w->windowTitle(), FromUtf8(upgradeui::kWindowCaption));
    EXPECT_EQ(w->size(), QSize(upgradeui::kClientWidth, upgradeui::kClientHeight));
    EXPECT_FALSE(w->windowIcon().isNull());
    // Centred on the desktop at its outer size.
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w->pos(),
              desktop.topLeft() + QPoint((desktop.width() - upgradeui::kOuterWidth) / 2,
                                         (desktop.height() - upgradeui::kOuterHeight) / 2));
    EXPECT_EQ(w->font().family(), FromUtf8(upgradeui::kFontFaceChinese));
    EXPECT_EQ(w->font().pixelSize(), upgradeui::kWindowFontPixels);

    // ProgressBar1 as placed before the status bar first draws its panel.
    for (const upgradeui::ControlDescription& expected : upgradeui::MainWindowControls()) {
        SCOPED_TRACE(std::string(expected.name));
        QWidget* control = w.Control(std::string(expected.name).c_str());
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(QtClassOf(expected.kind)));
        ASSERT_NE(control->parentWidget(), nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), FromUtf8(upgradeui::ParentName(expected)));
        EXPECT_EQ(control->geometry(), ToQRect(expected.bounds));
        EXPECT_EQ(Caption(control), FromUtf8(expected.caption));
        EXPECT_EQ(control->font().pixelSize(), expected.fontPixels);
        EXPECT_EQ(control->isEnabled(), !expected.Has(upgradeui::kDisabled));
        EXPECT_TRUE(control->toolTip().isEmpty());
    }
}

TEST(WindowLayout, ControlsBehaveAsTheToolNeeds) {
    TestWindow w;
    auto* list = w.Control<QTreeWidget>("lv1");
    ASSERT_NE(list, nullptr);
    const auto columns = upgradeui::DeviceListColumns();
    ASSERT_EQ(list->columnCount(), static_cast<int>(columns.size()));
    for (int c = 0; c < list->columnCount(); ++c) {
        EXPECT_EQ(list->headerItem()->text(c),
                  FromUtf8(columns[static_cast<std::size_t>(c)].caption));
        EXPECT_EQ(list->columnWidth(c), columns[static_cast<std::size_t>(c)].width);
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

    EXPECT_TRUE(w.Control<QLineEdit>("edtHostPort")->isReadOnly());

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

TEST(WindowLayout, TabOrderIsTheDescribedChain) {
    TestWindow w;
    QStringList focusable;
    for (const upgradeui::ControlDescription* control : upgradeui::TabChain())
        focusable << FromUtf8(control->name);
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
    focusable.removeAll(QStringLiteral("edtHostPort"));
    ASSERT_TRUE(w.ShowAndStart());
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    start->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == start; }, 1000));
    focusable.push_back(focusable.takeFirst()); // from the list round to the list
    for (const QString& expected : focusable) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), expected);
    }
}

TEST(WindowLayout, ResizingDocksListAndStatusBarAndLeavesTheRestInPlace) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    for (const QSize client :
         {QSize(607, 401), QSize(900, 401), QSize(700, 520), QSize(640, 300)}) {
        SCOPED_TRACE(testing::Message() << client.width() << "x" << client.height());
        w->resize(client);
        QApplication::processEvents();
        const upgradeui::DockedLayout docked =
            upgradeui::LayOutDocked(client.width(), client.height());
        auto* stat1 = w.Control<QStatusBar>("stat1");
        auto* progress = w.Control<QProgressBar>("ProgressBar1");
        EXPECT_EQ(stat1->geometry(), ToQRect(docked.stat1));
        EXPECT_EQ(w.Control("pnl1")->geometry(), ToQRect(docked.pnl1));
        EXPECT_EQ(w.Control("lv1")->geometry(), ToQRect(docked.lv1));
        EXPECT_EQ(progress->parentWidget(), stat1);
        EXPECT_TRUE(progress->isVisible());
        EXPECT_EQ(progress->geometry(), ToQRect(upgradeui::ProgressInPanel(
                                            {0, 0, docked.stat1.width, docked.stat1.height})));
        for (const char* fixed : {"btnUPG", "grp1", "lbl6"})
            EXPECT_EQ(w.Control(fixed)->geometry(), ToQRect(upgradeui::Describe(fixed).bounds));
    }
}

TEST(WindowLayout, DrawPanelPlacesTheProgressBarAsDescribed) {
    TestWindow w;
    auto* progress = w.Control<QProgressBar>("ProgressBar1");
    for (const QRect panel : {QRect(0, 0, 607, 19), QRect(2, 3, 100, 15)}) {
        w->stat1DrawPanel(panel);
        EXPECT_EQ(progress->parentWidget(), w.Control("stat1"));
        EXPECT_EQ(progress->geometry(),
                  ToQRect(upgradeui::ProgressInPanel(
                      {panel.x(), panel.y(), panel.width(), panel.height()})));
    }
}

} // namespace
