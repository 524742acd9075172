#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include "app/tutor-lesson/merid_lesson_canvas_model.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/teacher_learning_session.h"

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace velquin {

class LessonaryElidedLabel;
class LessonaryPaperCard;
class LessonarySixMilestoneRibbon;
class LessonarySymbol;
class MeridCheckpointCard;
class MeridGradingFeedbackCard;
class MeridV12GuidedActionView;
class MeridVisualLessonView;
class OrvelNativeCoach;

// One tutor session as a lesson page: the topic and its evidence, the six-step ribbon, the latest
// lesson reply, the last grading, the check question, what to do next, the earlier turns and a
// footer. It shows the session it is given and reports the student's actions; it never changes the
// session. The sections carry their milestone id so the page around it can scroll to them.
class MeridLessonCanvasView : public QWidget {
    Q_OBJECT
public:
    static constexpr int maximumWidth = 790;

    // `coach`: the first-run tour, whose quiz step shows a tip on the check question.
    explicit MeridLessonCanvasView(OrvelNativeCoach& coach, QWidget* parent = nullptr);

    // Shows `session`; `busy`: a tutor request runs; `canSave`: tutor work may be recorded.
    void setLesson(const meridcore::TeacherLearningSession& session, bool busy, bool canSave);

    const MeridLessonCanvasModel& model() const { return model_; }
    // The section shown for a milestone id ("explain", "repair", "recap", "grade", "quiz",
    // "retest"); null when the page has none.
    QWidget* section(const QString& milestoneID) const;

    bool earlierTurnsExpanded() const { return expandEarlier_; }
    void setEarlierTurnsExpanded(bool expanded);

    // The parts, for the page around it and for tests.
    LessonarySixMilestoneRibbon* ribbon() const { return ribbon_; }
    MeridVisualLessonView* lessonView() const { return lesson_; }
    MeridGradingFeedbackCard* feedbackCard() const { return feedback_; }
    MeridCheckpointCard* checkpointCard() const { return checkpoint_; }
    MeridV12GuidedActionView* guidedActions() const { return guided_; }
    QWidget* nextActionsSection() const { return nextActions_; }
    QWidget* earlierTurnsSection() const { return earlier_; }
    QToolButton* earlierTurnsToggle() const { return earlierToggle_; }
    QList<QWidget*> earlierTurnRows() const;
    QLabel* titleLabel() const { return title_; }
    QLabel* chipLabel() const { return chip_; }
    QLabel* classroomHeading() const { return classroomHeading_; }
    QLabel* placeholderTitle() const { return placeholderTitle_; }
    QLabel* placeholderText() const { return placeholderText_; }

Q_SIGNALS:
    // A guided action, or grading (gradeAnswer) from the check question.
    void actionRequested(meridcore::MeridAction action);
    void cancelRequested();
    // A ribbon step the page can show.
    void navigateRequested(const QString& milestoneID);
    // Every edit of the answer to the check question, with the whole text.
    void answerDraftChanged(const QString& draft);

private:
    void refresh();
    void retranslate();
    void restyle();
    void rebuildEarlierTurns();

    meridcore::TeacherLearningSession session_;
    bool busy_ = false;
    bool canSave_ = false;
    MeridLessonCanvasModel model_;
    bool expandEarlier_ = false;
    QList<meridcore::TeacherTurn> shownEarlierTurns_;

    QWidget* page_ = nullptr;
    LessonaryElidedLabel* eyebrow_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* chip_ = nullptr;
    LessonarySixMilestoneRibbon* ribbon_ = nullptr;
    QWidget* classroom_ = nullptr;
    QLabel* classroomHeading_ = nullptr;
    MeridVisualLessonView* lesson_ = nullptr;
    LessonaryPaperCard* placeholder_ = nullptr;
    QLabel* placeholderTitle_ = nullptr;
    QLabel* placeholderText_ = nullptr;
    QWidget* sourceRow_ = nullptr;
    LessonarySymbol* sourceSymbol_ = nullptr;
    LessonaryElidedLabel* sourceName_ = nullptr;
    QLabel* sourcePosition_ = nullptr;
    QLabel* sourceMarker_ = nullptr;
    MeridGradingFeedbackCard* feedback_ = nullptr;
    MeridCheckpointCard* checkpoint_ = nullptr;
    QWidget* nextActions_ = nullptr;
    QLabel* nextActionsHeading_ = nullptr;
    MeridV12GuidedActionView* guided_ = nullptr;
    QWidget* earlier_ = nullptr;
    QToolButton* earlierToggle_ = nullptr;
    QWidget* earlierRows_ = nullptr;
    QVBoxLayout* earlierRowsLayout_ = nullptr;
    QLabel* footer_ = nullptr;
    QLabel* footerMark_ = nullptr;
};

}  // namespace velquin
