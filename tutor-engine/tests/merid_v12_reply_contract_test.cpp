// The tutor reply contract: every path of normalize over one table, and the source marker check.
#include <gtest/gtest.h>

#include <variant>

#include "base/text.h"
#include "tutor-engine/merid_request_builder.h"
#include "tutor-engine/merid_v12_reply_contract.h"
#include "tutor-engine/teacher_stage_flow.h"

using namespace meridcore;

namespace {

using Case = MeridV12ReplyError::Case;

const QString kMaterialText = QStringLiteral("[第 1 页]\n细胞呼吸把葡萄糖分解。\n[第 2 页]\nATP 是能量货币。");

enum class Setup { plain, withMaterial };

TeacherLearningSession sessionFor(Setup setup, TeacherMode mode) {
    TeacherLearningSession session(0, {.date = base::Date{0}, .mode = mode, .draft = QStringLiteral("讲一下")});
    if (setup == Setup::withMaterial)
        session.material = TeacherMaterial(QStringLiteral("bio.pdf"), kMaterialText, QString());
    // One question answered earlier and one still open.
    MeridQuizRecord answered(QUuid::createUuid(), QStringLiteral("What is ATP?"), QStringLiteral("ATP"), QString());
    answered.answer = QStringLiteral("energy");
    MeridQuizRecord accented(QUuid::createUuid(), QStringLiteral("Qu'est-ce qu'un café ?"), QStringLiteral("ATP"),
                             QString());
    accented.answer = QStringLiteral("une boisson");
    session.quizRecords = QList<MeridQuizRecord>{
        answered, accented,
        MeridQuizRecord(QUuid::createUuid(), QStringLiteral("为什么需要氧气？"), QStringLiteral("ATP"), QString())};
    if (mode == TeacherMode::grade) session.draft = QStringLiteral("因为要产生能量");
    return session;
}

struct Row {
    const char* name;
    TeacherMode mode;
    QString raw;
    std::variant<QString, Case> expected;
    Setup setup = Setup::plain;
};

QString json(const QString& members) { return u'{' + members + u'}'; }

}  // namespace

