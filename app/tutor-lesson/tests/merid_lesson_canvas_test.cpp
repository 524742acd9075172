#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_six_milestone_ribbon.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/merid_checkpoint_card.h"
#include "app/tutor-lesson/merid_grading_feedback_card.h"
#include "app/tutor-lesson/merid_lesson_canvas_view.h"
#include "app/tutor-lesson/merid_math_rich_text.h"
#include "app/tutor-lesson/merid_past_turn_row.h"
#include "app/tutor-lesson/merid_v12_guided_action_view.h"
#include "app/tutor-lesson/merid_visual_lesson_view.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"
#include "lesson_view_test_support.h"

namespace velquin {
namespace {

using meridcore::MeridAction;
using meridcore::MeridAssessment;
using meridcore::TeacherLearningSession;
using meridcore::TeacherMode;
using meridcore::TeacherTurn;
using testing::u8;

class LessonCanvas : public testing::LessonViewTest {
protected:
    MeridLessonCanvasView& show(const TeacherLearningSession& session, bool busy = false, bool canSave = true) {
        if (!canvas) canvas = std::make_unique<MeridLessonCanvasView>(coach);
        canvas->setLesson(session, busy, canSave);
        canvas->resize(760, 1400);
        canvas->show();
        return *canvas;
    }
    static bool visible(QWidget* widget) { return widget && widget->isVisible(); }

