// The upgrade session on virtual time: the test owns the clock, plays the
// collector by handing frames in, and reads what went out from the recording
// link. No sockets, no sleeping.
#include "fleet/run/run_steps.h"
#include "fleet/session/upgrade_session.h"
#include "pubpro/uPubpro.h"
#include "recording_session_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

using pubpro::FramePayload;
using pubpro::MakeFrame;

using namespace std::chrono_literals;
using fleet::Outcome;
using fleet::Stage;

namespace {

const std::string kCollector = "198.51.100.20";
const std::string kQuery("\x1B"
                         "ENB314\x05"); // the completion query, byte for byte

// An image of `blocks` blocks whose hex text is block-recognisable: block k
// is 600 copies of the digit k (mod 10); the last block is 10 characters.
std::shared_ptr<const fleet::FirmwareImage> Image(int blocks, std::string version = "S1.02") {
    auto image = std::make_shared<fleet::FirmwareImage>();
    image->versionText = image->versionWire = image->versionAsReported = version;
    std::string hex;
    for (int k = 0; k < blocks; ++k)
        hex += std::string(k + 1 == blocks ? 10 : 600, static_cast<char>('0' + k % 10));
    image->sizeBytes = hex.size() / 2;
    image->hex = std::make_shared<const std::string>(std::move(hex));
    image->blockCount = static_cast<std::size_t>(blocks);
    return image;
}

class SessionTest : public ::testing::Test {
protected:
    void Make(int blocks, fleet::SessionTiming timing = {}) {
        session_ =
            std::make_unique<fleet::UpgradeSession>(kCollector, Image(blocks), link_, timing);
    }
    fleet::TimePoint At(std::chrono::milliseconds ms) const { return t0_ + ms; }
    std::chrono::milliseconds Ms(fleet::TimePoint t) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t - t0_);
    }
    void StartAt(std::chrono::milliseconds ms) {
        link_.now = At(ms);
        session_->Start(At(ms));
    }
    // Runs every deadline up to `ms`, each exactly on time.
    void AdvanceTo(std::chrono::milliseconds ms) {
        while (auto due = session_->Deadline()) {
            if (*due > At(ms))
                break;
            link_.now = *due;
            session_->OnTimer(*due);
        }
        link_.now = At(ms);
    }
    void Reply(const std::string& payload) { ReplyRaw(MakeFrame(payload)); }
    void ReplyRaw(const std::string& frame) { session_->OnUpgradeFrame(frame, link_.now); }

    // Payloads of the frames sent, with data blocks shortened to "UD"+index,
    // probes as "probe" unless only the upgrade port's frames are asked for.
    std::vector<std::string> Payloads(bool probes = true) const {
        std::vector<std::string> out;
        for (const auto& s : link_.sent) {
            if (s.channel == "probe") {
                if (probes)
                    out.push_back("probe");
                continue;
            }
            const std::string payload = FramePayload(s.bytes);
            out.push_back(payload.rfind("UD", 0) == 0 ? payload.substr(0, 6) : payload);
        }
        return out;
    }
    std::vector<long long> SendTimes(bool probes = true) const {
        std::vector<long long> out;
        for (const auto& s : link_.sent)
            if (probes || s.channel != "probe")
                out.push_back(Ms(s.at).count());
        return out;
    }
    void Clear() { link_.sent.clear(); }
    // A one-block upgrade up to the completion reply, at 5150 ms.
    void ReachVerifying(fleet::SessionTiming timing = {}) {
        Make(1, timing);
        Clear();
        StartAt(0ms);
        Reply("R0000");
        AdvanceTo(5150ms);
        Reply("R");
        ASSERT_EQ(session_->CurrentStage(), Stage::Verifying);
    }

    fleet::TimePoint t0_ = fleet::TimePoint{} + 1h;
    RecordingSessionLink link_;
    std::unique_ptr<fleet::UpgradeSession> session_;
};

// ---- the normal course of an upgrade ----

