#pragma once

#include <QString>

#include "tutor-engine/merid_tutor_request.h"
#include "tutor-engine/teacher_learning_session.h"

// Makes the tutor request of one turn from a session; the session itself is never changed.
namespace meridcore::MeridRequestBuilder {

// A lesson request in the session's mode from its `draft`. A grade request quotes the pending
// question before the student's answer and carries no material; other modes quote the active
// topic's chapter when the session has a course plan, else the current material segment. Throws
// MeridLearningError(missingQuestion) for grading without a pending question, and passes on the
// errors of the request texts (TeacherWorkspaceError, MeridV12CourseNavigationError).
MeridTutorRequest makeRequest(const TeacherLearningSession& session);

// A teach request for the student's follow-up question. While a question is pending the tutor is
// told to give hints only, and no material is quoted.
MeridTutorRequest makeFollowupRequest(const TeacherLearningSession& session, const QString& question);

}  // namespace meridcore::MeridRequestBuilder
