#pragma once

// Runs the upgrade sessions of a fleet on one Asio event loop: a timer per
// session, replies routed to their session by sender address, new sessions
// started as the launch plan allows.

#include "fleet/run/fleet_sockets.h"
#include "fleet/run/launch_plan.h"
#include "fleet/run/progress.h"
#include "fleet/session/upgrade_session.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace fleet {

class UpgradeRun : private SessionLink {
public:
    UpgradeRun(asio::io_context& io, FleetSockets& sockets,
               std::shared_ptr<const FirmwareImage> image, std::vector<std::string> targets,
               LaunchLimits limits, SessionTiming timing, ProgressView& progress);

    // Runs the loop until every session has ended or will not start.
    void Run();
    // Starts no more sessions and ends each running one where it stands;
    // Run() returns.
    void Interrupt();
    bool Interrupted() const { return interrupted_; }

    // Called on the loop's thread as each session ends, with its index.
    std::function<void(std::size_t)> onSessionEnded;
    // Called on the loop's thread after anything happened to a session.
    std::function<void(const UpgradeSession&)> onSessionEvent;
    // Called on the loop's thread as a running session enters another stage.
    std::function<void(std::size_t)> onStageChanged;

    const std::vector<std::unique_ptr<UpgradeSession>>& Sessions() const { return sessions_; }
    // Why sessions that never started were left out (empty if all started).
    const std::string& HaltReason() const { return plan_.HaltReason(); }
    Reason HaltCode() const { return plan_.HaltCode(); }
    // The canary whose end halted the run, if one did.
    std::optional<std::size_t> FailedCanary() const { return plan_.FailedCanary(); }
    // Wall time from the first session's start to the last one's end.
    double Seconds() const { return std::chrono::duration<double>(ended_ - began_).count(); }
    // The wall clock the sessions' times are told by.
    const WallClock& Wall() const { return wall_; }

private:
    struct Slot {
        explicit Slot(asio::io_context& io) : timer(io) {}
        asio::steady_timer timer;
        unsigned generation = 0;      // stale timer completions carry an older one
        bool reported = false;        // Finished() already told to the plan
        bool launching = false;       // let go by the plan, its start still ahead
        Stage stage = Stage::Waiting; // as last told to onStageChanged
    };

    void SendUpgradeFrame(const std::string& address, const std::string& frame) override;
    void SendProbe(const std::string& address) override;
    TimePoint AfterSend(TimePoint) override { return Clock::now(); }

    void StartSessions();
    void AfterEvent(std::size_t index);
    void Arm(std::size_t index);
    void ScheduleRedraw();
    std::vector<const UpgradeSession*> View() const;

    asio::io_context& io_;
    FleetSockets& sockets_;
    LaunchPlan plan_;
    SessionTiming timing_;
    ProgressView& progress_;
    std::vector<std::unique_ptr<UpgradeSession>> sessions_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::unordered_map<std::string, std::size_t> byAddress_;
    asio::steady_timer redraw_;
    TimePoint began_{}, ended_{};
    WallClock wall_;
    bool interrupted_ = false;
};

} // namespace fleet