TEST_F(SessionTest, HappyPath_RequestBlocksPacedSettleQueries) {
    Make(3);
    StartAt(0ms);
    ASSERT_EQ(Payloads(), (std::vector<std::string>{"LUS1.020003"}));
    EXPECT_EQ(session_->CurrentStage(), Stage::Requesting);

    link_.now = At(40ms);
    Reply("R0000");
    AdvanceTo(17490ms);
    EXPECT_EQ(Payloads(false), (std::vector<std::string>{"LUS1.020003", "UD0000", "UD0001",
                                                         "UD0002", "EN", "EN", "EN", "EN", "EN"}));
    // Blocks 150 ms apart; the first "EN" 150 + 5000 ms after the last block.
    EXPECT_EQ(SendTimes(false),
              (std::vector<long long>{0, 40, 190, 340, 5490, 8490, 11490, 14490, 17490}));
    EXPECT_EQ(link_.sent[4].bytes, kQuery);
    // Data blocks carry the image text of their index; the last one is short.
    EXPECT_EQ(FramePayload(link_.sent[2].bytes), "UD0001" + std::string(600, '1'));
    EXPECT_EQ(FramePayload(link_.sent[3].bytes), "UD0002" + std::string(10, '2'));
    for (const auto& s : link_.sent)
        EXPECT_EQ(s.address, kCollector);
}

TEST_F(SessionTest, CompletionThenMatchingVersion_Upgraded) {
    Make(2);
    StartAt(0ms);
    Reply("R0000");
    AdvanceTo(5300ms); // both blocks and the settle: first "EN" at 5300
    ASSERT_EQ(session_->CurrentStage(), Stage::Querying);
    link_.now = At(5400ms);
    Reply("R");
    EXPECT_EQ(session_->CurrentStage(), Stage::Verifying);
    EXPECT_EQ(link_.sent.back().channel, "probe");
    EXPECT_EQ(link_.sent.back().address, kCollector);
    session_->OnSearchVersion("S1.02", At(5450ms));
    EXPECT_EQ(session_->Result(), Outcome::Upgraded);
    EXPECT_TRUE(session_->Finished());
    EXPECT_FALSE(session_->Deadline().has_value());
    EXPECT_EQ(Ms(session_->FinishedAt()).count(), 5450);
    EXPECT_EQ(session_->Pass(), 1);
    EXPECT_EQ(session_->BlocksResent(), 0u);
}

TEST_F(SessionTest, ResultOf_InProgressInItsStageThenEndedWithUtcTimesAndVerified) {
    const fleet::WallClock wall{t0_, std::chrono::system_clock::time_point{} + 86400s};
    fleet::CollectorResult base;
    base.address = kCollector;
    Make(1);
    EXPECT_EQ(fleet::ResultOf(*session_, base, wall).result, fleet::ResultKind::NotStarted);
    ReachVerifying();
    auto result = fleet::ResultOf(*session_, base, wall);
    EXPECT_EQ(result.result, fleet::ResultKind::InProgress);
    EXPECT_EQ(result.stage, "verify");
    EXPECT_EQ(result.started, "1970-01-02T00:00:00Z");
    EXPECT_FALSE(result.ended);
    EXPECT_FALSE(result.verified);
    session_->OnSearchVersion("S1.02", At(6150ms));
    result = fleet::ResultOf(*session_, base, wall);
    EXPECT_EQ(result.result, fleet::ResultKind::Upgraded);
    EXPECT_EQ(result.ended, "1970-01-02T00:00:06Z");
    EXPECT_TRUE(result.verified); // --no-verify's upgraded: FleetE2e.Verification_*
}

TEST_F(SessionTest, AcceptWithStartBlock_SendsOnlyTheRest) {
    Make(4);
    StartAt(0ms);
    Reply("R0002");
    AdvanceTo(1000ms);
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"LUS1.020004", "UD0002", "UD0003"}));
    EXPECT_EQ(session_->PassBlocksTotal(), 2u);

    // A start at or past the end sends nothing and queries after the settle.
    Make(4);
    Clear();
    StartAt(0ms);
    Reply("R0004");
    AdvanceTo(5000ms);
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"LUS1.020004", "EN"}));
}

TEST_F(SessionTest, NoVerify_CompletionAloneCounts) {
    fleet::SessionTiming timing;
    timing.verify = false;
    Make(1, timing);
    StartAt(0ms);
    Reply("R0000");
    AdvanceTo(5150ms);
    Reply("R");
    EXPECT_EQ(session_->Result(), Outcome::Upgraded);
    EXPECT_EQ(Payloads().back(), "EN"); // no probe went out
}

// ---- resend lists ----

