#pragma once

#include "collector_emulator.h"

#include <string>
#include <variant>
#include <vector>

namespace collector_emulator {

struct CommandLine {
    EmulatorOptions options;
    std::string readyFile; // created once every socket is bound
    bool help = false;
};

inline constexpr int kDefaultRunSeconds = 300;

// The usage text printed by --help.
std::string Usage();

// Parses the arguments after the program name. A text is an error message.
std::variant<CommandLine, std::string> ParseCommandLine(const std::vector<std::string>& arguments);

// One --address item: A.B.C.D, or a range of the last octet A.B.C.D-E,
// optionally followed by =SERIAL or =SERIAL#VERSION for every address of it.
std::variant<std::vector<CollectorIdentity>, std::string> ParseAddressItem(const std::string& item);

} // namespace collector_emulator
