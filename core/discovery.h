#pragma once

#include <string>

inline constexpr int kLastSweptHost = 254; // hosts 1..254 are probed; 0 and 255 never

// The local address up to and including its third dot ("192.168.1.23" ->
// "192.168.1."); with fewer dots, up to the last one; with none, empty.
std::string SubnetPrefix(const std::string& localAddress);
