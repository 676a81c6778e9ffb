#pragma once

// One collector's upgrade as a plain state machine. It never sleeps and owns no
// socket or timer: the caller feeds it the time, the frames that arrived from
// its collector and the expiry of its deadline, and it answers through a
// SessionLink. The same code runs under Asio in the program and on a clock the
// tests set by hand.
//
//   Requesting --"R"+start--> Sending --last block--> Settling --5000 ms--> Querying
//   Querying --"R"+list--> Sending      Querying --"R"--> Verifying --version--> Done
//
// Completion queries that go unanswered are asked again until the
// verification time has passed since the first of them (five at least). While
// one waits for its answer the collector is probed every verification
// interval: a collector whose completion answer was lost may have restarted
// into its new firmware, and then it tells its version.
//
// Every stage has a deadline, so a collector that stalls ends its own session
// and nobody else's. Two blocks to the collector are never less than the
// block pacing apart, however late or early the caller's timers fire: the
// collector acknowledges no block, and the pause is its only time to write one.

#include "fleet/session/firmware_image.h"
#include "fleet/session/fleet_policy.h"
#include "fleet/session/outcomes.h"
#include "protocol/collector_rules.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace fleet {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

// Steady-clock times as UTC wall-clock times, from one pair of readings
// taken together: the steady clock orders a session's events, a report
// names them by the wall clock.
struct WallClock {
    TimePoint steady = Clock::now();
    std::chrono::system_clock::time_point wall = std::chrono::system_clock::now();
    std::chrono::system_clock::time_point At(TimePoint when) const {
        return wall +
               std::chrono::duration_cast<std::chrono::system_clock::duration>(when - steady);
    }
};

struct SessionTiming {
    Millis blockPacing{protocol::kBlockPacingMs}; // after each data block
    Millis settle{protocol::kSettleMs};           // after the last block, before the first "EN"
    Millis queryInterval{
        protocol::kQueryIntervalMs};        // between "EN" queries, and after the last one
    int queryLimit = protocol::kQueryLimit; // unanswered, and verifyTimeout passed: failed
    Millis requestInterval{protocol::kQueryIntervalMs}; // "LU" is asked again like "EN"
    int requestLimit = protocol::kQueryLimit;
    bool verify = true;
    // After completion the collector restarts into its new firmware; it is
    // probed every verifyInterval until it reports the image's version or
    // verifyTimeout has passed. A probe is no upgrade message and the
    // collector sets no pace for it: a lost probe or answer costs a second.
    Millis verifyInterval{policy::kVerifyInterval};
    Millis verifyTimeout{policy::kVerifyTimeout};
    int passLimit = policy::kPassLimit; // resend passes at most
};

enum class Stage { Waiting, Requesting, Sending, Settling, Querying, Verifying, Done };
enum class Outcome {
    Pending,
    Upgraded,       // completed and reported the image's version
    NotVerified,    // completed; no version answer before the verification timeout
    Refused,        // "E80": the collector cannot take an upgrade
    AlreadyCurrent, // "E81": the collector already runs this version
    Failed,         // see ReasonCode() and StageReached()
    Interrupted,    // the operator ended the run while it was under way
};

const char* StageName(Stage stage);
const char* OutcomeName(Outcome outcome);
// The stage as a report names it: sweep, request, blocks, query, verify, done.
const char* ReportStageName(Stage stage);

// Where a session's datagrams go; the address is always the session's own.
class SessionLink {
public:
    virtual ~SessionLink() = default;
    virtual void SendUpgradeFrame(const std::string& address, const std::string& frame) = 0;
    virtual void SendProbe(const std::string& address) = 0;
    // The time once a send has returned. A send can leave later than the
    // time the session was given (the program was not scheduled in between);
    // the pacing floor counts from this, so that such a delay never shortens
    // the next gap on the wire. A link without a clock of its own returns
    // the session's time.
    virtual TimePoint AfterSend(TimePoint sessionNow) { return sessionNow; }
};

