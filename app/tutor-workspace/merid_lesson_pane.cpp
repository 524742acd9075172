#include "app/tutor-workspace/merid_lesson_pane.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/shell/orvel_native_coach.h"
#include "app/shell/symbol_image.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/busy_spinner.h"
#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_lesson_canvas_view.h"
#include "app/tutor-lesson/orvel_native_coach_tip.h"
#include "app/tutor-workspace/merid_course_editor_view.h"
#include "app/tutor-workspace/merid_formal_workspace_controller.h"
#include "app/tutor-workspace/merid_workspace_symbols.h"

namespace velquin {

namespace {

constexpr int kSymbolSize = 15;

QToolButton* toolbarButton(QWidget* parent, const QString& name, bool bordered) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setToolButtonStyle(bordered ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    button->setAutoRaise(!bordered);
    button->setIconSize(QSize(kSymbolSize, kSymbolSize));
    button->setFont(lessonary::font(12));
    return button;
}

}  // namespace

MeridLessonPane::MeridLessonPane(MeridFormalWorkspaceController& controller, OrvelNativeCoach& coach, QWidget* parent)
    : QWidget(parent), controller_(controller), coach_(coach) {
    setObjectName(QStringLiteral("orvel.merid.lesson-pane"));
    auto* pane = new QVBoxLayout(this);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);

    // The toolbar.
    toolbar_ = new LessonaryPanel(&LessonaryMERIDPalette::paper, nullptr, 0, this);
    auto* bar = new QHBoxLayout(toolbar_);
    bar->setContentsMargins(16, 10, 16, 10);
    bar->setSpacing(12);
    courseToggle_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.course-toggle"), false);
    // One line, cut with "…" where the toolbar ends.
    title_ = new LessonaryElidedLabel(1, toolbar_);
    title_->setFont(lessonary::font(13, QFont::Medium));
    title_->setObjectName(QStringLiteral("orvel.merid.course-title"));
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    progress_ = new BusySpinner(16, toolbar_);
    stop_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.v12-stop-round"), true);
    teacherToggle_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.teacher-toggle"), true);
    editorToggle_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.course-editor-toggle"), false);
    import_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.import"), true);
    save_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.save-to-lessonary"), true);
    save_->setPopupMode(QToolButton::InstantPopup);
    save_->setAutoRaise(true);
    auto* saveMenu = new QMenu(save_);
    saveToHistory_ = saveMenu->addAction(QString());
    saveAsNote_ = saveMenu->addAction(QString());
    save_->setMenu(saveMenu);
    pause_ = toolbarButton(toolbar_, QStringLiteral("orvel.merid.pause"), true);
    bar->addWidget(courseToggle_);
    bar->addWidget(title_, 1);
    bar->addSpacing(4);
    for (QWidget* item : {static_cast<QWidget*>(progress_), static_cast<QWidget*>(stop_),
                          static_cast<QWidget*>(teacherToggle_), static_cast<QWidget*>(editorToggle_),
                          static_cast<QWidget*>(import_), static_cast<QWidget*>(save_),
                          static_cast<QWidget*>(pause_)})
        bar->addWidget(item);
    pane->addWidget(toolbar_);

    // The tour tip.
    tipRow_ = new QWidget(this);
    auto* tipLayout = new QVBoxLayout(tipRow_);
    tipLayout->setContentsMargins(16, 6, 16, 6);
    pane->addWidget(tipRow_);

    auto* divider = new LessonaryPanel(&LessonaryMERIDPalette::line, nullptr, 0, this);
    divider->setFixedHeight(1);
    pane->addWidget(divider);

    // The import notice.
    notice_ = new LessonaryPanel(nullptr, nullptr, 0, this);
    notice_->setObjectName(QStringLiteral("orvel.merid.import-feedback"));
    auto* noticeRow = noticeRow_ = new QHBoxLayout(notice_);
    noticeRow->setContentsMargins(16, 10, 16, 10);
    noticeRow->setSpacing(9);
    noticeIcon_ = new QLabel(notice_);
    // It names the file imported or refused: wrapped inside a long name rather than widen the pane.
    noticeText_ = new WrappedText(notice_, lessonary::font(11));
    noticeText_->setMinimumHeightFollowsWidth(true);
    noticeDismiss_ = toolbarButton(notice_, QStringLiteral("orvel.merid.import-feedback-dismiss"), false);
    noticeRow->addWidget(noticeIcon_, 0, Qt::AlignTop);
    noticeRow->addWidget(noticeText_, 1, Qt::AlignTop);
    noticeRow->addSpacing(4);
    noticeRow->addWidget(noticeDismiss_, 0, Qt::AlignTop);
    pane->addWidget(notice_);

