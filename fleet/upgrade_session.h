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
// Every stage has a deadline, so a collector that stalls ends its own session
// and nobody else's.

#include "fleet/firmware_image.h"
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

struct SessionTiming {
    Millis blockPacing{protocol::kBlockPacingMs}; // after each data block
    Millis settle{protocol::kSettleMs};           // after the last block, before the first "EN"
    Millis queryInterval{
        protocol::kQueryIntervalMs}; // between "EN" queries, and after the last one
    int queryLimit = protocol::kQueryLimit;
    Millis requestInterval{protocol::kQueryIntervalMs}; // "LU" is asked again like "EN"
    int requestLimit = protocol::kQueryLimit;
    bool verify = true;
    Millis verifyInterval{1000}; // between version probes after completion
    int verifyLimit = 5;
    int passLimit = 32; // resend passes at most: a collector cannot keep us forever
};

enum class Stage { Waiting, Requesting, Sending, Settling, Querying, Verifying, Done };
enum class Outcome { Pending, Upgraded, Refused, Failed };

const char* StageName(Stage stage);
const char* OutcomeName(Outcome outcome);

// Where a session's datagrams go; the address is always the session's own.
class SessionLink {
public:
    virtual ~SessionLink() = default;
    virtual void SendUpgradeFrame(const std::string& address, const std::string& frame) = 0;
    virtual void SendProbe(const std::string& address) = 0;
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
    // Ends a started session as failed (the operator interrupted the run).
    void Abort(const std::string& reason, TimePoint now);

    // When OnTimer must next be called; none before Start and once done.
    std::optional<TimePoint> Deadline() const;

    const std::string& Address() const { return address_; }
    Stage CurrentStage() const { return stage_; }
    Outcome Result() const { return outcome_; }
    bool Finished() const { return stage_ == Stage::Done; }
    // Why the session was refused or failed; empty otherwise.
    const std::string& Reason() const { return reason_; }

    int Pass() const { return pass_; } // 1 for the first pass, +1 per resend list
    std::size_t PassBlocksSent() const { return passSent_; }
    std::size_t PassBlocksTotal() const { return passTotal_; }
    std::size_t BlocksResent() const { return blocksResent_; }
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
    void BeginVerifying(TimePoint now);
    void Finish(Outcome outcome, std::string reason, TimePoint now);

    std::string address_;
    std::shared_ptr<const FirmwareImage> image_;
    SessionLink& link_;
    SessionTiming timing_;

    Stage stage_ = Stage::Waiting;
    Outcome outcome_ = Outcome::Pending;
    std::string reason_;
    TimePoint deadline_{};
    int attempts_ = 0; // requests, queries or probes sent in the current stage
    std::deque<int> pending_;
    int pass_ = 0;
    std::size_t passSent_ = 0, passTotal_ = 0, blocksResent_ = 0;
    std::optional<std::string> reportedVersion_;
    TimePoint startedAt_{}, finishedAt_{};
};

} // namespace fleet
