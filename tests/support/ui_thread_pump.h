#pragma once

#include "core/upgrade_tool.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace pump_detail {
#ifdef _WIN32
using PollEntry = WSAPOLLFD;
using PollHandle = SOCKET;
inline int Poll(std::vector<PollEntry>& entries, int ms) {
    return ::WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), ms);
}
#else
using PollEntry = pollfd;
using PollHandle = int;
inline int Poll(std::vector<PollEntry>& entries, int ms) {
    return ::poll(entries.data(), entries.size(), ms);
}
#endif
} // namespace pump_detail

// Plays the UI thread's part for a core without a window: waits for either
// channel's socket to become readable and runs one socket notification, until
// `done` holds or the deadline passes. Returns whether `done` held.
inline bool PumpUntil(core::UpgradeTool& tool, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::vector<pump_detail::PollEntry> fds;
        for (auto* channel : {&tool.UpgradeChannel(), &tool.SearchChannel()})
            if (channel->Socket().IsOpen())
                fds.push_back(
                    {static_cast<pump_detail::PollHandle>(channel->Socket().NativeHandle()), POLLIN,
                     0});
        if (fds.empty()) // Winsock refuses to wait on nothing
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        else if (pump_detail::Poll(fds, 5) > 0)
            tool.HandleSocketMessage();
    }
    return true;
}
