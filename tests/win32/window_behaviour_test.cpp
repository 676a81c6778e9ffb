// The Win32 window at work: start-up once, socket messages 1106..1206 and
// nothing else reaching the socket handler, rows shown through the list view,
// workers' changes arriving as posted messages, the error guard, the buttons,
// the end of the session refused during a send pass, and a close that ends
// that pass promptly.

#include "win32_window_fixture.h"

#include "protocol/collector_rules.h"
#include "pubpro/uPubpro.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using protocol::kMaxDatagramBytes;
using core::Mode;
using core::ToolPorts;
using core::WorkerDisplay;

using pubpro::MakeFrame;

using platform::UdpSocket;

namespace {

// Waits (bounded) until a datagram waits on `socket`.
bool WaitReadable(UdpSocket& socket, int timeoutMs = 2000) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (GetTickCount64() < deadline) {
        u_long waiting = 0;
        if (ioctlsocket(static_cast<SOCKET>(socket.NativeHandle()), FIONREAD, &waiting) == 0 &&
            waiting > 0)
            return true;
        Sleep(5);
    }
    return false;
}

TEST(Win32WindowStartUp, ShowFillsTheAddressAndFirstActivationOpensChannelsOnce) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    EXPECT_EQ(TextOf(w.Control(kLbl3)), L"127.0.0.1");
    EXPECT_GE(PlacementInParent(w.Control(kLbl3)).width, 28) << "lbl3 is sized to its text";
    EXPECT_EQ(TextOf(w.Control(kLbl6)), L"等待升级");
    EXPECT_EQ(ListRowCount(w.Control(kLv1)), 0);
    EXPECT_EQ(GetParent(w.Control(kProgressBar1)), w.Control(kStat1));
    EXPECT_EQ(SendMessageW(w.Control(kProgressBar1), PBM_GETPOS, 0, 0), 0);
    const auto upgradeSocket = w->Tool().UpgradeChannel().Socket().NativeHandle();
    const auto searchSocket = w->Tool().SearchChannel().Socket().NativeHandle();
    EXPECT_EQ(w->Tool().UpgradeChannel().LocalPort(), w.ports.upgradeLocal);
    EXPECT_EQ(w->Tool().SearchChannel().LocalPort(), w.ports.searchLocal);

    // Coming back to the window does not start it again.
    SetWindowTextW(w.Control(kLbl6), L"");
    SendMessageW(w.Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageW(w.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    SendMessageW(w.Handle(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
    PumpFor(30);
    EXPECT_EQ(TextOf(w.Control(kLbl6)), L"");
    EXPECT_EQ(w->Tool().UpgradeChannel().Socket().NativeHandle(), upgradeSocket);
    EXPECT_EQ(w->Tool().SearchChannel().Socket().NativeHandle(), searchSocket);
}

TEST(Win32WindowStartUp, PortHeldByAnotherProgramLeavesTheFailureAndTheWindowUsable) {
    UdpSocket holder;
    ASSERT_TRUE(holder.Create() && holder.Bind(0));
    ToolPorts ports = FreeTestPorts();
    ports.searchLocal = holder.LocalPort();
    TestWindow w(ports);
    ASSERT_TRUE(w.ShowAndStart());
    EXPECT_EQ(TextOf(w.Control(kLbl6)), L"端口创建套接字失败!!");
    EXPECT_TRUE(w->Tool().UpgradeChannel().Socket().IsOpen());
    w.Click(kBtnUpg);
    EXPECT_EQ(w.notices.NoticeTexts(), (std::vector<std::string>{"请选择一个采集器进行升级"}));
}

TEST(Win32WindowSockets, Messages1106To1206ReachTheSocketHandlerAndNoOthers) {
    TestWindow w;
    // Under wine every loopback datagram reads as sent from 127.0.0.1, which
    // the window would drop as its own; its own address here is another
    // loopback address.
    w.localAddress = "127.0.0.2";
    ASSERT_TRUE(w.ShowAndStart());
    UdpSocket collector;
    ASSERT_TRUE(collector.Create() && collector.Bind(0));
    w->Tool().Mode().Set(Mode::SS);
    const HWND lv1 = w.Control(kLv1);

    // Sent, not posted, so that only the message under test runs the handler;
    // the readiness message Winsock posts meanwhile waits in the queue.
    const auto sendReply = [&](const std::string& serial) {
        ASSERT_TRUE(
            collector.SendTo("\x1b" + serial + "#S1.00\x05", "127.0.0.1", w.ports.searchLocal));
        ASSERT_TRUE(WaitReadable(w->Tool().SearchChannel().Socket()));
    };
    const LPARAM readEvent = WSAMAKESELECTREPLY(FD_READ, 0);
    sendReply("A1");
    for (UINT outside : {1105u, 1207u, static_cast<UINT>(WM_USER)})
        SendMessageW(w.Handle(), outside, 0, readEvent);
    // Inside the range, only the read event reads.
    for (const int other : {FD_WRITE, FD_CLOSE, FD_CONNECT, 0})
        SendMessageW(w.Handle(), 1106, 0, WSAMAKESELECTREPLY(other, 0));
    EXPECT_EQ(ListRowCount(lv1), 0);
    SendMessageW(w.Handle(), 1206, 0, readEvent);
    ASSERT_EQ(ListRowCount(lv1), 1);
    EXPECT_EQ(ListCell(lv1, 0, 0), L"A1");
    EXPECT_EQ(ListCell(lv1, 0, 1), L"127.0.0.1");
    EXPECT_EQ(ListCell(lv1, 0, 2), L"S1.00");

    sendReply("B2");
    SendMessageW(w.Handle(), 1106, 0, readEvent);
    EXPECT_EQ(ListCell(lv1, 0, 0), L"B2") << "the same address updates its row";

    // Readiness alone, through WSAAsyncSelect, brings every datagram in.
    for (const char* serial : {"C3", "D4", "E5"})
        ASSERT_TRUE(collector.SendTo(std::string("\x1b") + serial + "#S1\x05", "127.0.0.1",
                                     w.ports.searchLocal));
    EXPECT_TRUE(PumpUntil([&] { return ListCell(lv1, 0, 0) == L"E5"; }));

    // Two replies wait; one message reads one of them, and the window asks
    // again for the other with a message of its own (no socket in wParam)
    // that carries the read event.
    for (const char* serial : {"F6", "G7"})
        ASSERT_TRUE(collector.SendTo(std::string("\x1b") + serial + "#S1\x05", "127.0.0.1",
                                     w.ports.searchLocal));
    ASSERT_TRUE(WaitReadable(w->Tool().SearchChannel().Socket()));
    Sleep(50);
    SendMessageW(w.Handle(), core::kSocketNotifyMessage, 0, readEvent);
    int own = 0;
    MSG message;
    while (PeekMessageW(&message, w.Handle(), core::kSocketNotifyMessage, core::kLastSocketMessage,
                        PM_REMOVE)) {
        if (message.wParam == 0) {
            ++own;
            EXPECT_EQ(WSAGETSELECTEVENT(message.lParam), FD_READ);
        }
        DispatchMessageW(&message);
    }
    EXPECT_GE(own, 1);
    EXPECT_TRUE(PumpUntil([&] { return ListCell(lv1, 0, 0) == L"G7"; }));
}

TEST(Win32WindowFocus, TheKeyboardStartsOnTheListAndComesBackWhereItWas) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    EXPECT_EQ(GetFocus(), w.Control(kLv1));

    // Away (Alt+Tab) and back: the window itself is given the focus meanwhile,
    // as the system does; activation puts it back on the field.
    SetFocus(w.Control(kEdt1));
    SendMessageW(w.Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(w.Handle());
    SendMessageW(w.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(GetFocus(), w.Control(kEdt1));
}

TEST(Win32WindowRows, ListShowsTheCoresRowsDecodedAndReportsTheSelection) {
    TestWindow w;
    ControlToolView& view = w->View();
    const HWND lv1 = w.Control(kLv1);
    const std::string serialGbk = "\xB2\xC9\xBC\xAF\xC6\xF7"
                                  "A"; // 采集器A
    view.DeviceAdded({serialGbk, "198.51.100.10", "S1.00"});
    view.DeviceAdded({"SN-2", "198.51.100.11", ""});
    ASSERT_EQ(ListRowCount(lv1), 2);
    EXPECT_EQ(ListCell(lv1, 0, 0), L"采集器A");
    EXPECT_EQ(ListCell(lv1, 0, 1), L"198.51.100.10");
    EXPECT_EQ(ListCell(lv1, 0, 2), L"S1.00");
    EXPECT_EQ(ListCell(lv1, 1, 2), L"");

    view.DeviceSerialChanged(1, "  SN-2b ");
    EXPECT_EQ(ListCell(lv1, 1, 0), L"  SN-2b ");
    EXPECT_EQ(ListCell(lv1, 0, 0), L"采集器A");

    EXPECT_FALSE(view.SelectedRow().has_value());
    SelectListRow(lv1, 1);
    EXPECT_EQ(view.SelectedRow(), 1);
    SelectListRow(lv1, 0);
    EXPECT_EQ(view.SelectedRow(), 0) << "one row at a time";

    view.DevicesCleared();
    EXPECT_EQ(ListRowCount(lv1), 0);
    EXPECT_FALSE(view.SelectedRow().has_value());
}

TEST(Win32WindowRows, FieldsShowWhatTheCoreTellsAndGiveBackTheTypedVersion) {
    TestWindow w;
    ControlToolView& view = w->View();
    view.ImageChosen("C:\\固件\\S升级.bin", "S升级");
    EXPECT_EQ(TextOf(w.Control(kRedt2)), L"C:\\固件\\S升级.bin");
    EXPECT_EQ(TextOf(w.Control(kEdt1)), L"S升级");
    SetWindowTextW(w.Control(kEdt1), L" S2.0 版 ");
    EXPECT_EQ(view.VersionText(), " S2.0 版 ");
    view.StatusChanged("正在请求升级");
    EXPECT_EQ(TextOf(w.Control(kLbl6)), L"正在请求升级");
}

TEST(Win32WindowWorkers, ChangesFromAWorkerThreadLandInOrderOnTheWindowsThread) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    const HWND progress = w.Control(kProgressBar1);
    std::thread worker([&] {
        WorkerDisplay& display = w->Display();
        display.SetStatusText("正在升级");
        display.SetProgressMaximum(3);
        for (int i = 0; i < 5; ++i)
            display.AdvanceProgress();
        display.SetStatusText("升级失败");
    });
    worker.join();
    // Nothing is applied until the window's thread takes the messages.
    EXPECT_EQ(TextOf(w.Control(kLbl6)), L"等待升级");
    EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 0);

    ASSERT_TRUE(PumpUntil([&] { return TextOf(w.Control(kLbl6)) == L"升级失败"; }));
    EXPECT_EQ(SendMessageW(progress, PBM_GETRANGE, FALSE, 0), 3);
    EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 3) << "advances stop at the maximum";

    w->Display().SetProgressPosition(1);
    w->Display().SetProgressMaximum(0);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(progress, PBM_GETPOS, 0, 0) == 0; }));
}

