#include "tutor-engine/merid_tutor_orchestrator.h"

#include "base/text.h"
#include "tutor-engine/merid_learning_error.h"

namespace meridcore::MeridTutorOrchestrator {

void prepare(MeridAction action, TeacherLearningSession& session, base::Date now) {
    if (action == MeridAction::gradeAnswer) {
        if (!session.pendingQuizIndex()) throw MeridLearningError(MeridLearningError::Case::missingQuestion);
        if (base::text::trimmed(session.draft).isEmpty())
            throw MeridLearningError(MeridLearningError::Case::blankAnswer);
    } else if (action != MeridAction::pause) {
        session.draft = draft(action);
    }

    if (action == MeridAction::pause) {
        session.pausedAt = now;
    } else {
        session.pausedAt.reset();
        session.mode = mode(action).value_or(TeacherMode::teach);
        session.lessonStep = step(action);
    }
    session.lastPedagogicalAction = action;
    session.updatedAt = now;
}

}  // namespace meridcore::MeridTutorOrchestrator
