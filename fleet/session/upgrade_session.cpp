#include "fleet/session/upgrade_session.h"

#include "protocol/messages.h"
#include "pubpro/conversion_error.h"
#include "pubpro/uPubpro.h"

#include "platform/gbk.h"

#include <algorithm>
#include <utility>

namespace fleet {

namespace {

// A reply's payload for a reason text: printable ASCII only, and short.
std::string Printable(const std::string& frame) {
    std::string text;
    for (const unsigned char c : pubpro::FramePayload(frame).substr(0, 24))
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return text;
}

} // namespace

const char* StageName(Stage stage) {
    switch (stage) {
    case Stage::Waiting:
        return "waiting";
    case Stage::Requesting:
        return "requesting";
    case Stage::Sending:
        return "sending";
    case Stage::Settling:
        return "settling";
    case Stage::Querying:
        return "querying";
    case Stage::Verifying:
        return "verifying";
    case Stage::Done:
        return "done";
    }
    return "?";
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pending:
        return "pending";
    case Outcome::Upgraded:
        return ResultName(ResultKind::Upgraded);
    case Outcome::NotVerified:
        return ResultName(ResultKind::NotVerified);
    case Outcome::Refused:
        return ResultName(ResultKind::Refused);
    case Outcome::AlreadyCurrent:
        return ResultName(ResultKind::AlreadyCurrent);
    case Outcome::Failed:
        return ResultName(ResultKind::Failed);
    case Outcome::Interrupted:
        return ResultName(ResultKind::Interrupted);
    }
    return "?";
}

const char* ReportStageName(Stage stage) {
    switch (stage) {
    case Stage::Waiting:
        return "sweep";
    case Stage::Requesting:
        return "request";
    case Stage::Sending:
    case Stage::Settling: // the pause in which the collector writes the last blocks
        return "blocks";
    case Stage::Querying:
        return "query";
    case Stage::Verifying:
        return "verify";
    case Stage::Done:
        return "done";
    }
    return "?";
}

UpgradeSession::UpgradeSession(std::string address, std::shared_ptr<const FirmwareImage> image,
                               SessionLink& link, SessionTiming timing)
    : address_(std::move(address)), image_(std::move(image)), link_(link), timing_(timing) {}

void UpgradeSession::Start(TimePoint now) {
    if (stage_ != Stage::Waiting)
        return;
    startedAt_ = now;
    stage_ = Stage::Requesting;
    attempts_ = 0;
    link_.SendUpgradeFrame(address_,
                           protocol::BuildUpgradeRequest(image_->versionWire, image_->blockCount));
    ++attempts_;
    deadline_ = now + timing_.requestInterval;
}

void UpgradeSession::OnUpgradeFrame(const std::string& frame, TimePoint now) {
    if (!pubpro::FrameChecksumOk(frame))
        return;
    try {
        if (stage_ == Stage::Requesting)
            HandleRequestReply(frame, now);
        else if (stage_ == Stage::Querying)
            HandleQueryReply(frame, now);
        // Sending, settling, verifying: late and duplicated replies are ignored.
    } catch (const pubpro::ConversionError&) {
        // A reply whose number fields do not parse is garbage; the stage's
        // own retries and deadline take care of a collector that sends only that.
    }
}

void UpgradeSession::HandleRequestReply(const std::string& frame, TimePoint now) {
    switch (protocol::ClassifyRequestReply(frame)) {
    case protocol::RequestReply::Accept: {
        const int start = std::max(0, protocol::ParseAcceptStartBlock(frame));
        std::deque<int> blocks;
        for (int i = start; i < static_cast<int>(image_->blockCount); ++i)
            blocks.push_back(i);
        BeginPass(std::move(blocks), now);
        return;
    }
    case protocol::RequestReply::NoFlash:
        return Finish(Outcome::Refused, fleet::Reason::NoFlash, "collector has no flash (E80)",
                      now);
    case protocol::RequestReply::SameVersion:
        return Finish(Outcome::AlreadyCurrent, fleet::Reason::SameVersion,
                      "collector already has this version (E81)", now);
    case protocol::RequestReply::Other:
        return Finish(Outcome::Failed, fleet::Reason::RequestAnswer,
                      "upgrade request answered \"" + Printable(frame) + "\"", now);
    }
}

