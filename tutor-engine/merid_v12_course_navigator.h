#pragma once

#include "base/json.h"
#include "tutor-engine/merid_v12_course_plan.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"
#include "tutor-engine/teacher_learning_session.h"

// Course topics of a session: their evidence and the spaced review of mastered topics.
namespace meridcore::MeridV12CourseNavigator {

// Days until the next review after the 1st, 2nd and 3rd-or-later clean correct review answer.
inline constexpr int reviewIntervalDays[] = {7, 14, 30};
// A topic that needs repair comes back the next day.
inline constexpr double repairDelaySeconds = 86400;
// The first review of a mastered topic falls due after two days.
inline constexpr double firstReviewDelaySeconds = 172800;

// The knowledge evidence of the session's quiz records that belong to the topic.
MeridV12KnowledgeEvidence evidence(const MeridV12CourseTopic& topic, const TeacherLearningSession& session);

// True when the topic is supported by evidence and its scheduled review is due at `now`.
bool reviewDue(const MeridV12CourseTopic& topic, const TeacherLearningSession& session,
               base::Date now = base::Date::now());

// Applies the latest grading of the active topic to its review entry, once per graded record.
// Leaves the session unchanged when there is no plan, active topic or graded record.
void recordAssessment(TeacherLearningSession& session, base::Date now = base::Date::now());

}  // namespace meridcore::MeridV12CourseNavigator
