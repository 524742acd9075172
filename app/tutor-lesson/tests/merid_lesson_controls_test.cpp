#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/merid_history_session_row.h"
#include "app/tutor-lesson/merid_study_composer_view.h"
#include "app/tutor-lesson/merid_v12_guided_action_view.h"
#include "lesson_view_test_support.h"

namespace velquin {
namespace {

using meridcore::MeridAction;
using meridcore::MeridV12Guidance;
using Phase = meridcore::MeridV12TeachingPhase;
using testing::u8;

class LessonControls : public testing::LessonViewTest {};

TEST_F(LessonControls, GuidedActionsByPhaseAndRecommendation) {
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    struct Case {
        Phase phase;
        std::optional<MeridAction> recommended;
        bool requiresAnswer;
        int consecutiveErrors;
        const char* message;
        const char* primary;  // empty: no primary button
        bool explain;
        bool pause;
    };
    const Case cases[] = {
        {Phase::paused, MeridAction::continueLearning, false, 0, "Your lesson is saved and can be resumed.",
         "Resume lesson", false, false},
        {Phase::awaitingAnswer, MeridAction::gradeAnswer, true, 0,
         "Your turn. Try your first step, and ask me for a hint whenever you need.", "", false, true},
        {Phase::explaining, std::nullopt, false, 0, "Your tutor is explaining.", "", true, true},
        {Phase::checking, MeridAction::explainDifferently, false, 0,
         "No need to memorize it yet. Let's see what makes sense with one question.", "Teach it from the basics",
         false, true},
        {Phase::remediating, MeridAction::reinforceMistake, false, 2,
         "Let's break this into smaller steps and try a simpler example.", "Help me fix this mistake", true, true},
        {Phase::remediating, MeridAction::reinforceMistake, false, 1,
         "We've found a step to revisit. Let's try a different angle.", "Help me fix this mistake", true, true},
        {Phase::reviewing, MeridAction::continueLearning, false, 0,
         "Your answers show progress! Let's keep going and revisit this later.", "Teach the next concept", true, true},
        {Phase::checking, MeridAction::continueLearning, false, 0,
         "No need to memorize it yet. Let's see what makes sense with one question.", "Start this lesson", true, true},
        {Phase::retesting, MeridAction::testMe, true, 0,
         "Your tutor will use a different question to verify understanding.", "", true, true},
        {Phase::ready, MeridAction::summarize, false, 0,
         "Let's learn one small concept with an example, then try a question together.", "Continue with tutor", true,
         true},
    };
    MeridV12GuidedActionView view;
    view.resize(600, 300);
    view.show();
    for (const Case& c : cases) {
        MeridV12Guidance guidance;
        guidance.phase = c.phase;
        guidance.recommendedAction = c.recommended;
        guidance.requiresStudentAnswer = c.requiresAnswer;
        guidance.evidence.consecutiveErrors = c.consecutiveErrors;
        view.setGuidance(guidance, false);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(view.messageLabel()->text(), QString::fromUtf8(c.message));
        EXPECT_EQ(view.primaryButton()->isVisible(), *c.primary != 0);
        if (*c.primary) {
            EXPECT_EQ(view.primaryButton()->text(), QString::fromUtf8(c.primary));
        }
        EXPECT_EQ(view.explainButton()->isVisible(), c.explain);
        EXPECT_EQ(view.pauseButton()->isVisible(), c.pause);
    }

    // Busy: everything shown stays, disabled.
    MeridV12Guidance guidance;
    guidance.phase = Phase::ready;
    guidance.recommendedAction = MeridAction::continueLearning;
    view.setGuidance(guidance, true);
    for (QPushButton* button : {view.primaryButton(), view.explainButton(), view.pauseButton()}) {
        EXPECT_TRUE(button->isVisible());
        EXPECT_FALSE(button->isEnabled());
    }
    view.setGuidance(guidance, false);
    // "Save & pause" is shown as written: its "&" makes no shortcut letter.
    EXPECT_EQ(view.pauseButton()->accessibleName(), QStringLiteral("Save & pause"));
    EXPECT_TRUE(QKeySequence::mnemonic(view.pauseButton()->text()).isEmpty());
    QSignalSpy actions(&view, &MeridV12GuidedActionView::actionRequested);
    view.explainButton()->click();
    view.pauseButton()->click();
    view.primaryButton()->click();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions.at(0).at(0).value<MeridAction>(), MeridAction::explainDifferently);
    EXPECT_EQ(actions.at(1).at(0).value<MeridAction>(), MeridAction::pause);
    EXPECT_EQ(actions.at(2).at(0).value<MeridAction>(), MeridAction::continueLearning);
}

TEST_F(LessonControls, ComposerButtonFollowsWaitingBusyAndText) {
    MeridStudyComposerView composer;
    composer.resize(500, 200);
    composer.show();
    QSignalSpy sends(&composer, &MeridStudyComposerView::sendQuestionRequested);
    QSignalSpy grades(&composer, &MeridStudyComposerView::gradeRequested);
    QSignalSpy cancels(&composer, &MeridStudyComposerView::cancelRequested);

    composer.setState(false, false, true);
    composer.setDraft(QStringLiteral("   "));
    EXPECT_EQ(composer.counterLabel()->text(), u8("3 字"));
    EXPECT_FALSE(composer.actionButton()->isEnabled());
    composer.setDraft(u8("第一行\n👍🏽"));
    EXPECT_EQ(composer.counterLabel()->text(), u8("5 字"));
    EXPECT_EQ(composer.titleLabel()->text(), u8("向 Merid 提问…"));
    EXPECT_EQ(composer.actionButton()->text(), u8("发送问题"));
    composer.actionButton()->click();
    EXPECT_EQ(sends.size(), 1);

    composer.setState(true, false, true);
    EXPECT_EQ(composer.titleLabel()->text(), u8("我的答案"));
    EXPECT_EQ(composer.noteLabel()->text(), u8("作答会保存到本机答题记录"));
    EXPECT_EQ(composer.actionButton()->text(), u8("提交答案并批改"));
    EXPECT_EQ(composer.draft(), u8("第一行\n👍🏽"));
    composer.actionButton()->click();
    EXPECT_EQ(grades.size(), 1);

    composer.setState(true, true, false);
    EXPECT_EQ(composer.actionButton()->text(), u8("取消请求"));
    EXPECT_TRUE(composer.actionButton()->isEnabled());
    EXPECT_FALSE(composer.editor()->isEnabled());
    composer.actionButton()->click();
    EXPECT_EQ(cancels.size(), 1);

    composer.setState(false, false, false);
    EXPECT_FALSE(composer.actionButton()->isEnabled());
    EXPECT_FALSE(composer.editor()->isEnabled());
}

TEST_F(LessonControls, SessionRowOpensAndMarksTheActiveSession) {
    MeridHistorySessionRow active(u8("二次函数的顶点与对称轴，以及它们在实际问题中的应用和常见错误的分析"), u8("尚未测评"),
                                  true, false);
    active.resize(200, active.heightForWidth(200));
    active.show();
    EXPECT_EQ(active.symbol()->name(), QStringLiteral("book.closed.fill"));
    EXPECT_TRUE(active.property("isActive").toBool());
    // Two lines at most, the second cut.
    EXPECT_EQ(active.titleLabel()->text().count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(active.titleLabel()->text().endsWith(QChar(0x2026)));
    QSignalSpy opens(&active, &MeridHistorySessionRow::openRequested);
    QTest::mouseClick(&active, Qt::LeftButton, {}, QPoint(190, 5));
    EXPECT_EQ(opens.size(), 1);

    MeridHistorySessionRow busy(u8("会话"), u8("尚未测评"), false, true);
    busy.resize(200, 50);
    busy.show();
    EXPECT_EQ(busy.symbol()->name(), QStringLiteral("clock.arrow.circlepath"));
    QSignalSpy busyOpens(&busy, &MeridHistorySessionRow::openRequested);
    QTest::mouseClick(&busy, Qt::LeftButton);
    EXPECT_TRUE(busyOpens.isEmpty());
    EXPECT_EQ(MeridHistorySessionRow::deleteItemText(), u8("删除此会话"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(MeridHistorySessionRow::deleteItemText(), QStringLiteral("Delete this session"));
}

}  // namespace
}  // namespace velquin
