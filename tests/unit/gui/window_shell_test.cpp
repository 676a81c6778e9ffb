// The shell every window drives: start-up once, after the first show, and
// the error guard's box for a collector's field.

#include "gui/common/window_shell.h"
#include "pubpro/conversion_error.h"

#include "fake_views.h"
#include "free_ports.h"
#include "virtual_sleeper.h"

#include <gtest/gtest.h>

namespace {

struct ShellRig {
    FakeWindow fake;
    FakeNotices ownNotices;
    FakeFileDialog ownDialog;
    VirtualSleeper sleeper;
    gui::WindowShell shell;

    ShellRig() : shell(Seams(), Parts()) {}

    gui::WindowSeams Seams() {
        gui::WindowSeams seams;
        seams.ports = FreeTestPorts();
        seams.sleeper = &sleeper;
        seams.lookupLocalAddress = [] { return std::optional<std::string>("127.0.0.1"); };
        seams.notices = &fake.notices;
        seams.fileDialog = &fake.dialog;
        return seams;
    }
    gui::WindowParts Parts() {
        return {fake.view, fake.view, fake.display, fake.events, ownNotices, ownDialog};
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

} // namespace