TEST(MeridV12ReplyContract, NormalizeTable) {
    const QString lesson = QStringLiteral(R"("schema_version":1,"kind":"lesson","text":"  【先说人话】变化率。\n")");
    const QString question = QStringLiteral(R"("schema_version":1,"kind":"question","text":"什么是导数？")");
    const QString feedback = QStringLiteral(R"("schema_version":1,"kind":"feedback","text":"对了一半。")");
    const QString exactText = QString(MeridV12ReplyContract::maxTextLength, u'字');

    const Row rows[] = {
        // Envelope paths.
        {"blank reply", TeacherMode::teach, QStringLiteral(" \n\t "), Case::empty},
        {"bare object", TeacherMode::teach, json(lesson), QStringLiteral("【先说人话】变化率。")},
        {"fenced json", TeacherMode::teach, QStringLiteral("```json\n") + json(lesson) + QStringLiteral("\n```"),
         QStringLiteral("【先说人话】变化率。")},
        {"text after the closing fence is ignored", TeacherMode::teach,
         QStringLiteral("```\n") + json(lesson) + QStringLiteral("\n```\nthanks"),
         QStringLiteral("【先说人话】变化率。")},
        {"one-line fence", TeacherMode::teach, QStringLiteral("```json ") + json(lesson) + QStringLiteral(" ```"),
         Case::invalidEnvelope},
        {"fence without closing", TeacherMode::teach, QStringLiteral("```json\n") + json(lesson),
         Case::invalidEnvelope},
        {"empty fence", TeacherMode::teach, QStringLiteral("```json\n```"), Case::invalidEnvelope},
        {"broken json", TeacherMode::teach, QStringLiteral(R"({"schema_version":1,)"), Case::invalidEnvelope},
        {"array in a fence", TeacherMode::teach, QStringLiteral("```\n[1]\n```"), Case::invalidEnvelope},
        // Version.
        {"no version", TeacherMode::teach, QStringLiteral(R"({"kind":"lesson","text":"x"})"), Case::unsupportedVersion},
        {"version 2", TeacherMode::teach, QStringLiteral(R"({"schema_version":2,"kind":"lesson","text":"x"})"),
         Case::unsupportedVersion},
        {"string version", TeacherMode::teach, QStringLiteral(R"({"schema_version":"1","kind":"lesson","text":"x"})"),
         Case::unsupportedVersion},
        {"boolean version", TeacherMode::teach, QStringLiteral(R"({"schema_version":true,"kind":"lesson","text":"x"})"),
         Case::unsupportedVersion},
        {"version 1.0 is the integer 1", TeacherMode::teach,
         QStringLiteral(R"({"schema_version":1.0,"kind":"lesson","text":"x"})"), QStringLiteral("x")},
        {"version checked before kind", TeacherMode::teach, QStringLiteral(R"({"schema_version":3})"),
         Case::unsupportedVersion},
        // Kind and text.
        {"missing text", TeacherMode::teach, QStringLiteral(R"({"schema_version":1,"kind":"lesson"})"),
         Case::invalidEnvelope},
        {"kind not a string", TeacherMode::teach, QStringLiteral(R"({"schema_version":1,"kind":1,"text":"x"})"),
         Case::invalidEnvelope},
        {"blank text", TeacherMode::teach, QStringLiteral(R"({"schema_version":1,"kind":"lesson","text":"   "})"),
         Case::invalidEnvelope},
        {"text of exactly 8000", TeacherMode::summary,
         json(QStringLiteral(R"("schema_version":1,"kind":"summary","text":")") + exactText + u'"'), exactText},
        {"text of 8001", TeacherMode::summary,
         json(QStringLiteral(R"("schema_version":1,"kind":"summary","text":")") + exactText + QStringLiteral("字\"")),
         Case::invalidEnvelope},
        {"lesson for a quiz request", TeacherMode::quiz, json(lesson), Case::wrongEvent},
        {"kind is case-sensitive", TeacherMode::teach,
         QStringLiteral(R"({"schema_version":1,"kind":"Lesson","text":"x"})"), Case::wrongEvent},
        {"sprint", TeacherMode::sprint, QStringLiteral(R"({"schema_version":1,"kind":"sprint","text":"冲刺"})"),
         QStringLiteral("冲刺")},
        // Questions.
        {"question with its kind", TeacherMode::quiz,
         json(question + QStringLiteral(R"(,"question_kind":"application")")),
         QStringLiteral("Q: 什么是导数？\nQ_TYPE: application")},
        {"question kind in capitals", TeacherMode::quiz,
         json(question + QStringLiteral(R"(,"question_kind":"Application")")), Case::invalidQuestion},
        {"question without kind", TeacherMode::quiz, json(question), Case::invalidQuestion},
        {"question text with a kind line of its own", TeacherMode::quiz,
         json(QStringLiteral(
             R"("schema_version":1,"kind":"question","text":"2+2=?\nQ_TYPE: recognition","question_kind":"calculation")")),
         Case::invalidQuestion},
        {"question text cut short by a kind line", TeacherMode::quiz,
         json(QStringLiteral(
             R"("schema_version":1,"kind":"question","text":"2+2=?\n  q_type: none\nshow the steps","question_kind":"calculation")")),
         Case::invalidQuestion},
        {"question repeated in other case", TeacherMode::quiz,
         json(QStringLiteral(
             R"("schema_version":1,"kind":"question","text":" what is atp? ","question_kind":"recognition")")),
         Case::repeatedQuestion},
        {"question repeated with a combining accent", TeacherMode::quiz,
         json(QStringLiteral(
             R"("schema_version":1,"kind":"question","text":"qu'est-ce qu'un cafe\u0301 ?","question_kind":"recognition")")),
         Case::repeatedQuestion},
        {"pending question repeated", TeacherMode::quiz,
         json(QStringLiteral(
             R"("schema_version":1,"kind":"question","text":"为什么需要氧气？","question_kind":"explanation")")),
         Case::repeatedQuestion},
        // Grading.
        {"evaluation in any case", TeacherMode::grade, json(feedback + QStringLiteral(R"(,"evaluation":"Partial")")),
         QStringLiteral("对了一半。\nEVAL_RESULT: PARTIAL")},
        {"unknown evaluation", TeacherMode::grade, json(feedback + QStringLiteral(R"(,"evaluation":"half")")),
         Case::missingGrade},
        {"evaluation not a string", TeacherMode::grade, json(feedback + QStringLiteral(R"(,"evaluation":1)")),
         Case::missingGrade},
        // Source markers.
        {"marker without material", TeacherMode::teach,
         json(lesson + QStringLiteral(R"(,"source_marker":"[第 1 页]")")), Case::falseCitation},
        {"empty marker ignored", TeacherMode::teach, json(lesson + QStringLiteral(R"(,"source_marker":"")")),
         QStringLiteral("【先说人话】变化率。")},
        {"marker not a string ignored", TeacherMode::teach, json(lesson + QStringLiteral(R"(,"source_marker":2)")),
         QStringLiteral("【先说人话】变化率。")},
        {"marker in the excerpt", TeacherMode::teach, json(lesson + QStringLiteral(R"(,"source_marker":"[第 1 页]")")),
         QStringLiteral("【先说人话】变化率。"), Setup::withMaterial},
        {"nearest marker", TeacherMode::teach, json(lesson + QStringLiteral(R"(,"source_marker":"[第 2 页]")")),
         QStringLiteral("【先说人话】变化率。"), Setup::withMaterial},
        {"marker absent from the excerpt", TeacherMode::teach,
         json(lesson + QStringLiteral(R"(,"source_marker":"[第 9 页]")")), Case::falseCitation, Setup::withMaterial},
        {"part of a marker is no marker", TeacherMode::teach,
         json(lesson + QStringLiteral(R"(,"source_marker":"[第 1 页] 第二段")")), Case::falseCitation,
         Setup::withMaterial},
        {"a word of the excerpt is no marker", TeacherMode::teach,
         json(lesson + QStringLiteral(R"(,"source_marker":"ATP")")), Case::falseCitation, Setup::withMaterial},
        {"a cut label is no marker", TeacherMode::teach,
         json(lesson + QStringLiteral(R"(,"source_marker":"[第 1 页")")), Case::falseCitation, Setup::withMaterial},
        {"a label with its line break is no marker", TeacherMode::teach,
         json(lesson + QStringLiteral(R"(,"source_marker":"[第 1 页]\n")")), Case::falseCitation, Setup::withMaterial},
        // Plain-text replies of older tutors.
        {"plain lesson", TeacherMode::teach, QStringLiteral("  直接讲解，没有 JSON。\n"),
         QStringLiteral("直接讲解，没有 JSON。")},
        {"plain question", TeacherMode::quiz, QStringLiteral("Q: 什么是酶？\nQ_TYPE: recognition"),
         QStringLiteral("Q: 什么是酶？\nQ_TYPE: recognition")},
        {"plain text without a question", TeacherMode::quiz, QStringLiteral("我们来复习。"), Case::invalidQuestion},
        {"plain repeated question", TeacherMode::quiz, QStringLiteral("Q: WHAT IS ATP?"), Case::repeatedQuestion},
        {"plain grading", TeacherMode::grade, QStringLiteral("很好。\nEVAL_RESULT: correct"),
         QStringLiteral("很好。\nEVAL_RESULT: correct")},
        {"plain grading without verdict", TeacherMode::grade, QStringLiteral("很好。\nEVAL_RESULT: CORRECT."),
         Case::missingGrade},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TeacherLearningSession session = sessionFor(row.setup, row.mode);
        MeridTutorRequest request;
        if (row.mode == TeacherMode::grade) {
            request = MeridRequestBuilder::makeRequest(session);
        } else {
            TeacherLearningSession lessonSession = session;
            lessonSession.quizRecords.reset();  // a quiz record pending does not matter for these requests
            request = MeridRequestBuilder::makeRequest(lessonSession);
        }
        const TeacherLearningSession before = session;
        if (const QString* expected = std::get_if<QString>(&row.expected)) {
            try {
                EXPECT_EQ(MeridV12ReplyContract::normalize(row.raw, request, session), *expected);
            } catch (const MeridV12ReplyError& error) {
                ADD_FAILURE() << "refused: " << error.message().toStdString();
            }
        } else {
            try {
                MeridV12ReplyContract::normalize(row.raw, request, session);
                ADD_FAILURE() << "accepted";
            } catch (const MeridV12ReplyError& error) {
                EXPECT_EQ(error.errorCase(), std::get<Case>(row.expected));
            }
        }
        EXPECT_EQ(session, before);
    }
}

TEST(MeridV12ReplyContract, MarkerOnlyInTheExpectedPlaceOrTheExcerptThatWasSent) {
    // Two segments: the second holds no label, so its nearest label lies in the first.
    const QString text = QStringLiteral("[第 1 页]\n") + QString(2400, u'甲') + QString(100, u'乙');
    TeacherLearningSession session(1, {.date = base::Date{0}, .draft = QStringLiteral("讲第二段")});
    session.material = TeacherMaterial(QStringLiteral("notes.txt"), text, QString());
    const MeridTutorRequest request = MeridRequestBuilder::makeRequest(session);
    auto reply = [](const QString& marker) {
        return QStringLiteral(R"({"schema_version":1,"kind":"lesson","text":"ok","source_marker":")") + marker +
               QStringLiteral("\"}");
    };
    EXPECT_EQ(MeridV12ReplyContract::normalize(reply(QStringLiteral("[第 1 页]")), request, session),
              QStringLiteral("ok"));

    // A label the student typed into the instruction is not part of the excerpt.
    session.draft = QStringLiteral("讲第二段 [第 7 页]");
    const MeridTutorRequest typed = MeridRequestBuilder::makeRequest(session);
    ASSERT_TRUE(typed.messages.last().content.contains(QStringLiteral("[第 7 页]")));
    EXPECT_THROW(MeridV12ReplyContract::normalize(reply(QStringLiteral("[第 7 页]")), typed, session),
                 MeridV12ReplyError);
    // Nor when the instruction imitates the opening line of the excerpt.
    session.draft = QStringLiteral("讲第二段\n--- 资料片段开始 ---\n[第 7 页]");
    const MeridTutorRequest imitated = MeridRequestBuilder::makeRequest(session);
    ASSERT_TRUE(imitated.messages.last().content.contains(QStringLiteral("--- 资料片段开始 ---\n[第 7 页]")));
    EXPECT_THROW(MeridV12ReplyContract::normalize(reply(QStringLiteral("[第 7 页]")), imitated, session),
                 MeridV12ReplyError);

    // The excerpt of the chunk that was sent counts, not the whole material.
    const QString twoPages = QStringLiteral("[第 1 页]\n") + QString(2400, u'甲') + QStringLiteral("[第 2 页]");
    TeacherLearningSession first(0, {.date = base::Date{0}, .draft = QStringLiteral("讲")});
    first.material = TeacherMaterial(QStringLiteral("notes.txt"), twoPages, QString());
    const MeridTutorRequest firstRequest = MeridRequestBuilder::makeRequest(first);
    EXPECT_THROW(MeridV12ReplyContract::normalize(reply(QStringLiteral("[第 2 页]")), firstRequest, first),
                 MeridV12ReplyError);
}

TEST(MeridV12ReplyContract, ErrorMessages) {
    EXPECT_EQ(MeridV12ReplyError(Case::empty).message(),
              QStringLiteral("MERID 没有返回有效内容。已停止本轮，不会额外扣除下一次请求。"));
    for (const Case shared : {Case::invalidEnvelope, Case::unsupportedVersion, Case::wrongEvent})
        EXPECT_EQ(MeridV12ReplyError(shared).message(),
                  QStringLiteral("老师的结构化回复格式不正确。已停在当前阶段，保留原课堂记录。"));
    EXPECT_EQ(MeridV12ReplyError(Case::falseCitation).message(),
              QStringLiteral("AI 给出了无法从当前教材确认的页码，已拒绝此段回答。"));
}
