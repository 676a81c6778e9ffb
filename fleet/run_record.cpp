#include "fleet/run_record.h"

#include "platform/replace_file.h"

namespace fleet {

bool RunRecord::Write(const std::vector<CollectorResult>& results) {
    if (path_.empty())
        return true;
    std::string reason;
    if (ReplaceFileContents(path_, Json(results), &reason))
        return true;
    failed_ = true;
    error_ = "cannot write the report to " + path_ + ": " + reason;
    return false;
}

} // namespace fleet
