// The local stand-in of the hosted services (scripts/run --local-service): its tutor replies must
// pass the tutor's own reply contract, or the screens it is for would only show refusals.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QUuid>

#include "tests/support/local_service.h"
#include "tutor-engine/merid_lesson_formatter.h"
#include "tutor-engine/merid_quiz_evaluator.h"
#include "tutor-engine/merid_v12_reply_contract.h"
#include "tutor-engine/teacher_learning_session.h"

namespace meridcore {
namespace {

QJsonObject answerRequest(const QString& mode, const QString& language, bool tutor) {
    QJsonObject request{{QStringLiteral("text"), QStringLiteral("What is a derivative?")},
                        {QStringLiteral("mode"), mode},
                        {QStringLiteral("language"), language},
                        {QStringLiteral("privacy_consent"), true}};
    if (tutor) request.insert(QStringLiteral("model_tier"), QStringLiteral("flash"));
    return request;
}

const QStringList languages{QStringLiteral("zh-CN"), QStringLiteral("zh-TW"), QStringLiteral("en"),
                            QStringLiteral("fr")};

TEST(LocalServiceTest, TutorRepliesKeepTheReplyContractInEveryModeAndLanguage) {
    for (const QString& language : languages) {
        for (const TeacherMode mode :
             {TeacherMode::teach, TeacherMode::quiz, TeacherMode::grade, TeacherMode::summary, TeacherMode::sprint}) {
            SCOPED_TRACE((language + u' ' + id(mode)).toStdString());
            const QString raw =
                testsupport::localSampleAnswer(answerRequest(id(mode), language, true), 1).value(u"answer").toString();
            MeridTutorRequest request;
            request.mode = mode;
            QString reply;
            try {
                reply = MeridV12ReplyContract::normalize(raw, request, TeacherLearningSession(0));
            } catch (const MeridV12ReplyError& error) {
                FAIL() << MeridV12ReplyError::description(error.errorCase()).toStdString();
            }
            // Plainly a sample, whatever the mode.
            EXPECT_TRUE(reply.contains(QStringLiteral("scripts/run --local-service"))) << reply.toStdString();
            if (mode == TeacherMode::teach) {
                // The four sections the lesson view draws, after the sample line, with formulas.
                QList<MeridLessonSectionKind> kinds;
                for (const MeridLessonSection& section : MeridLessonFormatter::sections(reply))
                    kinds.append(section.kind);
                EXPECT_EQ(kinds, (QList{MeridLessonSectionKind::paragraph, MeridLessonSectionKind::intuition,
                                        MeridLessonSectionKind::concept_, MeridLessonSectionKind::example,
                                        MeridLessonSectionKind::reminder}));
                EXPECT_TRUE(reply.contains(QStringLiteral("$$f'(x) = \\lim_{h\\to 0}")));
            }
        }
    }
}

TEST(LocalServiceTest, QuizQuestionsNeverRepeatInASession) {
    MeridTutorRequest request;
    request.mode = TeacherMode::quiz;
    TeacherLearningSession session(0);
    QList<MeridQuizRecord> asked;
    for (int sequence = 1; sequence <= 3; ++sequence) {
        const QString raw =
            testsupport::localSampleAnswer(answerRequest(QStringLiteral("quiz"), QStringLiteral("en"), true), sequence)
                .value(u"answer")
                .toString();
        const QString reply = MeridV12ReplyContract::normalize(raw, request, session);
        const std::optional<QString> question = MeridQuizEvaluator::question(reply);
        ASSERT_TRUE(question.has_value());
        asked.append(MeridQuizRecord(QUuid::createUuid(), *question, QString(), QString()));
        session.quizRecords = asked;
    }
}

TEST(LocalServiceTest, StudyAnswersSayTheyAreSamplesInTheRequestsLanguage) {
    for (const QString& language : languages) {
        for (const QString& mode : {QStringLiteral("translate"), QStringLiteral("explain"), QStringLiteral("ask")}) {
            SCOPED_TRACE((language + u' ' + mode).toStdString());
            const QString answer =
                testsupport::localSampleAnswer(answerRequest(mode, language, false), 1).value(u"answer").toString();
            const QString firstLine = answer.section(u'\n', 0, 0);
            EXPECT_TRUE(firstLine.contains(QStringLiteral("scripts/run --local-service")));
            EXPECT_TRUE(answer.contains(QStringLiteral("What is a derivative?")));
            EXPECT_EQ(language.startsWith(u"zh"), firstLine.startsWith(QStringLiteral("【本地示例】")));
        }
    }
}

}  // namespace
}  // namespace meridcore
