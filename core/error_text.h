#pragma once

#include <string>

// "Message." as the error box shows it: a full stop is added when the last
// byte sorts after ".".
std::string ErrorBoxText(const std::string& message);

// The application title: the program file's name up to its first ".", every
// character after the first in lower case.
std::string ApplicationTitle(const std::string& programPath);
