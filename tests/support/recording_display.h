#pragma once

#include "core/tool_view.h"

#include <mutex>
#include <string>
#include <vector>

// Records what the workers show, as one ordered log of events.
class RecordingDisplay : public core::WorkerDisplay {
public:
    void SetProgressMaximum(int maximum) override { Log("max " + std::to_string(maximum)); }
    void SetProgressPosition(int position) override { Log("pos " + std::to_string(position)); }
    void AdvanceProgress() override { Log("step"); }
    void SetStatusText(const std::string& text) override { Log("status " + text); }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    void Log(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};
