#pragma once

#include <functional>
#include <string>

namespace core {

class Notices;

// "Message." as the error box shows it: a full stop is added when the last
// byte sorts after ".".
std::string ErrorBoxText(const std::string& message);

// The application title: the program file's name up to its first ".", every
// character after the first in lower case.
std::string ApplicationTitle(const std::string& programPath);

// The one error guard of a window's event handlers: runs `handler`, and shows
// whatever escapes it in the error box (message with the full-stop rule).
// Nothing ever leaves it, so no exception reaches the toolkit.
void RunGuarded(Notices& notices, const std::function<void()>& handler) noexcept;

} // namespace core
