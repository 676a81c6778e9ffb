#pragma once

// Which collector's session may start next: at most `parallel` at once, the
// first `canary` ones alone and all of them successful before the rest, and
// no new start once `maxFailures` sessions have failed.

#include "fleet/upgrade_session.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

struct LaunchLimits {
    std::size_t parallel = 0; // 0: no limit
    std::size_t canary = 0;
    std::optional<std::size_t> maxFailures;
};

class LaunchPlan {
public:
    LaunchPlan(std::size_t targets, LaunchLimits limits);

    // The index of a target that may start now, or none (too many active,
    // waiting for the canaries, halted, or all started).
    std::optional<std::size_t> Next();
    // A refusal halts the canary stage but does not count as a failure.
    void Finished(std::size_t index, Outcome outcome);
    // Starts nothing more, for the given reason.
    void Halt(const std::string& reason);

    // No session active and none will start.
    bool Done() const;
    // Why targets were left unstarted; empty while not halted.
    const std::string& HaltReason() const { return haltReason_; }

private:
    std::size_t targets_;
    LaunchLimits limits_;
    std::size_t nextIndex_ = 0, active_ = 0, failures_ = 0, canaryOk_ = 0;
    std::string haltReason_;
};

} // namespace fleet
