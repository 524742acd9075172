#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include "base/defaults_store.h"
#include "base/raw_value.h"

namespace velquin {

// The first-run coach tour: a short guided walk that moves forward one step per event until it
// is finished or skipped. The step is kept in the defaults store, written on every change, so the
// tour resumes where it was after a restart. Views read `step` to place their tips and report the
// events through the hooks; an event that arrives early or late is ignored and not remembered.
class OrvelNativeCoach : public QObject {
    Q_OBJECT
public:
    enum class Step {
        inactive = 0,
        selection = 1,
        selectSentence = 2,
        handoff = 3,
        classroom = 4,
        quiz = 5,
        finished = 6,
    };
    Q_ENUM(Step)

    // The tour of the application, over the standard defaults store, created on first use.
    static OrvelNativeCoach& shared();

    explicit OrvelNativeCoach(base::DefaultsStore& defaults = base::DefaultsStore::standard(),
                              QObject* parent = nullptr);

    Step step() const { return step_; }
    // "orvel.nativeGuide.build121.progress"
    QString key() const { return key_; }

    // Starts at `selection` when no progress was ever stored; a skipped or finished tour stays off.
    void startOnFirstSetup();
    void selectionIsReady(bool ready);
    void hasRealLearningResult(bool present);
    void enteredRealClassroom();
    void questionIsPending(bool pending);
    void answerWasActuallyGraded(bool graded);
    // Ends the tour for good: `inactive`, stored as 0.
    void skip();

Q_SIGNALS:
    void stepChanged(velquin::OrvelNativeCoach::Step step);

private:
    void advance(Step target);
    void setStep(Step step);

    base::DefaultsStore& defaults_;
    Step step_ = Step::inactive;
    QString key_;
};

// The step is stored as its number; exactly 0 to 6 are steps.
constexpr auto rawValueTable(OrvelNativeCoach::Step) {
    using enum OrvelNativeCoach::Step;
    return base::rawValues<OrvelNativeCoach::Step, qint64>(
        {{inactive, 0}, {selection, 1}, {selectSentence, 2}, {handoff, 3}, {classroom, 4}, {quiz, 5}, {finished, 6}});
}

}  // namespace velquin
