#pragma once

#include "base/json.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/teacher_learning_session.h"

// Turns the action the student (or auto-advance) chose into changes of the session before the
// request is built: the instruction to send, the request mode, the lesson step and the pause state.
namespace meridcore::MeridTutorOrchestrator {

// gradeAnswer keeps the student's answer in `draft`; pause keeps draft, mode and step and stamps
// `pausedAt`; every other action writes its instruction into `draft` and resumes a paused lesson.
// Throws MeridLearningError (missingQuestion before blankAnswer) and then changes nothing.
void prepare(MeridAction action, TeacherLearningSession& session, base::Date now = base::Date::now());

}  // namespace meridcore::MeridTutorOrchestrator
