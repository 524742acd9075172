// Course plan records and the knowledge evidence of a topic.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "tutor-engine/merid_v12_course_plan.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"

using namespace meridcore;

namespace {

MeridV12CoursePlan twoTopicPlan() {
    MeridV12CoursePlan plan;
    plan.sourceFingerprint = QStringLiteral("e5d29919042666b2");
    plan.sourceName = QStringLiteral("notes.pdf");
    plan.topics = {
        {QStringLiteral("e5d29919042666b2:line-1"), QStringLiteral("Intro"), 1, 0, QStringLiteral("[第 1 页]")},
        {QStringLiteral("e5d29919042666b2:line-9"), QStringLiteral("Intro"), 9, 0, std::nullopt},
    };
    return plan;
}

MeridQuizRecord record(const QString& question, MeridAssessment assessment, std::optional<bool> usedHint,
                       std::optional<QString> kind = std::nullopt, bool answered = true) {
    MeridQuizRecord r(QUuid::createUuid(), question, QStringLiteral("t"), QStringLiteral("r"));
    if (answered) r.answer = QStringLiteral("a");
    r.assessment = assessment;
    r.usedHint = usedHint;
    r.questionKind = kind;
    return r;
}

}  // namespace

TEST(MeridV12CoursePlanTest, ActiveTopicIsTheFirstWithTheActiveId) {
    MeridV12CoursePlan plan = twoTopicPlan();
    EXPECT_EQ(plan.activeTopic(), std::nullopt);
    plan.activeTopicID = QStringLiteral("elsewhere:line-1");
    EXPECT_EQ(plan.activeTopic(), std::nullopt);
    plan.activeTopicID = plan.topics.at(1).id;
    ASSERT_TRUE(plan.activeTopic());
    EXPECT_EQ(plan.activeTopic()->lineNumber, 9);
}

TEST(MeridV12CoursePlanTest, JsonRoundTripsAndOmitsAbsentMembers) {
    MeridV12CoursePlan plan = twoTopicPlan();
    const QJsonObject bare = plan.toJson();
    EXPECT_FALSE(bare.contains(QStringLiteral("activeTopicID")));
    EXPECT_EQ(bare.value(QStringLiteral("reviewEntries")).toObject(), QJsonObject());
    EXPECT_FALSE(
        bare.value(QStringLiteral("topics")).toArray().at(1).toObject().contains(QStringLiteral("sourceMarker")));
    EXPECT_EQ(MeridV12CoursePlan::fromJson(bare), plan);

    plan.activeTopicID = plan.topics.at(0).id;
    MeridV12ReviewEntry entry;
    entry.nextReviewAt = base::Date{1234.5};
    entry.lastReviewedAt = base::Date{0.25};
    entry.successfulReviews = 2;
    entry.lastProcessedQuizID = QUuid::createUuid();
    plan.reviewEntries.insert(plan.topics.at(0).id, entry);
    plan.reviewEntries.insert(plan.topics.at(1).id, MeridV12ReviewEntry{});
    EXPECT_EQ(MeridV12CoursePlan::fromJson(plan.toJson()), plan);

    for (const char* key : {"sourceFingerprint", "sourceName", "topics", "reviewEntries"}) {
        QJsonObject missing = bare;
        missing.remove(QLatin1String(key));
        EXPECT_THROW(MeridV12CoursePlan::fromJson(missing), base::JsonDecodeError) << key;
    }
    QJsonObject topicWithoutLine = bare;
    QJsonArray topics = topicWithoutLine.value(QStringLiteral("topics")).toArray();
    QJsonObject first = topics.at(0).toObject();
    first.remove(QStringLiteral("lineNumber"));
    topics.replace(0, first);
    topicWithoutLine.insert(QStringLiteral("topics"), topics);
    EXPECT_THROW(MeridV12CoursePlan::fromJson(topicWithoutLine), base::JsonDecodeError);
}