void UpgradeSession::HandleQueryReply(const std::string& frame, TimePoint now) {
    switch (protocol::ClassifyCompletionReply(frame)) {
    case protocol::CompletionReply::Complete:
        if (timing_.verify)
            return BeginVerifying(now);
        return Finish(Outcome::Upgraded, fleet::Reason::None, {}, now);
    case protocol::CompletionReply::ResendList: {
        const std::vector<int> listed = protocol::ParseResendList(frame);
        if (pass_ >= timing_.passLimit)
            return Finish(Outcome::Failed, fleet::Reason::PassLimit,
                          "still missing blocks after " + std::to_string(pass_) + " passes", now);
        // Indices outside the image carry no data; sending them would only pad the pass.
        std::deque<int> blocks;
        for (const int index : listed) {
            if (index >= 0 && index < static_cast<int>(image_->blockCount))
                blocks.push_back(index);
            else
                ++resendOutside_;
        }
        blocksResent_ += blocks.size();
        return BeginPass(std::move(blocks), now);
    }
    case protocol::CompletionReply::Failure:
        return Finish(Outcome::Failed, fleet::Reason::QueryAnswer,
                      "completion query answered \"" + Printable(frame) + "\"", now);
    }
}

void UpgradeSession::BeginPass(std::deque<int> blocks, TimePoint now) {
    ++pass_;
    pending_ = std::move(blocks);
    passSent_ = 0;
    passTotal_ = pending_.size();
    stage_ = Stage::Sending;
    SendNextBlock(now);
}

void UpgradeSession::SendNextBlock(TimePoint now) {
    // The pass ends one pause after its last block; the settle follows.
    if (pending_.empty()) {
        stage_ = Stage::Settling;
        deadline_ = now + timing_.settle;
        return;
    }
    // The floor: never sooner than one pause after the previous block, whoever
    // calls. A late timer is not made up for by sending the next one sooner.
    if (lastBlockAt_ && now < *lastBlockAt_ + timing_.blockPacing) {
        deadline_ = *lastBlockAt_ + timing_.blockPacing;
        return;
    }
    const int index = pending_.front();
    pending_.pop_front();
    link_.SendUpgradeFrame(
        address_, protocol::BuildDataBlock(index, protocol::BlockText(*image_->hex, index)));
    ++passSent_;
    ++blocksSent_;
    lastBlockAt_ = std::max(now, link_.AfterSend(now));
    deadline_ = *lastBlockAt_ + timing_.blockPacing;
}

void UpgradeSession::SendQuery(TimePoint now) {
    stage_ = Stage::Querying;
    link_.SendUpgradeFrame(address_, protocol::BuildCompletionQuery());
    ++attempts_;
    nextQueryAt_ = now + timing_.queryInterval;
    deadline_ = NextQueryingDeadline(now);
}

TimePoint UpgradeSession::NextQueryingDeadline(TimePoint now) const {
    // A query that stays unanswered for a probe interval may have completed
    // the upgrade with its answer lost: the collector is probed until the next
    // query is due. Probes go to the search port and set no pace.
    if (timing_.verify && now + timing_.verifyInterval < nextQueryAt_)
        return now + timing_.verifyInterval;
    return nextQueryAt_;
}

void UpgradeSession::BeginVerifying(TimePoint now) {
    stage_ = Stage::Verifying;
    verifyEnds_ = now + timing_.verifyTimeout;
    link_.SendProbe(address_);
    deadline_ = std::min(now + timing_.verifyInterval, verifyEnds_);
}