TEST(Win32WindowGuard, AnErrorInAReplyIsShownInTheErrorBoxAndTheWindowReadsOn) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    w->Tool().Mode().Set(Mode::LU);
    UdpSocket collector;
    ASSERT_TRUE(collector.Create() && collector.Bind(0));

    ASSERT_TRUE(collector.SendTo(MakeFrame("R00G0"), "127.0.0.1", w.ports.upgradeLocal));
    ASSERT_TRUE(PumpUntil([&] { return !w.notices.shown.empty(); }));
    EXPECT_EQ(w.notices.ErrorBoxTexts(),
              (std::vector<std::string>{"'$00G0' is not a valid integer value."}));
    EXPECT_EQ(TextOf(w.Control(kLbl6)), L"正在升级");

    ASSERT_TRUE(collector.SendTo(MakeFrame("E81"), "127.0.0.1", w.ports.upgradeLocal));
    ASSERT_TRUE(PumpUntil([&] { return w.notices.shown.size() == 2; }));
    EXPECT_EQ(w.notices.NoticeTexts(), (std::vector<std::string>{"版本相同，无需升级"}));
    EXPECT_TRUE(w->Tool().Mode().Is(Mode::Empty));
}

class Win32WindowButtons : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("win32-window-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string WriteImage(const std::string& name, std::size_t bytes) {
        const auto path = folder_ / std::filesystem::u8path(name);
        std::ofstream(path, std::ios::binary) << std::string(bytes, '\x5A');
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    std::filesystem::path folder_;
};

