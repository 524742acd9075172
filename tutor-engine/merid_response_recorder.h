#pragma once

#include <QString>

#include "base/json.h"
#include "tutor-engine/merid_tutor_request.h"
#include "tutor-engine/teacher_learning_session.h"

// Writes the tutor's checked reply (the normalised text, not the raw JSON) into the session.
namespace meridcore::MeridResponseRecorder {

// Appends the exchange (the full request text as the student's turn), then by the request's mode
// keeps the lesson reply, records the question, or grades the pending question with the former
// draft as the answer; `draft` is emptied. Does nothing for a request without messages.
void apply(const QString& reply, const MeridTutorRequest& request, TeacherLearningSession& session,
           base::Date now = base::Date::now());

// Appends the follow-up exchange and keeps it as the latest follow-up; a pending question is
// marked as answered with help. Does nothing for a blank question.
void applyFollowup(const QString& reply, const QString& question, TeacherLearningSession& session,
                   base::Date now = base::Date::now());

}  // namespace meridcore::MeridResponseRecorder
