#pragma once

// Keeps the system from sleeping while an upgrade sends or waits for a
// collector: a laptop left alone for the minutes an image takes must not
// sleep with the collector half flashed. The display may still turn off.

namespace platform {

class KeepAwake {
public:
    virtual ~KeepAwake() = default;
    // Hold and Release pair up on one thread: on Windows the request belongs
    // to the thread that made it (and ends with it at the latest).
    virtual void Hold() = 0;
    virtual void Release() = 0;
};

// Windows: SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_CONTINUOUS) for
// the calling thread, cleared by Release. Elsewhere it does nothing.
KeepAwake& SystemKeepAwake();

// Holds `keepAwake` for the scope's lifetime, on every way out of it.
class KeepAwakeScope {
public:
    explicit KeepAwakeScope(KeepAwake* keepAwake) : keepAwake_(keepAwake) {
        if (keepAwake_ != nullptr)
            keepAwake_->Hold();
    }
    ~KeepAwakeScope() {
        if (keepAwake_ != nullptr)
            keepAwake_->Release();
    }
    KeepAwakeScope(const KeepAwakeScope&) = delete;
    KeepAwakeScope& operator=(const KeepAwakeScope&) = delete;

private:
    KeepAwake* keepAwake_;
};

} // namespace platform
