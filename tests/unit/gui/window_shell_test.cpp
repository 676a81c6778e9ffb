// The shell every window drives: start-up once, after the first show, the
// error guard's box for a collector's field, and the shutdown held while an
// upgrade runs.

#include "gui/upgrade/shell/window_shell.h"
#include "pubpro/conversion_error.h"

#include "fake_views.h"
#include "free_ports.h"
#include "virtual_sleeper.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ShellRig {
    FakeWindow fake;
    FakeNotices ownNotices;
    FakeFileDialog ownDialog;
    VirtualSleeper sleeper;
    std::vector<bool> holds; // what the shell told the window, in order
    upgradeui::WindowShell shell;

    ShellRig() : shell(Seams(), Parts()) {}

    upgradeui::WindowSeams Seams() {
        upgradeui::WindowSeams seams;
        seams.ports = FreeTestPorts();
        seams.sleeper = &sleeper;
        seams.lookupLocalAddress = [] { return std::optional<std::string>("127.0.0.1"); };
        seams.notices = &fake.notices;
        seams.fileDialog = &fake.dialog;
        return seams;
    }
    upgradeui::WindowParts Parts() {
        const auto hold = [this](bool held) { holds.push_back(held); };
        return {fake.view, fake.view, fake.display, fake.events, ownNotices, ownDialog, hold};
    }
};

TEST(WindowShell, StartUpRunsOnTheFirstActivationAfterTheFirstShowOnly) {
    ShellRig rig;
    rig.shell.FormActivate();
    EXPECT_FALSE(rig.shell.Tool().WorkersRunning()) << "not before the window is shown";
    EXPECT_EQ(rig.fake.events.watched, 0);

    EXPECT_TRUE(rig.shell.FormShow());
    EXPECT_FALSE(rig.shell.FormShow()) << "a second show is not the first";
    rig.shell.FormActivate();
    EXPECT_TRUE(rig.shell.Tool().WorkersRunning());
    EXPECT_EQ(rig.fake.events.watched, 2) << "both channels opened";
    rig.shell.FormActivate();
    rig.shell.FormActivate();
    EXPECT_EQ(rig.fake.events.watched, 2) << "coming back does not start up again";
}

TEST(WindowShell, AConversionErrorShowsTheCollectorsFieldDecodedFromGbk) {
    ShellRig rig;
    // "$" and the GBK bytes of 啊 and 中, as a reply's field arrives.
    rig.fake.dialog.onExecute = [](FakeFileDialog&) -> bool {
        throw pubpro::ConversionError("$\xB0\xA1\xD6\xD0");
    };
    rig.shell.btn1Click();
    EXPECT_EQ(rig.fake.notices.ErrorBoxTexts(),
              (std::vector<std::string>{"'$啊中' is not a valid integer value."}));
}

// Looked at after every handler and every worker change that reaches the
// window; told only when it changes.
TEST(WindowShell, AShutdownIsHeldWhileBlocksAreSentOrTheirEndQueried) {
    ShellRig rig;
    core::SessionMode& mode = rig.shell.Tool().Mode();
    mode.Set(core::Mode::LU); // requested, nothing sent yet
    rig.shell.WorkerChangeApplied();
    EXPECT_TRUE(rig.holds.empty());
    mode.Set(core::Mode::UD);
    rig.shell.WorkerChangeApplied();
    mode.Set(core::Mode::EN);
    rig.shell.btn1Click(); // a handler (its dialog cancelled)
    EXPECT_EQ(rig.holds, (std::vector<bool>{true}));
    mode.Set(core::Mode::Empty);
    rig.shell.btn1Click();
    EXPECT_EQ(rig.holds, (std::vector<bool>{true, false}));
}

} // namespace
