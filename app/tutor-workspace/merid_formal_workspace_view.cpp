#include "app/tutor-workspace/merid_formal_workspace_view.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/shell/file_chooser.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/sheet_window.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_tutor_rail.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-workspace/merid_course_library_view.h"
#include "app/tutor-workspace/merid_formal_pdf_range_view.h"
#include "app/tutor-workspace/merid_lesson_pane.h"
#include "app/tutor-workspace/merid_workspace_symbols.h"

namespace velquin {

using meridcore::TeacherLearningSession;

namespace {

QWidget* divider(QWidget* parent) {
    auto* line = new LessonaryPanel(&LessonaryMERIDPalette::line, nullptr, 0, parent);
    line->setFixedWidth(1);
    return line;
}

}  // namespace

MeridFormalWorkspaceView::MeridFormalWorkspaceView(MeridWorkspaceServices services, OrvelNativeCoach& coach,
                                                   std::shared_ptr<FileChooser> chooser, QWidget* parent)
    : QWidget(parent),
      controller_(new MeridFormalWorkspaceController(std::move(services), this)),
      coach_(coach),
      chooser_(chooser ? std::move(chooser) : QtFileChooser::shared()) {
    setObjectName(QStringLiteral("orvel.merid.workspace"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    // Narrow widths are served by the drawers: the panes never make the screen wider.
    row->setSizeConstraint(QLayout::SetNoConstraint);
    courses_ = makeCourses(this);
    coursesDivider_ = divider(this);
    lessonPane_ = new MeridLessonPane(*controller_, coach_, this);
    teacherDivider_ = divider(this);
    teacherPane_ = makeTeacherPane(this);
    teacherPane_->setObjectName(QStringLiteral("orvel.merid.teacher-pane"));
    row->addWidget(courses_);
    row->addWidget(coursesDivider_);
    row->addWidget(lessonPane_, 1);
    row->addWidget(teacherDivider_);
    row->addWidget(teacherPane_);

    // Escape closes an open drawer wherever the focus is in the window, also when it is on no
    // control of this screen (a click on a toolbar toggle does not take it).
    drawerEscape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    drawerEscape_->setContext(Qt::WindowShortcut);
    drawerEscape_->setEnabled(false);
    connect(drawerEscape_, &QShortcut::activated, this, [this] {
        controller_->setCompactCoursesOpen(false);
        controller_->setTeacherDrawerOpen(false);
    });

    drawerCourses_ = makeCourses(nullptr);
    courseDrawer_ = makeDrawer(false, drawerCourses_);
    drawerTeacherPane_ = makeTeacherPane(nullptr);
    teacherDrawer_ = makeDrawer(true, drawerTeacherPane_);

    for (auto signal :
         {&MeridFormalWorkspaceController::hasLoadedChanged, &MeridFormalWorkspaceController::activeChanged,
          &MeridFormalWorkspaceController::sessionsChanged, &MeridFormalWorkspaceController::busyChanged,
          &MeridFormalWorkspaceController::canSaveChanged})
        connect(controller_, signal, this, &MeridFormalWorkspaceView::refreshCourses);
    for (auto signal :
         {&MeridFormalWorkspaceController::hasLoadedChanged, &MeridFormalWorkspaceController::activeChanged,
          &MeridFormalWorkspaceController::busyChanged, &MeridFormalWorkspaceController::canSaveChanged,
          &MeridFormalWorkspaceController::followupDraftChanged})
        connect(controller_, signal, this, &MeridFormalWorkspaceView::refreshTeacherPanes);
    connect(controller_, &MeridFormalWorkspaceController::activeChanged, this,
            &MeridFormalWorkspaceView::followPendingQuestion);
    // The sessions are read when the screen is first shown; handed-in text is taken once they are in.
    connect(controller_, &MeridFormalWorkspaceController::hasLoadedChanged, controller_,
            &MeridFormalWorkspaceController::acceptLessonarySource);
    connect(controller_, &MeridFormalWorkspaceController::layoutChanged, this, &MeridFormalWorkspaceView::refreshLayout);
    connect(controller_, &MeridFormalWorkspaceController::importStateChanged, this,
            &MeridFormalWorkspaceView::presentRangeSheet);
    connect(controller_, &MeridFormalWorkspaceController::deleteCandidateChanged, this,
            &MeridFormalWorkspaceView::presentDeleteConfirmation);
    connect(controller_, &MeridFormalWorkspaceController::fileChooserRequested, this,
            &MeridFormalWorkspaceView::chooseFile);

    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
    refreshCourses();
    refreshTeacherPanes();
    refreshLayout();
}

MeridFormalWorkspaceView::~MeridFormalWorkspaceView() {
    // The controller's last changes must not reach views of a window being torn down.
    controller_->disconnect();
    // A screen that goes away (the account changed, the program ends) saves to its own file.
    controller_->close();
}

MeridCourseLibraryView* MeridFormalWorkspaceView::makeCourses(QWidget* parent) {
    auto* courses = new MeridCourseLibraryView(parent);
    MeridFormalWorkspaceController* c = controller_;
    connect(courses, &MeridCourseLibraryView::newSessionRequested, c, &MeridFormalWorkspaceController::startNewSession);
    connect(courses, &MeridCourseLibraryView::sessionSelected, c, &MeridFormalWorkspaceController::openSession);
    connect(courses, &MeridCourseLibraryView::deleteRequested, c,
            [c](const QUuid& id) { c->setDeleteCandidate(id); });
    connect(courses, &MeridCourseLibraryView::importRequested, c, &MeridFormalWorkspaceController::openFileChooser);
    connect(courses, &MeridCourseLibraryView::chunkChangeRequested, c, &MeridFormalWorkspaceController::changeChunk);
    connect(courses, &MeridCourseLibraryView::topicSelected, c, &MeridFormalWorkspaceController::selectCourseTopic);
    connect(courses, &MeridCourseLibraryView::buildOutlineRequested, c,
            &MeridFormalWorkspaceController::indexExistingCourse);
    return courses;
}

LessonaryTutorRail* MeridFormalWorkspaceView::makeTeacherPane(QWidget* parent) {
    auto* pane = new LessonaryTutorRail(parent);
    pane->setFixedWidth(teacherWidth);
    MeridFormalWorkspaceController* c = controller_;
    connect(pane, &LessonaryTutorRail::followupDraftChanged, c, &MeridFormalWorkspaceController::setFollowupDraft);
    connect(pane, &LessonaryTutorRail::sendRequested, c, &MeridFormalWorkspaceController::sendQuestion);
    connect(pane, &LessonaryTutorRail::cancelRequested, c, &MeridFormalWorkspaceController::cancel);
    return pane;
}

void MeridFormalWorkspaceView::refreshTeacherPanes() {
    // Nothing is written before the sessions are read: the question box waits for them.
    const bool canSave = controller_->hasLoaded() && controller_->canSave();
    for (LessonaryTutorRail* pane : {teacherPane_, drawerTeacherPane_}) {
        pane->setState(controller_->active(), controller_->busy(), canSave);
        pane->setFollowupDraft(controller_->followupDraft());
    }
}

QWidget* MeridFormalWorkspaceView::makeDrawer(bool isTeacher, QWidget* content) {
    auto* drawer = new LessonaryPanel(&LessonaryMERIDPalette::rail, nullptr, 0, this);
    drawer->setObjectName(isTeacher ? QStringLiteral("orvel.merid.teacher-drawer")
                                    : QStringLiteral("orvel.merid.course-drawer"));
    drawer->setFixedWidth(isTeacher ? teacherWidth : courseDrawerWidth);
    auto* shadow = new QGraphicsDropShadowEffect(drawer);
    shadow->setBlurRadius(26);
    shadow->setOffset(isTeacher ? -5 : 5, 0);
    shadow->setColor(QColor(0, 0, 0, 38));
    drawer->setGraphicsEffect(shadow);
    auto* stack = new QVBoxLayout(drawer);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    auto* header = new QHBoxLayout();
    header->setContentsMargins(14, 10, 14, 10);
    QLabel* title = lessonary::makeLabel(drawer, lessonary::font(13, QFont::DemiBold), false);
    auto* close = new QToolButton(drawer);
    close->setAutoRaise(true);
    close->setObjectName(drawer->objectName() + QStringLiteral("-close"));
    close->setIconSize(QSize(16, 16));
    header->addWidget(title, 1);
    header->addWidget(close);
    stack->addLayout(header);
    content->setParent(drawer);
    stack->addWidget(content, 1);
    connect(close, &QToolButton::clicked, this, [this, isTeacher] {
        if (isTeacher)
            controller_->setTeacherDrawerOpen(false);
        else
            controller_->setCompactCoursesOpen(false);
    });
    (isTeacher ? teacherDrawerTitle_ : courseDrawerTitle_) = title;
    (isTeacher ? teacherDrawerClose_ : courseDrawerClose_) = close;
    drawer->hide();
    return drawer;
}

void MeridFormalWorkspaceView::refreshLayout() {
    const int w = width();
    compact_ = w < compactBelow;
    wide_ = w >= wideFrom;
    const bool docked = !compact_ && controller_->sidebarVisible();
    courses_->setVisible(docked);
    coursesDivider_->setVisible(docked);
    teacherDivider_->setVisible(wide_);
    teacherPane_->setVisible(wide_);
    lessonPane_->setLayoutFlags(compact_, wide_);

    const bool coursesOpen = compact_ && controller_->compactCoursesOpen();
    courseDrawer_->setGeometry(0, 0, courseDrawerWidth, height());
    courseDrawer_->setVisible(coursesOpen);
    const bool teacherOpen = !wide_ && controller_->teacherDrawerOpen();
    teacherDrawer_->setGeometry(w - teacherWidth, 0, teacherWidth, height());
    teacherDrawer_->setVisible(teacherOpen);
    if (coursesOpen) courseDrawer_->raise();
    if (teacherOpen) teacherDrawer_->raise();
    drawerEscape_->setEnabled(coursesOpen || teacherOpen);
    // The import notice stays clear of the open drawer and its shadow.
    const QRect lesson = lessonPane_->geometry();
    const int shadow = 13;
    lessonPane_->setNoticeInsets(coursesOpen ? std::max(0, courseDrawerWidth + shadow - lesson.left()) : 0,
                                 teacherOpen ? std::max(0, lesson.right() + 1 - (w - teacherWidth - shadow)) : 0);
}

void MeridFormalWorkspaceView::refreshCourses() {
    // Until the sessions are read the list shows none, and does not say there are none.
    if (!controller_->hasLoaded()) return;
    for (MeridCourseLibraryView* courses : {courses_, drawerCourses_})
        courses->setState(controller_->active(), controller_->sessions(), controller_->busy(), controller_->canSave());
}

void MeridFormalWorkspaceView::retranslate() {
    courseDrawerTitle_->setText(UIStrings::choose(QStringLiteral("课程目录"), QStringLiteral("Courses"), QStringLiteral("Cours")));
    teacherDrawerTitle_->setText(
        UIStrings::choose(QStringLiteral("MERID 老师"), QStringLiteral("MERID Tutor"), QStringLiteral("Professeur MERID")));
    const QString close =
        UIStrings::choose(QStringLiteral("关闭面板"), QStringLiteral("Close drawer"), QStringLiteral("Fermer le panneau"));
    for (QToolButton* button : {courseDrawerClose_, teacherDrawerClose_}) {
        button->setAccessibleName(close);
        button->setToolTip(close);
    }
}

void MeridFormalWorkspaceView::restyle() {
    for (QToolButton* button : {courseDrawerClose_, teacherDrawerClose_})
        button->setIcon(inkSymbol(QStringLiteral("xmark.circle.fill"), 16));
    update();
}

void MeridFormalWorkspaceView::chooseFile() {
    FileChooser::Request request;
    request.title = UIStrings::choose(QStringLiteral("导入学习资料"), QStringLiteral("Import study material"),
                                      QStringLiteral("Importer un document"));
    request.message = UIStrings::choose(QStringLiteral("支持 PDF、DOCX、PPTX、TXT 和 MD。资料只在本机解析。"),
                                        QStringLiteral("PDF, DOCX, PPTX, TXT and MD. Files are parsed on this computer."),
                                        QStringLiteral("PDF, DOCX, PPTX, TXT et MD. Lecture locale uniquement."));
    request.patterns = {QStringLiteral("*.pdf"), QStringLiteral("*.txt"), QStringLiteral("*.md"),
                        QStringLiteral("*.docx"), QStringLiteral("*.pptx")};
    request.patternsTitle = request.title;
    QPointer<MeridFormalWorkspaceController> controller(controller_);
    chooser_->chooseFileToOpen(window(), request, [controller](const QUrl& url) {
        if (controller) controller->receiveSelectedFile(url);
    });
}

void MeridFormalWorkspaceView::presentRangeSheet() {
    const std::optional<MeridFormalPDFChoice>& choice = controller_->pdfChoice();
    if (!choice || shownChoice_ == choice->id) return;
    shownChoice_ = choice->id;
    if (rangeSheet_) rangeSheet_->reject();
    auto* sheet = new PDFRangeView(
        meridFormalPDFRangeLook(), *choice, [this](PageRange pages) { controller_->importPendingPDF(pages); }, this);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // Every way of closing the sheet drops a copy still waiting and this choice.
    connect(sheet, &QDialog::finished, this, [this, id = choice->id] {
        controller_->discardPendingPDF();
        if (controller_->pdfChoice() && controller_->pdfChoice()->id == id) controller_->setPdfChoice(std::nullopt);
        if (shownChoice_ == id) shownChoice_.reset();
    });
    rangeSheet_ = sheet;
    openSheet(sheet);
}

void MeridFormalWorkspaceView::presentDeleteConfirmation() {
    if (!controller_->deleteCandidate() || deleteConfirmation_) return;
    auto* box = new ConfirmationSheet(this);
    box->setObjectName(QStringLiteral("orvel.merid.delete-confirmation"));
    box->setIcon(QMessageBox::Warning);
    box->setText(UIStrings::text(QStringLiteral("删除这条学习会话？")));
    box->setInformativeText(UIStrings::text(QStringLiteral("这会删除本机的该会话、导入资料和答题记录，无法撤销。")));
    QPushButton* remove = box->addButton(UIStrings::text(QStringLiteral("永久删除")), QMessageBox::DestructiveRole);
    box->addButton(UIStrings::text(QStringLiteral("取消")), QMessageBox::RejectRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, remove] {
        deleteConfirmation_ = nullptr;  // (the box itself goes later)
        if (box->clickedButton() == remove)
            controller_->confirmDeletion();
        else
            controller_->setDeleteCandidate(std::nullopt);
    });
    deleteConfirmation_ = box;
    openSheet(box);
}

void MeridFormalWorkspaceView::followPendingQuestion() {
    const bool pending = controller_->active().pendingQuizIndex().has_value();
    if (pending == pendingQuestion_) return;
    pendingQuestion_ = pending;
    if (pending) {
        coach_.questionIsPending(true);
        return;
    }
    const auto& records = controller_->active().quizRecords;
    coach_.answerWasActuallyGraded(records && std::any_of(records->begin(), records->end(), [](const auto& record) {
                                       return record.answer.has_value() && record.feedback.has_value();
                                   }));
}

void MeridFormalWorkspaceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    controller_->load();
    controller_->acceptLessonarySource();
    coach_.enteredRealClassroom();
    pendingQuestion_ = controller_->active().pendingQuizIndex().has_value();
    coach_.questionIsPending(pendingQuestion_);
}

void MeridFormalWorkspaceView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    // On the next turn: a window being destroyed hides its children first, and the save's change
    // signals must not reach views half torn down (the destructor then saves instead).
    QTimer::singleShot(0, controller_, &MeridFormalWorkspaceController::close);
}

void MeridFormalWorkspaceView::keyPressEvent(QKeyEvent* event) {
    // Escape that no control inside used closes the drawers.
    if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    controller_->setCompactCoursesOpen(false);
    controller_->setTeacherDrawerOpen(false);
}

void MeridFormalWorkspaceView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refreshLayout();
}

void MeridFormalWorkspaceView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LessonaryMERIDPalette::paper(lessonary::currentScheme()));
}

}  // namespace velquin
