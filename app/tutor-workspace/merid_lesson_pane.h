#pragma once

#include <QWidget>

class QAction;
class QHBoxLayout;
class QLabel;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace velquin {

class BusySpinner;
class LessonaryElidedLabel;
class LessonaryPanel;
class MeridCourseEditorView;
class MeridFormalWorkspaceController;
class MeridLessonCanvasView;
class OrvelNativeCoach;
class OrvelNativeCoachTip;
class WrappedText;

// The centre column of the tutor screen: the tutor toolbar (course and tutor toggles, the course
// title, the running round with its stop button, the course editor toggle, import, save and
// pause), the tour tip, the import notice and the scrolling lesson column with the course editor,
// the lesson and the status line. It keeps no state: it shows the controller's and calls it.
class MeridLessonPane : public QWidget {
    Q_OBJECT
public:
    MeridLessonPane(MeridFormalWorkspaceController& controller, OrvelNativeCoach& coach, QWidget* parent = nullptr);

    // The screen's width flags: the course list lives in a drawer (`compact`), the tutor pane is
    // docked beside this pane (`wide`).
    void setLayoutFlags(bool compact, bool wide);
    // Room kept free at the ends of the import notice, where a drawer lies over this pane.
    void setNoticeInsets(int leading, int trailing);

    QToolButton* courseToggle() const { return courseToggle_; }
    QToolButton* teacherToggle() const { return teacherToggle_; }
    QToolButton* stopButton() const { return stop_; }
    QToolButton* editorToggle() const { return editorToggle_; }
    QToolButton* importButton() const { return import_; }
    QToolButton* saveMenu() const { return save_; }
    QToolButton* pauseButton() const { return pause_; }
    LessonaryElidedLabel* titleLabel() const { return title_; }
    LessonaryPanel* importNotice() const { return notice_; }
    MeridCourseEditorView* courseEditor() const { return editor_; }
    MeridLessonCanvasView* canvas() const { return canvas_; }
    QScrollArea* lessonScroll() const { return scroll_; }

    // Whether the status text is shown as information rather than as a warning.
    static bool isInformational(const QString& status);

    void retranslate();

private:
    bool canSave() const;
    void refresh();
    void refreshCanvas();
    void refreshTip();
    // Scrolls the lesson column until a newly shown status line is in view.
    void revealStatus();
    // Keeps it in view while the column grows under it (formula pages report their heights after
    // they are laid out), until the student scrolls, moves into the column or picks a section.
    void followStatus();
    // Scrolls the lesson column until the canvas section of the milestone is at the top.
    void scrollToSection(const QString& milestoneID);
    void restyle();

    MeridFormalWorkspaceController& controller_;
    OrvelNativeCoach& coach_;
    bool compact_ = false;
    bool wide_ = true;

    LessonaryPanel* toolbar_ = nullptr;
    QToolButton* courseToggle_ = nullptr;
    LessonaryElidedLabel* title_ = nullptr;
    BusySpinner* progress_ = nullptr;
    QToolButton* stop_ = nullptr;
    QToolButton* teacherToggle_ = nullptr;
    QToolButton* editorToggle_ = nullptr;
    QToolButton* import_ = nullptr;
    QToolButton* save_ = nullptr;
    QAction* saveToHistory_ = nullptr;
    QAction* saveAsNote_ = nullptr;
    QToolButton* pause_ = nullptr;
    OrvelNativeCoachTip* tip_ = nullptr;
    QWidget* tipRow_ = nullptr;
    LessonaryPanel* notice_ = nullptr;
    QLabel* noticeIcon_ = nullptr;
    WrappedText* noticeText_ = nullptr;
    QToolButton* noticeDismiss_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* column_ = nullptr;
    MeridCourseEditorView* editor_ = nullptr;
    MeridLessonCanvasView* canvas_ = nullptr;
    QWidget* statusRow_ = nullptr;
    QLabel* statusIcon_ = nullptr;
    WrappedText* status_ = nullptr;
    QHBoxLayout* noticeRow_ = nullptr;
    QString shownStatus_;
    bool followingStatus_ = false;
};

}  // namespace velquin
