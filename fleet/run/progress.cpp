#include "fleet/run/progress.h"

#include "fleet/run/fleet_report.h"
#include "fleet/session/fleet_policy.h"

namespace fleet {

std::string DescribeSession(const UpgradeSession& session) {
    std::string line = session.Address() + " ";
    if (session.Finished()) {
        line += OutcomeName(session.Result());
        if (!session.Reason().empty())
            line += ": " + session.Reason();
        return line;
    }
    line += StageName(session.CurrentStage());
    if (session.CurrentStage() == Stage::Sending)
        line += " pass " + std::to_string(session.Pass()) + ", block " +
                std::to_string(session.PassBlocksSent()) + "/" +
                std::to_string(session.PassBlocksTotal());
    return line;
}

void ProgressView::Changed(const UpgradeSession& session) {
    if (mode_ == ProgressMode::Tty) {
        dirty_ = true;
        return;
    }
    if (mode_ != ProgressMode::Plain)
        return;
    // Plain lines name the stage only, so block-by-block sends do not flood a log.
    std::string line = session.Address() + " ";
    if (session.Finished()) {
        line = DescribeSession(session);
    } else {
        line += StageName(session.CurrentStage());
        if (session.CurrentStage() == Stage::Sending)
            line += " pass " + std::to_string(session.Pass()) + " (" +
                    std::to_string(session.PassBlocksTotal()) + " blocks)";
    }
    auto& last = lastLine_[session.Address()];
    if (line == last)
        return;
    last = line;
    // A log read later needs to know when each step happened.
    const std::string stamp = UtcTimestamp(std::chrono::system_clock::now());
    std::fprintf(out_, "%s %s\n", stamp.c_str(), line.c_str());
    std::fflush(out_);
}

void ProgressView::Tick(const std::vector<const UpgradeSession*>& sessions) {
    if (mode_ == ProgressMode::Tty && dirty_)
        Draw(sessions);
}

void ProgressView::Finish(const std::vector<const UpgradeSession*>& sessions) {
    if (mode_ == ProgressMode::Tty)
        Draw(sessions);
}

void ProgressView::Draw(const std::vector<const UpgradeSession*>& sessions) {
    dirty_ = false;
    std::string text;
    // Back to the first line of the previous drawing, then overwrite it.
    if (drawnLines_ > 0)
        text += "\x1b[" + std::to_string(drawnLines_) + "F";
    int lines = 0, waiting = 0, ok = 0, notOk = 0, active = 0;
    for (const auto* session : sessions) {
        if (session->CurrentStage() == Stage::Waiting) {
            ++waiting;
            continue;
        }
        if (session->Finished()) {
            session->Result() == Outcome::Upgraded ? ++ok : ++notOk;
            continue;
        }
        if (++active > policy::kProgressLines)
            continue;
        text += "\x1b[2K" + DescribeSession(*session) + "\n";
        ++lines;
    }
    text += "\x1b[2K" + std::to_string(active) + " active, " + std::to_string(waiting) +
            " waiting, " + std::to_string(ok) + " upgraded, " + std::to_string(notOk) +
            " not upgraded\n";
    ++lines;
    // Clear what is left of a longer previous drawing.
    text += "\x1b[J";
    drawnLines_ = lines;
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
}

} // namespace fleet
