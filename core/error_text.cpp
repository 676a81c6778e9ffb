#include "core/error_text.h"

#include "core/tool_view.h"

#include <cctype>
#include <exception>

namespace core {

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + ".";
    return message;
}

std::string ApplicationTitle(const std::string& programPath) {
    const auto slash = programPath.find_last_of("/\\");
    std::string name = programPath.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    for (std::size_t i = 1; i < name.size(); ++i)
        name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    return name;
}

void RunGuarded(Notices& notices, const std::function<void()>& handler) noexcept {
    std::string message;
    try {
        handler();
        return;
    } catch (const std::exception& error) {
        message = error.what();
    } catch (...) {
        message = "Unknown exception";
    }
    // Shown outside the catch, so the exception is gone before the box's
    // event loop runs.
    try {
        notices.ErrorBox(ErrorBoxText(message));
    } catch (...) {
    }
}

} // namespace core
