#pragma once

// Which collector's session may start next: at most `parallel` at once; the
// first `canary` ones alone, each of them upgraded and verified before any
// other starts; and no new start once `maxFailures` sessions have failed.

#include "fleet/session/upgrade_session.h"

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
    // A canary that ends other than upgraded halts the run, except one that
    // already runs the version ("E81"): it proves nothing either way, so the
    // next target becomes the canary instead. Failures (failed, not
    // verified) count towards the limit; refusals and interrupts do not.
    void Finished(std::size_t index, Outcome outcome);
    // Starts nothing more, for the given reason (text and code).
    void Halt(const std::string& reason, Reason code);

    // No session active and none will start.
    bool Done() const;
    // Why targets were left unstarted; empty while not halted.
    const std::string& HaltReason() const { return haltReason_; }
    Reason HaltCode() const { return haltCode_; }
    // The canary whose end halted the run, if one did.
    std::optional<std::size_t> FailedCanary() const { return failedCanary_; }

private:
    std::size_t targets_;
    LaunchLimits limits_;
    std::size_t nextIndex_ = 0, active_ = 0, failures_ = 0;
    std::size_t canaryOk_ = 0, canaryActive_ = 0;
    std::vector<bool> isCanary_;
    std::string haltReason_;
    Reason haltCode_ = Reason::None;
    std::optional<std::size_t> failedCanary_;
};

} // namespace fleet
