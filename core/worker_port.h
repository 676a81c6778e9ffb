#pragma once

// What a worker's pass may change from its own thread: the shared mode and
// the status line, through the session's transition table. Nothing else of
// the upgrade is within a worker's reach.

#include "core/session_mode.h"
#include "core/status_line.h"

namespace core {

class WorkerPort {
public:
    WorkerPort(SessionMode& mode, StatusLine& status) : mode_(mode), status_(status) {}

    void BlocksSent();    // after the settle pause: "EN"
    bool Polling() const; // still "EN": go on querying
    void QuerySent();     // status "正在查询升级是否成功"
    void QueriesEnded();  // no reply changed the mode: status "升级失败"

private:
    SessionMode& mode_;
    StatusLine& status_;
};

} // namespace core
