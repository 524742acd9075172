#pragma once

#include <optional>

#include "base/json.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/teacher_learning_session.h"

// How many tutor requests one click may use, and whether another request follows a recorded reply.
namespace meridcore::MeridV12AutoAdvance {

// The most requests one click may ever use.
inline constexpr int hardRequestLimit = 3;

// The request budget of a click on `action` (1 to 3); 1 for no action.
int budget(std::optional<MeridAction> action);

// The action of the next automatic request after the reply to `previous` has been recorded, or
// none to stop. Stops once `completedRequests` reaches the budget or the hard limit, and while the
// lesson is paused or a question waits for the student's answer.
std::optional<MeridAction> nextAction(std::optional<MeridAction> previous, const TeacherLearningSession& session,
                                      int completedRequests, int maximumRequests,
                                      base::Date now = base::Date::now());

}  // namespace meridcore::MeridV12AutoAdvance
