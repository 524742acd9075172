// The tutor panels offscreen: what a student sees and can press in the course material panel and
// the next-step decision panel.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include "app/shell/interface_settings.h"
#include "app/tutor-workspace/merid_course_material_view.h"
#include "app/tutor-workspace/merid_formal_decision_view.h"
#include "app/tutor-workspace/tests/panel_fixtures.h"

using namespace velquin;
using namespace panelfixtures;
using meridcore::MeridAction;

namespace {

QStringList visibleTexts(const QWidget& root) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>())
        if (label->isVisibleTo(&root) && !label->text().isEmpty()) texts << label->text();
    return texts;
}

QList<MeridCourseTopicRow*> rows(const QWidget& root) {
    QList<MeridCourseTopicRow*> found = root.findChildren<MeridCourseTopicRow*>();
    found.removeIf([&root](MeridCourseTopicRow* row) { return !row->isVisibleTo(&root); });
    return found;
}

class PanelsTest : public ::testing::Test {
protected:
    void SetUp() override { InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese); }
};

}  // namespace

TEST_F(PanelsTest, MaterialPanelShowsTheOutlineAndItsPosition) {
    const struct {
        int topics;
        int collapsedRows;
        QString toggle;  // empty: no toggle
        int expandedRows;
    } cases[] = {
        {0, 0, QString(), 0},
        {6, 6, QString(), 6},
        {7, 6, QStringLiteral("查看全部 7 章"), 7},
        {100, 6, QStringLiteral("查看全部 100 章"), 80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.topics);
        const meridcore::TeacherLearningSession session = sessionWithTopics(c.topics, 5);
        MeridCourseMaterialView view;
        view.setState(*session.material, 2, session, false);
        view.resize(236, 800);
        const QStringList texts = visibleTexts(view);
        EXPECT_TRUE(texts.contains(QStringLiteral("资料段落 3 / 5")));
        EXPECT_TRUE(texts.contains(QStringLiteral("教材课程目录")));
        EXPECT_TRUE(texts.contains(QStringLiteral("已识别 ≠ 已学习；掌握证据来自独立作答。")));
        EXPECT_EQ(texts.contains(QStringLiteral("未识别到可靠章节标题。仍可自行输入想学的知识点。")), c.topics == 0);
        EXPECT_EQ(rows(view).size(), c.collapsedRows);
        auto* toggle = view.findChild<QToolButton*>(QStringLiteral("orvel.merid.course-outline-toggle"));
        EXPECT_EQ(toggle->isVisibleTo(&view), !c.toggle.isEmpty());
        if (c.toggle.isEmpty()) continue;
        EXPECT_EQ(toggle->text(), c.toggle);
        toggle->click();
        EXPECT_EQ(rows(view).size(), c.expandedRows);
        EXPECT_EQ(toggle->text(), QStringLiteral("收起目录"));
        // A rebuild with new state keeps the expansion.
        view.setState(*session.material, 2, session, false);
        EXPECT_EQ(rows(view).size(), c.expandedRows);
    }
}

