// Decision lists, turn preparation, lesson guidance and the automatic follow-on requests.
#include <gtest/gtest.h>

#include "tutor-engine/merid_decision_policy.h"
#include "tutor-engine/merid_learning_error.h"
#include "tutor-engine/merid_tutor_orchestrator.h"
#include "tutor-engine/merid_v12_auto_advance.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_lesson_policy.h"

using namespace meridcore;

namespace {

using A = MeridAction;
using Phase = MeridV12TeachingPhase;
using Status = MeridV12KnowledgeStatus;

const base::Date kNow{1'000'000};

MeridQuizRecord graded(const QString& question, MeridAssessment assessment,
                       const QString& kind = QStringLiteral("application")) {
    MeridQuizRecord record(QUuid::createUuid(), question, QStringLiteral("ATP"), QString());
    record.answer = QStringLiteral("answer");
    record.assessment = assessment;
    record.questionKind = kind;
    record.usedHint = false;
    return record;
}

TeacherLearningSession sessionWith(QList<MeridQuizRecord> records) {
    TeacherLearningSession session(0, {.date = base::Date{0}});
    session.topicName = QStringLiteral("ATP");
    session.quizRecords = std::move(records);
    return session;
}

// A plan of two topics, the first active; records recorded under it carry its id.
void addPlan(TeacherLearningSession& session) {
    session.material = TeacherMaterial(QStringLiteral("m"), QStringLiteral("# A\ntext\n# B\ntext"), QString());
    MeridV12CoursePlan plan;
    plan.sourceFingerprint = MeridV12CourseNavigator::fingerprint(*session.material);
    plan.sourceName = QStringLiteral("m");
    plan.topics = {{plan.sourceFingerprint + QStringLiteral(":a"), QStringLiteral("A"), 1, 0, std::nullopt},
                   {plan.sourceFingerprint + QStringLiteral(":b"), QStringLiteral("B"), 3, 0, std::nullopt}};
    plan.activeTopicID = plan.topics.first().id;
    session.coursePlan = plan;
}

}  // namespace

TEST(MeridDecisionPolicy, RuleOrder) {
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::practice, true, MeridEvidenceStatus::needsReview),
              (QList<A>{A::gradeAnswer, A::explainDifferently, A::pause}));
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::master, false, MeridEvidenceStatus::needsReview),
              (QList<A>{A::reinforceMistake, A::testMe, A::explainDifferently, A::pause}));
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::master, false, MeridEvidenceStatus::repeated),
              (QList<A>{A::continueLearning, A::testMe, A::sprint, A::pause}));
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::understand, false, MeridEvidenceStatus::notTested),
              (QList<A>{A::continueLearning, A::explainDifferently, A::testMe, A::pause}));
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::practice, false, MeridEvidenceStatus::preliminary),
              (QList<A>{A::testMe, A::explainDifferently, A::summarize, A::pause}));
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::review, false, MeridEvidenceStatus::notTested),
              (QList<A>{A::reinforceMistake, A::testMe, A::continueLearning, A::pause}));
    EXPECT_EQ(MeridDecisionPolicy::actions(MeridStep::reinforce, false, MeridEvidenceStatus::notTested),
              (QList<A>{A::explainDifferently, A::testMe, A::continueLearning, A::pause}));
}

TEST(MeridTutorOrchestrator, Prepare) {
    TeacherLearningSession session = sessionWith({});
    session.draft = QStringLiteral("my typing");
    session.mode = TeacherMode::summary;

    MeridTutorOrchestrator::prepare(A::pause, session, kNow);
    EXPECT_EQ(session.draft, QStringLiteral("my typing"));
    EXPECT_EQ(session.mode, TeacherMode::summary);
    EXPECT_EQ(session.lessonStep, MeridStep::understand);
    EXPECT_EQ(session.pausedAt, kNow);
    EXPECT_EQ(session.lastPedagogicalAction, A::pause);

    MeridTutorOrchestrator::prepare(A::testMe, session, kNow);
    EXPECT_FALSE(session.pausedAt);
    EXPECT_EQ(session.mode, TeacherMode::quiz);
    EXPECT_EQ(session.lessonStep, MeridStep::practice);
    EXPECT_EQ(session.draft, draft(A::testMe));

    // Grading: the pending question is checked before the answer, and a refusal changes nothing.
    const TeacherLearningSession noQuestion = session;
    try {
        MeridTutorOrchestrator::prepare(A::gradeAnswer, session, kNow);
        ADD_FAILURE();
    } catch (const MeridLearningError& error) {
        EXPECT_EQ(error.errorCase(), MeridLearningError::Case::missingQuestion);
    }
    EXPECT_EQ(session, noQuestion);

    session.quizRecords->append(
        MeridQuizRecord(QUuid::createUuid(), QStringLiteral("Q"), QStringLiteral("ATP"), QString()));
    session.draft = QStringLiteral(" \n ");
    const TeacherLearningSession blank = session;
    try {
        MeridTutorOrchestrator::prepare(A::gradeAnswer, session, kNow);
        ADD_FAILURE();
    } catch (const MeridLearningError& error) {
        EXPECT_EQ(error.errorCase(), MeridLearningError::Case::blankAnswer);
    }
    EXPECT_EQ(session, blank);

    session.draft = QStringLiteral("42");
    MeridTutorOrchestrator::prepare(A::gradeAnswer, session, kNow);
    EXPECT_EQ(session.draft, QStringLiteral("42"));
    EXPECT_EQ(session.mode, TeacherMode::grade);
    EXPECT_EQ(session.lessonStep, MeridStep::review);
}

