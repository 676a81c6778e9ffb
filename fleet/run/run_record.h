#pragma once

// The report file of one upgrade run: rewritten whole, atomically, whenever a
// collector's result is settled, when sessions move on (at most once a
// second) and at the end, so that an interrupted or crashed run still leaves
// a complete, readable record of what was done and what was under way.

#include "fleet/run/fleet_report.h"
#include "fleet/session/fleet_policy.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

class RunRecord {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // `path` empty: no file, Write() only keeps the text.
    RunRecord(std::string path, RunInfo info, const FirmwareImage& image)
        : path_(std::move(path)), info_(std::move(info)), image_(image) {}

    RunInfo& Info() { return info_; }
    // The report of `results` as it stands now. Once the run has ended (the
    // head's end is set), a session still in progress is written as
    // interrupted: a final report never leaves one under way.
    std::string Json(const std::vector<CollectorResult>& results);
    // The same report as values, for a window that keeps it.
    Report Snapshot(const std::vector<CollectorResult>& results) const;
    // Writes the report; false when the file could not be written (Error()
    // says why; a later write may still succeed, but WriteFailed() stays).
    bool Write(const std::vector<CollectorResult>& results,
               TimePoint now = std::chrono::steady_clock::now());
    bool WriteFailed() const { return failed_; }
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }

    // A session moved to another stage at `now`. True: write the report now.
    // False: the last write is less than policy::kReportInterval old, and the
    // change waits until ProgressDue() (any write meanwhile takes it along).
    bool ProgressChanged(TimePoint now);
    bool ProgressDue(TimePoint now) const;

private:
    std::vector<CollectorResult> Settled(const std::vector<CollectorResult>& results) const;

    std::string path_;
    RunInfo info_;
    const FirmwareImage& image_;
    bool failed_ = false;
    std::string error_;
    std::optional<TimePoint> lastWrite_;
    bool progressWaiting_ = false;
    // Each collector's line as last made, by position: a field of hundreds
    // is rewritten after every finished collector, and most lines stay.
    std::vector<std::pair<CollectorResult, std::string>> lines_;
};

} // namespace fleet
