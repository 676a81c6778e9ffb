#include "fleet/run_record.h"

#include "fleet/upgrade_session.h"
#include "platform/replace_file.h"

namespace fleet {

std::string RunRecord::Json(const std::vector<CollectorResult>& results) {
    lines_.resize(results.size());
    std::vector<std::string> lines;
    lines.reserve(results.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        CollectorResult result = results[i];
        if (info_.ended && result.result == ResultKind::InProgress) {
            result.result = ResultKind::Interrupted;
            result.reasonCode = reason::kInterrupted;
            result.reason = "the run ended while its session was under way";
        }
        auto& [made, line] = lines_[i];
        if (line.empty() || !(made == result)) {
            made = std::move(result);
            line = CollectorJsonLine(made);
        }
        lines.push_back(line);
    }
    return ReportJson(info_, image_, lines);
}

bool RunRecord::Write(const std::vector<CollectorResult>& results, TimePoint now) {
    lastWrite_ = now;
    progressWaiting_ = false;
    if (path_.empty())
        return true;
    std::string reason;
    if (platform::ReplaceFileContents(path_, Json(results), &reason))
        return true;
    failed_ = true;
    error_ = "cannot write the report to " + path_ + ": " + reason;
    return false;
}

bool RunRecord::ProgressChanged(TimePoint now) {
    progressWaiting_ = true;
    return ProgressDue(now);
}

bool RunRecord::ProgressDue(TimePoint now) const {
    return progressWaiting_ && (!lastWrite_ || now - *lastWrite_ >= policy::kReportInterval);
}

} // namespace fleet
