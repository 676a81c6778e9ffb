#pragma once

// A Windows program with a window, under wine in a test's tool namespace, on
// a virtual display of its own, and the automation program that drives it
// from another process under the same wine server (scripts/wine-run.sh: the
// server runs inside the namespace, with a prefix of that namespace's own).

#include "netns_fixture.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// A Linux path as a Windows program sees it: wine maps / to drive Z:.
std::string WinePath(const std::string& path);
std::vector<std::string> Lines(const std::string& text);
// Polls every 50 ms until `done` holds or the timeout passes.
bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

class WineWindowRig {
public:
    // `wineState` is the Windows tree's wine state folder, `automation` the
    // automation program's path.
    WineWindowRig(NetnsFixture& net, std::string wineState, std::string automation);

    // Starts Xvfb in the tool namespace; false (with a test failure) if it does not come up.
    bool StartDisplay();
    // Starts `program` under wine on that display; -1 on failure.
    pid_t Launch(const std::string& program);
    // One automation command: its exit status and output lines. The output
    // goes through a file: wine services that a command happens to start
    // keep its standard output open while they run.
    int RunAutomation(const std::vector<std::string>& args, std::vector<std::string>& lines);
    // The output lines of a command that must succeed (a test failure otherwise).
    std::vector<std::string> Automate(const std::vector<std::string>& args);
    // A PNG of the display's area "left top width height" (as automation's
    // window-rect prints it).
    bool Screenshot(const std::string& rect, const std::string& path);
    // Closes a launched program as the operator would (automation's
    // "close"), and ends it if it is still there after 5 s. `program`
    // becomes -1; nothing happens when it already is.
    void CloseProgram(pid_t& program);
    // Stops this namespace's wine server (and deletes its prefix) and the display.
    void End();

    const std::string& Display() const { return display_; }

private:
    std::vector<std::string> WineEnvironment(std::vector<std::string> argv) const;

    NetnsFixture& net_;
    std::string wineState_, automation_, display_;
    pid_t xvfb_ = -1;
};

} // namespace e2e