    // The lesson column.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("orvel.merid.lesson-column"));
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll_);
    column_ = new QVBoxLayout(content);
    column_->setContentsMargins(26, 24, 26, 24);
    column_->setSpacing(19);
    // The column is as tall as its items at its width, or as the view: the sum of its wrapping
    // texts' minimum heights (each taken at its narrowest) would leave an empty band below the last
    // item at full scroll. Its items keep to the top through a stretch below them (a layout aligned
    // to the top would be given its size hint's height, not the height its items need at its width).
    column_->setSizeConstraint(QLayout::SetNoConstraint);
    content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    editor_ = new MeridCourseEditorView(controller_, content);
    column_->addWidget(editor_);
    canvas_ = new MeridLessonCanvasView(coach_, content);
    column_->addWidget(canvas_);
    statusRow_ = new QWidget(content);
    auto* statusLayout = new QHBoxLayout(statusRow_);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(6);
    statusIcon_ = new QLabel(statusRow_);
    // It may name a file or a path without spaces: it wraps inside the pane.
    status_ = new WrappedText(statusRow_, lessonary::font(11));
    status_->setMinimumHeightFollowsWidth(true);
    status_->setObjectName(QStringLiteral("orvel.merid.status"));
    statusLayout->addWidget(statusIcon_, 0, Qt::AlignTop);
    statusLayout->addWidget(status_, 1);
    column_->addWidget(statusRow_);
    column_->addStretch(1);
    scroll_->setWidget(content);
    content->setAutoFillBackground(false);  // (setWidget() turned it on)
    scroll_->viewport()->setAutoFillBackground(false);
    pane->addWidget(scroll_, 1);

    connect(courseToggle_, &QToolButton::clicked, this, [this] {
        if (compact_) {
            controller_.setCompactCoursesOpen(!controller_.compactCoursesOpen());
            controller_.setTeacherDrawerOpen(false);
        } else {
            controller_.setSidebarVisible(!controller_.sidebarVisible());
        }
    });
    connect(teacherToggle_, &QToolButton::clicked, this, [this] {
        controller_.setTeacherDrawerOpen(!controller_.teacherDrawerOpen());
        controller_.setCompactCoursesOpen(false);
    });
    connect(stop_, &QToolButton::clicked, &controller_, &MeridFormalWorkspaceController::cancel);
    connect(editorToggle_, &QToolButton::clicked, this,
            [this] { controller_.setShowCourseEditor(!controller_.showCourseEditor()); });
    connect(import_, &QToolButton::clicked, &controller_, &MeridFormalWorkspaceController::openFileChooser);
    connect(saveToHistory_, &QAction::triggered, this, [this] { controller_.saveToLessonary(false); });
    connect(saveAsNote_, &QAction::triggered, this, [this] { controller_.saveToLessonary(true); });
    connect(pause_, &QToolButton::clicked, this, [this] { controller_.action(meridcore::MeridAction::pause); });
    connect(canvas_, &MeridLessonCanvasView::actionRequested, &controller_, &MeridFormalWorkspaceController::action);
    connect(canvas_, &MeridLessonCanvasView::cancelRequested, &controller_, &MeridFormalWorkspaceController::cancel);
    connect(canvas_, &MeridLessonCanvasView::navigateRequested, this, &MeridLessonPane::scrollToSection);
    followStatus();
    // The answer lives in the session; it reaches the file with the next save.
    connect(canvas_, &MeridLessonCanvasView::answerDraftChanged, this, [this](const QString& draft) {
        controller_.updateActive([&draft](meridcore::TeacherLearningSession& session) { session.draft = draft; });
    });
    connect(noticeDismiss_, &QToolButton::clicked, this,
            [this] { controller_.setImportFeedback(QString(), controller_.importSucceeded()); });

    for (auto signal :
         {&MeridFormalWorkspaceController::hasLoadedChanged, &MeridFormalWorkspaceController::activeChanged,
          &MeridFormalWorkspaceController::busyChanged, &MeridFormalWorkspaceController::settlingChanged,
          &MeridFormalWorkspaceController::canSaveChanged, &MeridFormalWorkspaceController::errorMessageChanged,
          &MeridFormalWorkspaceController::importStateChanged, &MeridFormalWorkspaceController::layoutChanged})
        connect(&controller_, signal, this, &MeridLessonPane::refresh);
    for (auto signal :
         {&MeridFormalWorkspaceController::hasLoadedChanged, &MeridFormalWorkspaceController::activeChanged,
          &MeridFormalWorkspaceController::busyChanged, &MeridFormalWorkspaceController::canSaveChanged})
        connect(&controller_, signal, this, &MeridLessonPane::refreshCanvas);
    refreshCanvas();
    connect(&coach_, &OrvelNativeCoach::stepChanged, this, &MeridLessonPane::refreshTip);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void MeridLessonPane::setLayoutFlags(bool compact, bool wide) {
    if (compact_ == compact && wide_ == wide) return;
    compact_ = compact;
    wide_ = wide;
    refresh();
}

