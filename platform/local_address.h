#pragma once

#include <optional>
#include <string>

namespace platform {

// The host's own IPv4 address in dotted text: the first IPv4 address its name
// resolves to. Debian maps the host name to 127.0.1.1, which is useless for a
// subnet sweep, so when the name gives nothing or only loopback addresses the
// first IPv4 address of an interface that is up and not loopback is taken.
// Empty when the host has no such address.
std::optional<std::string> LookupLocalIPv4();

} // namespace platform
