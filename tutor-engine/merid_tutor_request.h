#pragma once

#include <QCoroTask>
#include <QList>
#include <QString>

#include <optional>

#include "base/cancellation.h"
#include "tutor-engine/teacher_mode.h"
#include "tutor-engine/teacher_turn.h"

namespace meridcore {

// One request for the hosted tutor, built from a session by MeridRequestBuilder. Not stored.
struct MeridTutorRequest {
    TeacherMode mode = TeacherMode::teach;
    // The session's conversation followed by one new user turn carrying the request text.
    QList<TeacherTurn> messages;
    // The session's topic when the request was built.
    std::optional<QString> topic;
    // The name of the material the request text quotes; absent when none was used.
    std::optional<QString> sourceName;
    // The session's segment index; present exactly when `sourceName` is.
    std::optional<qint64> segmentIndex;

    bool operator==(const MeridTutorRequest&) const = default;
};

// The tutor engine's one outward interface: sends a request to the tutor and returns its raw reply.
// The engine has no implementation of it; the hosted transport builds the prompt with
// MeridV12HostedPrompt::make and the caller checks the reply with MeridV12ReplyContract::normalize.
class MeridTutorTransport {
public:
    virtual ~MeridTutorTransport() = default;

    // The tutor's raw reply text. May throw; throws base::CancellationError when `token` is cancelled.
    virtual QCoro::Task<QString> reply(MeridTutorRequest request, base::CancellationToken token) = 0;
};

}  // namespace meridcore
