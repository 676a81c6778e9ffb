// Errors that escape a handler end in the error box with its full-stop rule,
// and the window goes on; the buttons reach their handlers.

#include "frame_codec.h"
#include "window_fixture.h"

#include "pubpro/conversion_error.h"
#include "pubpro/uPubpro.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <stdexcept>

using core::Mode;

using pubpro::ConversionError;

using platform::UdpSocket;

namespace {

struct ThrowCase {
    const char* name;
    std::function<void()> raise;
    std::string errorBox;
};

TEST(ErrorGuard, WhatEscapesAButtonHandlerIsShownInTheErrorBox) {
    const std::vector<ThrowCase> cases = {
        {"conversion error", [] { throw ConversionError("12G4"); },
         "'12G4' is not a valid integer value."},
        {"chinese text", [] { throw std::runtime_error("磁盘已满"); }, "磁盘已满."},
        {"ends with a full stop", [] { throw std::runtime_error("Done."); }, "Done."},
        {"ends below the full stop", [] { throw std::runtime_error("rate 50%"); }, "rate 50%"},
        {"empty message", [] { throw std::runtime_error(""); }, ""},
        {"not a std::exception", [] { throw 42; }, "Unknown exception."},
    };
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    auto* browse = w.Control<QPushButton>("btn1");
    for (const ThrowCase& c : cases) {
        SCOPED_TRACE(c.name);
        w.notices.shown.clear();
        w.dialog.onExecute = [&c](FakeFileDialog&) -> bool {
            c.raise();
            return false;
        };
        browse->click();
        ASSERT_EQ(w.notices.ErrorBoxTexts().size(), 1u);
        EXPECT_EQ(w.notices.ErrorBoxTexts().front(), c.errorBox);
    }
    // The window still works after all of that.
    w.dialog.onExecute = nullptr;
    const int shownBefore = static_cast<int>(w.dialog.namesShown.size());
    browse->click();
    EXPECT_EQ(static_cast<int>(w.dialog.namesShown.size()), shownBefore + 1);
    EXPECT_TRUE(w->isVisible());
}

TEST(ErrorGuard, AConversionErrorInAReplyIsShownAndTheWindowReadsOn) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    w->Tool().Mode().Set(Mode::LU);

    // An accept whose start block is not hexadecimal, sent to the upgrade port.
    UdpSocket collector;
    ASSERT_TRUE(collector.Create() && collector.Bind(0));
    const std::uint16_t upgradePort = w->Tool().UpgradeChannel().LocalPort();
    ASSERT_TRUE(
        collector.SendTo(collector_emulator::BuildFrame("R00G0"), "127.0.0.1", upgradePort));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.notices.ErrorBoxTexts().empty(); }, 2000));
    EXPECT_EQ(w.notices.ErrorBoxTexts(),
              (std::vector<std::string>{"'$00G0' is not a valid integer value."}));
    EXPECT_EQ(w.Control<QLabel>("lbl6")->text(), QStringLiteral("正在升级"));
    EXPECT_TRUE(w->Tool().Mode().Is(Mode::LU));

    // The next reply is still read: a refusal ends the request with its notice.
    ASSERT_TRUE(collector.SendTo(collector_emulator::BuildFrame("E81"), "127.0.0.1", upgradePort));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.notices.NoticeTexts().empty(); }, 2000));
    EXPECT_EQ(w.notices.NoticeTexts(), (std::vector<std::string>{"版本相同，无需升级"}));
    EXPECT_TRUE(w->Tool().Mode().Is(Mode::Empty));
    EXPECT_EQ(w.notices.ErrorBoxTexts().size(), 1u);
}

TEST(Buttons, UpgradeButtonReachesItsChecks) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    w.Control<QPushButton>("btnUPG")->click();
    EXPECT_EQ(w.notices.NoticeTexts(), (std::vector<std::string>{"请选择一个采集器进行升级"}));
}

TEST(Buttons, BrowseButtonOpensTheDialogAndAppliesTheNameRule) {
    TestWindow w;
    ASSERT_TRUE(w.ShowAndStart());
    w.dialog.onExecute = [](FakeFileDialog& dialog) {
        dialog.fileName = "/tmp/V1.02.bin";
        return true;
    };
    w.Control<QPushButton>("btn1")->click();
    EXPECT_EQ(static_cast<int>(w.dialog.namesShown.size()), 1);
    EXPECT_EQ(w.notices.PlainTexts(), (std::vector<std::string>{"版本号必须以S开头"}));
    EXPECT_TRUE(w->Tool().Image().Path().empty());
}

} // namespace
