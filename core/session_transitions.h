#pragma once

// Every change of the session mode that a collector's reply or a worker
// makes, as one table: (mode, event) -> (next mode, status text, notice,
// work). The sweep ("SS") and the upgrade request ("LU") are the operator's
// own transitions and live with their buttons.

#include "core/session_mode.h"

#include <optional>
#include <string_view>

namespace core {

enum class SessionEvent {
    // Replies to the upgrade request, taken in "LU".
    Accept,      // "R" + start block
    NoFlash,     // begins "E80"
    SameVersion, // begins "E81"
    OtherReply,  // anything else
    // Replies to the completion query, taken in "EN".
    Complete,          // "R" alone
    ResendList,        // "R" + count + indices
    CompletionFailure, // anything else
    // The workers' own.
    BlocksSent,        // blocks and the settle pause are done: start polling
    QueriesUnanswered, // the last query pause ended without a reply
};

// What a transition asks of the session besides the mode.
enum class SessionWork { None, SendRange, SendList };

// When the new mode lands relative to parsing the reply's numeric fields. A
// field that does not parse abandons the handling there, and what already
// changed stays: an accept has shown its status but is still in "LU"; a
// resend list is already in "UD".
enum class ModeLands { BeforeParsing, AfterParsing };

struct SessionTransition {
    std::optional<Mode> from; // nothing: any mode
    SessionEvent event;
    std::optional<Mode> to;  // nothing: unchanged
    std::string_view status; // empty: unchanged
    std::string_view notice; // empty: none
    SessionWork work = SessionWork::None;
    ModeLands modeLands = ModeLands::BeforeParsing;
};

// The transition for `event` in `mode`, or nothing when the event is ignored
// there.
const SessionTransition* FindTransition(Mode mode, SessionEvent event);

// The event a checksummed frame on the upgrade channel stands for in `mode`;
// nothing in the modes that ignore the collector's replies.
std::optional<SessionEvent> ReplyEvent(Mode mode, std::string_view frame);

} // namespace core
