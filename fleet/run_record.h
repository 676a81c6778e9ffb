#pragma once

// The report file of one upgrade run: rewritten whole, atomically, whenever a
// collector's result is settled and at the end, so that an interrupted or
// crashed run still leaves a complete, readable record of what was done.

#include "fleet/fleet_report.h"

#include <string>
#include <vector>

namespace fleet {

class RunRecord {
public:
    // `path` empty: no file, Write() only keeps the text.
    RunRecord(std::string path, RunInfo info, const FirmwareImage& image)
        : path_(std::move(path)), info_(std::move(info)), image_(image) {}

    RunInfo& Info() { return info_; }
    // The report of `results` as it stands now.
    std::string Json(const std::vector<CollectorResult>& results);
    // Writes the report; false when the file could not be written (Error()
    // says why; a later write may still succeed, but WriteFailed() stays).
    bool Write(const std::vector<CollectorResult>& results);
    bool WriteFailed() const { return failed_; }
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    RunInfo info_;
    const FirmwareImage& image_;
    bool failed_ = false;
    std::string error_;
    // Each collector's line as last made, by position: a field of hundreds
    // is rewritten after every finished collector, and most lines stay.
    std::vector<std::pair<CollectorResult, std::string>> lines_;
};

} // namespace fleet
