// Quiz records and the evaluator that reads the tutor's marker lines.
#include <gtest/gtest.h>

#include <QJsonDocument>

#include "base/text.h"
#include "tutor-engine/merid_quiz_evaluator.h"
#include "tutor-engine/merid_quiz_record.h"

using namespace meridcore;

namespace {

MeridQuizRecord graded(const QString& question, MeridAssessment assessment) {
    MeridQuizRecord record(QUuid::createUuid(), question, QStringLiteral("t"), QStringLiteral("r"));
    record.answer = QStringLiteral("a");
    record.assessment = assessment;
    return record;
}

}  // namespace

TEST(MeridQuizEvaluatorTest, AssessmentTakesTheLastMarkerAsOneWord) {
    using MeridQuizEvaluator::assessment;
    EXPECT_EQ(assessment(QStringLiteral("Good.\n  eval_result:   Partial  ")), MeridAssessment::partial);
    EXPECT_EQ(assessment(QStringLiteral("EVAL_RESULT: INCORRECT\nmore\nEVAL_RESULT: CORRECT")),
              MeridAssessment::correct);
    EXPECT_EQ(assessment(QStringLiteral("EVAL_RESULT: CORRECT\nEVAL_RESULT: INCORRECT")), MeridAssessment::incorrect);
    EXPECT_EQ(assessment(QStringLiteral("EVAL_RESULT: CORRECTLY")), MeridAssessment::unassessed);
    EXPECT_EQ(assessment(QStringLiteral("EVAL_RESULT: CORRECT.")), MeridAssessment::unassessed);
    EXPECT_EQ(assessment(QStringLiteral("All correct!")), MeridAssessment::unassessed);
    // The marker must open its line.
    EXPECT_EQ(assessment(QStringLiteral("Result EVAL_RESULT: CORRECT")), MeridAssessment::unassessed);
    // Every Unicode newline separates lines.
    EXPECT_EQ(assessment(QStringLiteral("ok\u2028EVAL_RESULT: CORRECT")), MeridAssessment::correct);
}

TEST(MeridQuizEvaluatorTest, QuestionNeedsAPrefixAtTheStart) {
    using MeridQuizEvaluator::question;
    EXPECT_EQ(question(QStringLiteral("  Q: What is a mole?\nQ_TYPE: recognition\n")),
              QStringLiteral("What is a mole?"));
    EXPECT_EQ(question(QStringLiteral("题目：第一行\n第二行")), QStringLiteral("第一行\n第二行"));
    EXPECT_EQ(question(QStringLiteral("Q：全角冒号")), QStringLiteral("全角冒号"));
    EXPECT_EQ(question(QStringLiteral("Intro\nQ: later")), std::nullopt);
    EXPECT_EQ(question(QStringLiteral("q: lower case")), std::nullopt);
    EXPECT_EQ(question(QStringLiteral("Q:\nQ_TYPE: application")), std::nullopt);
    // The question stops at the first kind line, whatever its case.
    EXPECT_EQ(question(QStringLiteral("Q: a\nb\n q_type: x\nc")), QStringLiteral("a\nb"));
}

TEST(MeridQuizEvaluatorTest, QuestionIsCutTo2000Characters) {
    // Counted in characters: 2,500 emoji families keep 2,000 whole families.
    const QString family = QStringLiteral("👨‍👩‍👧");
    const std::optional<QString> cut = MeridQuizEvaluator::question(QStringLiteral("Q: ") + family.repeated(2500));
    ASSERT_TRUE(cut);
    EXPECT_EQ(*cut, family.repeated(2000));
}

TEST(MeridQuizEvaluatorTest, QuestionKindTakesTheFirstKindLine) {
    using MeridQuizEvaluator::questionKind;
    EXPECT_EQ(questionKind(QStringLiteral("Q: x\nQ_TYPE: Application")), QStringLiteral("application"));
    EXPECT_EQ(questionKind(QStringLiteral("Q_TYPE: application.")), std::nullopt);
    EXPECT_EQ(questionKind(QStringLiteral("Q_TYPE: calculation\nQ_TYPE: recognition")), QStringLiteral("calculation"));
    EXPECT_EQ(questionKind(QStringLiteral("Q_TYPE: essay\nQ_TYPE: recognition")), std::nullopt);
}

