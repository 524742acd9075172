// The hosted tutor prompt: its exact text and the character budget of the conversation history.
#include <gtest/gtest.h>

#include "base/text.h"
#include "tutor-engine/merid_v12_hosted_prompt.h"
#include "tutor-engine/merid_v12_reply_contract.h"
#include "tutor-engine/teacher_workspace_error.h"
#include "tutor-engine/tests/merid_prompt_golden.h"

using namespace meridcore;

namespace {

using Role = TeacherTurn::Role;
using WorkspaceCase = TeacherWorkspaceError::Case;

MeridTutorRequest requestOf(TeacherMode mode, QList<TeacherTurn> messages) {
    MeridTutorRequest request;
    request.mode = mode;
    request.messages = std::move(messages);
    return request;
}

WorkspaceCase failureOf(const MeridTutorRequest& request) {
    try {
        MeridV12HostedPrompt::make(request);
    } catch (const TeacherWorkspaceError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "make did not fail";
    return WorkspaceCase::corruptHistory;
}

qsizetype length(const QString& text) { return base::text::graphemeCount(text); }

// Characters of the prompt around the current message when there is no history.
qsizetype fixedLength(TeacherMode mode) {
    return length(MeridV12HostedPrompt::teachingRules() + prompt(mode) + QStringLiteral("\n\n") +
                  MeridV12ReplyContract::instruction(mode) + QStringLiteral("\n\n") +
                  QStringLiteral("Student (current; must be preserved):\n"));
}

// A current message of Chinese characters that brings the fixed part and the current block to `total`.
QString currentMessageFor(TeacherMode mode, qsizetype total) { return QString(total - fixedLength(mode), u'学'); }

}  // namespace

TEST(MeridV12HostedPrompt, FixedTextsMatchTheirBytes) {
    EXPECT_EQ(MeridV12HostedPrompt::teachingRules().toUtf8(), QByteArray(golden::prompt::teachingRules));
    EXPECT_EQ(MeridV12HostedPrompt::teachingRules().toUtf8().size(), 1523);
    const std::pair<TeacherMode, const char*> instructions[] = {
        {TeacherMode::teach, golden::prompt::teachInstruction},
        {TeacherMode::quiz, golden::prompt::quizInstruction},
        {TeacherMode::grade, golden::prompt::gradeInstruction},
        {TeacherMode::summary, golden::prompt::summaryInstruction},
        {TeacherMode::sprint, golden::prompt::sprintInstruction},
    };
    for (const auto& [mode, expected] : instructions)
        EXPECT_EQ(MeridV12ReplyContract::instruction(mode).toUtf8(), QByteArray(expected))
            << base::rawValue(mode).toStdString();

    // 129 bytes before the kind, 1,317 after it, and the 988-byte lesson block only for teach.
    const QByteArray quiz = MeridV12ReplyContract::instruction(TeacherMode::quiz).toUtf8();
    EXPECT_EQ(quiz.size(), 129 + QByteArray("question").size() + 1317);
    const QByteArray teach = MeridV12ReplyContract::instruction(TeacherMode::teach).toUtf8();
    EXPECT_EQ(teach.size(), 129 + QByteArray("lesson").size() + 1317 + 988);
    EXPECT_FALSE(teach.endsWith('\n'));
    EXPECT_TRUE(quiz.endsWith('\n'));
}

TEST(MeridV12HostedPrompt, GoldenPrompts) {
    const MeridTutorRequest teach = requestOf(
        TeacherMode::teach,
        {TeacherTurn(Role::user, QStringLiteral("讲一下导数")),
         TeacherTurn(Role::assistant, QStringLiteral("【先说人话】导数就是变化率。\n$f'(x)=\\lim_{h\\to 0}$")),
         TeacherTurn(Role::user, QStringLiteral("  继续，讲讲极限 \n"))});
    EXPECT_EQ(MeridV12HostedPrompt::make(teach).toUtf8(), QByteArray(golden::prompt::teachWithHistory));

    MeridTutorRequest grade =
        requestOf(TeacherMode::grade, {TeacherTurn(Role::user, QStringLiteral("原练习题：1+1=?\n学生答案：2"))});
    // Topic and source do not enter the prompt.
    grade.topic = QStringLiteral("加法");
    grade.sourceName = QStringLiteral("math.pdf");
    grade.segmentIndex = 3;
    const QString prompt = MeridV12HostedPrompt::make(grade);
    EXPECT_EQ(prompt.toUtf8(), QByteArray(golden::prompt::gradeSingleMessage));
    EXPECT_FALSE(prompt.contains(QStringLiteral("历史课堂记录")));
}

TEST(MeridV12HostedPrompt, RefusesEmptyAndBlankMessages) {
    EXPECT_EQ(failureOf(requestOf(TeacherMode::teach, {})), WorkspaceCase::emptyMessage);
    EXPECT_EQ(failureOf(requestOf(TeacherMode::teach, {TeacherTurn(Role::user, QStringLiteral("   \n\u3000"))})),
              WorkspaceCase::emptyMessage);
    // Only the last message counts: blank earlier turns are no reason to refuse.
    EXPECT_NO_THROW(MeridV12HostedPrompt::make(requestOf(
        TeacherMode::teach, {TeacherTurn(Role::assistant, QString()), TeacherTurn(Role::user, QStringLiteral("x"))})));
}

TEST(MeridV12HostedPrompt, CurrentMessageAtTheLimitFitsWithoutHistoryAndOneMoreIsRefused) {
    const QList<TeacherTurn> history{TeacherTurn(Role::user, QStringLiteral("a")),
                                     TeacherTurn(Role::assistant, QStringLiteral("b"))};

    QList<TeacherTurn> atLimit = history;
    atLimit.append(TeacherTurn(Role::user, currentMessageFor(TeacherMode::quiz, 11500)));
    const QString prompt = MeridV12HostedPrompt::make(requestOf(TeacherMode::quiz, atLimit));
    EXPECT_EQ(length(prompt), 11500);
    EXPECT_FALSE(prompt.contains(QStringLiteral("Student history: ")));

    QList<TeacherTurn> overLimit = history;
    overLimit.append(TeacherTurn(Role::user, currentMessageFor(TeacherMode::quiz, 11501)));
    EXPECT_EQ(failureOf(requestOf(TeacherMode::quiz, overLimit)), WorkspaceCase::messageTooLong);

    // Counted in characters: a family emoji of seven code points is one character.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466");
    QString emojiMessage = currentMessageFor(TeacherMode::teach, 11500);
    emojiMessage.replace(0, 1, family);
    EXPECT_NO_THROW(MeridV12HostedPrompt::make(requestOf(TeacherMode::teach, {TeacherTurn(Role::user, emojiMessage)})));
}

TEST(MeridV12HostedPrompt, HistoryBudgetEdges) {
    // Room for exactly one history entry: heading-free budget = 11,500 − fixed − current − 150.
    const QString entryLabel = QStringLiteral("Student history: ");
    const qsizetype currentTotal = 11000;
    const QString current = currentMessageFor(TeacherMode::teach, currentTotal);
    const qsizetype budget = 11500 - currentTotal - 150;
    const qsizetype fitting = budget - 2 - length(entryLabel);

    const QString prompt = MeridV12HostedPrompt::make(requestOf(
        TeacherMode::teach, {TeacherTurn(Role::user, QString(fitting, u'x')), TeacherTurn(Role::user, current)}));
    EXPECT_TRUE(prompt.contains(entryLabel + QString(fitting, u'x') + QStringLiteral("\n\n")));
    EXPECT_LE(length(prompt), 11500);

    // One character more and the newest turn no longer fits: no history at all, even though an
    // older turn is short.
    const QString tooLong = MeridV12HostedPrompt::make(requestOf(
        TeacherMode::teach, {TeacherTurn(Role::assistant, QStringLiteral("short")),
                             TeacherTurn(Role::user, QString(fitting + 1, u'x')), TeacherTurn(Role::user, current)}));
    EXPECT_FALSE(tooLong.contains(QStringLiteral("历史课堂记录")));
    EXPECT_FALSE(tooLong.contains(QStringLiteral("short")));
}

TEST(MeridV12HostedPrompt, KeepsAtMostTheLatestTwelveTurnsInOrder) {
    QList<TeacherTurn> messages;
    for (int i = 1; i <= 20; ++i)
        messages.append(TeacherTurn(i % 2 ? Role::user : Role::assistant, QStringLiteral("turn-%1;").arg(i)));
    messages.append(TeacherTurn(Role::user, QStringLiteral("now")));
    const QString prompt = MeridV12HostedPrompt::make(requestOf(TeacherMode::summary, messages));

    EXPECT_FALSE(prompt.contains(QStringLiteral("turn-8;")));
    QString expected = QStringLiteral("历史课堂记录（仅供上下文）：\n");
    for (int i = 9; i <= 20; ++i) {
        expected += (i % 2 ? QStringLiteral("Student history: ") : QStringLiteral("MERID history: "));
        expected += QStringLiteral("turn-%1;").arg(i);
        expected += QStringLiteral("\n\n");
    }
    expected += QStringLiteral("Student (current; must be preserved):\nnow");
    EXPECT_TRUE(prompt.endsWith(expected));
}