TEST_F(SessionTest, ResendList_SendsListedBlocksInListOrderThenQueriesAgain) {
    Make(5);
    StartAt(0ms);
    Reply("R0000");
    AdvanceTo(5750ms); // five blocks, settle, first "EN" at 5750
    Clear();
    Reply("R000200030001");
    EXPECT_EQ(session_->Pass(), 2);
    EXPECT_EQ(session_->PassBlocksTotal(), 2u);
    AdvanceTo(23100ms); // the fifth query at 23050
    EXPECT_EQ(Payloads(false),
              (std::vector<std::string>{"UD0003", "UD0001", "EN", "EN", "EN", "EN", "EN"}));
    EXPECT_EQ(SendTimes(false)[0], 5750);
    EXPECT_EQ(SendTimes(false)[2], 5750 + 300 + 5000);
    EXPECT_EQ(session_->BlocksResent(), 2u);
}

TEST_F(SessionTest, ResendList_EmptyOrOutsideTheImage_GoesStraightToTheNextQuery) {
    Make(2);
    StartAt(0ms);
    Reply("R0000");
    AdvanceTo(5300ms);
    Clear();
    Reply("R0000"); // count zero: a resend list with no entries, not a completion
    EXPECT_EQ(session_->CurrentStage(), Stage::Settling);
    Reply("R"); // ignored while settling
    AdvanceTo(10300ms);
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"EN"}));
    Clear();
    Reply("R0002FFFF0001"); // 0xFFFF lies outside a two-block image
    AdvanceTo(10300ms + 150ms + 5000ms);
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"UD0001", "EN"}));
    EXPECT_EQ(session_->BlocksResent(), 1u);
}

TEST_F(SessionTest, EndlessResendLists_FailAtThePassLimit) {
    fleet::SessionTiming timing;
    timing.passLimit = 3;
    Make(1, timing);
    StartAt(0ms);
    Reply("R0000");
    for (int pass = 0; pass < 3; ++pass) {
        AdvanceTo(Ms(link_.now) + 150ms + 5000ms); // one block, then the settle
        ASSERT_EQ(session_->CurrentStage(), Stage::Querying) << pass;
        Reply("R00010000");
    }
    EXPECT_EQ(session_->Result(), Outcome::Failed);
    EXPECT_EQ(session_->Reason(), "still missing blocks after 3 passes");
}

// ---- collectors that stop answering ----

TEST_F(SessionTest, UnansweredQueries_AskedAgainWithProbesUntilTheVerificationTime) {
    // A one-block upgrade: the first "EN" at 5150. Queries go 3000 ms apart,
    // five at least and until the verification time since the first has
    // passed; while each waits, the collector is probed every 1000 ms. Only an
    // answer or the image's version ends it sooner.
    struct Case {
        bool verify;
        int timeoutS, answerAtMs;
        const char* answer; // "R": to the query; else a probe's version; "": none
        Outcome outcome;
        long long endsAtMs;
        int queries, probes;
    };
    const std::vector<Case> cases = {
        {true, 20, 0, "", Outcome::Failed, 26150, 7, 14},
        {true, 90, 0, "", Outcome::Failed, 95150, 30, 60},
        {true, 20, 6500, "S1.02", Outcome::Upgraded, 6500, 1, 1}, // after the first probe
        {true, 20, 6000, "S1.02", Outcome::Failed, 26150, 7, 14}, // before any probe: proves nothing
        {true, 20, 21000, "S1.00", Outcome::Failed, 26150, 7, 14}, // the old one proves nothing
        {false, 20, 24000, "R", Outcome::Upgraded, 24000, 7, 0},
        {false, 20, 21000, "S1.02", Outcome::Failed, 26150, 7, 0}, // no probes, nothing proven
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const Case& c = cases[n];
        SCOPED_TRACE(n);
        fleet::SessionTiming timing;
        timing.verify = c.verify;
        timing.verifyTimeout = std::chrono::seconds(c.timeoutS);
        Make(1, timing);
        Clear();
        StartAt(0ms);
        Reply("R0000");
        AdvanceTo(std::chrono::milliseconds(c.answerAtMs));
        if (std::string(c.answer) == "R")
            Reply("R");
        else if (*c.answer != '\0')
            session_->OnSearchVersion(c.answer, link_.now);
        AdvanceTo(120000ms);
        EXPECT_EQ(session_->Result(), c.outcome);
        EXPECT_EQ(Ms(session_->FinishedAt()).count(), c.endsAtMs);
        const auto payloads = Payloads();
        EXPECT_EQ(std::count(payloads.begin(), payloads.end(), "EN"), c.queries);
        EXPECT_EQ(std::count(payloads.begin(), payloads.end(), "probe"), c.probes);
        if (c.outcome == Outcome::Failed) {
            EXPECT_EQ(session_->Reason(),
                      "no answer to " + std::to_string(c.queries) + " completion queries");
        }
    }
    const auto times = SendTimes(false); // the first five queries keep their rhythm
    EXPECT_EQ(std::vector<long long>(times.begin() + 2, times.begin() + 7),
              (std::vector<long long>{5150, 8150, 11150, 14150, 17150}));
}

