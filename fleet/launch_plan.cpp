#include "fleet/launch_plan.h"

#include <algorithm>

namespace fleet {

LaunchPlan::LaunchPlan(std::size_t targets, LaunchLimits limits)
    : targets_(targets), limits_(limits) {
    limits_.canary = std::min(limits_.canary, targets_);
}

std::optional<std::size_t> LaunchPlan::Next() {
    if (!haltReason_.empty() || nextIndex_ >= targets_)
        return std::nullopt;
    if (limits_.parallel != 0 && active_ >= limits_.parallel)
        return std::nullopt;
    // The canaries go first, and the others only once every canary succeeded.
    if (nextIndex_ >= limits_.canary && canaryOk_ < limits_.canary)
        return std::nullopt;
    ++active_;
    return nextIndex_++;
}

void LaunchPlan::Finished(std::size_t index, Outcome outcome) {
    const bool succeeded = outcome == Outcome::Upgraded;
    if (active_ > 0)
        --active_;
    if (outcome == Outcome::Failed)
        ++failures_;
    if (index < limits_.canary) {
        if (succeeded)
            ++canaryOk_;
        else if (haltReason_.empty())
            haltReason_ = "not started: a canary collector was not upgraded";
    }
    if (limits_.maxFailures && failures_ >= *limits_.maxFailures && haltReason_.empty())
        haltReason_ =
            "not started: the failure limit (" + std::to_string(failures_) + ") was reached";
}

void LaunchPlan::Halt(const std::string& reason) {
    if (haltReason_.empty())
        haltReason_ = reason;
}

bool LaunchPlan::Done() const {
    return active_ == 0 && (!haltReason_.empty() || nextIndex_ >= targets_);
}

} // namespace fleet
