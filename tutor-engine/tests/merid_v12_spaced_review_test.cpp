// Spaced review of mastered course topics.
#include <gtest/gtest.h>

#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/teacher_learning_session.h"

using namespace meridcore;
namespace nav = meridcore::MeridV12CourseNavigator;

namespace {

constexpr double kDay = 86400;
const QString kTopic = QStringLiteral("fp:line-1");
const QString kOther = QStringLiteral("fp:line-20");

class SpacedReview : public ::testing::Test {
protected:
    SpacedReview() : session(0, {.date = base::Date{0}}) {
        MeridV12CoursePlan plan;
        plan.sourceFingerprint = QStringLiteral("fp");
        plan.sourceName = QStringLiteral("m");
        plan.topics = {{kTopic, QStringLiteral("One"), 1, 0, std::nullopt},
                       {kOther, QStringLiteral("Two"), 20, 0, std::nullopt}};
        plan.activeTopicID = kTopic;
        session.coursePlan = plan;
    }

    // Appends a graded record of `topic` and applies it at `now`.
    MeridQuizRecord& grade(const QString& question, MeridAssessment assessment, base::Date now,
                           std::optional<bool> usedHint = false, const QString& kind = QStringLiteral("explanation"),
                           const QString& topic = kTopic) {
        MeridQuizRecord record(QUuid::createUuid(), question, QStringLiteral("One"), QStringLiteral("s"));
        record.answer = QStringLiteral("answer");
        record.assessment = assessment;
        record.usedHint = usedHint;
        record.questionKind = kind;
        record.sourceTopicID = topic;
        if (!session.quizRecords) session.quizRecords = QList<MeridQuizRecord>{};
        session.quizRecords->append(record);
        nav::recordAssessment(session, now);
        return session.quizRecords->last();
    }

    // Two different unaided correct answers, one of them an explanation: the topic is supported.
    void master(base::Date now) {
        grade(QStringLiteral("A"), MeridAssessment::correct, now, false, QStringLiteral("recognition"));
        grade(QStringLiteral("B"), MeridAssessment::correct, now, false, QStringLiteral("explanation"));
    }

    MeridV12ReviewEntry entry() const { return session.coursePlan->reviewEntries.value(kTopic); }
    const MeridV12CourseTopic& topic() const { return session.coursePlan->topics.at(0); }

    TeacherLearningSession session;
};

}  // namespace

TEST_F(SpacedReview, FirstMasteryDueInTwoDays) {
    grade(QStringLiteral("A"), MeridAssessment::correct, base::Date{100}, false, QStringLiteral("recognition"));
    // Provisional: the entry exists with the processed id but no schedule.
    ASSERT_TRUE(session.coursePlan->reviewEntries.contains(kTopic));
    EXPECT_EQ(entry().lastProcessedQuizID, session.quizRecords->last().id);
    EXPECT_EQ(entry().nextReviewAt, std::nullopt);
    EXPECT_EQ(session.updatedAt, base::Date{100});

    // The answer that completes the evidence schedules the first review.
    const QUuid second = grade(QStringLiteral("B"), MeridAssessment::correct, base::Date{200}).id;
    EXPECT_EQ(entry().lastProcessedQuizID, second);
    EXPECT_EQ(nav::evidence(topic(), session).status, MeridV12KnowledgeStatus::supported);
    EXPECT_EQ(entry().nextReviewAt, base::Date{200 + 2 * kDay});
    EXPECT_EQ(entry().lastReviewedAt, base::Date{200});
    EXPECT_EQ(entry().successfulReviews, 0);
    EXPECT_FALSE(nav::reviewDue(topic(), session, base::Date{200 + 2 * kDay - 1}));
    EXPECT_TRUE(nav::reviewDue(topic(), session, base::Date{200 + 2 * kDay}));
}

TEST_F(SpacedReview, CleanAnswersWhileDueStepThrough7_14_30Days) {
    master(base::Date{0});
    double now = 2 * kDay;
    const QList<double> expectedDays{7, 14, 30, 30};
    for (qsizetype i = 0; i < expectedDays.size(); ++i) {
        ASSERT_TRUE(nav::reviewDue(topic(), session, base::Date{now}));
        grade(QStringLiteral("R%1").arg(i), MeridAssessment::correct, base::Date{now});
        EXPECT_EQ(entry().successfulReviews, i + 1);
        EXPECT_EQ(entry().nextReviewAt, base::Date{now + expectedDays.at(i) * kDay}) << i;
        EXPECT_EQ(entry().lastReviewedAt, base::Date{now});
        EXPECT_FALSE(nav::reviewDue(topic(), session, base::Date{now}));
        now += expectedDays.at(i) * kDay;
    }
}

