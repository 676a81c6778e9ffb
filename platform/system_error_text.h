#pragma once

// A system error's text as the operator reads it: UTF-8, in the system's
// language. On Windows the runtime's own message() goes through the ANSI code
// page (936 on a Chinese Windows), whose bytes are not UTF-8; these functions
// ask the system for UTF-16 instead and convert that.

#include <string>
#include <system_error>

namespace platform {

#ifdef _WIN32
// The system's message for a Windows error code (GetLastError(),
// WSAGetLastError()), without its trailing line end and full stop; a code
// the system has no text for is given by its number.
std::string SystemErrorText(unsigned long code);
#endif

// The text of an error code: a Windows system code through SystemErrorText,
// anything else as its category words it.
std::string ErrorText(const std::error_code& error);

} // namespace platform
