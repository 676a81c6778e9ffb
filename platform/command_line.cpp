#include "platform/command_line.h"

#ifdef _WIN32
#include "platform/wide_text.h"

#include <windows.h>

#include <shellapi.h>
#endif

namespace platform {

#ifdef _WIN32

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return {argv, argv + argc};
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

#endif

} // namespace platform
