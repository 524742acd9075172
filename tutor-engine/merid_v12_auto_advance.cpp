#include "tutor-engine/merid_v12_auto_advance.h"

#include <algorithm>

#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_lesson_policy.h"

namespace meridcore::MeridV12AutoAdvance {

int budget(std::optional<MeridAction> action) {
    if (!action) return 1;
    switch (*action) {
    case MeridAction::continueLearning:
    case MeridAction::explainDifferently:
    case MeridAction::reinforceMistake:
    case MeridAction::skipConcept: return 2;
    case MeridAction::gradeAnswer: return 3;
    case MeridAction::testMe:
    case MeridAction::summarize:
    case MeridAction::sprint:
    case MeridAction::pause: return 1;
    }
    return 1;
}

namespace {

std::optional<MeridAction> afterGrading(const TeacherLearningSession& session, const MeridV12Guidance& guidance,
                                        base::Date now) {
    const QList<MeridQuizRecord> records = session.quizRecords.value_or(QList<MeridQuizRecord>{});
    const auto graded = std::find_if(records.crbegin(), records.crend(), [](const MeridQuizRecord& record) {
        return record.answer.has_value() && record.assessment != MeridAssessment::unassessed;
    });
    if (graded == records.crend()) return std::nullopt;

    switch (graded->assessment) {
    case MeridAssessment::partial:
    case MeridAssessment::incorrect:
        return guidance.evidence.consecutiveErrors < 2 ? MeridAction::reinforceMistake
                                                       : MeridAction::explainDifferently;
    case MeridAssessment::correct:
        if (guidance.evidence.status == MeridV12KnowledgeStatus::provisional) return MeridAction::testMe;
        if (guidance.evidence.status == MeridV12KnowledgeStatus::supported) {
            const std::optional<MeridV12CourseTopic> next = MeridV12CourseNavigator::recommendedTopic(session, now);
            if (!next) return std::nullopt;
            if (session.coursePlan && session.coursePlan->activeTopicID == next->id) return std::nullopt;
            return MeridAction::continueLearning;
        }
        return std::nullopt;
    case MeridAssessment::unassessed: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<MeridAction> nextAction(std::optional<MeridAction> previous, const TeacherLearningSession& session,
                                      int completedRequests, int maximumRequests, base::Date now) {
    if (completedRequests <= 0 || completedRequests >= std::min(maximumRequests, hardRequestLimit))
        return std::nullopt;
    if (session.pausedAt || session.pendingQuizIndex()) return std::nullopt;
    if (!previous) return std::nullopt;

    const MeridV12Guidance guidance = MeridV12LessonPolicy::guide(session, now);
    switch (*previous) {
    case MeridAction::testMe:
    case MeridAction::summarize:
    case MeridAction::sprint:
    case MeridAction::pause: return std::nullopt;
    case MeridAction::continueLearning:
    case MeridAction::explainDifferently:
    case MeridAction::reinforceMistake:
    case MeridAction::skipConcept:
        if (session.latestClassroomMode != TeacherMode::teach || !session.latestClassroomResponse ||
            session.latestClassroomResponse->isEmpty())
            return std::nullopt;
        if (guidance.recommendedAction == MeridAction::testMe) return MeridAction::testMe;
        return std::nullopt;
    case MeridAction::gradeAnswer: return afterGrading(session, guidance, now);
    }
    return std::nullopt;
}

}  // namespace meridcore::MeridV12AutoAdvance
