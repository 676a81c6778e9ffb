#pragma once

// The status line lbl6. The core holds its text; the window shows it. The UI
// thread changes it through the view at once, a worker through the worker
// display (queued to the UI thread in the order made).

#include "core/tool_view.h"

#include <mutex>
#include <string>

namespace core {

class StatusLine {
public:
    StatusLine(ToolView& view, WorkerDisplay& workerDisplay)
        : view_(view), workerDisplay_(workerDisplay) {}

    // UI thread.
    void Show(const std::string& text) {
        Store(text);
        view_.StatusChanged(text);
    }
    // Worker threads.
    void ShowFromWorker(const std::string& text) {
        Store(text);
        workerDisplay_.SetStatusText(text);
    }
    std::string Text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    void Store(const std::string& text) {
        std::lock_guard lock(mutex_);
        text_ = text;
    }

    ToolView& view_;
    WorkerDisplay& workerDisplay_;
    mutable std::mutex mutex_;
    std::string text_; // empty until start-up
};

} // namespace core
