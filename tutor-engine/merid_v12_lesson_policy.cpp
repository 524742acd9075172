#include "tutor-engine/merid_v12_lesson_policy.h"

#include <algorithm>

#include "base/text.h"
#include "tutor-engine/merid_v12_course_navigator.h"

namespace meridcore::MeridV12LessonPolicy {

namespace {

using Phase = MeridV12TeachingPhase;
using Status = MeridV12KnowledgeStatus;

QList<MeridQuizRecord> topicRecords(const TeacherLearningSession& session,
                                    const std::optional<MeridV12CourseTopic>& activeTopic) {
    const QList<MeridQuizRecord> all = session.quizRecords.value_or(QList<MeridQuizRecord>{});
    QList<MeridQuizRecord> kept;
    if (activeTopic) {
        for (const MeridQuizRecord& record : all)
            if (record.sourceTopicID == activeTopic->id) kept.append(record);
        return kept;
    }
    const QString topic = base::text::trimmed(session.topicName.value_or(QString()));
    if (topic.isEmpty()) return all;
    for (const MeridQuizRecord& record : all)
        if (record.topic == topic) kept.append(record);
    return kept;
}

}  // namespace

MeridV12Guidance guide(const TeacherLearningSession& session, base::Date now) {
    std::optional<MeridV12CourseTopic> activeTopic;
    if (session.coursePlan) activeTopic = session.coursePlan->activeTopic();
    const QList<MeridQuizRecord> records = topicRecords(session, activeTopic);
    const MeridV12KnowledgeEvidence evidence = MeridV12LessonPolicy::evidence(records);
    auto result = [&evidence](Phase phase, std::optional<MeridAction> action) {
        return MeridV12Guidance{phase, action, evidence, false};
    };

    if (session.pausedAt) return result(Phase::paused, MeridAction::continueLearning);
    if (std::any_of(records.cbegin(), records.cend(), [](const MeridQuizRecord& record) { return !record.answer; }))
        return MeridV12Guidance{Phase::awaitingAnswer, std::nullopt, evidence, true};
    if (session.lastPedagogicalAction == MeridAction::pause)
        return result(Phase::paused, MeridAction::continueLearning);
    if (activeTopic && MeridV12CourseNavigator::reviewDue(*activeTopic, session, now))
        return result(Phase::retesting, MeridAction::testMe);

    const bool hasLesson = session.latestClassroomResponse && !session.latestClassroomResponse->isEmpty();
    if (session.lastPedagogicalAction) {
        switch (*session.lastPedagogicalAction) {
        case MeridAction::continueLearning:
        case MeridAction::explainDifferently:
        case MeridAction::reinforceMistake:
        case MeridAction::skipConcept:
            if (hasLesson)
                return result(evidence.status == Status::needsRepair ? Phase::retesting : Phase::checking,
                              MeridAction::testMe);
            break;
        case MeridAction::summarize:
        case MeridAction::sprint: return result(Phase::reviewing, MeridAction::continueLearning);
        case MeridAction::testMe: return result(Phase::checking, MeridAction::testMe);
        case MeridAction::gradeAnswer:
        case MeridAction::pause: break;
        }
    }

    switch (evidence.status) {
    case Status::notTested:
    case Status::learning:
        return hasLesson ? result(Phase::checking, MeridAction::testMe)
                         : result(Phase::ready, MeridAction::continueLearning);
    case Status::needsRepair:
        return result(Phase::remediating,
                      evidence.consecutiveErrors < 2 ? MeridAction::reinforceMistake : MeridAction::explainDifferently);
    case Status::provisional: return result(Phase::retesting, MeridAction::testMe);
    case Status::supported: return result(Phase::reviewing, MeridAction::continueLearning);
    }
    return result(Phase::ready, MeridAction::continueLearning);
}

}  // namespace meridcore::MeridV12LessonPolicy
