#include "core/session_transitions.h"

#include "protocol/messages.h"

#include <array>

namespace {

using enum SessionEvent;
constexpr std::string_view kUpgrading = "正在升级";

// clang-format off
constexpr std::array kTransitions = {
//  from               event              to                 status         notice
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

} // namespace

const SessionTransition* FindTransition(Mode mode, SessionEvent event) {
    for (const auto& transition : kTransitions)
        if (transition.event == event && (!transition.from || *transition.from == mode))
            return &transition;
    return nullptr;
}

std::optional<SessionEvent> ReplyEvent(Mode mode, std::string_view frame) {
    if (mode == Mode::LU) {
        switch (protocol::ClassifyRequestReply(frame)) {
        case protocol::RequestReply::Accept:
            return Accept;
        case protocol::RequestReply::NoFlash:
            return NoFlash;
        case protocol::RequestReply::SameVersion:
            return SameVersion;
        case protocol::RequestReply::Other:
            return OtherReply;
        }
    }
    if (mode == Mode::EN) {
        switch (protocol::ClassifyCompletionReply(frame)) {
        case protocol::CompletionReply::Complete:
            return Complete;
        case protocol::CompletionReply::ResendList:
            return ResendList;
        case protocol::CompletionReply::Failure:
            return CompletionFailure;
        }
    }
    return std::nullopt;
}
