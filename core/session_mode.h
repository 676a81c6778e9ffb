#pragma once

// Where discovery and upgrade stand. Read and written by the UI thread and both
// workers, so it is one atomic value.

#include <atomic>
#include <string_view>

namespace core {

enum class Mode {
    Empty, // idle
    SS,    // a sweep was started; search replies are taken
    LU,    // upgrade requested, waiting for accept or refusal
    UD,    // a worker is sending blocks
    EN,    // a worker is polling with the completion query
};

std::string_view ModeText(Mode mode);

class SessionMode {
public:
    Mode Get() const { return value_.load(); }
    void Set(Mode mode) { value_.store(mode); }
    bool Is(Mode mode) const { return Get() == mode; }

private:
    std::atomic<Mode> value_{Mode::Empty};
};

} // namespace core
