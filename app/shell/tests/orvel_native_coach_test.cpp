#include <QSignalSpy>
#include <gtest/gtest.h>

#include "app/shell/orvel_native_coach.h"

namespace velquin {
namespace {

using Step = OrvelNativeCoach::Step;
const QString kKey = QStringLiteral("orvel.nativeGuide.build121.progress");

class CoachTest : public ::testing::Test {
protected:
    base::DefaultsStore store{QString()};
};

TEST_F(CoachTest, StartsOnceAndWalksForwardStoringEveryStep) {
    OrvelNativeCoach coach(store);
    EXPECT_EQ(coach.key(), kKey);
    EXPECT_EQ(coach.step(), Step::inactive);
    QSignalSpy changes(&coach, &OrvelNativeCoach::stepChanged);

    coach.startOnFirstSetup();
    EXPECT_EQ(coach.step(), Step::selection);
    EXPECT_EQ(store.integerValue(kKey), 1);

    coach.selectionIsReady(true);
    EXPECT_EQ(store.integerValue(kKey), 2);
    coach.hasRealLearningResult(true);
    EXPECT_EQ(store.integerValue(kKey), 3);
    // Quitting here resumes at the same step.
    EXPECT_EQ(OrvelNativeCoach(store).step(), Step::handoff);
    coach.enteredRealClassroom();
    coach.questionIsPending(true);
    EXPECT_EQ(store.integerValue(kKey), 5);
    coach.answerWasActuallyGraded(true);
    EXPECT_EQ(coach.step(), Step::finished);
    EXPECT_EQ(store.integerValue(kKey), 6);
    EXPECT_EQ(changes.count(), 6);

    // A finished tour never starts again.
    OrvelNativeCoach restarted(store);
    restarted.startOnFirstSetup();
    EXPECT_EQ(restarted.step(), Step::finished);
}

TEST_F(CoachTest, OutOfRangeProgressLoadsAsInactiveAndBlocksTheStart) {
    for (qint64 raw : {7LL, -1LL, 100LL}) {
        store.setInteger(kKey, raw);
        OrvelNativeCoach coach(store);
        EXPECT_EQ(coach.step(), Step::inactive) << raw;
        coach.startOnFirstSetup();
        EXPECT_EQ(coach.step(), Step::inactive) << raw;
        EXPECT_EQ(store.integerValue(kKey), raw);
    }
    // A value of another type is still a stored value.
    store.setString(kKey, QStringLiteral("3"));
    OrvelNativeCoach coach(store);
    EXPECT_EQ(coach.step(), Step::inactive);
    coach.startOnFirstSetup();
    EXPECT_EQ(coach.step(), Step::inactive);

    EXPECT_EQ(base::fromRawValue<OrvelNativeCoach::Step>(6), Step::finished);
    EXPECT_EQ(base::fromRawValue<OrvelNativeCoach::Step>(7), std::nullopt);
}

TEST_F(CoachTest, SkippingPersistsAcrossRestartsAndFirstSetup) {
    OrvelNativeCoach coach(store);
    coach.startOnFirstSetup();
    coach.selectionIsReady(true);
    coach.skip();
    EXPECT_EQ(coach.step(), Step::inactive);
    EXPECT_EQ(store.integerValue(kKey), 0);

    OrvelNativeCoach restarted(store);
    restarted.startOnFirstSetup();
    EXPECT_EQ(restarted.step(), Step::inactive);
    restarted.selectionIsReady(true);
    restarted.hasRealLearningResult(true);
    restarted.enteredRealClassroom();
    EXPECT_EQ(restarted.step(), Step::inactive);
    EXPECT_EQ(store.integerValue(kKey), 0);
}

TEST_F(CoachTest, OutOfOrderHooksAreIgnoredAndNotRemembered) {
    OrvelNativeCoach coach(store);
    // Nothing but the start moves an inactive tour.
    coach.selectionIsReady(true);
    EXPECT_EQ(coach.step(), Step::inactive);
    EXPECT_FALSE(store.contains(kKey));

    coach.startOnFirstSetup();
    coach.selectionIsReady(false);
    coach.enteredRealClassroom();
    coach.hasRealLearningResult(true);
    coach.questionIsPending(true);
    coach.answerWasActuallyGraded(true);
    EXPECT_EQ(coach.step(), Step::selection);

    coach.selectionIsReady(true);
    coach.selectionIsReady(true);
    EXPECT_EQ(coach.step(), Step::selectSentence);
    coach.hasRealLearningResult(false);
    EXPECT_EQ(coach.step(), Step::selectSentence);
    coach.hasRealLearningResult(true);
    // The classroom entered earlier does not count; entering again does.
    EXPECT_EQ(coach.step(), Step::handoff);
    coach.enteredRealClassroom();
    EXPECT_EQ(coach.step(), Step::classroom);
    coach.answerWasActuallyGraded(true);
    coach.questionIsPending(false);
    EXPECT_EQ(coach.step(), Step::classroom);
    EXPECT_EQ(store.integerValue(kKey), 4);
}

}  // namespace
}  // namespace velquin
