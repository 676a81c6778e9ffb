#include "window_rig.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace e2e {

QTreeWidgetItem* RowOf(QTreeWidget* list, const QString& address) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(1) == address)
            return list->topLevelItem(i);
    return nullptr;
}

bool RunEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= timeout.count())
            loop.quit();
    });
    check.start(10);
    loop.exec();
    return done();
}

FieldEmulator::FieldEmulator(NetnsFixture& net, const std::string& addresses,
                             const std::vector<std::string>& options)
    : net_(net) {
    static int serial = 0;
    const std::string stem = net.ScratchDir() + "/emulator-" + std::to_string(++serial);
    summaryPath_ = stem + ".json";
    std::vector<std::string> argv = {COLLECTOR_EMULATOR_PATH,
                                     "--address",
                                     addresses,
                                     "--image-out",
                                     net.ScratchDir() + "/got-%a.bin",
                                     "--summary",
                                     summaryPath_,
                                     "--ready-file",
                                     stem + ".ready",
                                     "--run-seconds",
                                     "180"};
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = net.SpawnInField(argv);
    ready_ = pid_ > 0 && WaitForFile(stem + ".ready", 10s);
}

std::string FieldEmulator::ImageOf(const std::string& address) const {
    return ReadFile(net_.ScratchDir() + "/got-" + address + ".bin");
}

void FieldEmulator::Stop() {
    if (pid_ > 0)
        net_.Terminate(pid_);
    pid_ = -1;
}

QJsonObject FieldEmulator::StopAndReport(const std::string& address) {
    Stop();
    const auto document =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(summaryPath_)));
    for (const auto& entry : document.object().value("collectors").toArray())
        if (entry.toObject().value("address").toString().toStdString() == address)
            return entry.toObject();
    return {};
}

std::map<int, int> BlockReceipts(const QJsonObject& report) {
    std::map<int, int> receipts;
    const auto object = report.value("block_receipts").toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        receipts[it.key().toInt()] = it.value().toInt();
    return receipts;
}

std::vector<std::vector<int>> ResendLists(const QJsonObject& report) {
    std::vector<std::vector<int>> lists;
    for (const auto& list : report.value("resend_lists").toArray()) {
        lists.emplace_back();
        for (const auto& block : list.toArray())
            lists.back().push_back(block.toInt());
    }
    return lists;
}

std::vector<long long> QueryTimesMs(const QJsonObject& report) {
    std::vector<long long> times;
    for (const auto& time : report.value("query_times_ms").toArray())
        times.push_back(time.toInteger());
    return times;
}

WindowRig::WindowRig(const NetnsFixture& net, bool addressAtStart) : in_(net.ToolNamespace()) {
    if (!in_.Ok())
        return;
    upgradeui::WindowSeams seams; // real ports 8000/23, real sleeper, real address lookup
    seams.notices = &notices;
    seams.fileDialog = &file_;
    window_ = std::make_unique<upgradeui::qt::TFrmmain>(seams);
    window_->show();
    list_ = window_->findChild<QTreeWidget*>("lv1");
    const auto& discovery = window_->Tool().DeviceDiscovery();
    ok_ =
        QTest::qWaitFor([&] { return window_->Tool().WorkersRunning(); }, 3000) &&
        (addressAtStart ? discovery.LocalAddress() == kToolAddress : !discovery.HasLocalAddress());
}

WindowRig::~WindowRig() {
    if (window_)
        window_->close();
    window_.reset();
}

bool WindowRig::Sweep(int rows) {
    window_->findChild<QPushButton*>("btnsearch")->click();
    (void)QTest::qWaitFor([&] { return list_->topLevelItemCount() >= rows; }, 10000);
    QTest::qWait(300); // nothing more may come
    return list_->topLevelItemCount() == rows;
}

void WindowRig::ChooseImage(const std::string& path) {
    file_.script.push_back(path);
    window_->findChild<QPushButton*>("btn1")->click();
}

bool WindowRig::UpgradeTo(const std::string& address) {
    auto* row = RowOf(list_, QString::fromStdString(address));
    if (row == nullptr)
        return false;
    list_->setCurrentItem(row);
    window_->findChild<QPushButton*>("btnUPG")->click();
    return true;
}

bool WindowRig::WaitNotice(const std::string& text, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor([&] { return notices.Saw(text); }, static_cast<int>(timeout.count()));
}

FieldSender::FieldSender(const NetnsFixture& net, Body body)
    : thread_([this, ns = net.FieldNamespace(), body = std::move(body)] {
          NetnsFixture::InNamespace in(ns);
          if (in.Ok()) {
              fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
              body(*this);
              ::close(fd_);
          }
          done_ = true;
      }) {}

FieldSender::~FieldSender() {
    thread_.join();
}

bool FieldSender::SendToTool(std::uint16_t port, std::string_view bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, kToolAddress, &to.sin_addr);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(bytes.size());
}

} // namespace e2e
