#include "fleet/run/run_record.h"

#include "fleet/session/upgrade_session.h"
#include "platform/replace_file.h"

namespace fleet {

std::vector<CollectorResult> RunRecord::Settled(const std::vector<CollectorResult>& results) const {
    std::vector<CollectorResult> settled = results;
    for (auto& result : settled)
        if (info_.ended && result.result == ResultKind::InProgress) {
            result.result = ResultKind::Interrupted;
            result.reasonCode = ReasonName(Reason::Interrupted);
            result.reason = "the run ended while its session was under way";
        }
    return settled;
}

Report RunRecord::Snapshot(const std::vector<CollectorResult>& results) const {
    return {ToolVersion(), info_, ImageOfReport(image_), Settled(results)};
}

std::string RunRecord::Json(const std::vector<CollectorResult>& results) {
    auto settled = Settled(results);
    lines_.resize(settled.size());
    std::vector<std::string> lines;
    lines.reserve(settled.size());
    for (std::size_t i = 0; i < settled.size(); ++i) {
        auto& [made, line] = lines_[i];
        if (line.empty() || !(made == settled[i])) {
            made = std::move(settled[i]);
            line = CollectorJsonLine(made);
        }
        lines.push_back(line);
    }
    return ReportJson(info_, ImageOfReport(image_), lines);
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
