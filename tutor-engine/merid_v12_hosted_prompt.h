#pragma once

#include <QString>

#include "tutor-engine/merid_tutor_request.h"

// The single prompt text sent to the hosted tutor for one request: the teaching rules, the mode's
// instruction, the reply contract, as much recent conversation as fits, and the current message.
namespace meridcore::MeridV12HostedPrompt {

// The most characters a prompt may have.
inline constexpr qsizetype characterLimit = 11500;
// Characters of the limit never given to the conversation history.
inline constexpr qsizetype historyReserve = 150;
// The most earlier turns the history may hold.
inline constexpr qsizetype historyTurnLimit = 12;

// The fixed rules every prompt opens with (ends with two line feeds).
QString teachingRules();

// The prompt for `request`. Only its mode and messages are used. Throws TeacherWorkspaceError:
// emptyMessage (no messages, or a blank last message), messageTooLong (the current message does
// not fit; it is never cut).
QString make(const MeridTutorRequest& request);

}  // namespace meridcore::MeridV12HostedPrompt
