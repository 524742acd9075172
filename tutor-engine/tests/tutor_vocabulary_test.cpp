// Modes, turns, steps, actions, assessments and their fixed texts.
#include <gtest/gtest.h>

#include <QJsonDocument>

#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_learning_error.h"
#include "tutor-engine/merid_step.h"
#include "tutor-engine/merid_v12_knowledge_evidence.h"
#include "tutor-engine/teacher_mode.h"
#include "tutor-engine/teacher_turn.h"
#include "tutor_golden_texts.h"

using namespace meridcore;

namespace {

template <typename E, typename Text>
void expectGolden(const std::vector<std::pair<E, const char*>>& golden, Text text) {
    ASSERT_EQ(golden.size(), size_t(base::allCases<E>().size()));
    for (const auto& [value, bytes] : golden)
        EXPECT_EQ(text(value).toUtf8(), QByteArray(bytes)) << base::rawValue(value).toStdString();
}

QList<int> utf8Lengths(const QList<QString>& texts) {
    QList<int> lengths;
    for (const QString& text : texts) lengths.append(int(text.toUtf8().size()));
    return lengths;
}

}  // namespace

TEST(TutorTexts, MatchTheGoldenBytes) {
    expectGolden(golden::modeTitles, [](TeacherMode m) { return title(m); });
    expectGolden(golden::modePrompts, [](TeacherMode m) { return prompt(m); });
    expectGolden(golden::stepLabels, [](MeridStep s) { return label(s); });
    expectGolden(golden::actionTitles, [](MeridAction a) { return title(a); });
    expectGolden(golden::actionDrafts, [](MeridAction a) { return draft(a); });
    expectGolden(golden::assessmentLabels, [](MeridAssessment a) { return label(a); });
    expectGolden(golden::evidenceLabels, [](MeridEvidenceStatus s) { return label(s); });
    expectGolden(golden::knowledgeLabels, [](MeridV12KnowledgeStatus s) { return chineseLabel(s); });
    for (const auto& [errorCase, bytes] : golden::learningErrors)
        EXPECT_EQ(MeridLearningError(errorCase).message().toUtf8(), QByteArray(bytes));
}

TEST(TutorTexts, HaveTheirKnownUtf8Lengths) {
    QList<QString> prompts;
    for (TeacherMode mode : base::allCases<TeacherMode>()) prompts.append(prompt(mode));
    EXPECT_EQ(utf8Lengths(prompts), (QList<int>{156, 294, 356, 129, 150}));

    QList<QString> drafts;
    for (MeridAction action : base::allCases<MeridAction>()) drafts.append(draft(action));
    EXPECT_EQ(utf8Lengths(drafts), (QList<int>{105, 129, 262, 0, 135, 144, 147, 123, 0}));

    EXPECT_EQ(chineseLabel(MeridV12KnowledgeStatus::provisional).toUtf8().size(), 25);
    // U+00B7 between single spaces.
    EXPECT_TRUE(chineseLabel(MeridV12KnowledgeStatus::supported).contains(QStringLiteral(" \u00B7 ")));
    EXPECT_EQ(label(MeridAssessment::unassessed), label(MeridEvidenceStatus::notTested));
}

TEST(TutorVocabulary, RawValuesAreCaseSensitiveAndStable) {
    ASSERT_EQ(base::allCases<TeacherMode>().size(), 5);
    EXPECT_EQ(base::allCases<TeacherMode>().first(), TeacherMode::teach);
    EXPECT_EQ(base::fromRawValue<TeacherMode>(QStringLiteral("quiz")), TeacherMode::quiz);
    EXPECT_EQ(base::fromRawValue<TeacherMode>(QStringLiteral("Quiz")), std::nullopt);
    EXPECT_EQ(base::fromRawValue<MeridAction>(QStringLiteral("testme")), std::nullopt);
    EXPECT_EQ(base::fromRawValue<MeridStep>(QStringLiteral("Review")), std::nullopt);
    EXPECT_EQ(base::rawValue(MeridAction::skipConcept), QStringLiteral("skipConcept"));
    EXPECT_EQ(base::allCases<MeridAction>().size(), 9);
    EXPECT_EQ(base::allCases<MeridAction>().last(), MeridAction::pause);
}

TEST(TutorVocabulary, StepsAndActions) {
    EXPECT_EQ(number(MeridStep::understand), 1);
    EXPECT_EQ(number(MeridStep::master), 5);
    EXPECT_EQ(english(MeridStep::reinforce), QStringLiteral("Reinforce"));
    EXPECT_EQ(mode(MeridAction::pause), std::nullopt);
    EXPECT_FALSE(isOnline(MeridAction::pause));
    EXPECT_EQ(step(MeridAction::pause), MeridStep::master);
    EXPECT_EQ(mode(MeridAction::gradeAnswer), TeacherMode::grade);
    EXPECT_EQ(mode(MeridAction::skipConcept), TeacherMode::teach);
    EXPECT_EQ(step(MeridAction::reinforceMistake), MeridStep::reinforce);
    // The message quotes the test button's own title.
    EXPECT_TRUE(MeridLearningError(MeridLearningError::Case::missingQuestion)
                    .message()
                    .contains(QStringLiteral("「") + title(MeridAction::testMe) + QStringLiteral("」")));
}

TEST(TeacherTurnTest, JsonHoldsRoleAndContent) {
    const TeacherTurn turn(TeacherTurn::Role::assistant, QString());
    const QJsonObject json = turn.toJson();
    EXPECT_EQ(QJsonDocument(json).toJson(QJsonDocument::Compact), QByteArray(R"({"content":"","role":"assistant"})"));
    QJsonObject extra = json;
    extra.insert(QStringLiteral("other"), 1);
    EXPECT_EQ(TeacherTurn::fromJson(extra), turn);
    EXPECT_NE(turn, TeacherTurn(TeacherTurn::Role::user, QString()));

    EXPECT_THROW(TeacherTurn::fromJson(QJsonObject{{"role", "user"}}), base::JsonDecodeError);
    EXPECT_THROW(TeacherTurn::fromJson(QJsonObject{{"content", "x"}}), base::JsonDecodeError);
    EXPECT_THROW(TeacherTurn::fromJson(QJsonObject{{"role", "User"}, {"content", "x"}}), base::JsonDecodeError);
}