TEST_F(SessionTest, RequestUnanswered_FiveRequests3000msApartThenFailed) {
    Make(2);
    StartAt(0ms);
    AdvanceTo(60000ms);
    EXPECT_EQ(Payloads(), std::vector<std::string>(5, "LUS1.020002"));
    EXPECT_EQ(SendTimes(), (std::vector<long long>{0, 3000, 6000, 9000, 12000}));
    EXPECT_EQ(session_->Result(), Outcome::Failed);
    EXPECT_EQ(session_->Reason(), "no answer to 5 upgrade requests");
    EXPECT_EQ(Ms(session_->FinishedAt()).count(), 15000);
}

TEST_F(SessionTest, AnswerToALaterRequest_StillAccepted) {
    Make(1);
    StartAt(0ms);
    AdvanceTo(7000ms); // three requests out
    Reply("R0000");
    EXPECT_EQ(session_->CurrentStage(), Stage::Sending);
    EXPECT_EQ(Payloads().back(), "UD0000");
}

TEST_F(SessionTest, Verification_KeptOldVersionFailsSilenceIsNotVerified) {
    fleet::SessionTiming timing;
    timing.verifyTimeout = 10000ms; // probes every second from +0 to +9 s, the end at +10 s
    ReachVerifying(timing);
    session_->OnSearchVersion("S1.00", link_.now);
    EXPECT_EQ(session_->CurrentStage(), Stage::Verifying); // not final yet
    AdvanceTo(60000ms);
    EXPECT_EQ(session_->Result(), Outcome::Failed);
    EXPECT_EQ(session_->ReasonCode(), fleet::Reason::WrongVersion);
    EXPECT_EQ(session_->Reason(), "reports version \"S1.00\" after the upgrade");
    EXPECT_EQ(session_->StageReached(), Stage::Verifying);
    ASSERT_TRUE(session_->VerifiedVersion());
    EXPECT_EQ(*session_->VerifiedVersion(), "S1.00");
    std::vector<long long> probes;
    for (const auto& s : link_.sent)
        if (s.channel == "probe")
            probes.push_back(Ms(s.at).count());
    EXPECT_EQ(probes, (std::vector<long long>{5150, 6150, 7150, 8150, 9150, 10150, 11150, 12150,
                                              13150, 14150}));
    EXPECT_EQ(Ms(session_->FinishedAt()).count(), 15150);

    // Completion confirmed but no version answer at all: unproven, not failed.
    ReachVerifying(timing);
    AdvanceTo(60000ms);
    EXPECT_EQ(session_->Result(), Outcome::NotVerified);
    EXPECT_EQ(session_->ReasonCode(), fleet::Reason::NoVersionReply);
}

TEST_F(SessionTest, SlowRestart_VerifiedWithinTheTimeoutNotVerifiedAfterIt) {
    // The default waits long enough for a collector that restarts for 40 s.
    ReachVerifying();
    AdvanceTo(45000ms);
    EXPECT_EQ(session_->CurrentStage(), Stage::Verifying);
    session_->OnSearchVersion("S1.02", link_.now);
    EXPECT_EQ(session_->Result(), Outcome::Upgraded);
    EXPECT_EQ(session_->StageReached(), Stage::Done);
    int probes = 0;
    for (const auto& s : link_.sent)
        probes += s.channel == "probe";
    EXPECT_GE(probes, 10); // every few seconds, not once

    fleet::SessionTiming shorter;
    shorter.verifyTimeout = 30000ms;
    ReachVerifying(shorter);
    AdvanceTo(5150ms + 30000ms);
    EXPECT_EQ(session_->Result(), Outcome::NotVerified);
    session_->OnSearchVersion("S1.02", At(45000ms)); // too late to change the outcome
    EXPECT_EQ(session_->Result(), Outcome::NotVerified);
}