    std::unique_ptr<MeridLessonCanvasView> canvas;
};

TEST_F(LessonCanvas, NewSessionShowsTheStartingPage) {
    const TeacherLearningSession session(0);
    MeridLessonCanvasView& page = show(session);

    EXPECT_NE(page.findChild<QWidget*>(QStringLiteral("orvel.merid.lessonary-classroom")), nullptr);
    EXPECT_EQ(page.titleLabel()->text(), u8("新会话"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(page.titleLabel()->text(), QStringLiteral("Nouvelle session")) << "the stored default title, translated";
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    EXPECT_EQ(page.chipLabel()->text(), u8("准备开始"));
    EXPECT_EQ(page.chipLabel()->property("evidenceStatus").toString(), QStringLiteral("notTested"));
    EXPECT_EQ(MeridLessonCanvasModel::evidenceColor(meridcore::MeridV12KnowledgeStatus::notTested, ColorScheme::light),
              LessonaryMERIDPalette::muted(ColorScheme::light));
    // The ribbon: six steps, none to jump to.
    ASSERT_EQ(page.ribbon()->cells().size(), 6);
    for (QAbstractButton* cell : page.ribbon()->cells()) EXPECT_FALSE(cell->isEnabled());
    EXPECT_EQ(page.classroomHeading()->text(), u8("01 / 知识点讲解"));
    EXPECT_FALSE(visible(page.lessonView()));
    EXPECT_TRUE(visible(page.placeholderTitle()));
    EXPECT_EQ(page.placeholderText()->text(),
              u8("导入自己的课件，或提出想理解的概念。点击讲解时才会发送 AI 请求。"));
    EXPECT_TRUE(visible(page.nextActionsSection()));
    EXPECT_NE(page.findChild<QWidget*>(QStringLiteral("orvel.merid.v12-teacher-guidance")), nullptr);
    EXPECT_TRUE(visible(page.guidedActions()->primaryButton()));
    EXPECT_EQ(page.guidedActions()->primaryButton()->objectName(), QStringLiteral("orvel.merid.v12-teacher-next"));
    EXPECT_FALSE(visible(page.checkpointCard()));
    EXPECT_FALSE(visible(page.feedbackCard()));
    EXPECT_FALSE(visible(page.earlierTurnsSection()));

    // A guided action leaves through the page.
    QSignalSpy actions(&page, &MeridLessonCanvasView::actionRequested);
    page.guidedActions()->primaryButton()->click();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.at(0).at(0).value<MeridAction>(), MeridAction::continueLearning);
}

TEST_F(LessonCanvas, EarlierTurnsAreAllButTheLastTwo) {
    TeacherLearningSession session(0);
    session.turns = {testing::turn(TeacherTurn::Role::user, "第一问"), testing::turn(TeacherTurn::Role::assistant, "答一")};
    MeridLessonCanvasView& page = show(session);
    EXPECT_FALSE(visible(page.earlierTurnsSection()));

    session.turns.append(testing::turn(TeacherTurn::Role::user, "第二问"));
    page.setLesson(session, false, true);
    ASSERT_TRUE(visible(page.earlierTurnsSection()));
    EXPECT_EQ(page.earlierTurnsToggle()->text(), u8("更早的学习记录（1 条）"));
    // Closed at first; opening it shows the first turn.
    EXPECT_TRUE(page.earlierTurnRows().isEmpty());
    page.earlierTurnsToggle()->click();
    ASSERT_EQ(page.earlierTurnRows().size(), 1);
    auto* row = qobject_cast<MeridPastTurnRow*>(page.earlierTurnRows().first());
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->headingLabel()->text(), u8("我的提问 / 操作"));
    EXPECT_EQ(row->contentText()->text(), u8("第一问"));

    // The headings stay Chinese in every language; the group's title follows the language.
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(page.earlierTurnsToggle()->text(), QStringLiteral("Previous learning turns (1)"));
    EXPECT_EQ(row->headingLabel()->text(), u8("我的提问 / 操作"));
    EXPECT_EQ(MeridPastTurnRow::heading(TeacherTurn::Role::assistant), u8("Merid · 教学记录"));
}

TEST_F(LessonCanvas, SectionsAndTheirMilestoneIDsFollowTheSession) {
    struct Case {
        const char* name;
        std::function<void(TeacherLearningSession&)> make;
        const char* classroomID;
        const char* classroomHeading;
        const char* checkpointID;  // empty: no check question
        bool feedback;
        QSet<QString> navigable;
    };
    const QString topic = u8("极限");
    auto withTopic = [&](TeacherLearningSession& s) { s.topicName = topic; };
    auto reply = [](TeacherLearningSession& s, TeacherMode mode) {
        s.latestClassroomResponse = u8("讲解内容");
        s.latestClassroomMode = mode;
    };
    auto pending = [&](TeacherLearningSession& s) {
        s.quizRecords = QList<meridcore::MeridQuizRecord>{testing::question("极限是什么？", topic)};
    };
    const Case cases[] = {
        {"reply in teach", [&](auto& s) { withTopic(s); reply(s, TeacherMode::teach); }, "explain",
         "01 / 知识点讲解", "", false, {"explain"}},
        {"summary", [&](auto& s) { reply(s, TeacherMode::summary); }, "recap", "学习总结", "", false, {"recap"}},
        {"sprint", [&](auto& s) { reply(s, TeacherMode::sprint); }, "recap", "考前冲刺", "", false, {"recap"}},
        {"reinforce step",
         [&](auto& s) {
             reply(s, TeacherMode::teach);
             s.lessonStep = meridcore::MeridStep::reinforce;
         },
         "repair", "针对性补救", "", false, {"repair"}},
        {"empty reply still navigable",
         [&](auto& s) { s.turns = {TeacherTurn(TeacherTurn::Role::assistant, QString())}; }, "explain",
         "01 / 知识点讲解", "", false, {"explain"}},
        {"pending question",
         [&](auto& s) {
             withTopic(s);
             pending(s);
         },
         "explain", "01 / 知识点讲解", "quiz", false, {"quiz"}},
        {"pending after a graded answer: retest",
         [&](auto& s) {
             withTopic(s);
             meridcore::MeridQuizRecord graded = testing::question("第一题", topic);
             graded.answer = u8("答");
             graded.assessment = MeridAssessment::incorrect;
             s.quizRecords = QList<meridcore::MeridQuizRecord>{graded, testing::question("第二题", topic)};
         },
         "explain", "01 / 知识点讲解", "retest", true, {"retest", "grade"}},
    };
    for (const Case& c : cases) {
        TeacherLearningSession session(0);
        c.make(session);
        MeridLessonCanvasView& page = show(session);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(page.model().classroomSectionID, QLatin1String(c.classroomID));
        EXPECT_EQ(page.classroomHeading()->text(), u8(c.classroomHeading));
        EXPECT_EQ(page.model().navigable, c.navigable);
        EXPECT_EQ(page.section(QLatin1String(c.classroomID)), page.lessonView()->parentWidget());
        const bool hasCheckpoint = *c.checkpointID != 0;
        EXPECT_EQ(visible(page.checkpointCard()), hasCheckpoint);
        EXPECT_EQ(visible(page.nextActionsSection()), !hasCheckpoint);
        if (hasCheckpoint) {
            EXPECT_EQ(page.section(QLatin1String(c.checkpointID)), page.checkpointCard());
        }
        EXPECT_EQ(visible(page.feedbackCard()), c.feedback);
        EXPECT_EQ(page.section(QStringLiteral("grade")) != nullptr, c.feedback);
        // Exactly the navigable steps are enabled on the ribbon.
        const QList<meridcore::LessonaryMilestone>& milestones = page.model().presentation.milestones;
        for (int i = 0; i < milestones.size(); ++i)
            EXPECT_EQ(page.ribbon()->cells().at(i)->isEnabled(), c.navigable.contains(milestones.at(i).id))
                << milestones.at(i).id.toStdString();
    }
}

TEST_F(LessonCanvas, HeaderTopicFallsBackThroughHeadingTopicMaterialAndTitle) {
    TeacherLearningSession session(0, {.title = u8("我的会话")});
    EXPECT_EQ(show(session).titleLabel()->text(), u8("我的会话"));
    session.material = meridcore::TeacherMaterial(u8("讲义.txt"), u8("正文"), QString());
    EXPECT_EQ(show(session).titleLabel()->text(), u8("今天，一起弄懂一个知识点"));
    EXPECT_EQ(canvas->placeholderText()->text(), u8("教材已经导入。你可以让 MERID 先讲解一个知识点。"));
    session.topicName = u8("  ");
    EXPECT_EQ(show(session).titleLabel()->text(), u8("今天，一起弄懂一个知识点"));
    session.topicName = u8(" 导数 ");
    EXPECT_EQ(show(session).titleLabel()->text(), u8(" 导数 "));
    session.courseName = u8("calculus");
    show(session);
    EXPECT_EQ(canvas->model().eyebrow, QStringLiteral("CALCULUS"));
}

TEST_F(LessonCanvas, CheckpointTakesTheAnswerAndAsksForGrading) {
    TeacherLearningSession session = testing::formulaLesson();
    session.draft = u8(" \n ");
    MeridLessonCanvasView& page = show(session);
    MeridCheckpointCard* checkpoint = page.checkpointCard();
    ASSERT_TRUE(visible(checkpoint));
    QPlainTextEdit* editor = page.findChild<QPlainTextEdit*>(QStringLiteral("orvel.merid.checkpoint-answer"));
    QPushButton* grade = page.findChild<QPushButton*>(QStringLiteral("orvel.merid.grade-checkpoint"));
    ASSERT_TRUE(editor && grade);
    EXPECT_EQ(grade->text(), u8("检查我的答案"));
    // A blank draft cannot be sent; typing one character can.
    EXPECT_FALSE(grade->isEnabled());
    QSignalSpy drafts(&page, &MeridLessonCanvasView::answerDraftChanged);
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("2"));
    EXPECT_TRUE(grade->isEnabled());
    ASSERT_FALSE(drafts.isEmpty());
    EXPECT_EQ(drafts.last().at(0).toString(), u8(" \n 2"));
    QSignalSpy actions(&page, &MeridLessonCanvasView::actionRequested);
    grade->click();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.at(0).at(0).value<MeridAction>(), MeridAction::gradeAnswer);

