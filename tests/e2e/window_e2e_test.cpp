// The real window with its real channels on ports 8000 and 23, inside the
// tool namespace, its local address found by its own lookup (198.51.100.1,
// the only interface there), against emulated collectors in the field.
#include "main/frmmain.h"
#include "netns_fixture.h"

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace std::chrono_literals;

namespace {

class RecordingNotices : public Notices {
public:
    void Notice(const std::string& text) override { notices.push_back(text); }
    void PlainMessage(const std::string& text) override { plainMessages.push_back(text); }
    void ErrorBox(const std::string& text) override { errorBoxes.push_back(text); }
    bool Saw(const std::string& text) const { return std::find(notices.begin(), notices.end(), text) != notices.end(); }
    std::vector<std::string> notices, plainMessages, errorBoxes;
};

class ChosenFile : public OpenFileDialog {
public:
    explicit ChosenFile(std::string path) : path_(std::move(path)) {}
    void SetFileName(const std::string& path) override { name_ = path; }
    std::string FileName() const override { return name_; }
    bool Execute() override {
        name_ = path_;
        return true;
    }

private:
    std::string path_, name_;
};

std::string WriteImage(const std::string& path, std::size_t bytes) {
    std::string image;
    for (std::size_t i = 0; i < bytes; ++i)
        image += static_cast<char>((i * 31 + 7) & 0xFF);
    std::ofstream(path, std::ios::binary) << image;
    return image;
}

QTreeWidgetItem* RowOf(QTreeWidget* list, const QString& address) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(1) == address)
            return list->topLevelItem(i);
    return nullptr;
}

} // namespace

TEST(WindowInNamespace, TypicalRun_SweepListsThreeAndOneUpgradeWritesAnIdenticalImage) {
    E2E_REQUIRE_NAMESPACES();
    e2e::NetnsFixture net(e2e::FieldRange(10, 12));
    ASSERT_TRUE(net.Ok()) << net.Error();
    const std::string imagePath = net.ScratchDir() + "/S1.02.bin";
    const std::string image = WriteImage(imagePath, 1000);  // 4 blocks
    const std::string ready = net.ScratchDir() + "/emulator.ready";
    const pid_t emulator = net.SpawnInField({COLLECTOR_EMULATOR_PATH, "--address", "198.51.100.10-12", "--version",
                                             "S1.00", "--image-out", net.ScratchDir() + "/got-%a.bin",
                                             "--ready-file", ready, "--run-seconds", "120"});
    ASSERT_TRUE(e2e::WaitForFile(ready, 10s)) << net.LogOf(emulator);

    // Everything the window opens, and the workers it starts, live in the tool namespace.
    e2e::NetnsFixture::InNamespace in(net.ToolNamespace());
    ASSERT_TRUE(in.Ok());
    RecordingNotices notices;
    ChosenFile file(imagePath);
    WindowSeams seams;  // real ports 8000/23, real sleeper, real address lookup
    seams.notices = &notices;
    seams.fileDialog = &file;
    auto window = std::make_unique<TFrmmain>(seams);
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Tool().WorkersRunning(); }, 3000));
    EXPECT_EQ(window->Fields().LocalAddressText(), "198.51.100.1");

    window->findChild<QPushButton*>("btnsearch")->click();
    auto* list = window->findChild<QTreeWidget*>("lv1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() >= 3; }, 10000));
    QTest::qWait(300);  // nothing more may come
    ASSERT_EQ(list->topLevelItemCount(), 3);
    for (int host = 10; host <= 12; ++host) {
        const auto address = QStringLiteral("198.51.100.%1").arg(host);
        auto* row = RowOf(list, address);
        ASSERT_NE(row, nullptr) << address.toStdString();
        EXPECT_EQ(row->text(0), QStringLiteral("8100%1").arg(host, 3, 10, QLatin1Char('0')));
        EXPECT_EQ(row->text(2), QStringLiteral("S1.00"));
    }

    window->findChild<QPushButton*>("btn1")->click();
    EXPECT_EQ(window->Fields().VersionText(), "S1.02");
    list->setCurrentItem(RowOf(list, QStringLiteral("198.51.100.11")));
    window->findChild<QPushButton*>("btnUPG")->click();
    // 4 blocks 150 ms apart, a 5000 ms settle, then the first query answered.
    ASSERT_TRUE(QTest::qWaitFor([&] { return notices.Saw("升级完成"); }, 15000))
        << "status: " << window->Fields().StatusText();
    EXPECT_TRUE(notices.errorBoxes.empty());
    EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/got-198.51.100.11.bin"), image);
    EXPECT_EQ(e2e::ReadFile(net.ScratchDir() + "/got-198.51.100.10.bin"), "");  // only the selected one
    window->close();
    window.reset();
}
