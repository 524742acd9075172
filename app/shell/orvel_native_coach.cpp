#include "app/shell/orvel_native_coach.h"

namespace velquin {

OrvelNativeCoach& OrvelNativeCoach::shared() {
    static OrvelNativeCoach* coach = new OrvelNativeCoach(base::DefaultsStore::standard());
    return *coach;
}

OrvelNativeCoach::OrvelNativeCoach(base::DefaultsStore& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults), key_(QStringLiteral("orvel.nativeGuide.build121.progress")) {
    step_ = base::fromRawValue<Step>(defaults_.integer(key_, 0)).value_or(Step::inactive);
}

void OrvelNativeCoach::startOnFirstSetup() {
    // Any stored value, also 0 after a skip or one outside the steps, means the tour ran before.
    if (defaults_.contains(key_)) return;
    advance(Step::selection);
}

void OrvelNativeCoach::selectionIsReady(bool ready) {
    if (ready && step_ == Step::selection) advance(Step::selectSentence);
}

void OrvelNativeCoach::hasRealLearningResult(bool present) {
    if (present && step_ == Step::selectSentence) advance(Step::handoff);
}

void OrvelNativeCoach::enteredRealClassroom() {
    if (step_ == Step::handoff) advance(Step::classroom);
}

void OrvelNativeCoach::questionIsPending(bool pending) {
    if (pending && step_ == Step::classroom) advance(Step::quiz);
}

void OrvelNativeCoach::answerWasActuallyGraded(bool graded) {
    if (graded && step_ == Step::quiz) advance(Step::finished);
}

void OrvelNativeCoach::skip() { setStep(Step::inactive); }

void OrvelNativeCoach::advance(Step target) {
    // From `inactive` the tour can only be started, never resumed by an event; and it never moves back.
    if (target != Step::selection && step_ == Step::inactive) return;
    if (base::rawValue(step_) >= base::rawValue(target)) return;
    setStep(target);
}

void OrvelNativeCoach::setStep(Step step) {
    step_ = step;
    defaults_.setInteger(key_, base::rawValue(step));
    Q_EMIT stepChanged(step);
}

}  // namespace velquin
