#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "base/raw_value.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_quiz_record.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_mode.h"

namespace meridcore {

// How far the lesson has come on one milestone of the ribbon.
enum class LessonaryMilestoneStatus { locked, available, active, completedByAction, requiresReview };

constexpr auto rawValueTable(LessonaryMilestoneStatus) {
    using enum LessonaryMilestoneStatus;
    return base::rawValues<LessonaryMilestoneStatus>({{locked, u"locked"}, {available, u"available"},
        {active, u"active"}, {completedByAction, u"completedByAction"}, {requiresReview, u"requiresReview"}});
}

// One of the six lesson milestones: "explain", "quiz", "grade", "repair", "retest", "recap".
struct LessonaryMilestone {
    QString id;
    // The key of the milestone's title in the views' string table.
    QString titleKey;
    LessonaryMilestoneStatus status = LessonaryMilestoneStatus::locked;

    bool operator==(const LessonaryMilestone&) const = default;
};

// Everything the lesson page shows of one session, derived at once.
struct LessonaryPresentationState {
    QString course;
    QString topic;
    std::optional<QString> sourceName;
    std::optional<QString> sourceMarker;
    MeridEvidenceStatus evidence = MeridEvidenceStatus::notTested;
    // Always six, in ribbon order.
    QList<LessonaryMilestone> milestones;
    // The lesson text to show and the mode it was produced in.
    std::optional<QString> lastResponse;
    std::optional<TeacherMode> classroomMode;
    // The question waiting for the student's answer.
    std::optional<MeridQuizRecord> pendingQuestion;
    // The latest answered and graded question.
    std::optional<MeridQuizRecord> lastAssessedQuestion;
    QList<MeridAction> recommendedActions;
    // Whether the answer box may be sent now.
    bool canSubmitAnswer = false;
    // True while a tutor request runs.
    bool busy = false;

    bool operator==(const LessonaryPresentationState&) const = default;
};

// Derives the lesson page from a session. Pure; safe on any thread.
namespace LessonaryPresentationMapper {

// `busy`: a tutor request is running; `canSave`: the workspace may act on the session.
// The questions and milestones look only at the records of the current topic: the plan's active
// topic when there is one, else the records whose topic is the session's trimmed `topicName`
// (all records when that is blank).
LessonaryPresentationState map(const TeacherLearningSession& session, bool busy, bool canSave);

}  // namespace LessonaryPresentationMapper

}  // namespace meridcore
