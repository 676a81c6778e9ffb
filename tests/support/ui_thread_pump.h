#pragma once

#include "core/upgrade_tool.h"

#include <poll.h>

#include <chrono>
#include <functional>
#include <vector>

// Plays the UI thread's part for a core without a window: waits for either
// channel's socket to become readable and runs one socket notification, until
// `done` holds or the deadline passes. Returns whether `done` held.
inline bool PumpUntil(UpgradeTool& tool, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::vector<pollfd> fds;
        for (auto* channel : {&tool.UpgradeChannel(), &tool.SearchChannel()})
            if (channel->Socket().IsOpen())
                fds.push_back({static_cast<int>(channel->Socket().NativeHandle()), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 5) > 0)
            tool.HandleSocketMessage();
    }
    return true;
}
