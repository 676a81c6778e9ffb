#pragma once

// A thread's message queue: any thread posts, the owning thread waits for the
// next message. Quit() wakes the waiter with no message, as a quit message
// would, and every later Wait() returns empty at once.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace platform {

template <typename Message> class MessageQueue {
public:
    void Post(Message message) {
        {
            std::lock_guard lock(mutex_);
            if (quit_)
                return;
            messages_.push_back(std::move(message));
        }
        ready_.notify_one();
    }

    void Quit() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        ready_.notify_all();
    }

    // The next message, or nothing once Quit() was called.
    std::optional<Message> Wait() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return quit_ || !messages_.empty(); });
        if (quit_)
            return std::nullopt;
        Message message = std::move(messages_.front());
        messages_.pop_front();
        return message;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Message> messages_;
    bool quit_ = false;
};

} // namespace platform