void MeridLessonPane::setNoticeInsets(int leading, int trailing) {
    noticeRow_->setContentsMargins(16 + leading, 10, 16 + trailing, 10);
}

bool MeridLessonPane::isInformational(const QString& status) {
    return status.startsWith(u"已") || status.startsWith(QStringLiteral("本阶段")) ||
           status.startsWith(QStringLiteral("追问"));
}

bool MeridLessonPane::canSave() const {
    // Nothing is written before the sessions are read: what would change them waits for them.
    return controller_.hasLoaded() && controller_.canSave();
}

void MeridLessonPane::refreshCanvas() { canvas_->setLesson(controller_.active(), controller_.busy(), canSave()); }

void MeridLessonPane::refresh() {
    const bool busy = controller_.busy();
    const bool canSave = this->canSave();
    // A command that waits for its save (a pause, an import) leaves the others for its end.
    const bool idle = !busy && !controller_.settling();
    const std::optional<QString>& course = controller_.active().courseName;
    title_->setFullText(course && !course->isEmpty()
                            ? *course
                            : UIStrings::choose(QStringLiteral("当前课程"), QStringLiteral("Current course"),
                                                QStringLiteral("Cours actuel")));
    progress_->setVisible(busy);
    stop_->setVisible(busy);
    teacherToggle_->setVisible(!wide_);
    editorToggle_->setEnabled(!busy);
    import_->setEnabled(idle && canSave);
    save_->setEnabled(idle && canSave);
    pause_->setEnabled(idle && canSave);

    const QString notice = controller_.importFeedback();
    notice_->setVisible(!notice.isEmpty());
    // It may name a file or a path without spaces: it wraps inside the pane.
    noticeText_->setText(UIStrings::text(notice));
    const ColorScheme scheme = lessonary::currentScheme();
    const bool succeeded = controller_.importSucceeded();
    const QColor noticeColour = succeeded ? LessonaryMERIDPalette::success(scheme) : SystemColors::orange(scheme);
    noticeIcon_->setPixmap(SymbolImage::pixmap(
        succeeded ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("exclamationmark.triangle"),
        QSize(kSymbolSize, kSymbolSize), noticeColour, devicePixelRatioF()));
    QColor tint = noticeColour;
    tint.setAlphaF(succeeded ? 0.06 : 0.1);
    notice_->setFillColor(tint);

    editor_->setVisible(controller_.showCourseEditor());
    editor_->setEnabled(!busy && controller_.hasLoaded());

    const QString& status = controller_.errorMessage();
    statusRow_->setVisible(!status.isEmpty());
    status_->setText(UIStrings::text(status));
    const QColor statusColour =
        isInformational(status) ? LessonaryMERIDPalette::muted(scheme) : SystemColors::orange(scheme);
    lessonary::setTextColor(status_, statusColour);
    statusIcon_->setPixmap(SymbolImage::pixmap(QStringLiteral("info.circle"), QSize(13, 13), statusColour,
                                               devicePixelRatioF()));
    if (status != shownStatus_) {
        shownStatus_ = status;
        // Once the column has laid out the new line, and again while the column grows under it.
        followingStatus_ = !status.isEmpty();
        if (followingStatus_) QMetaObject::invokeMethod(this, &MeridLessonPane::revealStatus, Qt::QueuedConnection);
    }
    refreshTip();
}

void MeridLessonPane::scrollToSection(const QString& milestoneID) {
    QWidget* section = canvas_->section(milestoneID);
    if (!section) return;
    followingStatus_ = false;
    QScrollBar* bar = scroll_->verticalScrollBar();
    auto* animation = new QPropertyAnimation(bar, "value", bar);
    animation->setDuration(200);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setEndValue(section->mapTo(scroll_->widget(), QPoint(0, 0)).y());
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void MeridLessonPane::revealStatus() {
    if (!followingStatus_ || !statusRow_->isVisible()) return;
    // The line's row, the column and the area take the new text's height before the row is scrolled
    // to. Their own layout passes come later, one after the other, and need not move the scroll range
    // again: the row measured before them was a line short, and its second line stayed out of sight.
    statusRow_->layout()->activate();
    column_->activate();
    QEvent resize(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(scroll_, &resize);
    scroll_->ensureWidgetVisible(statusRow_, 0, 24);
}

void MeridLessonPane::followStatus() {
    QScrollBar* bar = scroll_->verticalScrollBar();
    connect(bar, &QScrollBar::rangeChanged, this, [this] {
        if (followingStatus_) QMetaObject::invokeMethod(this, &MeridLessonPane::revealStatus, Qt::QueuedConnection);
    });
    // The student's own scrolling (the bar, the wheel, the keys) and focus in the column end it.
    connect(bar, &QScrollBar::actionTriggered, this, [this] { followingStatus_ = false; });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && scroll_->isAncestorOf(now)) followingStatus_ = false;
    });
}

