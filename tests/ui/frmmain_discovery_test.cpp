// The search button and the replies, through the window's real channels on
// loopback. The window's own address is 127.0.0.1, so the sweep goes to
// 127.0.0.1..127.0.0.254, a test port that a socket here listens on.

#include "window_fixture.h"

#include "platform/gbk.h"
#include "platform/udp_socket.h"

#include "destination_listener.h"

#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using core::Discovery;
using core::Mode;
using core::ToolPorts;

using platform::UdpSocket;
using platform::Utf8ToGbk;

namespace {

// A collector answering from its own loopback address.
bool ReplyFrom(const char* address, std::uint16_t toPort, const std::string& bytes) {
    UdpSocket socket;
    return socket.Create() && socket.BindAddress(address, 0) &&
           socket.SendTo(bytes, "127.0.0.1", toPort);
}

std::string Frame(const std::string& text) {
    return "\x1B" + text + "\x05";
}

TEST(Discovery, SearchButtonSweepsTheLoopbackSubnetInOrder) {
    DestinationListener sink;
    ToolPorts ports = FreeTestPorts();
    ports.searchDestination = sink.Port();
    TestWindow w(ports);
    ASSERT_TRUE(w.ShowAndStart());
    ListDevices(w->Tool(), {{"old", "127.0.0.99", "S1"}});

    w.Control<QPushButton>("btnsearch")->click();
    EXPECT_EQ(w->Tool().DeviceDiscovery().Devices().Count(), 0);
    EXPECT_TRUE(w->Tool().Mode().Is(Mode::SS));

    sink.WaitFor(254);
    const auto probes = sink.Settle(); // and nothing more
    ASSERT_EQ(probes.size(), 254u);
    for (std::size_t i = 0; i < probes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(probes[i].bytes, std::string("\xFF\x04\x03\xFB", 4));
        EXPECT_EQ(probes[i].destination, "127.0.0." + std::to_string(i + 1));
    }
    EXPECT_TRUE(w.notices.ErrorBoxTexts().empty());
}

TEST(Discovery, RepliesFillTheListWithDecodedTextAndKeepTheBytes) {
    DestinationListener sink;
    ToolPorts ports = FreeTestPorts();
    ports.searchDestination = sink.Port();
    TestWindow w(ports);
    ASSERT_TRUE(w.ShowAndStart());
    w.Control<QPushButton>("btnsearch")->click();
    sink.WaitFor(254);

    const std::uint16_t searchPort = w->Tool().SearchChannel().LocalPort();
    const std::string versionGbk = Utf8ToGbk("S升级");
    ASSERT_TRUE(ReplyFrom("127.0.0.2", searchPort, Frame("123456#" + versionGbk)));
    // Two frames in one datagram: a new row, then its serial updated untrimmed.
    ASSERT_TRUE(ReplyFrom("127.0.0.3", searchPort, Frame(" A1 #S9") + Frame(" B2 #S8")));
    // The window's own address is not listed.
    ASSERT_TRUE(ReplyFrom("127.0.0.1", searchPort, Frame("SELF#S1")));

    auto* list = w.Control<QTreeWidget>("lv1");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return list->topLevelItemCount() == 2 && list->topLevelItem(1)->text(0) == " B2 "; },
        2000));
    QTest::qWait(50); // let the third datagram be handled too
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("123456"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("S升级"));
    EXPECT_EQ(w->Tool().DeviceDiscovery().Devices().Row(0)->version, versionGbk);
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(list->topLevelItem(1)->text(2), QStringLiteral("S9"));
    EXPECT_TRUE(w.notices.ErrorBoxTexts().empty());
}

} // namespace
