#pragma once

// Progress of an upgrade run on standard error. On a terminal: one line per
// active collector and an overall line, redrawn in place at most ten times a
// second. Otherwise: one plain line per change of stage, each with its UTC
// time, never a redraw code.

#include "fleet/session/upgrade_session.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace fleet {

enum class ProgressMode { Tty, Plain, Quiet };

class ProgressView {
public:
    ProgressView(ProgressMode mode, std::FILE* out) : mode_(mode), out_(out) {}

    // After anything happened to a session.
    void Changed(const UpgradeSession& session);
    // Redraws the terminal lines if something changed (called every 100 ms).
    void Tick(const std::vector<const UpgradeSession*>& sessions);
    // The last redraw; the cursor ends below the progress lines.
    void Finish(const std::vector<const UpgradeSession*>& sessions);

    bool Animated() const { return mode_ == ProgressMode::Tty; }

private:
    void Draw(const std::vector<const UpgradeSession*>& sessions);

    ProgressMode mode_;
    std::FILE* out_;
    std::map<std::string, std::string> lastLine_; // plain mode: per collector
    bool dirty_ = false;
    int drawnLines_ = 0;
};

// One line describing a session: address, stage, pass and blocks.
std::string DescribeSession(const UpgradeSession& session);

} // namespace fleet
