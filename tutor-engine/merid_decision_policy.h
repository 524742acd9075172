#pragma once

#include <QList>

#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_step.h"

// Which actions a lesson offers next, in the order they are offered.
namespace meridcore::MeridDecisionPolicy {

// A pending question outranks everything, then evidence that needs review, then the lesson step.
// `pause` is always offered last; `skipConcept` never.
QList<MeridAction> actions(MeridStep step, bool pendingAnswer, MeridEvidenceStatus evidence);

}  // namespace meridcore::MeridDecisionPolicy
