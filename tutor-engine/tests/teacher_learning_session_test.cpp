// The tutor session record: construction, its JSON form and its recording operations.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "base/text.h"
#include "tutor-engine/teacher_learning_session.h"

using namespace meridcore;

namespace {

const QUuid kSessionId = QUuid::fromString(QStringLiteral("{6b1d3f0a-9c2e-4e57-8a11-0c3d5e7f9a2b}"));

TeacherLearningSession fullSession() {
    TeacherLearningSession session(
        1, {.id = kSessionId,
            .title = QStringLiteral("细胞呼吸"),
            .date = base::Date{123456.789012},
            .mode = TeacherMode::grade,
            .turns = {TeacherTurn(TeacherTurn::Role::user, QStringLiteral("讲一下")),
                      TeacherTurn(TeacherTurn::Role::assistant, QString())},
            .material = TeacherMaterial(QStringLiteral("bio.pdf"), QStringLiteral("[第 1 页]\n") + QString(3000, 'x'),
                                        QStringLiteral("PDF 文字")),
            .draft = QStringLiteral("my answer")});
    session.updatedAt = base::Date{-5.5};
    session.followupDraft = QString();
    session.latestClassroomResponse = QStringLiteral("reply");
    session.latestClassroomMode = TeacherMode::quiz;
    session.lastFollowupQuestion = QStringLiteral("why?");
    session.lastFollowupAnswer = QStringLiteral("because");
    session.courseName = QStringLiteral("Biology");
    session.topicName = QStringLiteral("ATP");
    session.lessonStep = MeridStep::reinforce;
    session.lastPedagogicalAction = MeridAction::reinforceMistake;
    MeridV12CoursePlan plan;
    plan.sourceFingerprint = QStringLiteral("abc");
    plan.sourceName = QStringLiteral("bio.pdf");
    plan.topics = {{QStringLiteral("abc:line-1"), QStringLiteral("Intro"), 1, 0, QStringLiteral("[第 1 页]")}};
    plan.activeTopicID = QStringLiteral("abc:line-1");
    plan.reviewEntries.insert(QStringLiteral("abc:line-1"),
                              MeridV12ReviewEntry{base::Date{10}, base::Date{5}, 1, QUuid::createUuid()});
    session.coursePlan = plan;
    MeridQuizRecord record(QUuid::createUuid(), QStringLiteral("q"), QStringLiteral("ATP"), QStringLiteral("段 1"));
    record.answer = QStringLiteral("a");
    record.feedback = QStringLiteral("EVAL_RESULT: CORRECT");
    record.assessment = MeridAssessment::correct;
    record.questionKind = QStringLiteral("application");
    record.sourceTopicID = QStringLiteral("abc:line-1");
    session.quizRecords = QList<MeridQuizRecord>{record};
    session.pausedAt = base::Date{0.001};
    return session;
}

QJsonObject requiredOnly() {
    return QJsonObject{
        {"id", "6B1D3F0A-9C2E-4E57-8A11-0C3D5E7F9A2B"},
        {"title", "t"},
        {"createdAt", 1.5},
        {"updatedAt", 2.5},
        {"mode", "teach"},
        {"turns", QJsonArray()},
        {"chunkIndex", 0},
        {"draft", ""},
    };
}

const QStringList kOptionalKeys{"material",      "followupDraft", "latestClassroomResponse", "latestClassroomMode",
                                "lastFollowupQuestion", "lastFollowupAnswer", "courseName", "topicName",
                                "lessonStep",    "lastPedagogicalAction", "coursePlan", "quizRecords", "pausedAt"};

QString quizReply(const QString& question) {
    return QStringLiteral("Q: ") + question + QStringLiteral("\nQ_TYPE: explanation");
}

}  // namespace