TEST(MeridQuizEvaluatorTest, EvidenceFromGradedRecords) {
    using MeridQuizEvaluator::evidence;
    EXPECT_EQ(evidence({}), MeridEvidenceStatus::notTested);
    EXPECT_EQ(evidence({graded("A", MeridAssessment::unassessed)}), MeridEvidenceStatus::notTested);
    EXPECT_EQ(evidence({graded("A", MeridAssessment::correct), graded("B", MeridAssessment::partial)}),
              MeridEvidenceStatus::needsReview);
    EXPECT_EQ(evidence({graded("A", MeridAssessment::correct), graded(" a ", MeridAssessment::correct)}),
              MeridEvidenceStatus::preliminary);
    // One question whether its accent is one character or a letter and a combining mark.
    EXPECT_EQ(evidence({graded("Café ?", MeridAssessment::correct), graded("CAFE\u0301 ?", MeridAssessment::correct)}),
              MeridEvidenceStatus::preliminary);
    EXPECT_EQ(evidence({graded("A", MeridAssessment::incorrect), graded("A", MeridAssessment::correct),
                        graded("B", MeridAssessment::correct)}),
              MeridEvidenceStatus::repeated);
    // An unassessed record after the latest grading does not decide.
    EXPECT_EQ(evidence({graded("A", MeridAssessment::incorrect), graded("B", MeridAssessment::unassessed)}),
              MeridEvidenceStatus::needsReview);
}

TEST(MeridQuizRecordTest, NewRecordCutsItsTextsAndStartsUnanswered) {
    const QString accent = QStringLiteral("e\u0301");
    const MeridQuizRecord record(QUuid::createUuid(), QString(2001, QLatin1Char('q')), accent.repeated(121),
                                 QString(181, QLatin1Char('m')));
    EXPECT_EQ(record.question.size(), 2000);
    EXPECT_EQ(record.topic, accent.repeated(120));
    EXPECT_EQ(record.materialReference.size(), 180);
    EXPECT_EQ(record.assessment, MeridAssessment::unassessed);
    EXPECT_EQ(record.usedHint, false);
}

TEST(MeridQuizRecordTest, JsonKeepsAbsentApartFromFalse) {
    const QUuid id = QUuid::fromString(QStringLiteral("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}"));
    MeridQuizRecord record(id, QStringLiteral("q"), QStringLiteral("t"), QStringLiteral("r"));
    const QJsonObject json = record.toJson();
    EXPECT_EQ(QJsonDocument(json).toJson(QJsonDocument::Compact),
              QByteArray(R"({"assessment":"unassessed","id":"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0",)"
                         R"("materialReference":"r","question":"q","topic":"t","usedHint":false})"));

    QJsonObject withoutHint = json;
    withoutHint.remove(QStringLiteral("usedHint"));
    const MeridQuizRecord older = MeridQuizRecord::fromJson(withoutHint);
    EXPECT_EQ(older.usedHint, std::nullopt);
    EXPECT_FALSE(older.toJson().contains(QStringLiteral("usedHint")));

    record.answer = QStringLiteral("a");
    record.feedback = QStringLiteral("f\nEVAL_RESULT: PARTIAL");
    record.assessment = MeridAssessment::partial;
    record.questionKind = QStringLiteral("calculation");
    record.usedHint = true;
    record.sourceTopicID = QStringLiteral("fp:line-3");
    EXPECT_EQ(MeridQuizRecord::fromJson(record.toJson()), record);

    // Null optional members read as absent; stored texts are not cut.
    QJsonObject stored = withoutHint;
    stored.insert(QStringLiteral("answer"), QJsonValue::Null);
    stored.insert(QStringLiteral("question"), QString(2500, QLatin1Char('x')));
    const MeridQuizRecord decoded = MeridQuizRecord::fromJson(stored);
    EXPECT_EQ(decoded.answer, std::nullopt);
    EXPECT_EQ(decoded.question.size(), 2500);
}

TEST(MeridQuizRecordTest, DecodingRefusesMissingOrIllTypedRequiredMembers) {
    const QJsonObject json =
        MeridQuizRecord(QUuid::createUuid(), QStringLiteral("q"), QStringLiteral("t"), QStringLiteral("r")).toJson();
    for (const char* key : {"id", "question", "topic", "materialReference", "assessment"}) {
        QJsonObject missing = json;
        missing.remove(QLatin1String(key));
        EXPECT_THROW(MeridQuizRecord::fromJson(missing), base::JsonDecodeError) << key;
    }
    QJsonObject badAssessment = json;
    badAssessment.insert(QStringLiteral("assessment"), QStringLiteral("Correct"));
    EXPECT_THROW(MeridQuizRecord::fromJson(badAssessment), base::JsonDecodeError);
    QJsonObject badHint = json;
    badHint.insert(QStringLiteral("usedHint"), QStringLiteral("false"));
    EXPECT_THROW(MeridQuizRecord::fromJson(badHint), base::JsonDecodeError);
}
