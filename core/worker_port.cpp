#include "core/worker_port.h"

#include "core/session_transitions.h"

namespace core {

void WorkerPort::BlocksSent() {
    if (const auto* transition = FindTransition(mode_.Get(), SessionEvent::BlocksSent))
        mode_.Set(*transition->to);
}

bool WorkerPort::Polling() const {
    return mode_.Is(Mode::EN);
}

void WorkerPort::QuerySent() {
    status_.ShowFromWorker("正在查询升级是否成功");
}

void WorkerPort::QueriesEnded() {
    const auto* transition = FindTransition(mode_.Get(), SessionEvent::QueriesUnanswered);
    if (transition == nullptr)
        return;
    if (transition->to)
        mode_.Set(*transition->to);
    status_.ShowFromWorker(std::string(transition->status));
}

} // namespace core