TEST(TeacherLearningSessionTest, NewSessionDefaults) {
    const base::Date before = base::Date::now();
    const TeacherLearningSession session(3);
    EXPECT_EQ(session.title, QStringLiteral("新会话"));
    EXPECT_GE(session.createdAt, before);
    EXPECT_EQ(session.createdAt, session.updatedAt);
    EXPECT_EQ(session.chunkIndex, 3);
    EXPECT_EQ(session.lessonStep, MeridStep::understand);
    EXPECT_EQ(session.quizRecords, QList<MeridQuizRecord>{});
    const QJsonObject json = session.toJson();
    for (const QString& key : kOptionalKeys) {
        if (key == QLatin1String("lessonStep") || key == QLatin1String("quizRecords"))
            EXPECT_TRUE(json.contains(key)) << key.toStdString();
        else
            EXPECT_FALSE(json.contains(key)) << key.toStdString();
    }
}

TEST(TeacherLearningSessionJson, EveryFieldRoundTrips) {
    const TeacherLearningSession session = fullSession();
    const QJsonObject json = session.toJson();
    for (const QString& key : kOptionalKeys) EXPECT_TRUE(json.contains(key)) << key.toStdString();
    const TeacherLearningSession decoded = TeacherLearningSession::fromJson(json);
    EXPECT_EQ(decoded, session);
    EXPECT_EQ(base::json::compact(decoded.toJson()), base::json::compact(json));
    // Through the bytes of a file as well.
    EXPECT_EQ(TeacherLearningSession::fromJson(base::json::parseObject(base::json::compact(json))), session);
}

TEST(TeacherLearningSessionJson, StoredFormsOfDatesAndIdentifiers) {
    TeacherLearningSession session(0, {.id = kSessionId, .date = base::Date::fromUnixSeconds(978307200)});
    const QJsonObject json = session.toJson();
    EXPECT_EQ(json.value(QStringLiteral("createdAt")), QJsonValue(0.0));
    EXPECT_EQ(json.value(QStringLiteral("updatedAt")), QJsonValue(0.0));
    EXPECT_EQ(json.value(QStringLiteral("id")).toString(), QStringLiteral("6B1D3F0A-9C2E-4E57-8A11-0C3D5E7F9A2B"));
    // Upper-case in nested records too.
    session.recordQuestion(quizReply("q"), QStringLiteral("s"));
    const QString recordId = session.toJson()["quizRecords"].toArray().at(0).toObject()["id"].toString();
    EXPECT_EQ(recordId, recordId.toUpper());
}

TEST(TeacherLearningSessionJson, MissingOptionalMembersDecodeAbsent) {
    const TeacherLearningSession session = TeacherLearningSession::fromJson(requiredOnly());
    EXPECT_EQ(session.id, kSessionId);
    EXPECT_EQ(session.createdAt, base::Date{1.5});
    EXPECT_EQ(session.lessonStep, std::nullopt);
    EXPECT_EQ(session.quizRecords, std::nullopt);
    EXPECT_EQ(session.activeLessonStep(), MeridStep::understand);
    EXPECT_EQ(session.pendingQuizIndex(), std::nullopt);
    EXPECT_EQ(session.toJson(), requiredOnly());

    // Null reads as absent and is never written back.
    QJsonObject withNulls = requiredOnly();
    for (const QString& key : kOptionalKeys) withNulls.insert(key, QJsonValue::Null);
    const TeacherLearningSession fromNulls = TeacherLearningSession::fromJson(withNulls);
    EXPECT_EQ(fromNulls, session);
    EXPECT_EQ(fromNulls.toJson(), requiredOnly());

    // An empty list stays an empty list.
    QJsonObject emptyRecords = requiredOnly();
    emptyRecords.insert(QStringLiteral("quizRecords"), QJsonArray());
    EXPECT_EQ(TeacherLearningSession::fromJson(emptyRecords).quizRecords, QList<MeridQuizRecord>{});
}