TEST(MeridV12LessonPolicy, GuideRules) {
    TeacherLearningSession fresh = sessionWith({});
    EXPECT_EQ(MeridV12LessonPolicy::guide(fresh, kNow),
              (MeridV12Guidance{Phase::ready, A::continueLearning, MeridV12KnowledgeEvidence{}, false}));
    fresh.latestClassroomResponse = QStringLiteral("lesson");
    EXPECT_EQ(MeridV12LessonPolicy::guide(fresh, kNow).phase, Phase::checking);
    EXPECT_EQ(MeridV12LessonPolicy::guide(fresh, kNow).recommendedAction, A::testMe);

    TeacherLearningSession repair = sessionWith({graded(QStringLiteral("1"), MeridAssessment::correct),
                                                 graded(QStringLiteral("2"), MeridAssessment::incorrect),
                                                 graded(QStringLiteral("3"), MeridAssessment::partial)});
    repair.lastPedagogicalAction = A::gradeAnswer;
    const MeridV12Guidance twice = MeridV12LessonPolicy::guide(repair, kNow);
    EXPECT_EQ(twice.evidence.status, Status::needsRepair);
    EXPECT_EQ(twice.evidence.consecutiveErrors, 2);
    EXPECT_EQ(twice.phase, Phase::remediating);
    EXPECT_EQ(twice.recommendedAction, A::explainDifferently);
    (*repair.quizRecords)[1].assessment = MeridAssessment::correct;
    EXPECT_EQ(MeridV12LessonPolicy::guide(repair, kNow).recommendedAction, A::reinforceMistake);

    // One question answered twice, its accent encoded two ways, is one question: not yet supported.
    const TeacherLearningSession once = sessionWith({graded(QStringLiteral("Café ?"), MeridAssessment::correct),
                                                     graded(QStringLiteral("cafe\u0301 ?"), MeridAssessment::correct)});
    EXPECT_EQ(MeridV12LessonPolicy::guide(once, kNow).evidence.independentCorrectQuestions, 1);

    // After a lesson in repair the retest comes next.
    repair.lastPedagogicalAction = A::reinforceMistake;
    repair.latestClassroomResponse = QStringLiteral("repair lesson");
    EXPECT_EQ(MeridV12LessonPolicy::guide(repair, kNow).phase, Phase::retesting);

    // Pause comes before a pending question, which comes before a due review.
    TeacherLearningSession waiting =
        sessionWith({MeridQuizRecord(QUuid::createUuid(), QStringLiteral("Q"), QStringLiteral("ATP"), QString())});
    const MeridV12Guidance awaiting = MeridV12LessonPolicy::guide(waiting, kNow);
    EXPECT_EQ(awaiting.phase, Phase::awaitingAnswer);
    EXPECT_FALSE(awaiting.recommendedAction);
    EXPECT_TRUE(awaiting.requiresStudentAnswer);
    waiting.pausedAt = kNow;
    EXPECT_EQ(MeridV12LessonPolicy::guide(waiting, kNow).phase, Phase::paused);
}

