#pragma once

// What the window end-to-end tests share: emulated collectors in the field
// namespace whose JSON summary is read back, the real window TFrmmain in the
// tool namespace with recording notices and a file dialog that picks a given
// file, and a sender thread in the field namespace for traffic no collector sends.

#include "fake_views.h"
#include "gui/upgrade/qt/frmmain.h"
#include "netns_fixture.h"

#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

class QTreeWidget;
class QTreeWidgetItem;

namespace e2e {

QTreeWidgetItem* RowOf(QTreeWidget* list, const QString& address);

// Turns an event loop as the program's own does, until `done` holds (tested
// every 10 ms) or the timeout passes. QTest::qWaitFor sleeps 10 ms between
// rounds, which lets the window read only about one datagram per round.
bool RunEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A collector-emulator process serving `addresses` in the field namespace with
// `options`; it writes each assembled image to ScratchDir()/got-<address>.bin.
class FieldEmulator {
public:
    FieldEmulator(NetnsFixture& net, const std::string& addresses,
                  const std::vector<std::string>& options = {});
    ~FieldEmulator() { Stop(); }
    bool Ready() const { return ready_; }
    std::string Log() const { return net_.LogOf(pid_); }
    std::string ImageOf(const std::string& address) const;
    // Ends the process, which writes its final summary, and returns the
    // entry of `address` from it.
    QJsonObject StopAndReport(const std::string& address);
    void Stop();

private:
    NetnsFixture& net_;
    std::string summaryPath_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Summary fields as plain values.
std::map<int, int> BlockReceipts(const QJsonObject& report);
std::vector<std::vector<int>> ResendLists(const QJsonObject& report);
std::vector<long long> QueryTimesMs(const QJsonObject& report);

// The real window (ports 8000/23, sleeper and address lookup all real) in the
// tool namespace, where the calling thread stays until the rig is destroyed.
class WindowRig {
public:
    // `addressAtStart`: whether the tool namespace holds its address when the
    // window starts (false: the test adds it later).
    explicit WindowRig(const NetnsFixture& net, bool addressAtStart = true);
    ~WindowRig();
    // In the tool namespace, workers running, local address found (or, when
    // none was to be had at start, not found).
    bool Ok() const { return ok_; }
    upgradeui::qt::TFrmmain& Window() { return *window_; }
    QTreeWidget* List() const { return list_; }

    // Presses the search button; whether exactly `rows` rows are listed then.
    bool Sweep(int rows);
    // Picks `path` through the browse button.
    void ChooseImage(const std::string& path);
    // Selects the row of `address` (false if none) and presses the upgrade button.
    bool UpgradeTo(const std::string& address);
    bool WaitNotice(const std::string& text, std::chrono::milliseconds timeout);
    std::string Status() { return window_->Tool().StatusText(); }

    FakeNotices notices;

private:
    NetnsFixture::InNamespace in_;
    FakeFileDialog file_;
    std::unique_ptr<upgradeui::qt::TFrmmain> window_;
    QTreeWidget* list_ = nullptr;
    bool ok_ = false;
};

// A UDP socket in the field namespace, used by `body` on a thread of its own
// while the calling thread turns the window's event loop.
class FieldSender {
public:
    using Body = std::function<void(FieldSender&)>;
    FieldSender(const NetnsFixture& net, Body body);
    ~FieldSender(); // joins
    bool Done() const { return done_.load(); }
    // One datagram to the tool's `port`; whether the system took it.
    bool SendToTool(std::uint16_t port, std::string_view bytes);

private:
    int fd_ = -1;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

} // namespace e2e