    // While a request runs: the cancel button instead, the editor read-only with its text.
    session.draft = u8("x = 2");
    page.setLesson(session, true, true);
    EXPECT_FALSE(visible(grade));
    ASSERT_TRUE(visible(checkpoint->cancelButton()));
    EXPECT_EQ(checkpoint->cancelButton()->text(), u8("取消请求"));
    EXPECT_FALSE(editor->isEnabled());
    EXPECT_EQ(editor->toPlainText(), u8("x = 2"));
    QSignalSpy cancels(&page, &MeridLessonCanvasView::cancelRequested);
    checkpoint->cancelButton()->click();
    EXPECT_EQ(cancels.size(), 1);

    // Without saving neither the editor nor the button works, whatever the draft.
    page.setLesson(session, false, false);
    EXPECT_TRUE(visible(grade));
    EXPECT_FALSE(grade->isEnabled());
    EXPECT_FALSE(editor->isEnabled());
    EXPECT_FALSE(page.guidedActions()->isVisibleTo(&page));
}

TEST_F(LessonCanvas, TourTipSitsOnTheCheckpointOnlyAtTheQuizStep) {
    MeridLessonCanvasView& page = show(testing::formulaLesson());
    EXPECT_EQ(page.checkpointCard()->tip(), nullptr);
    tourAtQuiz();
    ASSERT_NE(page.checkpointCard()->tip(), nullptr);
    EXPECT_EQ(page.checkpointCard()->tip()->message(), u8("答案写在下面，想要提示可以问右侧老师。"));
    // Skipping ends the tour of the page's own coach.
    page.checkpointCard()->tip()->skipButton()->click();
    EXPECT_EQ(coach.step(), OrvelNativeCoach::Step::inactive);
    EXPECT_EQ(page.checkpointCard()->tip(), nullptr);
}

