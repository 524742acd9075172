#pragma once

#include <QString>

#include <optional>

#include "base/json.h"
#include "base/raw_value.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"
#include "tutor-engine/teacher_learning_session.h"

namespace meridcore {

// Where a lesson on one topic stands.
enum class MeridV12TeachingPhase {
    ready,
    explaining,
    checking,
    remediating,
    retesting,
    reviewing,
    awaitingAnswer,
    paused
};

constexpr auto rawValueTable(MeridV12TeachingPhase) {
    using enum MeridV12TeachingPhase;
    return base::rawValues<MeridV12TeachingPhase>({{ready, u"ready"}, {explaining, u"explaining"},
        {checking, u"checking"}, {remediating, u"remediating"}, {retesting, u"retesting"}, {reviewing, u"reviewing"},
        {awaitingAnswer, u"awaitingAnswer"}, {paused, u"paused"}});
}

struct MeridV12Guidance {
    MeridV12TeachingPhase phase = MeridV12TeachingPhase::ready;
    std::optional<MeridAction> recommendedAction;
    MeridV12KnowledgeEvidence evidence;
    bool requiresStudentAnswer = false;

    bool operator==(const MeridV12Guidance&) const = default;
};

}  // namespace meridcore

namespace meridcore::MeridV12LessonPolicy {

// The phase of the session's current topic, the action to recommend next and the topic's evidence.
// With a course plan and an active topic only that topic's records count; otherwise the records of
// `topicName` (all of them when it is blank). `now` decides whether a review is due.
MeridV12Guidance guide(const TeacherLearningSession& session, base::Date now = base::Date::now());

}  // namespace meridcore::MeridV12LessonPolicy