TEST_F(Win32WindowButtons, SearchBrowseAndUpgradeReachTheirHandlers) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    w->View().DeviceAdded({"OLD", "127.0.0.9", "S0"});
    w.Click(kBtnSearch);
    EXPECT_EQ(ListRowCount(w.Control(kLv1)), 0);
    EXPECT_TRUE(w->Tool().Mode().Is(Mode::SS));

    const std::string image = WriteImage("S1.02.bin", 3);
    w.dialog.script = {image};
    w.Click(kBtn1);
    EXPECT_EQ(TextOf(w.Control(kRedt2)), std::filesystem::u8path(image).wstring());
    EXPECT_EQ(TextOf(w.Control(kEdt1)), L"S1.02");
    EXPECT_EQ(*w->Tool().Image().Hex(), "5A5A5A");

    w.dialog.script = {WriteImage("V1.bin", 3)};
    w.Click(kBtn1);
    EXPECT_EQ(w.notices.PlainTexts(), (std::vector<std::string>{"版本号必须以S开头"}));
    EXPECT_EQ(w.dialog.namesShown.back(), image) << "the dialog opens on the last accepted file";

    w.Click(kBtnUpg);
    EXPECT_EQ(w.notices.NoticeTexts(), (std::vector<std::string>{"请选择一个采集器进行升级"}));
}

