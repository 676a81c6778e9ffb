#include "fleet/run_record.h"

#include "platform/replace_file.h"

namespace fleet {

std::string RunRecord::Json(const std::vector<CollectorResult>& results) {
    lines_.resize(results.size());
    std::vector<std::string> lines;
    lines.reserve(results.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        auto& [made, line] = lines_[i];
        if (line.empty() || !(made == results[i])) {
            made = results[i];
            line = CollectorJsonLine(made);
        }
        lines.push_back(line);
    }
    return ReportJson(info_, image_, lines);
}

bool RunRecord::Write(const std::vector<CollectorResult>& results) {
    if (path_.empty())
        return true;
    std::string reason;
    if (platform::ReplaceFileContents(path_, Json(results), &reason))
        return true;
    failed_ = true;
    error_ = "cannot write the report to " + path_ + ": " + reason;
    return false;
}

} // namespace fleet
