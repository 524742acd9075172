#include "tutor-engine/merid_decision_policy.h"

namespace meridcore::MeridDecisionPolicy {

QList<MeridAction> actions(MeridStep step, bool pendingAnswer, MeridEvidenceStatus evidence) {
    using A = MeridAction;
    if (pendingAnswer) return {A::gradeAnswer, A::explainDifferently, A::pause};
    if (evidence == MeridEvidenceStatus::needsReview)
        return {A::reinforceMistake, A::testMe, A::explainDifferently, A::pause};
    switch (step) {
    case MeridStep::understand: return {A::continueLearning, A::explainDifferently, A::testMe, A::pause};
    case MeridStep::practice: return {A::testMe, A::explainDifferently, A::summarize, A::pause};
    case MeridStep::review: return {A::reinforceMistake, A::testMe, A::continueLearning, A::pause};
    case MeridStep::reinforce: return {A::explainDifferently, A::testMe, A::continueLearning, A::pause};
    case MeridStep::master: return {A::continueLearning, A::testMe, A::sprint, A::pause};
    }
    return {A::continueLearning, A::explainDifferently, A::testMe, A::pause};
}

}  // namespace meridcore::MeridDecisionPolicy
