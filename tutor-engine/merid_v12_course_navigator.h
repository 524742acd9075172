#pragma once

#include <QString>

#include <optional>

#include "base/json.h"
#include "tutor-engine/merid_v12_course_navigation_error.h"
#include "tutor-engine/merid_v12_course_plan.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_material.h"

// Course topics of a session: the plan built from the material's headings, the active topic and
// its chapter text, the evidence of each topic and the spaced review of mastered topics.
// Operations that throw leave the session unchanged.
namespace meridcore::MeridV12CourseNavigator {

// Binds a plan to its material: 64-bit FNV-1a over the UTF-8 of name + U+0000 + text, in
// lower-case hexadecimal without leading zeros. The note takes no part.
QString fingerprint(const TeacherMaterial& material);

// The plan of the material's detected headings (at most 80), the first one active; absent when
// the material has no heading. A topic's chunk is the segment that holds the first character of
// its line, counted in characters of the whole text, so "\r\n" line ends give the same chunks as "\n".
std::optional<MeridV12CoursePlan> build(const TeacherMaterial& material);

// Puts the material into the session at its first segment with a plan of its headings. The same
// material (equal fingerprint) keeps the existing plan with its active topic and review entries;
// other material replaces it and clears the topic state. Quiz records are kept. Throws
// MeridV12CourseNavigationError(pendingAnswer) while a question waits for its answer.
void install(const TeacherMaterial& material, TeacherLearningSession& session, base::Date now = base::Date::now());

// Builds a plan for the session's material when it has none. Throws MeridV12CourseNavigationError:
// pendingAnswer, changedMaterial (no material).
void indexExistingSource(TeacherLearningSession& session, base::Date now = base::Date::now());

// Makes the plan's topic active and starts its lesson afresh (also for the active topic itself).
// Throws MeridV12CourseNavigationError: pendingAnswer, changedMaterial (no material or plan, or
// the material no longer matches the plan), missingTopic.
void activate(const QString& topicID, TeacherLearningSession& session, base::Date now = base::Date::now());

// The topic to study next: the first whose review is due, else the first not yet supported after
// the active one, else the first not yet supported from the start. Nothing without a plan that
// matches the session's material, or when every topic is supported and none is due.
std::optional<MeridV12CourseTopic> recommendedTopic(const TeacherLearningSession& session,
                                                    base::Date now = base::Date::now());

// The lesson request over a topic: the trimmed input, the topic's heading and page label, and
// its excerpt — from its heading line to the next detected heading when `chunkIndex` is the
// topic's own segment, that segment otherwise — cut to 2,400 characters. Throws
// TeacherWorkspaceError: emptyMessage, messageTooLong (input over 1,000 or text over 4,000
// characters), emptyMaterial (segment outside the material); MeridV12CourseNavigationError
// (changedMaterial) when the topic's line lies outside the text.
QString chapterRequestText(const QString& input, const TeacherMaterial& material, const MeridV12CourseTopic& topic,
                           qint64 chunkIndex);

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
