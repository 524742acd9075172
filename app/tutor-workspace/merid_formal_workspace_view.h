#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>

#include "app/tutor-workspace/merid_formal_pdf_range_view.h"
#include "app/tutor-workspace/merid_formal_workspace_controller.h"

class QShortcut;
class QToolButton;
class QLabel;

namespace velquin {

class FileChooser;
class LessonaryTutorRail;
class MeridCourseLibraryView;
class MeridLessonPane;
class OrvelNativeCoach;

// The tutor screen: the course library on the left, the lesson pane in the middle and the tutor
// pane on the right. Below 1260 pixels of width the library becomes a drawer over the lesson,
// below 780 the tutor pane too; Escape closes the drawers. It owns the screen's controller, loads
// the sessions when first shown, takes the text handed over from the main window, and when hidden
// or destroyed drops a waiting PDF copy, stops the running round and saves.
class MeridFormalWorkspaceView : public QWidget {
    Q_OBJECT
public:
    static constexpr int compactBelow = 1260;
    static constexpr int wideFrom = 780;
    static constexpr int teacherWidth = 278;
    static constexpr int courseDrawerWidth = 236;

    MeridFormalWorkspaceView(MeridWorkspaceServices services, OrvelNativeCoach& coach,
                             std::shared_ptr<FileChooser> chooser, QWidget* parent = nullptr);
    ~MeridFormalWorkspaceView() override;

    MeridFormalWorkspaceController& controller() { return *controller_; }

    bool isCompact() const { return compact_; }
    bool isWide() const { return wide_; }
    MeridCourseLibraryView* dockedCourses() const { return courses_; }
    LessonaryTutorRail* teacherPane() const { return teacherPane_; }
    QWidget* courseDrawer() const { return courseDrawer_; }
    QWidget* teacherDrawer() const { return teacherDrawer_; }
    MeridLessonPane* lessonPane() const { return lessonPane_; }
    PDFRangeView* rangeSheet() const { return rangeSheet_; }
    QMessageBox* deleteConfirmation() const { return deleteConfirmation_; }

    QSize sizeHint() const override { return {1080, 795}; }
    QSize minimumSizeHint() const override { return {0, 560}; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    MeridCourseLibraryView* makeCourses(QWidget* parent);
    LessonaryTutorRail* makeTeacherPane(QWidget* parent);
    void refreshTeacherPanes();
    QWidget* makeDrawer(bool isTeacher, QWidget* content);
    void refreshLayout();
    void refreshCourses();
    void retranslate();
    void restyle();
    void chooseFile();
    void presentRangeSheet();
    void presentDeleteConfirmation();
    void followPendingQuestion();

    MeridFormalWorkspaceController* controller_ = nullptr;
    OrvelNativeCoach& coach_;
    std::shared_ptr<FileChooser> chooser_;
    bool compact_ = false;
    bool wide_ = true;
    bool pendingQuestion_ = false;

    MeridCourseLibraryView* courses_ = nullptr;
    QWidget* coursesDivider_ = nullptr;
    MeridLessonPane* lessonPane_ = nullptr;
    QWidget* teacherDivider_ = nullptr;
    LessonaryTutorRail* teacherPane_ = nullptr;
    QWidget* courseDrawer_ = nullptr;
    MeridCourseLibraryView* drawerCourses_ = nullptr;
    QWidget* teacherDrawer_ = nullptr;
    LessonaryTutorRail* drawerTeacherPane_ = nullptr;
    QLabel* courseDrawerTitle_ = nullptr;
    QLabel* teacherDrawerTitle_ = nullptr;
    QToolButton* courseDrawerClose_ = nullptr;
    QToolButton* teacherDrawerClose_ = nullptr;
    QShortcut* drawerEscape_ = nullptr;
    QPointer<PDFRangeView> rangeSheet_;
    std::optional<QUuid> shownChoice_;
    QPointer<QMessageBox> deleteConfirmation_;
};

}  // namespace velquin