class UpgradeSession {
public:
    UpgradeSession(std::string address, std::shared_ptr<const FirmwareImage> image,
                   SessionLink& link, SessionTiming timing = {});

    // Sends the upgrade request.
    void Start(TimePoint now);
    // A frame (ESC .. ENQ) that came from this collector's upgrade port. Bad
    // checksums, unparsable fields and replies the stage does not expect are
    // ignored.
    void OnUpgradeFrame(const std::string& frame, TimePoint now);
    // The version (raw bytes) from this collector's search reply.
    void OnSearchVersion(const std::string& version, TimePoint now);
    // Call when Deadline() has come; earlier calls do nothing.
    void OnTimer(TimePoint now);
    // The operator ended the run. A started, unfinished session ends where
    // it stands: "interrupted" in its stage, or "not verified" once the
    // collector has confirmed completion. Waiting and finished ones are kept.
    void Interrupt(TimePoint now);

    // When OnTimer must next be called; none before Start and once done.
    std::optional<TimePoint> Deadline() const;

    const std::string& Address() const { return address_; }
    Stage CurrentStage() const { return stage_; }
    Outcome Result() const { return outcome_; }
    bool Finished() const { return stage_ == Stage::Done; }
    // Why the session did not end upgraded, for people; empty otherwise.
    const std::string& Reason() const { return reason_; }
    // The same as a code; None when upgraded.
    fleet::Reason ReasonCode() const { return reasonCode_; }
    // The stage the session was in when it ended (Done when upgraded).
    Stage StageReached() const { return stageReached_; }

    int Pass() const { return pass_; } // 1 for the first pass, +1 per resend list
    std::size_t PassBlocksSent() const { return passSent_; }
    std::size_t PassBlocksTotal() const { return passTotal_; }
    std::size_t BlocksSent() const { return blocksSent_; } // all passes
    std::size_t BlocksResent() const { return blocksResent_; }
    // Resend-list entries naming a block the image does not have.
    std::size_t ResendOutsideImage() const { return resendOutside_; }
    // The version the collector reported when verifying (raw bytes), if it did.
    const std::optional<std::string>& VerifiedVersion() const { return reportedVersion_; }
    TimePoint StartedAt() const { return startedAt_; }
    TimePoint FinishedAt() const { return finishedAt_; }

private:
    void HandleRequestReply(const std::string& frame, TimePoint now);
    void HandleQueryReply(const std::string& frame, TimePoint now);
    void BeginPass(std::deque<int> blocks, TimePoint now);
    void SendNextBlock(TimePoint now);
    void SendQuery(TimePoint now);
    TimePoint NextQueryingDeadline(TimePoint now) const;
    void BeginVerifying(TimePoint now);
    void Finish(Outcome outcome, fleet::Reason code, std::string reason, TimePoint now);

    std::string address_;
    std::shared_ptr<const FirmwareImage> image_;
    SessionLink& link_;
    SessionTiming timing_;

    Stage stage_ = Stage::Waiting;
    Outcome outcome_ = Outcome::Pending;
    std::string reason_;
    fleet::Reason reasonCode_ = fleet::Reason::None;
    Stage stageReached_ = Stage::Waiting;
    TimePoint deadline_{};
    std::optional<TimePoint> lastBlockAt_; // the pacing floor counts from here
    TimePoint verifyEnds_{};
    TimePoint queriesBegan_{}; // the first completion query of this pass
    TimePoint nextQueryAt_{};  // while querying: when the next query is due
    int queryProbes_ = 0;      // probes sent while this pass's queries went unanswered
    int attempts_ = 0;         // requests, queries or probes sent in the current stage
    std::deque<int> pending_;
    int pass_ = 0;
    std::size_t passSent_ = 0, passTotal_ = 0, blocksSent_ = 0, blocksResent_ = 0;
    std::size_t resendOutside_ = 0;
    std::optional<std::string> reportedVersion_;
    TimePoint startedAt_{}, finishedAt_{};
};

} // namespace fleet
