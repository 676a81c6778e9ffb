#pragma once

// A log of one upgrade run for support: a line per session event (started,
// stage changed, resend list received, outcome) and per run event (sweep,
// plan, canary, interrupt, end), and at the datagrams level every datagram
// sent and received, each line stamped with its UTC time to the millisecond.
//
// Bounded: when the file reaches its size limit it is renamed to FILE.1
// (replacing an older FILE.1) and a new FILE begins, so at most two files of
// the limit exist. Writing it never stops a run: the first failure is told
// once and the log stops there.

#include "fleet/run/datagram_event.h"
#include "fleet/run/fleet_plan.h"
#include "fleet/run/fleet_report.h"
#include "fleet/session/upgrade_session.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace fleet {

enum class LogLevel { Events, Datagrams };

class RunLog {
public:
    static constexpr std::uint64_t kDefaultMaxBytes = 64ull << 20; // 64 MiB

    // `trouble` is told the first failure to write, once.
    RunLog(std::string path, LogLevel level, std::ostream& trouble,
           std::uint64_t maxBytes = kDefaultMaxBytes);
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Creates the file or appends to it, beginning with a line that marks a
    // new run. The text says why not; empty on success.
    std::string Open();
    bool LogsDatagrams() const { return level_ == LogLevel::Datagrams; }

    // A run event, in words.
    void Event(std::string_view text);
    // After anything happened to `session`: writes what changed since last time.
    void Session(const UpgradeSession& session);
    // Written at the datagrams level only.
    void Datagram(const DatagramEvent& datagram);

    // The run's own events.
    void Started(const RunInfo& run, const FirmwareImage& image);
    // The sweep's count, then each target's plan.
    void Planned(const FieldTable& field, const TargetPlan& plan);
    void Ended(int exitStatus, bool interrupted, const std::vector<CollectorResult>& results);

private:
    struct Seen {
        Stage stage = Stage::Waiting;
        int pass = 0;
        std::size_t outside = 0;
    };

    void Write(std::chrono::system_clock::time_point when, std::string_view text, bool flush);
    bool Rotate();
    void Fail(const std::string& why);

    std::string path_;
    LogLevel level_;
    std::ostream& trouble_;
    std::uint64_t maxBytes_, written_ = 0;
    std::ofstream file_;
    bool stopped_ = true; // until opened, and after a failure
    std::map<std::string, Seen> sessions_;
};

// A time as "2026-12-07T15:04:03.123Z".
std::string UtcMillisTimestamp(std::chrono::system_clock::time_point when);

} // namespace fleet