TEST(TeacherLearningSessionJson, RequiredOrIllTypedMembersFail) {
    for (const char* key : {"id", "title", "createdAt", "updatedAt", "mode", "turns", "chunkIndex", "draft"}) {
        QJsonObject missing = requiredOnly();
        missing.remove(QLatin1String(key));
        EXPECT_THROW(TeacherLearningSession::fromJson(missing), base::JsonDecodeError) << key;
        QJsonObject null = requiredOnly();
        null.insert(QLatin1String(key), QJsonValue::Null);
        EXPECT_THROW(TeacherLearningSession::fromJson(null), base::JsonDecodeError) << key;
    }
    const QList<std::pair<QString, QJsonValue>> wrong{
        {"id", "not-a-uuid"},          {"createdAt", "2024-01-01"}, {"mode", "Teach"},
        {"chunkIndex", 1.5},           {"chunkIndex", "1"},         {"draft", 0},
        {"turns", QJsonArray{1}},      {"turns", QJsonArray{QJsonObject{{"role", "tutor"}, {"content", ""}}}},
        {"lessonStep", "Understand"},  {"lastPedagogicalAction", "testme"},
        {"latestClassroomMode", 1},    {"pausedAt", true},
        {"material", QJsonObject{{"name", "n"}, {"text", "t"}}},
        {"quizRecords", QJsonObject()}, {"coursePlan", QJsonObject{{"sourceName", "x"}}},
    };
    for (const auto& [key, value] : wrong) {
        QJsonObject bad = requiredOnly();
        bad.insert(key, value);
        EXPECT_THROW(TeacherLearningSession::fromJson(bad), base::JsonDecodeError) << key.toStdString();
    }
}

TEST(TeacherLearningSessionTest, RecordQuestionAddsOnlyNewQuestions) {
    TeacherLearningSession session = TeacherLearningSession::fromJson(requiredOnly());
    ASSERT_EQ(session.quizRecords, std::nullopt);

    EXPECT_FALSE(session.recordQuestion(QStringLiteral("Just an explanation."), QStringLiteral("s"), base::Date{9}));
    EXPECT_EQ(session.quizRecords, std::nullopt);
    EXPECT_EQ(session.updatedAt, base::Date{2.5});

    EXPECT_TRUE(session.recordQuestion(quizReply("What is ATP?"), QStringLiteral("段 1"), base::Date{10}));
    ASSERT_TRUE(session.quizRecords);
    ASSERT_EQ(session.quizRecords->size(), 1);
    EXPECT_EQ(session.pendingQuizIndex(), 0);
    EXPECT_EQ(session.updatedAt, base::Date{10});
    const MeridQuizRecord& record = session.quizRecords->first();
    EXPECT_EQ(record.question, QStringLiteral("What is ATP?"));
    EXPECT_EQ(record.topic, QStringLiteral("当前知识点"));
    EXPECT_EQ(record.materialReference, QStringLiteral("段 1"));
    EXPECT_EQ(record.questionKind, QStringLiteral("explanation"));
    EXPECT_EQ(record.usedHint, false);
    EXPECT_EQ(record.sourceTopicID, std::nullopt);

    // The same question in another case or with other surrounding space is not asked twice.
    EXPECT_FALSE(session.recordQuestion(quizReply("  what is atp?  "), QStringLiteral("s"), base::Date{11}));
    EXPECT_EQ(session.quizRecords->size(), 1);
    EXPECT_EQ(session.updatedAt, base::Date{10});
}

TEST(TeacherLearningSessionTest, RecordQuestionTakesTopicAndActiveCourseTopic) {
    TeacherLearningSession session(0);
    session.topicName = QString();
    MeridV12CoursePlan plan;
    plan.topics = {{QStringLiteral("fp:line-4"), QStringLiteral("H"), 4, 0, std::nullopt}};
    plan.activeTopicID = QStringLiteral("fp:line-4");
    session.coursePlan = plan;
    ASSERT_TRUE(session.recordQuestion(quizReply("one"), QStringLiteral("s")));
    // A present but empty topic name is kept as it is.
    EXPECT_EQ(session.quizRecords->last().topic, QString());
    EXPECT_EQ(session.quizRecords->last().sourceTopicID, QStringLiteral("fp:line-4"));

    session.coursePlan->activeTopicID = QStringLiteral("fp:line-99");
    ASSERT_TRUE(session.recordQuestion(quizReply("two"), QStringLiteral("s")));
    EXPECT_EQ(session.quizRecords->last().sourceTopicID, std::nullopt);
}