// A send pass refuses the end of the session (Windows then asks the user);
// closing the window during it ends the workers and the window promptly.
TEST_F(Win32WindowButtons, ASendPassRefusesTheEndOfTheSession_ClosingEndsItPromptly) {
    UdpSocket collector;
    ASSERT_TRUE(collector.Create() && collector.Bind(0) && collector.SetNonBlocking());
    ToolPorts ports = FreeTestPorts();
    ports.upgradeDestination = collector.LocalPort();
    TestWindow w(ports);
    ASSERT_TRUE(w.ShowAndStart());
    const auto endSession = [&] { return SendMessageW(w.Handle(), WM_QUERYENDSESSION, 0, 0); };
    EXPECT_EQ(endSession(), TRUE);

    // 60 blocks: a pass of some nine seconds at 150 ms a block.
    w.dialog.script = {WriteImage("S2.00.bin", 60 * 300)};
    w.Click(kBtn1);
    // Another loopback address than the window's own, which a reply may not have.
    ListDevices(w->Tool(), {{"SN", "127.0.0.3", "S1.00"}});
    SelectListRow(w.Control(kLv1), 0);
    w.Click(kBtnUpg);
    ASSERT_EQ(TextOf(w.Control(kLbl6)), L"正在请求升级");

    UdpSocket::Datagram datagram;
    ASSERT_TRUE(WaitReadable(collector));
    ASSERT_EQ(collector.Receive(kMaxDatagramBytes, datagram), UdpSocket::ReadStatus::Ok);
    ASSERT_EQ(datagram.bytes.substr(1, 2), "LU");
    ASSERT_TRUE(collector.SendTo(MakeFrame("R0000"), "127.0.0.1", ports.upgradeLocal));
    ASSERT_TRUE(PumpUntil([&] { return WaitReadable(collector, 10); }));
    ASSERT_EQ(collector.Receive(kMaxDatagramBytes, datagram), UdpSocket::ReadStatus::Ok);
    ASSERT_EQ(datagram.bytes.substr(1, 2), "UD");
    EXPECT_EQ(endSession(), FALSE);

    const auto start = std::chrono::steady_clock::now();
    PostMessageW(w.Handle(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return w->Destroyed(); }));
    const auto closing = std::chrono::steady_clock::now() - start;
    // Far below the nine seconds the pass still had to run.
    EXPECT_LT(closing, std::chrono::milliseconds(2000));
    EXPECT_FALSE(w->Tool().WorkersRunning());
    EXPECT_FALSE(w->Tool().UpgradeChannel().Socket().IsOpen());
    EXPECT_FALSE(w->Tool().SearchChannel().Socket().IsOpen());

    // No block follows the close.
    while (collector.Receive(kMaxDatagramBytes, datagram) == UdpSocket::ReadStatus::Ok) {
    }
    Sleep(400);
    EXPECT_EQ(collector.Receive(kMaxDatagramBytes, datagram),
              UdpSocket::ReadStatus::NothingWaiting);
}

} // namespace