TEST_F(SessionTest, Verification_OldVersionFirstThenNew_Upgraded) {
    ReachVerifying();
    session_->OnSearchVersion("S1.00", link_.now);
    AdvanceTo(7000ms);
    session_->OnSearchVersion("S1.02", link_.now);
    EXPECT_EQ(session_->Result(), Outcome::Upgraded);
    EXPECT_EQ(*session_->VerifiedVersion(), "S1.02");
}

// ---- refusals ----

TEST_F(SessionTest, Refusals_EndTheSessionWithTheirReason) {
    const std::vector<std::pair<std::string, std::pair<Outcome, std::string>>> cases = {
        {"E80", {Outcome::Refused, "collector has no flash (E80)"}},
        {"E81xyz", {Outcome::AlreadyCurrent, "collector already has this version (E81)"}},
        {"E82", {Outcome::Failed, "upgrade request answered \"E82\""}},
        {std::string("Q\x01", 2), {Outcome::Failed, "upgrade request answered \"Q?\""}},
    };
    for (const auto& [payload, expected] : cases) {
        Make(2);
        Clear();
        StartAt(0ms);
        Reply(payload);
        EXPECT_EQ(session_->Result(), expected.first) << payload;
        EXPECT_EQ(session_->Reason(), expected.second) << payload;
        AdvanceTo(60000ms);
        EXPECT_EQ(link_.sent.size(), 1u) << "nothing after a refusal: " << payload;
    }
}

TEST_F(SessionTest, Interrupt_EachStageEndsAsItStands) {
    struct Case {
        const char* name;
        std::function<void()> reach;
        Outcome outcome;
        Stage stage;
        std::size_t passBlocks;
    };
    const std::vector<Case> cases = {
        {"requesting", [&] { AdvanceTo(100ms); }, Outcome::Interrupted, Stage::Requesting, 0},
        {"sending",
         [&] {
             Reply("R0000");
             AdvanceTo(310ms); // blocks 0, 1 and 2 out
         },
         Outcome::Interrupted, Stage::Sending, 3},
        {"settling",
         [&] {
             Reply("R0000");
             AdvanceTo(1000ms);
         },
         Outcome::Interrupted, Stage::Settling, 4},
        {"querying",
         [&] {
             Reply("R0000");
             AdvanceTo(5600ms);
         },
         Outcome::Interrupted, Stage::Querying, 4},
        // The collector confirmed completion: it is not "interrupted", only unproven.
        {"verifying",
         [&] {
             Reply("R0000");
             AdvanceTo(5600ms);
             Reply("R");
         },
         Outcome::NotVerified, Stage::Verifying, 4},
    };
    for (const auto& c : cases) {
        Make(4);
        Clear();
        StartAt(0ms);
        c.reach();
        const std::size_t sent = link_.sent.size();
        session_->Interrupt(link_.now);
        EXPECT_EQ(session_->Result(), c.outcome) << c.name;
        EXPECT_EQ(session_->StageReached(), c.stage) << c.name;
        EXPECT_EQ(session_->ReasonCode(), fleet::Reason::Interrupted) << c.name;
        EXPECT_EQ(session_->PassBlocksSent(), c.passBlocks) << c.name;
        AdvanceTo(60000ms);
        EXPECT_EQ(link_.sent.size(), sent) << "nothing after the interrupt: " << c.name;
    }

    Make(2);
    session_->Interrupt(At(0ms)); // not started: stays waiting
    EXPECT_EQ(session_->CurrentStage(), Stage::Waiting);
    ReachVerifying();
    session_->OnSearchVersion("S1.02", link_.now);
    session_->Interrupt(link_.now); // already done: the result stands
    EXPECT_EQ(session_->Result(), Outcome::Upgraded);
}

TEST_F(SessionTest, UnknownAnswerToTheQuery_Fails) {
    Make(1);
    StartAt(0ms);
    Reply("R0000");
    AdvanceTo(5150ms);
    Reply("E99");
    EXPECT_EQ(session_->Result(), Outcome::Failed);
    EXPECT_EQ(session_->Reason(), "completion query answered \"E99\"");
}

// ---- garbage and duplicates ----