TEST(MeridV12ReviewEntryTest, OnlyTheCountIsRequired) {
    const MeridV12ReviewEntry entry = MeridV12ReviewEntry::fromJson(QJsonObject{{"successfulReviews", 3}});
    EXPECT_EQ(entry.nextReviewAt, std::nullopt);
    EXPECT_EQ(entry.lastReviewedAt, std::nullopt);
    EXPECT_EQ(entry.lastProcessedQuizID, std::nullopt);
    EXPECT_EQ(entry.successfulReviews, 3);
    EXPECT_EQ(QJsonDocument(entry.toJson()).toJson(QJsonDocument::Compact), QByteArray(R"({"successfulReviews":3})"));
    EXPECT_THROW(MeridV12ReviewEntry::fromJson(QJsonObject{{"nextReviewAt", 1.0}}), base::JsonDecodeError);
    EXPECT_THROW(MeridV12ReviewEntry::fromJson(QJsonObject{{"successfulReviews", 1}, {"nextReviewAt", "soon"}}),
                 base::JsonDecodeError);
    // A negative stored count is read as none.
    EXPECT_EQ(MeridV12ReviewEntry::fromJson(QJsonObject{{"successfulReviews", -4}}).successfulReviews, 0);
}

TEST(MeridV12KnowledgeEvidenceTest, NothingGradedIsNotTested) {
    EXPECT_EQ(MeridV12LessonPolicy::evidence({}), MeridV12KnowledgeEvidence{});
    // A verdict without an answer is not graded.
    const MeridV12KnowledgeEvidence e = MeridV12LessonPolicy::evidence(
        {record("A", MeridAssessment::correct, false, QStringLiteral("application"), false)});
    EXPECT_EQ(e, MeridV12KnowledgeEvidence{});
}

TEST(MeridV12KnowledgeEvidenceTest, SupportedNeedsBreadthAndDepthWithoutHints) {
    using S = MeridV12KnowledgeStatus;
    const auto status = [](std::optional<bool> hint, const QString& kindA, const QString& kindB) {
        return MeridV12LessonPolicy::evidence({record("A", MeridAssessment::correct, hint, kindA),
                                               record("B", MeridAssessment::correct, hint, kindB)});
    };
    const MeridV12KnowledgeEvidence supported = status(false, "recognition", "explanation");
    EXPECT_EQ(supported, (MeridV12KnowledgeEvidence{S::supported, 2, 1, 0, 0}));
    EXPECT_EQ(status(false, "recognition", "recognition").status, S::provisional);
    const MeridV12KnowledgeEvidence older = status(std::nullopt, "application", "application");
    EXPECT_EQ(older, (MeridV12KnowledgeEvidence{S::provisional, 0, 0, 0, 0}));
    const MeridV12KnowledgeEvidence assisted = status(true, "application", "application");
    EXPECT_EQ(assisted, (MeridV12KnowledgeEvidence{S::provisional, 0, 0, 2, 0}));

    // The same question twice counts once.
    const MeridV12KnowledgeEvidence same = MeridV12LessonPolicy::evidence(
        {record("Mole?", MeridAssessment::correct, false, QStringLiteral("application")),
         record("  mole? ", MeridAssessment::correct, false, QStringLiteral("application"))});
    EXPECT_EQ(same, (MeridV12KnowledgeEvidence{S::provisional, 1, 1, 0, 0}));
}

TEST(MeridV12KnowledgeEvidenceTest, LatestWrongAnswersNeedRepair) {
    using S = MeridV12KnowledgeStatus;
    const MeridQuizRecord correct = record("A", MeridAssessment::correct, false);
    const MeridQuizRecord wrong = record("B", MeridAssessment::incorrect, true);
    const MeridQuizRecord partial = record("C", MeridAssessment::partial, false);
    const MeridQuizRecord pending = record("D", MeridAssessment::unassessed, std::nullopt, std::nullopt, false);
    EXPECT_EQ(MeridV12LessonPolicy::evidence({correct, wrong, partial, pending}),
              (MeridV12KnowledgeEvidence{S::needsRepair, 1, 0, 1, 2}));
    EXPECT_EQ(MeridV12LessonPolicy::evidence({correct, correct, partial}).consecutiveErrors, 1);
    EXPECT_EQ(MeridV12LessonPolicy::evidence({wrong, correct}).status, S::provisional);
}