TEST(MeridV12LessonPolicy, GuideWithACoursePlan) {
    TeacherLearningSession session = sessionWith({graded(QStringLiteral("1"), MeridAssessment::incorrect)});
    addPlan(session);
    // The record's topic text matches, but it belongs to no plan topic: it does not count.
    EXPECT_EQ(MeridV12LessonPolicy::guide(session, kNow).evidence.status, Status::notTested);

    const QString topicID = session.coursePlan->topics.first().id;
    QList<MeridQuizRecord> supported{
        graded(QStringLiteral("1"), MeridAssessment::correct),
        graded(QStringLiteral("2"), MeridAssessment::correct, QStringLiteral("explanation"))};
    for (MeridQuizRecord& record : supported) record.sourceTopicID = topicID;
    session.quizRecords = supported;
    session.lastPedagogicalAction = A::testMe;
    session.coursePlan->reviewEntries.insert(
        topicID, MeridV12ReviewEntry{base::Date{kNow.secondsSinceReference - 1}, std::nullopt, 0, std::nullopt});
    const MeridV12Guidance due = MeridV12LessonPolicy::guide(session, kNow);
    EXPECT_EQ(due.evidence.status, Status::supported);
    EXPECT_EQ(due.phase, Phase::retesting);
    EXPECT_EQ(due.recommendedAction, A::testMe);

    session.coursePlan->reviewEntries.clear();
    session.lastPedagogicalAction = A::summarize;
    EXPECT_EQ(MeridV12LessonPolicy::guide(session, kNow).phase, Phase::reviewing);
}

TEST(MeridV12AutoAdvance, BudgetsAndLimits) {
    EXPECT_EQ(MeridV12AutoAdvance::budget(std::nullopt), 1);
    const std::pair<A, int> budgets[] = {{A::continueLearning, 2}, {A::explainDifferently, 2}, {A::testMe, 1},
                                         {A::gradeAnswer, 3},      {A::reinforceMistake, 2},   {A::summarize, 1},
                                         {A::sprint, 1},           {A::skipConcept, 2},        {A::pause, 1}};
    for (const auto& [action, budget] : budgets) EXPECT_EQ(MeridV12AutoAdvance::budget(action), budget);

    TeacherLearningSession wrong = sessionWith({graded(QStringLiteral("1"), MeridAssessment::incorrect)});
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, wrong, 1, 3, kNow), A::reinforceMistake);
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, wrong, 0, 3, kNow), std::nullopt);
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, wrong, 3, 5, kNow), std::nullopt);
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, wrong, 2, 2, kNow), std::nullopt);
    wrong.pausedAt = kNow;
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, wrong, 1, 3, kNow), std::nullopt);
}

TEST(MeridV12AutoAdvance, NextActionAfterEachKindOfReply) {
    // A teaching action continues to a check only when a lesson reply was recorded.
    TeacherLearningSession taught = sessionWith({});
    taught.lastPedagogicalAction = A::continueLearning;
    taught.latestClassroomResponse = QStringLiteral("lesson");
    taught.latestClassroomMode = TeacherMode::teach;
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::continueLearning, taught, 1, 2, kNow), A::testMe);
    taught.latestClassroomMode = TeacherMode::quiz;
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::continueLearning, taught, 1, 2, kNow), std::nullopt);
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::testMe, taught, 1, 3, kNow), std::nullopt);

    // Twice wrong in a row: explain differently instead of repairing again.
    TeacherLearningSession twice = sessionWith({graded(QStringLiteral("1"), MeridAssessment::partial),
                                                graded(QStringLiteral("2"), MeridAssessment::incorrect)});
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, twice, 1, 3, kNow), A::explainDifferently);

    // Correct once: provisional evidence asks for another question.
    TeacherLearningSession once = sessionWith({graded(QStringLiteral("1"), MeridAssessment::correct)});
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, once, 1, 3, kNow), A::testMe);

    // Supported: move on only when another topic is recommended.
    TeacherLearningSession mastered = sessionWith({});
    addPlan(mastered);
    QList<MeridQuizRecord> records{
        graded(QStringLiteral("1"), MeridAssessment::correct),
        graded(QStringLiteral("2"), MeridAssessment::correct, QStringLiteral("explanation"))};
    for (MeridQuizRecord& record : records) record.sourceTopicID = mastered.coursePlan->topics.first().id;
    mastered.quizRecords = records;
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, mastered, 1, 3, kNow), A::continueLearning);
    // The active topic's review is due, so it is the recommended one: stop.
    mastered.coursePlan->reviewEntries.insert(
        mastered.coursePlan->topics.first().id,
        MeridV12ReviewEntry{base::Date{kNow.secondsSinceReference - 1}, std::nullopt, 0, std::nullopt});
    ASSERT_EQ(MeridV12CourseNavigator::recommendedTopic(mastered, kNow)->id, mastered.coursePlan->activeTopicID);
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, mastered, 1, 3, kNow), std::nullopt);

    // A pending question always stops.
    once.quizRecords->append(
        MeridQuizRecord(QUuid::createUuid(), QStringLiteral("next"), QStringLiteral("ATP"), QString()));
    EXPECT_EQ(MeridV12AutoAdvance::nextAction(A::gradeAnswer, once, 1, 3, kNow), std::nullopt);
}
