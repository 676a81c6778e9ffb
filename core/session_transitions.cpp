#include "core/session_transitions.h"

#include "protocol/messages.h"

#include <array>
#include <utility>

namespace core {

namespace {

using enum SessionEvent;
constexpr std::string_view kUpgrading = "正在升级";

// clang-format off
constexpr std::array kTransitions = {
//                from          event              to           status      notice, work, when the mode lands
    SessionTransition{Mode::LU, Accept,            Mode::UD,    kUpgrading, {},  SessionWork::SendRange, ModeLands::AfterParsing},
    SessionTransition{Mode::LU, NoFlash,           Mode::Empty, {}, "当前无Flash，不能升级"},
    SessionTransition{Mode::LU, SameVersion,       Mode::Empty, {}, "版本相同，无需升级"},
    SessionTransition{Mode::LU, OtherReply,        Mode::Empty, {}, {}},
    SessionTransition{Mode::EN, ResendList,        Mode::UD,    kUpgrading, {},  SessionWork::SendList},
    SessionTransition{Mode::EN, Complete,          Mode::Empty, {}, "升级完成"},
    SessionTransition{Mode::EN, CompletionFailure, Mode::Empty, {}, "升级未完成，发生未知错误"},
    SessionTransition{std::nullopt, BlocksSent,    Mode::EN,    {}, {}},
    SessionTransition{Mode::EN, QueriesUnanswered, std::nullopt, "升级失败", {}},
};
// clang-format on

// Which event each kind of reply stands for.
constexpr std::pair<protocol::RequestReply, SessionEvent> kRequestReplies[] = {
    {protocol::RequestReply::Accept, Accept},
    {protocol::RequestReply::NoFlash, NoFlash},
    {protocol::RequestReply::SameVersion, SameVersion},
    {protocol::RequestReply::Other, OtherReply},
};
constexpr std::pair<protocol::CompletionReply, SessionEvent> kCompletionReplies[] = {
    {protocol::CompletionReply::Complete, Complete},
    {protocol::CompletionReply::ResendList, ResendList},
    {protocol::CompletionReply::Failure, CompletionFailure},
};

template <typename Kind, std::size_t N>
SessionEvent EventOf(Kind kind, const std::pair<Kind, SessionEvent> (&events)[N]) {
    for (const auto& [k, event] : events)
        if (k == kind)
            return event;
    return events[N - 1].second; // the catch-all kind is listed last
}

} // namespace

const SessionTransition* FindTransition(Mode mode, SessionEvent event) {
    for (const auto& transition : kTransitions)
        if (transition.event == event && (!transition.from || *transition.from == mode))
            return &transition;
    return nullptr;
}

std::optional<SessionEvent> ReplyEvent(Mode mode, std::string_view frame) {
    if (mode == Mode::LU)
        return EventOf(protocol::ClassifyRequestReply(frame), kRequestReplies);
    if (mode == Mode::EN)
        return EventOf(protocol::ClassifyCompletionReply(frame), kCompletionReplies);
    return std::nullopt;
}

} // namespace core
