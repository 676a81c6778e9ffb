// Start-up on the first activation, the status line it leaves, shut-down, and
// the routing of socket events by type.

#include "window_fixture.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QTreeWidget>
#include <gtest/gtest.h>

using core::StatusLine;
using core::ToolPorts;

using platform::UdpSocket;

namespace {

QString StatusLine(TestWindow& w) {
    return w.Control<QLabel>("lbl6")->text();
}

enum class Held { None, UpgradePort, SearchPort, Both };

struct StatusCase {
    const char* name;
    Held held;
    QString status;
};

TEST(WindowStartup, StatusLineTellsWhetherBothChannelsOpened) {
    const std::vector<StatusCase> cases = {
        {"both free", Held::None, QStringLiteral("等待升级")},
        {"upgrade port held", Held::UpgradePort, QStringLiteral("端口创建套接字失败!!")},
        {"search port held", Held::SearchPort, QStringLiteral("端口创建套接字失败!!")},
        {"both held", Held::Both, QStringLiteral("端口创建套接字失败!!")},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Another program's sockets on the ports the window is given.
        UdpSocket upgradeHolder, searchHolder;
        ASSERT_TRUE(upgradeHolder.Create() && upgradeHolder.Bind(0));
        ASSERT_TRUE(searchHolder.Create() && searchHolder.Bind(0));
        ToolPorts ports = FreeTestPorts();
        if (c.held == Held::UpgradePort || c.held == Held::Both)
            ports.upgradeLocal = upgradeHolder.LocalPort();
        if (c.held == Held::SearchPort || c.held == Held::Both)
            ports.searchLocal = searchHolder.LocalPort();

        TestWindow w(ports);
        ASSERT_TRUE(w.ShowAndStart());
        EXPECT_EQ(StatusLine(w), c.status);
        EXPECT_EQ(w->Tool().UpgradeChannel().Socket().IsOpen(),
                  c.held == Held::None || c.held == Held::SearchPort);
        EXPECT_EQ(w->Tool().SearchChannel().Socket().IsOpen(),
                  c.held == Held::None || c.held == Held::UpgradePort);
        // The window opens all the same, with an empty list.
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w.Control<QTreeWidget>("lv1")->topLevelItemCount(), 0);
        EXPECT_TRUE(w.notices.ErrorBoxTexts().empty());
    }
}

TEST(WindowStartup, ShowFillsTheLocalAddressAndStartUpWaitsForTheWindow) {
    TestWindow w;
    w.localAddress = "127.0.0.1";
    // Nothing happens before the window is shown.
    QApplication::processEvents();
    EXPECT_EQ(w.lookups, 0);
    EXPECT_FALSE(w->Tool().WorkersRunning());
    EXPECT_FALSE(w->Tool().UpgradeChannel().Socket().IsOpen());

    ASSERT_TRUE(w.ShowAndStart());
    EXPECT_EQ(w.lookups, 1);
    EXPECT_EQ(w.Control<QLabel>("lbl3")->text(), QStringLiteral("127.0.0.1"));
    EXPECT_GT(w.Control<QLabel>("lbl3")->width(), 28); // sized to its new text
    EXPECT_TRUE(w->Tool().UpgradeChannel().Socket().IsOpen());
    EXPECT_TRUE(w->Tool().SearchChannel().Socket().IsOpen());
}

TEST(WindowStartup, FailedAddressLookupKeepsTheLabelsInitialText) {
    TestWindow w;
    w.localAddress.reset();
    ASSERT_TRUE(w.ShowAndStart());
    EXPECT_EQ(w.Control<QLabel>("lbl3")->text(), QStringLiteral("lbl3"));
    EXPECT_TRUE(w.notices.ErrorBoxTexts().empty());
}

TEST(WindowStartup, StartUpRunsOnceWhateverActivatesTheWindowLater) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    const auto upgradeHandle = w->Tool().UpgradeChannel().Socket().NativeHandle();
    const auto searchHandle = w->Tool().SearchChannel().Socket().NativeHandle();
    // Mark the status line: a second start-up would write it again.
    w->View().StatusChanged("");

    // Back from a notice, another application, the minimised state.
    for (int i = 0; i < 3; ++i) {
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(w.window.get(), &deactivate);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(w.window.get(), &activate);
    }
    w->showMinimized();
    QApplication::processEvents();
    w->showNormal();
    w->hide();
    w->show();
    QTest::qWait(50);

    EXPECT_EQ(StatusLine(w), QString());
    EXPECT_EQ(w.lookups, 1);
    EXPECT_EQ(w->Tool().UpgradeChannel().Socket().NativeHandle(), upgradeHandle);
    EXPECT_EQ(w->Tool().SearchChannel().Socket().NativeHandle(), searchHandle);
}

TEST(WindowStartup, ClosingTheWindowClosesBothChannelsAndIsNeverRefused) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    ASSERT_TRUE(w->Tool().UpgradeChannel().Socket().IsOpen());
    QCloseEvent close;
    QApplication::sendEvent(w.window.get(), &close);
    EXPECT_TRUE(close.isAccepted());
    EXPECT_FALSE(w->Tool().UpgradeChannel().Socket().IsOpen());
    EXPECT_FALSE(w->Tool().SearchChannel().Socket().IsOpen());
    EXPECT_TRUE(w.notices.ErrorBoxTexts().empty());
}

TEST(WindowStartup, DestroyingTheWindowStopsTheWorkers) {
    auto w = std::make_unique<TestWindow>();
    ASSERT_TRUE(w->ShowAndStart());
    // Queued worker calls still in flight must not outlive the window.
    for (int i = 0; i < 50; ++i)
        (*w)->Display().AdvanceProgress();
    (*w)->close();
    w.reset();
    QApplication::processEvents();
    SUCCEED();
}

// A window whose socket handler only counts, to see which events reach it.
class RoutingProbe : public TFrmmain {
public:
    using TFrmmain::TFrmmain;
    int socketMessages = 0;
    int defaultProcessed = 0;

protected:
    void HandleSocketMessage() override { ++socketMessages; }
    // Qt's default processing of a user-range event ends here.
    void customEvent(QEvent*) override { ++defaultProcessed; }
};

TEST(WindowEvents, Types1106To1206GoToTheSocketHandlerAndNothingElse) {
    FakeNotices notices;
    FakeFileDialog dialog;
    upgradeui::WindowSeams seams;
    seams.ports = FreeTestPorts();
    seams.notices = &notices;
    seams.fileDialog = &dialog;
    seams.lookupLocalAddress = [] { return std::optional<std::string>("127.0.0.1"); };
    RoutingProbe probe(seams);

    const std::vector<std::pair<int, bool>> cases = {
        {1105, false}, {1106, true},  {1150, true},
        {1206, true},  {1207, false}, {QEvent::User, false},
    };
    for (const auto& [type, reaches] : cases) {
        SCOPED_TRACE(type);
        const int socketBefore = probe.socketMessages;
        const int defaultBefore = probe.defaultProcessed;
        QEvent event(static_cast<QEvent::Type>(type));
        QApplication::sendEvent(&probe, &event);
        EXPECT_EQ(probe.socketMessages - socketBefore, reaches ? 1 : 0);
        EXPECT_EQ(probe.defaultProcessed - defaultBefore, reaches ? 0 : 1);
    }
}

} // namespace
