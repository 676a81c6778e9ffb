// collector-emulator: see `collector-emulator --help`.

#include "collector_emulator.h"
#include "command_line.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

collector_emulator::Emulator* running = nullptr;

extern "C" void OnStopSignal(int) {
    if (running != nullptr)
        running->RequestStopFromSignal();
}

} // namespace

int main(int argc, char** argv) {
    using namespace collector_emulator;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    auto parsed = ParseCommandLine(arguments);
    if (auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "collector-emulator: " << *error << "\n(see --help)\n";
        return 2;
    }
    auto& commandLine = std::get<CommandLine>(parsed);
    if (commandLine.help) {
        std::cout << Usage();
        return 0;
    }

    Emulator emulator(commandLine.options);
    std::string error;
    if (!emulator.Bind(&error)) {
        std::cerr << "collector-emulator: " << error << "\n";
        return 1;
    }
    running = &emulator;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!commandLine.readyFile.empty())
        std::ofstream(commandLine.readyFile) << "ready\n";
    emulator.Run(&error);
    running = nullptr;
    return 0;
}