TEST_F(PanelsTest, MaterialPanelControlsFollowBusyPendingAndPosition) {
    meridcore::TeacherLearningSession session = sessionWithTopics(3, 3);
    session.coursePlan->activeTopicID = session.coursePlan->topics.at(1).id;
    markReviewDue(session, session.coursePlan->topics.at(2));
    MeridCourseMaterialView view;
    QSignalSpy chosen(&view, &MeridCourseMaterialView::topicSelected);
    QSignalSpy previous(&view, &MeridCourseMaterialView::previousRequested);
    QSignalSpy next(&view, &MeridCourseMaterialView::nextRequested);
    auto* back = view.findChild<QToolButton*>(QStringLiteral("orvel.merid.chunk-previous"));
    auto* forward = view.findChild<QToolButton*>(QStringLiteral("orvel.merid.chunk-next"));

    view.setState(*session.material, 0, session, false);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_TRUE(forward->isEnabled());
    QList<MeridCourseTopicRow*> topicRows = rows(view);
    ASSERT_EQ(topicRows.size(), 3);
    EXPECT_TRUE(topicRows.at(1)->property("isActiveTopic").toBool());
    EXPECT_TRUE(visibleTexts(*topicRows.at(2)).contains(QStringLiteral("复习到期")));
    EXPECT_TRUE(visibleTexts(*topicRows.at(0)).contains(QStringLiteral("未检测")));
    topicRows.at(2)->click();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen.first().first().toString(), session.coursePlan->topics.at(2).id);
    forward->click();
    EXPECT_EQ(next.size(), 1);

    view.setState(*session.material, 2, session, false);  // the last piece
    EXPECT_TRUE(back->isEnabled());
    EXPECT_FALSE(forward->isEnabled());
    back->click();
    EXPECT_EQ(previous.size(), 1);

    // A question waiting for its answer locks the topics, not the arrows.
    meridcore::TeacherLearningSession pending = session;
    pending.quizRecords->append(
        meridcore::MeridQuizRecord(QUuid::createUuid(), QStringLiteral("题"), QString(), QString()));
    view.setState(*pending.material, 1, pending, false);
    for (MeridCourseTopicRow* row : rows(view)) EXPECT_FALSE(row->isEnabled());
    EXPECT_TRUE(back->isEnabled() && forward->isEnabled());
    // A running request locks everything.
    view.setState(*session.material, 1, session, true);
    for (MeridCourseTopicRow* row : rows(view)) EXPECT_FALSE(row->isEnabled());
    EXPECT_FALSE(back->isEnabled() || forward->isEnabled());
}

TEST_F(PanelsTest, DecisionPanelNeverOffersGradingOrPause) {
    using meridcore::MeridEvidenceStatus;
    using meridcore::MeridStep;
    MeridFormalDecisionView view;
    QSignalSpy chosen(&view, &MeridFormalDecisionView::actionChosen);
    for (const MeridStep step : base::allCases<MeridStep>()) {
        for (const MeridEvidenceStatus evidence : base::allCases<MeridEvidenceStatus>()) {
            for (const bool pending : {false, true}) {
                view.setState(step, pending, evidence, false);
                QStringList offered{view.primaryButton()->text()};
                for (const QAction* item : view.menuButton()->menu()->actions()) offered << item->text();
                EXPECT_FALSE(offered.contains(QStringLiteral("批改我的答案")));
                EXPECT_FALSE(offered.contains(QStringLiteral("保存并暂停")));
                if (pending) {
                    EXPECT_EQ(offered, QStringList{QStringLiteral("换个方式讲")});
                    EXPECT_FALSE(view.menuButton()->isVisibleTo(&view));
                } else {
                    EXPECT_EQ(offered.size(), 3);
                    EXPECT_TRUE(view.menuButton()->isVisibleTo(&view));
                    if (evidence == MeridEvidenceStatus::needsReview) {
                        EXPECT_EQ(offered.first(), QStringLiteral("针对错题补救"));
                    }
                }
            }
        }
    }

    view.setState(MeridStep::practice, false, MeridEvidenceStatus::notTested, false);
    view.primaryButton()->click();
    view.menuButton()->menu()->actions().last()->trigger();
    ASSERT_EQ(chosen.size(), 2);
    EXPECT_EQ(chosen.at(0).first().value<MeridAction>(), MeridAction::testMe);
    EXPECT_EQ(chosen.at(1).first().value<MeridAction>(), MeridAction::summarize);

    // Busy: neither control reaches the host.
    view.setState(MeridStep::practice, false, MeridEvidenceStatus::notTested, true);
    EXPECT_FALSE(view.primaryButton()->isEnabled() || view.menuButton()->isEnabled());
    view.primaryButton()->click();
    view.menuButton()->menu()->actions().first()->trigger();
    EXPECT_EQ(chosen.size(), 2);

    // The menu's title follows the interface language; the steps stay in Chinese.
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(view.menuButton()->text(), QStringLiteral("Autres méthodes"));
    EXPECT_EQ(view.primaryButton()->text(), QStringLiteral("现在测试我"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(view.menuButton()->text(), QStringLiteral("Other ways to learn"));
}
