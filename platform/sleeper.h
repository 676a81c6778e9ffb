#pragma once

// Every pause of a worker goes through a Sleeper, so that tests run on virtual
// time and the program can wake a sleeping worker when it shuts down.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class Sleeper {
public:
    virtual ~Sleeper() = default;
    // Pauses `milliseconds`. False when the pause was cut short by a shutdown:
    // the caller should then abandon its work.
    virtual bool SleepMs(int milliseconds) = 0;
    // Wakes every pause, now and later, with false. Called from any thread.
    virtual void Cancel() = 0;
};

// Real time, interruptible by Cancel() from any thread.
class RealSleeper : public Sleeper {
public:
    bool SleepMs(int milliseconds) override {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return cancelled_; });
    }

    void Cancel() override {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        wake_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool cancelled_ = false;
};

} // namespace platform
