// Lessons run click by click through a scripted tutor: prepare, build, prompt, send, check,
// record, and ask auto-advance for the next request, as the tutor workspace does.
#include <gtest/gtest.h>

#include <functional>

#include "base/task.h"
#include "base/text.h"
#include "tutor-engine/merid_request_builder.h"
#include "tutor-engine/merid_response_recorder.h"
#include "tutor-engine/merid_tutor_orchestrator.h"
#include "tutor-engine/merid_v12_auto_advance.h"
#include "tutor-engine/merid_v12_hosted_prompt.h"
#include "tutor-engine/merid_v12_reply_contract.h"

using namespace meridcore;

namespace {

using A = MeridAction;

// Answers each request with the next scripted reply; every request must make a valid prompt.
class ScriptedTransport : public MeridTutorTransport {
public:
    using Reply = std::function<QString(const MeridTutorRequest&)>;

    void script(Reply reply) { replies_.append(std::move(reply)); }
    const QList<MeridTutorRequest>& received() const { return received_; }
    const QStringList& prompts() const { return prompts_; }

    QCoro::Task<QString> reply(MeridTutorRequest request, base::CancellationToken token) override {
        received_.append(request);
        prompts_.append(MeridV12HostedPrompt::make(request));
        auto pause = base::sleepFor(std::chrono::milliseconds(0), token);
        co_await std::move(pause);
        if (replies_.isEmpty()) throw std::logic_error("no scripted reply left");
        co_return replies_.takeFirst()(request);
    }

private:
    QList<Reply> replies_;
    QList<MeridTutorRequest> received_;
    QStringList prompts_;
};

QString envelope(const QString& kind, const QString& text, const QString& extra = QString()) {
    return QStringLiteral(R"({"schema_version":1,"kind":")") + kind + QStringLiteral(R"(","text":")") + text +
           QStringLiteral("\"") + extra + u'}';
}

ScriptedTransport::Reply lesson(const QString& text) {
    return [text](const MeridTutorRequest&) {
        return QStringLiteral("```json\n") + envelope(QStringLiteral("lesson"), text,
                                                      QStringLiteral(R"(,"source_marker":"[第 1 页]")")) +
               QStringLiteral("\n```");
    };
}

ScriptedTransport::Reply question(const QString& text) {
    return [text](const MeridTutorRequest&) {
        return envelope(QStringLiteral("question"), text, QStringLiteral(R"(,"question_kind":"explanation")"));
    };
}

ScriptedTransport::Reply grading(const QString& verdict) {
    return [verdict](const MeridTutorRequest&) {
        return envelope(QStringLiteral("feedback"), QStringLiteral("批改。"),
                        QStringLiteral(R"(,"evaluation":")") + verdict + u'"');
    };
}

// One click: the chosen action and then whatever auto-advance asks for, within the click's budget.
struct Click {
    QList<A> actions;  // one per request sent
};

QCoro::Task<Click> runClick(A action, TeacherLearningSession& session, ScriptedTransport& transport) {
    Click click;
    const int budget = MeridV12AutoAdvance::budget(action);
    std::optional<A> next = action;
    while (next) {
        MeridTutorOrchestrator::prepare(*next, session);
        const MeridTutorRequest request = MeridRequestBuilder::makeRequest(session);
        auto replying = transport.reply(request, base::CancellationToken());
        const QString raw = co_await std::move(replying);
        const QString reply = MeridV12ReplyContract::normalize(raw, request, session);
        MeridResponseRecorder::apply(reply, request, session);
        click.actions.append(*next);
        next = MeridV12AutoAdvance::nextAction(*next, session, int(click.actions.size()), budget);
    }
    co_return click;
}

void expectWithinBudget(A action, const Click& click) {
    EXPECT_LE(click.actions.size(), MeridV12AutoAdvance::budget(action));
    EXPECT_LE(click.actions.size(), MeridV12AutoAdvance::hardRequestLimit);
}

TeacherLearningSession newSession() {
    TeacherLearningSession session(0, {.material = TeacherMaterial(QStringLiteral("bio.pdf"),
                                                                   QStringLiteral("[第 1 页]\n细胞呼吸产生 ATP。"),
                                                                   QString())});
    session.topicName = QStringLiteral("细胞呼吸");
    return session;
}

}  // namespace

TEST(MeridTutorTurnScenario, LessonsClickByClick) {
    TeacherLearningSession session = newSession();
    ScriptedTransport transport;

    // A lesson goes straight on to a check question: two requests, its whole budget.
    transport.script(lesson(QStringLiteral("【先说人话】细胞呼吸把糖变成能量。")));
    transport.script(question(QStringLiteral("细胞呼吸的产物是什么？")));
    const Click first = base::waitForTask(runClick(A::continueLearning, session, transport));
    expectWithinBudget(A::continueLearning, first);
    EXPECT_EQ(first.actions, (QList<A>{A::continueLearning, A::testMe}));
    ASSERT_TRUE(session.pendingQuizIndex());
    EXPECT_EQ(session.quizRecords->last().question, QStringLiteral("细胞呼吸的产物是什么？"));

    // Wrong once: repair, then a new question. Three requests, the hard limit.
    session.draft = QStringLiteral("氧气");
    transport.script(grading(QStringLiteral("incorrect")));
    transport.script(lesson(QStringLiteral("【记住这一点】产物是 ATP。")));
    transport.script(question(QStringLiteral("ATP 在哪里产生？")));
    const Click second = base::waitForTask(runClick(A::gradeAnswer, session, transport));
    expectWithinBudget(A::gradeAnswer, second);
    EXPECT_EQ(second.actions, (QList<A>{A::gradeAnswer, A::reinforceMistake, A::testMe}));
    EXPECT_EQ(session.quizRecords->first().answer, QStringLiteral("氧气"));

    // Wrong twice in a row: the tutor explains differently instead of repairing again.
    session.draft = QStringLiteral("细胞核");
    transport.script(grading(QStringLiteral("INCORRECT")));
    transport.script(lesson(QStringLiteral("【先说人话】换个角度：线粒体是发电厂。")));
    transport.script(question(QStringLiteral("线粒体的作用是什么？")));
    const Click third = base::waitForTask(runClick(A::gradeAnswer, session, transport));
    expectWithinBudget(A::gradeAnswer, third);
    EXPECT_EQ(third.actions, (QList<A>{A::gradeAnswer, A::explainDifferently, A::testMe}));
    EXPECT_EQ(session.lastPedagogicalAction, A::testMe);

    // Right at last: one correct answer is provisional evidence, so one more question follows.
    session.draft = QStringLiteral("产生能量");
    transport.script(grading(QStringLiteral("correct")));
    transport.script(question(QStringLiteral("为什么说 ATP 是能量货币？")));
    const Click fourth = base::waitForTask(runClick(A::gradeAnswer, session, transport));
    expectWithinBudget(A::gradeAnswer, fourth);
    EXPECT_EQ(fourth.actions, (QList<A>{A::gradeAnswer, A::testMe}));

    // A second distinct explanation question answered right: supported. Without a course plan no
    // other topic is recommended, so the click ends after the grading.
    session.draft = QStringLiteral("因为它储存并传递能量");
    transport.script(grading(QStringLiteral("correct")));
    const Click fifth = base::waitForTask(runClick(A::gradeAnswer, session, transport));
    EXPECT_EQ(fifth.actions, (QList<A>{A::gradeAnswer}));
    EXPECT_FALSE(session.pendingQuizIndex());

    // Asking for a question and asking for a summary are one request each.
    transport.script(question(QStringLiteral("举一个用到 ATP 的例子。")));
    const Click sixth = base::waitForTask(runClick(A::testMe, session, transport));
    EXPECT_EQ(sixth.actions, (QList<A>{A::testMe}));
    transport.script(
        [](const MeridTutorRequest&) { return envelope(QStringLiteral("summary"), QStringLiteral("总结。")); });
    const Click seventh = base::waitForTask(runClick(A::summarize, session, transport));
    EXPECT_EQ(seventh.actions, (QList<A>{A::summarize}));

    // The transport saw exactly the requests counted per click: 2 + 3 + 3 + 2 + 1 + 1 + 1.
    EXPECT_EQ(transport.received().size(), 13);
    for (const QString& prompt : transport.prompts())
        EXPECT_LE(base::text::graphemeCount(prompt), MeridV12HostedPrompt::characterLimit);
    EXPECT_EQ(session.turns.size(), 26);
    EXPECT_EQ(session.latestClassroomResponse, QStringLiteral("总结。"));
}

TEST(MeridTutorTurnScenario, RefusedReplyEndsTheClickAndRecordsNothing) {
    TeacherLearningSession session = newSession();
    ScriptedTransport transport;
    transport.script([](const MeridTutorRequest&) {
        return envelope(QStringLiteral("lesson"), QStringLiteral("见第九页"),
                        QStringLiteral(R"(,"source_marker":"[第 9 页]")"));
    });
    try {
        base::waitForTask(runClick(A::continueLearning, session, transport));
        ADD_FAILURE() << "the false citation was accepted";
    } catch (const MeridV12ReplyError& error) {
        EXPECT_EQ(error.errorCase(), MeridV12ReplyError::Case::falseCitation);
    }
    EXPECT_EQ(transport.received().size(), 1);
    EXPECT_TRUE(session.turns.isEmpty());
    EXPECT_FALSE(session.latestClassroomResponse);
}
