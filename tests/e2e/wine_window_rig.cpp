#include "wine_window_rig.h"

#include "windows_tree.h"

#include <algorithm>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace e2e {

std::string WinePath(const std::string& path) {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

WineWindowRig::WineWindowRig(NetnsFixture& net, std::string wineState, std::string automation)
    : net_(net), wineState_(std::move(wineState)), automation_(std::move(automation)) {}

bool WineWindowRig::StartDisplay() {
    const std::string displayFile = net_.ScratchDir() + "/display";
    xvfb_ = net_.SpawnInTool({"sh", "-c",
                              "exec Xvfb -displayfd 3 -ac -nolisten tcp -screen 0 "
                              "1024x768x24 3>'" +
                                  displayFile + "'"});
    const bool up = xvfb_ > 0 && WaitForFile(displayFile, 10s) &&
                    PollUntil([&] { return !ReadFile(displayFile).empty(); }, 5s);
    EXPECT_TRUE(up) << "Xvfb: " << net_.LogOf(xvfb_);
    if (!up)
        return false;
    std::string number = ReadFile(displayFile);
    number.erase(number.find_last_not_of(" \n") + 1);
    display_ = ":" + number;
    return true;
}

pid_t WineWindowRig::Launch(const std::string& program) {
    return net_.SpawnInTool(WineEnvironment({kWineRunScript, wineState_, program}));
}

std::vector<std::string> WineWindowRig::WineEnvironment(std::vector<std::string> argv) const {
    std::vector<std::string> command = {"env", "WINEDEBUG=-all", "DISPLAY=" + display_};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

int WineWindowRig::RunAutomation(const std::vector<std::string>& args,
                                 std::vector<std::string>& lines) {
    const std::string outputFile = net_.ScratchDir() + "/automation.out";
    std::vector<std::string> argv = {
        "sh",       "-c",       "exec \"$@\" >'" + outputFile + "' 2>&1", "sh", kWineRunScript,
        wineState_, automation_};
    argv.insert(argv.end(), args.begin(), args.end());
    const int status = net_.RunInTool(WineEnvironment(argv));
    lines = Lines(ReadFile(outputFile));
    return status;
}

std::vector<std::string> WineWindowRig::Automate(const std::vector<std::string>& args) {
    std::vector<std::string> lines;
    const int status = RunAutomation(args, lines);
    EXPECT_EQ(status, 0) << "automation " << args[0] << ":\n" << ::testing::PrintToString(lines);
    return lines;
}

bool WineWindowRig::Screenshot(const std::string& rect, const std::string& path) {
    std::istringstream in(rect);
    int left = 0, top = 0, width = 0, height = 0;
    in >> left >> top >> width >> height;
    const std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" +
                             std::to_string(left) + "+" + std::to_string(top);
    return net_.RunInTool({"env", "DISPLAY=" + display_, "import", "-window", "root", "-crop", crop,
                           path}) == 0;
}

void WineWindowRig::CloseProgram(pid_t& program) {
    if (program <= 0)
        return;
    Automate({"close"});
    if (!net_.WaitExit(program, 5s))
        net_.Terminate(program, 1s);
    program = -1;
}

void WineWindowRig::End() {
    net_.RunInTool(EndWineCommand(wineState_));
    if (xvfb_ > 0)
        net_.Terminate(xvfb_, 1s);
    xvfb_ = -1;
}

} // namespace e2e
