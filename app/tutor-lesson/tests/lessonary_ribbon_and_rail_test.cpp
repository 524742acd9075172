#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/tutor-lesson/lessonary_six_milestone_ribbon.h"
#include "app/tutor-lesson/lessonary_tutor_rail.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_math_rich_text.h"
#include "lesson_view_test_support.h"

namespace velquin {
namespace {

using meridcore::LessonaryMilestone;
using meridcore::LessonaryMilestoneStatus;
using Status = LessonaryMilestoneStatus;
using testing::u8;

QList<LessonaryMilestone> sixSteps(Status third) {
    QList<LessonaryMilestone> steps;
    for (const char* id : {"explain", "quiz", "grade", "repair", "retest", "recap"})
        steps.append({QLatin1String(id), QLatin1String(id), Status::available});
    steps[0].status = Status::completedByAction;
    steps[2].status = third;
    steps[3].status = Status::requiresReview;
    steps[5].status = Status::locked;
    return steps;
}

class RibbonAndRail : public testing::LessonViewTest {};

TEST_F(RibbonAndRail, RibbonLabelsTooltipsAndClicks) {
    LessonarySixMilestoneRibbon ribbon;
    EXPECT_EQ(ribbon.objectName(), QStringLiteral("orvel.merid.six-milestones"));
    QSignalSpy navigated(&ribbon, &LessonarySixMilestoneRibbon::navigate);
    ribbon.setMilestones(sixSteps(Status::active), {});
    ribbon.resize(600, 80);
    ribbon.show();
    // Nothing to jump to: every step disabled, its status as tooltip, no click gets through.
    for (QAbstractButton* cell : ribbon.cells()) {
        EXPECT_FALSE(cell->isEnabled());
        QTest::mouseClick(cell, Qt::LeftButton);
    }
    EXPECT_TRUE(navigated.isEmpty());
    EXPECT_EQ(ribbon.cells().at(3)->toolTip(), u8("需要复习"));
    EXPECT_EQ(ribbon.cells().at(5)->toolTip(), u8("尚未开始"));

    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(ribbon.cells().at(2)->accessibleName(), QStringLiteral("3/6, Grade, Current stage"));
    EXPECT_EQ(ribbon.cells().at(0)->accessibleName(), QStringLiteral("1/6, Explain, Recorded evidence"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(ribbon.cells().at(5)->accessibleName(), QString::fromUtf8("6/6, Synthèse, À venir"));

    ribbon.setMilestones(sixSteps(Status::completedByAction), {QStringLiteral("grade")});
    ASSERT_TRUE(ribbon.cells().at(2)->isEnabled());
    EXPECT_EQ(ribbon.cells().at(2)->toolTip(), QStringLiteral("Voir le contenu"));
    QTest::mouseClick(ribbon.cells().at(2), Qt::LeftButton);
    ASSERT_EQ(navigated.size(), 1);
    EXPECT_EQ(navigated.at(0).at(0).toString(), QStringLiteral("grade"));

    // Captions: an unknown key is the recap step's.
    EXPECT_EQ(LessonarySixMilestoneRibbon::title(QStringLiteral("other")), QString::fromUtf8("Synthèse"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    EXPECT_EQ(LessonarySixMilestoneRibbon::title(QStringLiteral("")), u8("复盘"));
    EXPECT_EQ(LessonarySixMilestoneRibbon::statusColor(Status::available, ColorScheme::dark),
              LessonarySixMilestoneRibbon::statusColor(Status::locked, ColorScheme::dark));
}

// The bounding box of what differs from the picture's first pixel, and that part of the picture.
std::pair<QRect, QImage> inkOf(const QImage& picture) {
    QRect box;
    const QRgb background = picture.pixel(0, 0);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != background) box |= QRect(x, y, 1, 1);
    return {box, picture.copy(box)};
}

// Chinese captions (taller than the Latin interface font) are drawn whole and sharp: the same
// pixels in a cell of odd and of even width, as tall as the text drawn with nothing around it.
TEST_F(RibbonAndRail, CaptionsAreWholeAndSharpAtEveryCellWidth) {
    LessonarySixMilestoneRibbon ribbon;
    ribbon.setMilestones(sixSteps(Status::active), {});
    ribbon.show();
    const int caption = 29 + 8;  // below the disc and its gap
    for (const int step : {4, 5}) {
        const QString title = ribbon.cells().at(step)->accessibleName().section(QStringLiteral(", "), 1, 1);
        QImage free(120, 60, QImage::Format_RGB32);
        free.fill(Qt::white);
        {
            QPainter painter(&free);
            painter.setFont(lessonary::font(11));
            painter.setPen(Qt::black);
            painter.drawText(QPoint(20, 30), title);
        }
        const int freeHeight = inkOf(free).first.height();
        QImage pictures[2];
        for (const int width : {121, 122}) {
            ribbon.resize(6 * width + 5 * 5, 80);
            QApplication::processEvents();
            QAbstractButton* cell = ribbon.cells().at(step);
            ASSERT_EQ(cell->width(), width);
            const QImage picture = cell->grab().toImage();
            const auto [box, ink] = inkOf(picture.copy(0, caption, picture.width(), picture.height() - caption));
            EXPECT_EQ(box.height(), freeHeight) << title.toStdString() << " cut at width " << width;
            EXPECT_GT(box.top(), 0) << title.toStdString();
            pictures[width - 121] = ink;
        }
        EXPECT_EQ(pictures[0], pictures[1]) << title.toStdString() << " drawn differently in odd and even cells";
    }
}

TEST_F(RibbonAndRail, RailWordingFollowsThePendingQuestion) {
    LessonaryTutorRail rail;
    EXPECT_EQ(rail.objectName(), QStringLiteral("orvel.merid.tutor-rail"));
    rail.resize(300, 700);
    rail.show();
    meridcore::TeacherLearningSession session(0);
    rail.setState(session, false, true);
    QPushButton* send = rail.findChild<QPushButton*>(QStringLiteral("orvel.merid.tutor-send"));
    QPlainTextEdit* editor = rail.findChild<QPlainTextEdit*>(QStringLiteral("orvel.merid.tutor-followup"));
    ASSERT_TRUE(send && editor);
    EXPECT_FALSE(rail.isHintWording());
    EXPECT_EQ(send->text(), u8("发送追问"));

    session.topicName = u8("导数");
    session.quizRecords = QList<meridcore::MeridQuizRecord>{testing::question("题", u8("导数"))};
    rail.setState(session, false, true);
    EXPECT_TRUE(rail.isHintWording());
    EXPECT_EQ(send->text(), u8("获取提示"));
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(send->text(), QStringLiteral("Get hint"));

    // Graded: back to question wording.
    session.quizRecords->first().answer = u8("答");
    rail.setState(session, false, true);
    EXPECT_EQ(send->text(), QStringLiteral("Send question"));
}

TEST_F(RibbonAndRail, RailSendsOnlyRealTextAndCancelsWhileBusy) {
    LessonaryTutorRail rail;
    rail.resize(300, 700);
    rail.show();
    meridcore::TeacherLearningSession session(0);
    rail.setState(session, false, true);
    QSignalSpy drafts(&rail, &LessonaryTutorRail::followupDraftChanged);
    QSignalSpy sends(&rail, &LessonaryTutorRail::sendRequested);
    QSignalSpy cancels(&rail, &LessonaryTutorRail::cancelRequested);

    rail.setFollowupDraft(u8(" \n\t"));
    EXPECT_FALSE(rail.sendButton()->isEnabled());
    EXPECT_TRUE(drafts.isEmpty()) << "setting the text is no edit of the student's";
    rail.editor()->setFocus();
    QTest::keyClicks(rail.editor(), QStringLiteral("?"));
    ASSERT_FALSE(drafts.isEmpty());
    EXPECT_EQ(drafts.last().at(0).toString(), u8(" \n\t?"));
    EXPECT_TRUE(rail.sendButton()->isEnabled());
    rail.sendButton()->click();
    EXPECT_EQ(sends.size(), 1);
    EXPECT_EQ(rail.followupDraft(), u8(" \n\t?")) << "the rail never clears the text";

    rail.setState(session, true, true);
    EXPECT_FALSE(rail.sendButton()->isVisible());
    ASSERT_TRUE(rail.cancelButton()->isVisible());
    EXPECT_TRUE(rail.cancelButton()->objectName().isEmpty());
    EXPECT_FALSE(rail.editor()->isEnabled());
    EXPECT_EQ(rail.editor()->toPlainText(), u8(" \n\t?"));
    rail.cancelButton()->click();
    EXPECT_EQ(cancels.size(), 1);

    rail.setState(session, false, false);
    EXPECT_TRUE(rail.sendButton()->isVisible());
    EXPECT_FALSE(rail.sendButton()->isEnabled());
    EXPECT_FALSE(rail.editor()->isEnabled());
}

TEST_F(RibbonAndRail, RailShowsTheLatestExchangeOnlyWithAnAnswer) {
    LessonaryTutorRail rail;
    rail.resize(300, 700);
    rail.show();
    auto followupTexts = [&] {
        QStringList texts;
        for (MeridMathRichText* text : rail.findChildren<MeridMathRichText*>())
            if (text->isVisibleTo(&rail)) texts << text->text();
        return texts;
    };
    meridcore::TeacherLearningSession session(0);
    session.lastFollowupQuestion = u8("为什么？");
    rail.setState(session, false, true);
    EXPECT_TRUE(followupTexts().isEmpty());
    session.lastFollowupAnswer = QString();
    rail.setState(session, false, true);
    EXPECT_TRUE(followupTexts().isEmpty());
    session.lastFollowupQuestion = QString();
    session.lastFollowupAnswer = u8("因为……");
    rail.setState(session, false, true);
    EXPECT_EQ(followupTexts(), (QStringList{QString(), u8("因为……")}));
}

}  // namespace
}  // namespace velquin