TEST_F(SessionTest, GarbageAndBadChecksums_AreIgnored) {
    Make(2);
    StartAt(0ms);
    std::string bad = MakeFrame("R0000");
    bad[bad.size() - 2] ^= 1;
    ReplyRaw(bad);
    ReplyRaw("\x1B"
             "R000086d7\x05"); // the right checksum, in lower case
    ReplyRaw("\x1B\x05");
    ReplyRaw("");
    ReplyRaw(std::string(5000, '\xFF'));
    Reply("RZZ!!"); // a valid frame whose start block does not parse
    EXPECT_EQ(session_->CurrentStage(), Stage::Requesting);
    EXPECT_EQ(link_.sent.size(), 1u);
    ReplyRaw("\x1B"
             "R000086D7\x05");
    EXPECT_EQ(session_->CurrentStage(), Stage::Sending);
}

TEST_F(SessionTest, DuplicatedReplies_DoNotRestartOrSkipAStage) {
    Make(3);
    StartAt(0ms);
    Reply("R0000");
    Reply("R0000"); // the same accept twice: still one pass
    AdvanceTo(200ms);
    Reply("R0001");
    EXPECT_EQ(session_->Pass(), 1);
    AdvanceTo(5450ms);
    Reply("R000200010002");
    Reply("R000200010002"); // duplicate while resending: ignored
    Reply("R");             // a stale completion while resending: ignored
    EXPECT_EQ(session_->CurrentStage(), Stage::Sending);
    AdvanceTo(5450ms + 300ms + 5000ms);
    EXPECT_EQ(Payloads(), (std::vector<std::string>{"LUS1.020003", "UD0000", "UD0001", "UD0002",
                                                    "EN", "UD0001", "UD0002", "EN"}));
    Reply("R00FF"); // resend list whose indices run past the frame: garbage
    EXPECT_EQ(session_->CurrentStage(), Stage::Querying);
}

TEST_F(SessionTest, PacingFloor_NoTwoBlocksUnder150msWhateverTheTimersDo) {
    Make(6);
    StartAt(0ms);
    Reply("R0000");               // block 0 at 0, next due at 150
    session_->OnTimer(At(100ms)); // early: nothing
    EXPECT_EQ(link_.sent.size(), 2u);
    link_.now = At(250ms); // 100 ms late: the next is due a full pause later, not at 300
    session_->OnTimer(At(250ms));
    EXPECT_EQ(Ms(*session_->Deadline()).count(), 400);
    link_.now = At(1000ms); // far behind: no burst either
    session_->OnTimer(At(1000ms));
    EXPECT_EQ(Ms(*session_->Deadline()).count(), 1150);
    // A caller that ignores the deadline still cannot go faster.
    for (int ms = 1001; ms < 2000; ms += 7) {
        link_.now = At(std::chrono::milliseconds(ms));
        session_->OnTimer(link_.now);
    }
    std::vector<long long> blockTimes;
    for (const auto& s : link_.sent)
        if (FramePayload(s.bytes).rfind("UD", 0) == 0)
            blockTimes.push_back(Ms(s.at).count());
    ASSERT_EQ(blockTimes.size(), 6u);
    for (std::size_t i = 1; i < blockTimes.size(); ++i)
        EXPECT_GE(blockTimes[i] - blockTimes[i - 1], 150) << i;
    EXPECT_EQ(session_->BlocksSent(), 6u);

    // A block that left 40 ms after the session's time: the pause counts from then.
    Make(3);
    StartAt(0ms);
    link_.sendDelay = 40ms;
    Reply("R0000");
    EXPECT_EQ(Ms(*session_->Deadline()).count(), 190);
}

TEST_F(SessionTest, Counters_BlocksSentResentAndEntriesOutsideTheImage) {
    Make(3);
    StartAt(0ms);
    Reply("R0000");
    AdvanceTo(5450ms);
    Reply("R00030001FFFF0009"); // one real block, two outside the image
    AdvanceTo(5450ms + 150ms + 5000ms);
    Reply("R");
    session_->OnSearchVersion("S1.02", link_.now);
    EXPECT_EQ(session_->BlocksSent(), 4u);
    EXPECT_EQ(session_->BlocksResent(), 1u);
    EXPECT_EQ(session_->ResendOutsideImage(), 2u);
    EXPECT_EQ(session_->ReasonCode(), fleet::Reason::None);
}

} // namespace