TEST(TeacherLearningSessionTest, RecordAssessmentAnswersTheLatestPendingQuestion) {
    TeacherLearningSession session(0, {.date = base::Date{1}});
    session.recordQuestion(quizReply("first"), QStringLiteral("s"), base::Date{2});
    session.recordQuestion(quizReply("second"), QStringLiteral("s"), base::Date{3});
    EXPECT_EQ(session.pendingQuizIndex(), 1);

    session.recordAssessment(QStringLiteral("my answer"), QStringLiteral("Well done.\nEVAL_RESULT: PARTIAL"),
                             base::Date{4});
    EXPECT_EQ(session.updatedAt, base::Date{4});
    const MeridQuizRecord& answered = session.quizRecords->at(1);
    EXPECT_EQ(answered.answer, QStringLiteral("my answer"));
    EXPECT_EQ(answered.feedback, QStringLiteral("Well done.\nEVAL_RESULT: PARTIAL"));
    EXPECT_EQ(answered.assessment, MeridAssessment::partial);
    // The earlier unanswered one becomes pending only now.
    EXPECT_EQ(session.pendingQuizIndex(), 0);

    session.recordAssessment(QStringLiteral("x"), QStringLiteral("EVAL_RESULT: CORRECT"), base::Date{5});
    EXPECT_EQ(session.pendingQuizIndex(), std::nullopt);

    const TeacherLearningSession before = session;
    session.recordAssessment(QStringLiteral("y"), QStringLiteral("EVAL_RESULT: CORRECT"), base::Date{6});
    EXPECT_EQ(session, before);
}

TEST(TeacherLearningSessionTest, FirstExchangeNamesTheSession) {
    TeacherLearningSession session(0);
    const QString userText = QStringLiteral("0123456789abcdefghij\n") + QString(29, QLatin1Char('z'));
    ASSERT_EQ(base::text::graphemeCount(userText), 50);
    session.addExchange(userText, QStringLiteral("answer"), base::Date{7});
    EXPECT_EQ(session.title, QStringLiteral("0123456789abcdefghij ") + QString(13, QLatin1Char('z')));
    EXPECT_EQ(session.updatedAt, base::Date{7});
    ASSERT_EQ(session.turns.size(), 2);
    EXPECT_EQ(session.turns.at(0), TeacherTurn(TeacherTurn::Role::user, userText));
    EXPECT_EQ(session.turns.at(1), TeacherTurn(TeacherTurn::Role::assistant, QStringLiteral("answer")));

    session.addExchange(QStringLiteral("second"), QStringLiteral("reply"), base::Date{8});
    EXPECT_EQ(session.title, QStringLiteral("0123456789abcdefghij ") + QString(13, QLatin1Char('z')));
    EXPECT_EQ(session.turns.size(), 4);
}

TEST(TeacherLearningSessionTest, EvidenceStatusFollowsTheTopicName) {
    TeacherLearningSession session(0);
    MeridQuizRecord a(QUuid::createUuid(), QStringLiteral("A"), QStringLiteral("Cells"), QString());
    a.answer = QStringLiteral("x");
    a.assessment = MeridAssessment::correct;
    MeridQuizRecord b(QUuid::createUuid(), QStringLiteral("B"), QStringLiteral("Energy"), QString());
    b.answer = QStringLiteral("y");
    b.assessment = MeridAssessment::correct;
    session.quizRecords = QList<MeridQuizRecord>{a, b};

    session.topicName = QStringLiteral("  ");
    EXPECT_EQ(session.evidenceStatus(), MeridEvidenceStatus::repeated);
    session.topicName = std::nullopt;
    EXPECT_EQ(session.evidenceStatus(), MeridEvidenceStatus::repeated);
    session.topicName = QStringLiteral(" Cells\n");
    EXPECT_EQ(session.evidenceStatus(), MeridEvidenceStatus::preliminary);
    session.topicName = QStringLiteral("cells");
    EXPECT_EQ(session.evidenceStatus(), MeridEvidenceStatus::notTested);
}