void MeridLessonPane::refreshTip() {
    const bool shown = coach_.step() == OrvelNativeCoach::Step::classroom;
    tipRow_->setVisible(shown);
    if (!shown) return;
    const QString message =
        controller_.active().material
            ? UIStrings::choose(QStringLiteral("中间听讲、答题；右边老师随时可以提示你。"),
                                QStringLiteral("Learn and answer here; ask the tutor on the right for hints."),
                                QStringLiteral("Apprenez ici et demandez des indices au professeur à droite."))
            : UIStrings::choose(QStringLiteral("左边课程，中间课堂，右边老师。有课件可点「导入课件」。"),
                                QStringLiteral("Courses left, lesson here, tutor right. Import material to begin."),
                                QStringLiteral("Cours à gauche, leçon ici, prof à droite. Importez un document."));
    if (tip_ && tip_->message() == message) return;
    delete tip_;
    tip_ = new OrvelNativeCoachTip(message, tipRow_);
    connect(tip_, &OrvelNativeCoachTip::skipRequested, &coach_, &OrvelNativeCoach::skip);
    tipRow_->layout()->addWidget(tip_);
}

void MeridLessonPane::retranslate() {
    const QString courses =
        UIStrings::choose(QStringLiteral("课程目录"), QStringLiteral("Course outline"), QStringLiteral("Plan du cours"));
    courseToggle_->setAccessibleName(courses);
    courseToggle_->setToolTip(courses);
    stop_->setText(
        UIStrings::choose(QStringLiteral("停止本轮"), QStringLiteral("Stop this round"), QStringLiteral("Arrêter")));
    teacherToggle_->setText(
        UIStrings::choose(QStringLiteral("AI 老师"), QStringLiteral("Tutor"), QStringLiteral("Professeur")));
    const QString edit =
        UIStrings::choose(QStringLiteral("编辑课程"), QStringLiteral("Edit course"), QStringLiteral("Modifier le cours"));
    editorToggle_->setToolTip(edit);
    editorToggle_->setAccessibleName(edit);
    import_->setText(UIStrings::choose(QStringLiteral("导入课件"), QStringLiteral("Import"), QStringLiteral("Importer")));
    save_->setText(
        UIStrings::choose(QStringLiteral("保存课堂"), QStringLiteral("Save lesson"), QStringLiteral("Enregistrer")));
    saveToHistory_->setText(UIStrings::choose(QStringLiteral("保存到学习历史"), QStringLiteral("Save to history"),
                                              QStringLiteral("Enregistrer dans l'historique")));
    saveAsNote_->setText(UIStrings::choose(QStringLiteral("加入笔记"), QStringLiteral("Save as a note"),
                                           QStringLiteral("Enregistrer comme note")));
    lessonary::setButtonTitle(pause_, UIStrings::choose(QStringLiteral("保存并暂停"), QStringLiteral("Save & pause"),
                                                        QStringLiteral("Enregistrer")));
    noticeDismiss_->setAccessibleName(UIStrings::choose(QStringLiteral("关闭导入提示"),
                                                        QStringLiteral("Dismiss import notice"),
                                                        QStringLiteral("Fermer l'avis d'importation")));
    if (tip_) {
        delete tip_;
        tip_ = nullptr;
    }
    refresh();
}

void MeridLessonPane::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    lessonary::setTextColor(title_, LessonaryMERIDPalette::ink(scheme));
    courseToggle_->setIcon(inkSymbol(QStringLiteral("sidebar.left"), kSymbolSize));
    stop_->setIcon(inkSymbol(QStringLiteral("stop.circle"), kSymbolSize));
    teacherToggle_->setIcon(inkSymbol(QStringLiteral("sparkles"), kSymbolSize));
    editorToggle_->setIcon(inkSymbol(QStringLiteral("square.and.pencil"), kSymbolSize));
    import_->setIcon(inkSymbol(QStringLiteral("folder.badge.plus"), kSymbolSize));
    save_->setIcon(inkSymbol(QStringLiteral("square.and.arrow.down"), kSymbolSize));
    pause_->setIcon(inkSymbol(QStringLiteral("bookmark"), kSymbolSize));
    noticeDismiss_->setIcon(inkSymbol(QStringLiteral("xmark"), 12));
    refresh();
}

}  // namespace velquin