TEST_F(SpacedReview, AidedOrOlderAnswersAndEarlyAnswersLeaveTheSchedule) {
    master(base::Date{0});
    const MeridV12ReviewEntry scheduled = entry();
    const base::Date due{3 * kDay};

    for (const std::optional<bool> hint : {std::optional<bool>(true), std::optional<bool>()}) {
        const QUuid id = grade(QStringLiteral("H"), MeridAssessment::correct, due, hint).id;
        EXPECT_EQ(entry().lastProcessedQuizID, id);
        EXPECT_EQ(entry().nextReviewAt, scheduled.nextReviewAt);
        EXPECT_EQ(entry().lastReviewedAt, scheduled.lastReviewedAt);
        EXPECT_EQ(entry().successfulReviews, 0);
        EXPECT_EQ(session.updatedAt, due);
        EXPECT_TRUE(nav::reviewDue(topic(), session, due));
    }

    // Before the review falls due a clean answer changes nothing either.
    grade(QStringLiteral("E"), MeridAssessment::correct, base::Date{kDay});
    EXPECT_EQ(entry().nextReviewAt, scheduled.nextReviewAt);
    EXPECT_EQ(entry().successfulReviews, 0);
}

TEST_F(SpacedReview, RepairResetsTheCountAndComesBackNextDay) {
    master(base::Date{0});
    grade(QStringLiteral("R"), MeridAssessment::correct, base::Date{2 * kDay});
    ASSERT_EQ(entry().successfulReviews, 1);

    // Well before the next review is due.
    grade(QStringLiteral("W"), MeridAssessment::partial, base::Date{3 * kDay});
    EXPECT_EQ(nav::evidence(topic(), session).status, MeridV12KnowledgeStatus::needsRepair);
    EXPECT_EQ(entry().successfulReviews, 0);
    EXPECT_EQ(entry().nextReviewAt, base::Date{4 * kDay});
    EXPECT_EQ(entry().lastReviewedAt, base::Date{3 * kDay});
    // Not supported: never due, even past the date.
    EXPECT_FALSE(nav::reviewDue(topic(), session, base::Date{10 * kDay}));
}

TEST_F(SpacedReview, OneGradingIsAppliedOnce) {
    master(base::Date{0});
    const TeacherLearningSession once = session;
    nav::recordAssessment(session, base::Date{5 * kDay});
    EXPECT_EQ(session, once);

    // The latest grading belongs to another topic: the active topic's own latest record is used,
    // and it has been applied already.
    grade(QStringLiteral("X"), MeridAssessment::incorrect, base::Date{6 * kDay}, false, QStringLiteral("recognition"),
          kOther);
    EXPECT_EQ(session, [&] {
        TeacherLearningSession expected = once;
        expected.quizRecords->append(session.quizRecords->last());
        return expected;
    }());
    EXPECT_FALSE(session.coursePlan->reviewEntries.contains(kOther));
}

TEST_F(SpacedReview, NothingToApplyLeavesTheSessionAlone) {
    // No graded record of the active topic: a pending question only.
    MeridQuizRecord pending(QUuid::createUuid(), QStringLiteral("P"), QStringLiteral("One"), QString());
    pending.sourceTopicID = kTopic;
    session.quizRecords = QList<MeridQuizRecord>{pending};
    TeacherLearningSession before = session;
    nav::recordAssessment(session, base::Date{1});
    EXPECT_EQ(session, before);

    session.coursePlan->activeTopicID = std::nullopt;
    before = session;
    grade(QStringLiteral("A"), MeridAssessment::correct, base::Date{2});
    EXPECT_TRUE(session.coursePlan->reviewEntries.isEmpty());
    EXPECT_EQ(session.updatedAt, base::Date{0});

    session.coursePlan = std::nullopt;
    before = session;
    nav::recordAssessment(session, base::Date{3});
    EXPECT_EQ(session, before);
}

TEST_F(SpacedReview, TopicWithoutEntryIsNeverDue) {
    for (const char* q : {"A", "B"}) {
        MeridQuizRecord record(QUuid::createUuid(), QString::fromLatin1(q), QStringLiteral("One"), QString());
        record.answer = QStringLiteral("a");
        record.assessment = MeridAssessment::correct;
        record.usedHint = false;
        record.questionKind = QStringLiteral("application");
        record.sourceTopicID = kTopic;
        session.quizRecords->append(record);
    }
    EXPECT_EQ(nav::evidence(topic(), session).status, MeridV12KnowledgeStatus::supported);
    EXPECT_FALSE(nav::reviewDue(topic(), session, base::Date{1e9}));
}

TEST_F(SpacedReview, SessionGradingUpdatesTheSchedule) {
    // Through the session's own grading step, with the active topic tagged on the question.
    session.recordQuestion(QStringLiteral("Q: first\nQ_TYPE: recognition"), QStringLiteral("s"), base::Date{1});
    session.recordAssessment(QStringLiteral("a"), QStringLiteral("EVAL_RESULT: CORRECT"), base::Date{2});
    session.recordQuestion(QStringLiteral("Q: second\nQ_TYPE: application"), QStringLiteral("s"), base::Date{3});
    session.recordAssessment(QStringLiteral("b"), QStringLiteral("EVAL_RESULT: CORRECT"), base::Date{4});
    EXPECT_EQ(entry().lastProcessedQuizID, session.quizRecords->last().id);
    EXPECT_EQ(entry().nextReviewAt, base::Date{4 + 2 * kDay});
}