void UpgradeSession::OnSearchVersion(const std::string& version, TimePoint now) {
    // While a query goes unanswered the collector is probed: reporting the
    // image's version proves that it completed and restarted, its answer to
    // the query lost. Any other version proves nothing yet.
    if (stage_ == Stage::Querying && timing_.verify && queryProbes_ > 0 &&
        version == image_->versionAsReported) {
        reportedVersion_ = version;
        return Finish(Outcome::Upgraded, fleet::Reason::None, {}, now);
    }
    if (stage_ != Stage::Verifying)
        return;
    reportedVersion_ = version;
    // A collector may still report its old version for a moment after it
    // completes, so a mismatch is only final when the probes run out.
    if (version == image_->versionAsReported)
        Finish(Outcome::Upgraded, fleet::Reason::None, {}, now);
}

void UpgradeSession::OnTimer(TimePoint now) {
    if (stage_ == Stage::Waiting || stage_ == Stage::Done || now < deadline_)
        return;
    switch (stage_) {
    case Stage::Requesting:
        if (attempts_ >= timing_.requestLimit)
            return Finish(Outcome::Failed, fleet::Reason::RequestUnanswered,
                          "no answer to " + std::to_string(attempts_) + " upgrade requests", now);
        link_.SendUpgradeFrame(
            address_, protocol::BuildUpgradeRequest(image_->versionWire, image_->blockCount));
        ++attempts_;
        deadline_ = now + timing_.requestInterval;
        return;
    case Stage::Sending:
        return SendNextBlock(now);
    case Stage::Settling:
        attempts_ = 0;
        queryProbes_ = 0;
        queriesBegan_ = now;
        return SendQuery(now);
    case Stage::Querying:
        if (now < nextQueryAt_) {
            link_.SendProbe(address_);
            ++queryProbes_;
            deadline_ = NextQueryingDeadline(now);
            return;
        }
        if (attempts_ >= timing_.queryLimit && now - queriesBegan_ >= timing_.verifyTimeout)
            return Finish(Outcome::Failed, fleet::Reason::QueryUnanswered,
                          "no answer to " + std::to_string(attempts_) + " completion queries",
                          now);
        return SendQuery(now);
    case Stage::Verifying:
        if (now >= verifyEnds_) {
            // Completion was confirmed: without a version answer the upgrade
            // is unproven, not failed; the old version after the whole wait is
            // a failure.
            if (reportedVersion_)
                return Finish(Outcome::Failed, fleet::Reason::WrongVersion,
                              "reports version \"" + platform::GbkToUtf8(*reportedVersion_) +
                                  "\" after the upgrade",
                              now);
            return Finish(Outcome::NotVerified, fleet::Reason::NoVersionReply,
                          "completed, but no version answer within the verification time", now);
        }
        link_.SendProbe(address_);
        deadline_ = std::min(now + timing_.verifyInterval, verifyEnds_);
        return;
    case Stage::Waiting:
    case Stage::Done:
        return;
    }
}

void UpgradeSession::Interrupt(TimePoint now) {
    if (stage_ == Stage::Waiting || stage_ == Stage::Done)
        return;
    if (stage_ == Stage::Verifying)
        return Finish(Outcome::NotVerified, fleet::Reason::Interrupted,
                      "completed; the run was interrupted before its version was checked", now);
    Finish(Outcome::Interrupted, fleet::Reason::Interrupted,
           std::string("interrupted while ") + StageName(stage_), now);
}

std::optional<TimePoint> UpgradeSession::Deadline() const {
    if (stage_ == Stage::Waiting || stage_ == Stage::Done)
        return std::nullopt;
    return deadline_;
}

void UpgradeSession::Finish(Outcome outcome, fleet::Reason code, std::string reason,
                            TimePoint now) {
    stageReached_ = outcome == Outcome::Upgraded ? Stage::Done : stage_;
    stage_ = Stage::Done;
    reasonCode_ = code;
    outcome_ = outcome;
    reason_ = std::move(reason);
    finishedAt_ = now;
    pending_.clear();
}

} // namespace fleet
