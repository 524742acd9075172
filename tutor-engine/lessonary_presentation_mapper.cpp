#include "tutor-engine/lessonary_presentation_mapper.h"

#include <algorithm>

#include "base/text.h"
#include "tutor-engine/merid_decision_policy.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"

namespace meridcore {

namespace LessonaryPresentationMapper {

namespace {

using Status = LessonaryMilestoneStatus;

// The records of the lesson's current topic, in stored order.
QList<MeridQuizRecord> topicRecords(const TeacherLearningSession& session) {
    const QList<MeridQuizRecord> all = session.quizRecords.value_or(QList<MeridQuizRecord>{});
    std::optional<MeridV12CourseTopic> planTopic;
    if (session.coursePlan) planTopic = session.coursePlan->activeTopic();
    const QString topicName = base::text::trimmed(session.topicName.value_or(QString()));
    if (!planTopic && topicName.isEmpty()) return all;

    QList<MeridQuizRecord> kept;
    for (const MeridQuizRecord& record : all) {
        const bool belongs = planTopic ? record.sourceTopicID == planTopic->id : record.topic == topicName;
        if (belongs) kept.append(record);
    }
    return kept;
}

LessonaryMilestone milestone(const QString& id, Status status) { return LessonaryMilestone{id, id, status}; }

// The text of the latest lesson reply and its mode.
std::pair<std::optional<QString>, std::optional<TeacherMode>> latestLesson(const TeacherLearningSession& session) {
    if (session.latestClassroomResponse && !session.latestClassroomResponse->isEmpty())
        return {session.latestClassroomResponse, session.latestClassroomMode.value_or(TeacherMode::teach)};
    if (session.coursePlan && session.coursePlan->activeTopic()) return {};
    switch (session.mode) {
    case TeacherMode::teach:
    case TeacherMode::summary:
    case TeacherMode::sprint: {
        std::optional<QString> reply;
        const auto last = std::find_if(session.turns.crbegin(), session.turns.crend(), [](const TeacherTurn& turn) {
            return turn.role == TeacherTurn::Role::assistant;
        });
        if (last != session.turns.crend()) reply = last->content;
        return {reply, session.mode};
    }
    case TeacherMode::quiz:
    case TeacherMode::grade:
        break;
    }
    return {};
}

}  // namespace

LessonaryPresentationState map(const TeacherLearningSession& session, bool busy, bool canSave) {
    const QList<MeridQuizRecord> records = topicRecords(session);

    std::optional<MeridQuizRecord> pending;
    std::optional<MeridQuizRecord> lastAssessed;
    for (auto it = records.crbegin(); it != records.crend(); ++it) {
        if (!pending && !it->answer) pending = *it;
        if (!lastAssessed && it->answer && it->assessment != MeridAssessment::unassessed) lastAssessed = *it;
    }
    const bool answered = pending && std::any_of(records.cbegin(), records.cend(), [](const MeridQuizRecord& record) {
                              return record.answer.has_value();
                          });

    const bool supported = MeridV12LessonPolicy::evidence(records).status == MeridV12KnowledgeStatus::supported;
    const MeridEvidenceStatus sessionEvidence = session.evidenceStatus();
    const bool needsReview = sessionEvidence == MeridEvidenceStatus::needsReview;
    const MeridStep step = session.activeLessonStep();

    LessonaryPresentationState state;
    state.milestones = {
        milestone(QStringLiteral("explain"), step == MeridStep::understand ? Status::active : Status::available),
        milestone(QStringLiteral("quiz"), pending && !answered ? Status::active
                                          : !records.isEmpty() ? Status::completedByAction
                                                               : Status::available),
        milestone(QStringLiteral("grade"), lastAssessed                 ? Status::completedByAction
                                           : step == MeridStep::review ? Status::active
                                                                       : Status::locked),
        milestone(QStringLiteral("repair"), step == MeridStep::reinforce ? Status::active
                                            : needsReview                ? Status::requiresReview
                                                                         : Status::available),
        milestone(QStringLiteral("retest"), supported      ? Status::completedByAction
                                            : answered     ? Status::active
                                            : lastAssessed ? Status::available
                                                           : Status::locked),
        milestone(QStringLiteral("recap"), step == MeridStep::master ? Status::active : Status::available),
    };

    std::tie(state.lastResponse, state.classroomMode) = latestLesson(session);
    state.recommendedActions = MeridDecisionPolicy::actions(step, pending.has_value(), sessionEvidence);
    state.canSubmitAnswer = canSave && !busy && pending && !base::text::trimmed(session.draft).isEmpty();

    state.course = session.courseName && !session.courseName->isEmpty() ? *session.courseName : session.title;
    const QString topic = base::text::trimmed(session.topicName.value_or(QString()));
    state.topic = topic.isEmpty() ? session.title : topic;
    if (session.material) {
        state.sourceName = session.material->name();
        state.sourceMarker = session.material->sourceMarker(session.chunkIndex);
    }
    state.evidence = sessionEvidence;
    state.pendingQuestion = std::move(pending);
    state.lastAssessedQuestion = std::move(lastAssessed);
    state.busy = busy;
    return state;
}

}  // namespace LessonaryPresentationMapper

}  // namespace meridcore
