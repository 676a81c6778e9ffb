// One datagram as the sockets saw it, for whoever logs or counts them.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace fleet {

struct DatagramEvent {
    bool sent = false; // false: received
    std::string_view address;
    std::uint16_t port = 0; // the collector's port
    std::string_view bytes;
    // When the system received it, where it stamps datagrams (Linux); else none.
    std::optional<std::chrono::system_clock::time_point> kernelTime;
};

} // namespace fleet
