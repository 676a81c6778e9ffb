// The search button and the replies, through the window's real channels on
// loopback. The window's own address is 127.0.0.1, so the sweep goes to
// 127.0.0.1..127.0.0.254, a test port that a socket here listens on.

#include "window_fixture.h"

#include "platform/gbk.h"

#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

// A loopback socket that also learns each datagram's destination address.
class ProbeSink {
public:
    ProbeSink() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        const int buffer = 1 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any);
        socklen_t length = sizeof any;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&any), &length);
        port_ = ntohs(any.sin_port);
    }
    ~ProbeSink() { ::close(fd_); }

    std::uint16_t Port() const { return port_; }

    struct Probe {
        std::string bytes;
        std::string destination;
    };
    // Up to `limit` datagrams, waiting at most `timeoutMs` for each.
    std::vector<Probe> Collect(std::size_t limit, int timeoutMs) {
        std::vector<Probe> got;
        while (got.size() < limit) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, timeoutMs) <= 0)
                break;
            char data[64];
            char control[256];
            iovec io{data, sizeof data};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(fd_, &message, 0);
            if (n < 0)
                break;
            Probe probe{std::string(data, static_cast<std::size_t>(n)), {}};
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info;
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    char text[INET_ADDRSTRLEN] = {};
                    ::inet_ntop(AF_INET, &info.ipi_addr, text, sizeof text);
                    probe.destination = text;
                }
            }
            got.push_back(std::move(probe));
        }
        return got;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A collector answering from its own loopback address.
bool ReplyFrom(const char* address, std::uint16_t toPort, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(toPort);
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    const bool sent = ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
                      ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                               sizeof to) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return sent;
}

std::string Frame(const std::string& text) {
    return "\x1B" + text + "\x05";
}

TEST(Discovery, SearchButtonSweepsTheLoopbackSubnetInOrder) {
    ProbeSink sink;
    ToolPorts ports = FreeTestPorts();
    ports.searchDestination = sink.Port();
    TestWindow w(ports);
    ASSERT_TRUE(w.ShowAndStart());
    w->Devices().AppendRow({"old", "127.0.0.99", "S1"});

    w.Control<QPushButton>("btnsearch")->click();
    EXPECT_EQ(w->Devices().RowCount(), 0);
    EXPECT_TRUE(w->Tool().Mode().Is(Mode::SS));

    const auto probes = sink.Collect(300, 500);
    ASSERT_EQ(probes.size(), 254u);
    for (std::size_t i = 0; i < probes.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(probes[i].bytes, std::string("\xFF\x04\x03\xFB", 4));
        EXPECT_EQ(probes[i].destination, "127.0.0." + std::to_string(i + 1));
    }
    EXPECT_TRUE(w.notices.errorBoxes.empty());
}

TEST(Discovery, RepliesFillTheListWithDecodedTextAndKeepTheBytes) {
    ProbeSink sink;
    ToolPorts ports = FreeTestPorts();
    ports.searchDestination = sink.Port();
    TestWindow w(ports);
    ASSERT_TRUE(w.ShowAndStart());
    w.Control<QPushButton>("btnsearch")->click();
    sink.Collect(254, 500);

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
    EXPECT_EQ(w->Devices().Row(0).version, versionGbk);
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(list->topLevelItem(1)->text(2), QStringLiteral("S9"));
    EXPECT_TRUE(w.notices.errorBoxes.empty());
}

} // namespace
