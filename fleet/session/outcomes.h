#pragma once

// Every plan, outcome and reason code a fleet run reports, each once: the
// stable word that reports, logs and Ansible's `fail_on` use, what it means
// in English, the fleet window's text for it (Chinese, UTF-8) and whether a
// collector that ends with it fails a site by default. The report's schema,
// the manual, docs/fleet.md and the Ansible collection's lists are checked
// against this table by one test (tools/fleet_outcomes).

#include <optional>
#include <span>
#include <string_view>

namespace fleet {

// What the sweep says should happen to a target.
enum class PlanKind {
    Upgrade,
    AlreadyCurrent,
    RefusedV,
    NotInSubnet,
    AddressConflict,
    NotFound,
    Unexpected, // answered the sweep, but is not in the expected list
};

// How a collector ended (or stands, while the run goes).
enum class ResultKind {
    Upgraded,       // completed and reported the new version
    NotVerified,    // completed, no version answer in time
    Refused,        // "E80", or a version the upgrade protocol cannot serve ("V")
    AlreadyCurrent, // the sweep's version or "E81"
    Failed,
    Interrupted,
    Conflict, // two serials answer from the address
    NotStarted,
    Planned,    // a dry run's "would upgrade"
    InProgress, // its session runs as the report is written; never in a final report
    NotFound,   // expected, but never answered the sweep
};

// Why a collector did not end upgraded; None when it did (or is planned).
enum class Reason {
    None,
    NoFlash,           // the collector answered "E80"
    SameVersion,       // it answered "E81"
    RequestUnanswered, // no answer to the upgrade requests
    RequestAnswer,     // an answer to the request that means nothing here
    QueryUnanswered,   // no answer to the completion queries
    QueryAnswer,       // a failure answer to a completion query
    PassLimit,         // still missing blocks after the last resend pass
    WrongVersion,      // completed, then reported another version
    NoVersionReply,    // completed, no version answer within the verification time
    Interrupted,
    CanaryNotUpgraded,
    FailureLimit,
    NotInSubnet,
    NoSweepReply,
    AddressConflict,
    SerialMismatch,
    NotConfirmed,
    VersionV,
    VersionNotS,
    AlreadyCurrent,
    Unexpected,          // --only-expected left a collector that is not in the list alone
    SerialOnTwoAdapters, // the same serial answered on two adapters of the run
};

// Every kind, in declaration order, for readers that map names back.
inline constexpr int kPlanKindCount = static_cast<int>(PlanKind::Unexpected) + 1;
inline constexpr int kResultKindCount = static_cast<int>(ResultKind::NotFound) + 1;
inline constexpr int kReasonCount = static_cast<int>(Reason::SerialOnTwoAdapters) + 1;

// One row of the table.
struct CodeEntry {
    const char* code;    // as the report names it ("" for Reason::None)
    const char* english; // what it means
    const char* chinese; // the fleet window's text (UTF-8)
    // Named in the default `fail_on`: a collector ending with it fails a
    // site. A reason is named only where its outcome does not already say it.
    bool failsSite;
};

const CodeEntry& Describe(PlanKind kind);
const CodeEntry& Describe(ResultKind kind);
const CodeEntry& Describe(Reason reason);
// Every row, in declaration order (reasons from None on).
std::span<const CodeEntry> PlanEntries();
std::span<const CodeEntry> ResultEntries();
std::span<const CodeEntry> ReasonEntries();

// The codes, as the report writes them.
const char* PlanName(PlanKind kind);
const char* ResultName(ResultKind kind);
const char* ReasonName(Reason reason);
// The reason a code names; none for a code this program does not know.
std::optional<Reason> ReasonNamed(std::string_view code);

} // namespace fleet
