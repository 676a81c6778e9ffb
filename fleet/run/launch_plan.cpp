#include "fleet/run/launch_plan.h"

namespace fleet {

LaunchPlan::LaunchPlan(std::size_t targets, LaunchLimits limits)
    : targets_(targets), limits_(limits), isCanary_(targets, false) {}

std::optional<std::size_t> LaunchPlan::Next() {
    if (!haltReason_.empty() || nextIndex_ >= targets_)
        return std::nullopt;
    if (limits_.parallel != 0 && active_ >= limits_.parallel)
        return std::nullopt;
    const bool canaryStage = canaryOk_ < limits_.canary;
    if (canaryStage) {
        // Only as many canaries at once as are still to prove the image.
        if (canaryOk_ + canaryActive_ >= limits_.canary)
            return std::nullopt;
        ++canaryActive_;
        isCanary_[nextIndex_] = true;
    }
    ++active_;
    return nextIndex_++;
}

void LaunchPlan::Finished(std::size_t index, Outcome outcome) {
    if (active_ > 0)
        --active_;
    if (outcome == Outcome::Failed || outcome == Outcome::NotVerified)
        ++failures_;
    if (index < isCanary_.size() && isCanary_[index]) {
        isCanary_[index] = false;
        --canaryActive_;
        if (outcome == Outcome::Upgraded)
            ++canaryOk_;
        else if (outcome != Outcome::AlreadyCurrent && outcome != Outcome::Interrupted &&
                 haltReason_.empty()) {
            failedCanary_ = index;
            Halt("not started: the canary collector was not upgraded", Reason::CanaryNotUpgraded);
        }
    }
    if (limits_.maxFailures && failures_ >= *limits_.maxFailures)
        Halt("not started: the failure limit (" + std::to_string(failures_) + ") was reached",
             Reason::FailureLimit);
}

void LaunchPlan::Halt(const std::string& reason, Reason code) {
    if (haltReason_.empty()) {
        haltReason_ = reason;
        haltCode_ = code;
    }
}

bool LaunchPlan::Done() const {
    return active_ == 0 && (!haltReason_.empty() || nextIndex_ >= targets_);
}

} // namespace fleet