TEST_F(LessonCanvas, GradingFeedbackShowsVerdictAnswerAndVisibleFeedback) {
    MeridGradingFeedbackCard card;
    meridcore::MeridQuizRecord record = testing::question("题目", QString());
    record.assessment = MeridAssessment::unassessed;
    record.answer = u8("我的解");
    card.setRecord(record);
    EXPECT_EQ(card.verdictLabel()->text(), u8("尚未批改"));
    EXPECT_EQ(card.verdictLabel()->property("verdictTone").toString(), QStringLiteral("warning"));
    EXPECT_EQ(card.answerText()->text(), u8("你的答案：我的解"));
    EXPECT_FALSE(card.feedbackText()->isVisibleTo(&card));

    record.assessment = MeridAssessment::correct;
    record.answer.reset();
    record.feedback = u8("  eval_result: correct\n很好");
    card.setRecord(record);
    EXPECT_EQ(card.verdictLabel()->text(), u8("答对了！"));
    EXPECT_EQ(card.verdictLabel()->property("verdictTone").toString(), QStringLiteral("success"));
    EXPECT_FALSE(card.answerText()->isVisibleTo(&card));
    EXPECT_EQ(card.feedbackText()->text(), u8("很好"));

    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    record.answer = u8("x");
    card.setRecord(record);
    EXPECT_EQ(card.answerText()->text(), u8("Votre réponse\u00A0: x"));
}

TEST(LessonFeedbackText, DropsOnlyTheGradersLines) {
    const struct {
        const char* text;
        const char* visible;
    } cases[] = {
        {"第一行\n  \neval_result: partial\n结论", "第一行\n  \n结论"},
        {"First\n  \n  Eval_Result: x\nVerdict", "First\n  \nVerdict"},
        {"EVAL_RESULT: correct", ""},
        {"得分 EVAL_RESULT: correct", "得分 EVAL_RESULT: correct"},
        // CR LF is two line ends: an empty line stays on each side of the dropped one.
        {"a\r\nEVAL_RESULT:1\r\nb", "a\n\n\nb"},
        {"a\u2028EVAL_RESULT: x\u2029b\u0085c", "a\nb\nc"},
        {"\n\n  只有这一行  \n", "只有这一行"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MeridLessonCanvasModel::visibleFeedback(QString::fromUtf8(c.text)), QString::fromUtf8(c.visible))
            << c.text;
}

TEST_F(LessonCanvas, VisualLessonGivesEachSectionItsCard) {
    MeridVisualLessonView view;
    EXPECT_EQ(view.objectName(), QStringLiteral("orvel.merid.visual-lesson"));
    view.setResponse(u8("开场\n\n【先说人话】像一座山\n\n【记住这一点】开口向上"));
    ASSERT_EQ(view.cards().size(), 3);
    EXPECT_EQ(view.cards().at(0).heading, nullptr);
    EXPECT_EQ(view.cards().at(0).badge->name(), QStringLiteral("text.alignleft"));
    EXPECT_EQ(view.cards().at(1).heading->text(), u8("先理解一下"));
    EXPECT_EQ(view.cards().at(2).heading->text(), u8("记住这一点"));
    EXPECT_EQ(view.cards().at(2).badge->name(), QStringLiteral("checkmark.seal"));

    // A new reply keeps the cards whose kind did not change.
    MeridMathRichText* kept = view.cards().at(1).text;
    view.setResponse(u8("开场白\n\n【先说人话】像一座小山"));
    ASSERT_EQ(view.cards().size(), 2);
    EXPECT_EQ(view.cards().at(1).text, kept);
    EXPECT_EQ(kept->text(), u8("像一座小山"));

    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(view.cards().at(1).heading->text(), QStringLiteral("Let's understand it"));
    view.setResponse(u8("  \n "));
    EXPECT_TRUE(view.cards().isEmpty());
}

}  // namespace
}  // namespace velquin
