#pragma once

#include "platform/sleeper.h"

#include <functional>
#include <mutex>
#include <vector>

// Virtual time: every pause returns at once and is recorded. A hook runs at
// each pause with the virtual time reached, so a test can make "the collector
// answer" at a chosen moment.
class VirtualSleeper : public platform::Sleeper {
public:
    bool SleepMs(int milliseconds) override {
        std::function<void(long long, int)> hook;
        long long now = 0;
        {
            std::lock_guard lock(mutex_);
            if (cancelled_)
                return false;
            pauses_.push_back(milliseconds);
            elapsed_ += milliseconds;
            now = elapsed_;
            hook = onPause_;
        }
        if (hook)
            hook(now, milliseconds);
        std::lock_guard lock(mutex_);
        return !cancelled_;
    }
    void Cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    void OnPause(std::function<void(long long now, int milliseconds)> hook) {
        std::lock_guard lock(mutex_);
        onPause_ = std::move(hook);
    }
    std::vector<int> Pauses() const {
        std::lock_guard lock(mutex_);
        return pauses_;
    }
    long long Elapsed() const {
        std::lock_guard lock(mutex_);
        return elapsed_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<int> pauses_;
    long long elapsed_ = 0;
    bool cancelled_ = false;
    std::function<void(long long, int)> onPause_;
};
