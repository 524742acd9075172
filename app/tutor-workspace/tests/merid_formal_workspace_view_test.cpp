// The tutor screen offscreen over a real sessions file: its layout at the width breakpoints, the
// import flow with generated PDF, DOCX and PPTX files, the range sheet, the course editor, and the
// coach page host's choice of sessions file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegion>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/account/account_data_scope.h"
#include "app/account/history_store.h"
#include "app/shell/application_appearance.h"
#include "app/shell/file_chooser.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/sheet_window.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/lessonary_elided_label.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_tutor_rail.h"
#include "app/tutor-lesson/merid_history_session_row.h"
#include "app/tutor-lesson/merid_lesson_canvas_view.h"
#include "app/tutor-workspace/diz_uvizi_view.h"
#include "app/tutor-workspace/merid_course_editor_view.h"
#include "app/tutor-workspace/merid_course_library_view.h"
#include "app/tutor-workspace/merid_formal_pdf_range_view.h"
#include "app/tutor-workspace/merid_formal_workspace_view.h"
#include "app/tutor-workspace/merid_lesson_pane.h"
#include "app/tutor-workspace/tests/workspace_test_doubles.h"
#include "net/http.h"
#include "platform/tests/fixtures.h"
#include "tests/support/manual_scheduler.h"

using namespace velquin;
using meridcore::TeacherLearningSession;

namespace {

// Answers the file chooser with the file the test names.
class ChosenFile : public FileChooser {
public:
    QUrl next;
    int asked = 0;
    void chooseFileToOpen(QWidget*, const Request&, std::function<void(const QUrl&)> chosen) override {
        ++asked;
        chosen(next);
    }
    void chooseSaveLocation(QWidget*, const Request&, std::function<void(const QUrl&)>) override {}
};

class WorkspaceViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid() && temp_.isValid());
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
        savedTemp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp_.path().toUtf8());
        sessionsFile_ = dir_.filePath(QStringLiteral("store/teacher_sessions.json"));
        history_ = std::make_unique<HistoryStore>(HistoryStore::Options{dir_.filePath(QStringLiteral("history")), {}});
    }
    void TearDown() override {
        view_.reset();
        qputenv("TMPDIR", savedTemp_);
    }

    MeridFormalWorkspaceView& make(int width = 1300, std::shared_ptr<base::WorkScheduler> scheduler = nullptr) {
        MeridWorkspaceServices services;
        services.scheduler = scheduler;
        services.transport = tutor_;
        services.consentGranted = [] { return true; };
        services.storage.emplace(sessionsFile_);
        services.sessionToken = std::make_shared<workspacetest::ManualToken>();
        services.history = history_.get();
        view_ = std::make_unique<MeridFormalWorkspaceView>(std::move(services), coach_, chooser_);
        view_->resize(width, 700);
        view_->show();
        if (!scheduler) {
            EXPECT_TRUE(QTest::qWaitFor([this] { return controller().hasLoaded(); }));
        }
        return *view_;
    }
    MeridFormalWorkspaceController& controller() { return view_->controller(); }
    // The file once the screen's saves have landed.
    QList<TeacherLearningSession> stored() {
        controller().finishSaving();
        return meridcore::TeacherLearningStore(sessionsFile_).load();
    }

    QString path(const QString& name) const { return dir_.filePath(name); }
    QUrl pdf(const QString& name, int pages) const {
        QList<fixtures::Page> content;
        for (int i = 1; i <= pages; ++i) content << fixtures::TextPage{QStringLiteral("Lesson page %1").arg(i)};
        fixtures::writePdf(path(name), content);
        return QUrl::fromLocalFile(path(name));
    }
    // An Office file of one XML member, zipped by the zip tool.
    QUrl office(const QString& name, const QString& member, const QByteArray& xml) const {
        const QString content = path(QStringLiteral("zip-") + name);
        QDir().mkpath(QFileInfo(content + u'/' + member).absolutePath());
        EXPECT_TRUE(fixtures::writeFile(content + u'/' + member, xml));
        QProcess zip;
        zip.setWorkingDirectory(content);
        zip.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-X"), path(name), member});
        EXPECT_TRUE(zip.waitForFinished(60000)) << "zip is needed by these tests";
        return QUrl::fromLocalFile(path(name));
    }
    QStringList stagingFolders() const {
        return QDir(temp_.path()).entryList({QStringLiteral("OrvelImport-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    }
    // Chooses the file through the lesson pane's import button and waits for the import to end.
    void importThroughToolbar(const QUrl& file) {
        chooser_->next = file;
        view_->lessonPane()->importButton()->click();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !controller().importing(); }));
    }

    QTemporaryDir dir_;
    QTemporaryDir temp_;
    QByteArray savedTemp_;
    QString sessionsFile_;
    std::unique_ptr<HistoryStore> history_;
    OrvelNativeCoach coach_;
    std::shared_ptr<ChosenFile> chooser_ = std::make_shared<ChosenFile>();
    std::shared_ptr<workspacetest::ManualTutor> tutor_ = std::make_shared<workspacetest::ManualTutor>();
    std::unique_ptr<MeridFormalWorkspaceView> view_;
};

}  // namespace

TEST_F(WorkspaceViewTest, PanesFollowTheWidthAndEscapeClosesTheDrawers) {
    const struct {
        int width;
        bool docked;
        bool teacherDocked;
        bool teacherToggle;
    } cases[] = {{1260, true, true, false}, {1259, false, true, false}, {780, false, true, false},
                 {779, false, false, true}};
    MeridFormalWorkspaceView& view = make();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        view.resize(c.width, 700);
        EXPECT_EQ(view.isCompact(), c.width < 1260);
        EXPECT_EQ(view.isWide(), c.width >= 780);
        EXPECT_EQ(view.dockedCourses()->isVisible(), c.docked);
        EXPECT_EQ(view.teacherPane()->isVisible(), c.teacherDocked);
        EXPECT_EQ(view.lessonPane()->teacherToggle()->isVisible(), c.teacherToggle);

        // The course toggle hides the docked list or opens the drawer; a drawer opens only where it can.
        view.lessonPane()->courseToggle()->click();
        EXPECT_EQ(view.dockedCourses()->isVisible(), false);
        EXPECT_EQ(view.courseDrawer()->isVisible(), !c.docked);
        if (c.teacherToggle) {
            view.lessonPane()->teacherToggle()->click();
            EXPECT_TRUE(view.teacherDrawer()->isVisible());
            EXPECT_FALSE(view.courseDrawer()->isVisible()) << "one drawer at a time";
            view.lessonPane()->courseToggle()->click();
            EXPECT_TRUE(view.courseDrawer()->isVisible());
            EXPECT_FALSE(view.teacherDrawer()->isVisible());
            controller().setTeacherDrawerOpen(true);
        }
        QTest::keyClick(view.lessonPane(), Qt::Key_Escape);
        EXPECT_FALSE(view.courseDrawer()->isVisible());
        EXPECT_FALSE(view.teacherDrawer()->isVisible());
        controller().setSidebarVisible(true);
    }
    // A drawer left open while the window widens shows again when it narrows.
    view.resize(1000, 700);
    controller().setCompactCoursesOpen(true);
    view.resize(1300, 700);
    EXPECT_FALSE(view.courseDrawer()->isVisible());
    view.resize(1000, 700);
    EXPECT_TRUE(view.courseDrawer()->isVisible());
}

TEST_F(WorkspaceViewTest, RangeSheetAcceptsAtMostTwentyPagesOfTheDocument) {
    const struct {
        int pageCount;
        QString first;
        QString last;
        bool valid;
    } cases[] = {
        {6, "1", "5", true},    {6, "1", "6", true},     {6, "1", "7", false},  {100, "1", "20", true},
        {100, "1", "21", false}, {100, "40", "59", true}, {100, "0", "5", false}, {100, "9", "8", false},
        {100, "", "5", false},   {100, "-1", "5", false}, {0, "1", "0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1: %2-%3").arg(c.pageCount).arg(c.first, c.last).toStdString());
        std::optional<PageRange> imported;
        PDFRangeView sheet(meridFormalPDFRangeLook(),
                           MeridFormalPDFChoice(QUrl::fromLocalFile(QStringLiteral("/t/a.pdf")), c.pageCount),
                           [&imported](PageRange pages) { imported = pages; });
        sheet.firstField()->setText(c.first);
        sheet.lastField()->setText(c.last);
        EXPECT_EQ(sheet.importButton()->isEnabled(), c.valid);
        EXPECT_EQ(sheet.errorLine()->isVisibleTo(&sheet), !c.valid);
        sheet.importButton()->click();
        EXPECT_EQ(imported.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(*imported, (PageRange{c.first.toInt(), c.last.toInt()}));
        }
    }
    // A long document opens with pages 1 to 5, a short one with all its pages; the tutor's sheet has
    // its own texts and names, and no hint line.
    PDFRangeView sheet(meridFormalPDFRangeLook(), MeridFormalPDFChoice(QUrl(), 3), [](PageRange) {});
    EXPECT_EQ(sheet.lastField()->text(), QStringLiteral("3"));
    EXPECT_EQ(sheet.width(), 440);
    EXPECT_EQ(sheet.objectName(), QStringLiteral("orvel.merid.pdf-range"));
    EXPECT_EQ(sheet.importButton()->objectName(), QStringLiteral("orvel.merid.pdf-range-import"));
    EXPECT_EQ(sheet.importButton()->text(), QStringLiteral("导入选中页"));
    EXPECT_EQ(sheet.pageCountLine()->text(), QStringLiteral("共 3 页 · 单次最多选择 20 页。不会自动将文件上传给 AI。"));
    EXPECT_EQ(sheet.errorLine()->text(), QStringLiteral("请填写有效范围且单次不超过 20 页。"));
    EXPECT_EQ(sheet.hintLine(), nullptr);
}

// The staged file's name takes at most two lines; a longer one is cut at the end of the second,
// with or without spaces to break at.
TEST(PDFRangeSheet, FileNamesTakeAtMostTwoLines) {
    const struct {
        QString name;
        bool cut;
    } rows[] = {
        {QStringLiteral("six.pdf"), false},
        {QStringLiteral("Week 3 lecture notes on cell biology, membranes and transport.pdf"), false},
        {QStringLiteral("Very long lecture notes name ").repeated(8) + QStringLiteral(".pdf"), true},
        {QStringLiteral("cell-biology_").repeated(20) + QStringLiteral(".pdf"), true},
        {QStringLiteral("细胞生物学第三周讲义").repeated(10) + QStringLiteral(".pdf"), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        PDFRangeView sheet(meridFormalPDFRangeLook(),
                           MeridFormalPDFChoice(QUrl::fromLocalFile(QStringLiteral("/t/") + row.name), 12),
                           [](PageRange) {});
        sheet.show();
        const QLabel* label = sheet.fileNameLine();
        const QString shown = label->text();
        EXPECT_LE(shown.count(u'\n'), 1);
        for (const QString& line : shown.split(u'\n'))
            EXPECT_LE(label->fontMetrics().horizontalAdvance(line), label->contentsRect().width())
                << line.toStdString();
        EXPECT_EQ(shown.endsWith(QStringLiteral("…")), row.cut);
        QString kept = shown;
        kept.remove(u'\n').remove(QStringLiteral("…"));
        EXPECT_TRUE(QString(row.name).remove(u' ').startsWith(kept.remove(u' ')));
        if (!row.cut) {
            EXPECT_EQ(QString(shown).replace(u'\n', u' ').remove(u' '), QString(row.name).remove(u' '));
        }
    }
}

TEST_F(WorkspaceViewTest, ImportsDocumentsIntoTheActiveSession) {
    make();
    // Five pages come in whole; the new session is named after the file.
    importThroughToolbar(pdf(QStringLiteral("Five pages of economics lecture notes.pdf"), 5));
    ASSERT_TRUE(controller().active().material);
    EXPECT_TRUE(controller().active().material->text().contains(QStringLiteral("Lesson page 5")));
    EXPECT_EQ(controller().active().title, QStringLiteral("Five pages of economics lecture no"));
    EXPECT_TRUE(controller().importSucceeded());
    EXPECT_TRUE(controller().importFeedback().startsWith(QStringLiteral("已在本机导入《")));
    EXPECT_TRUE(view_->lessonPane()->importNotice()->isVisible());
    EXPECT_EQ(controller().errorMessage(), QString());
    EXPECT_EQ(stagingFolders(), QStringList());
    EXPECT_EQ(stored().size(), 1);

    // Six pages ask for the range; cancelling leaves no staged copy and imports nothing.
    importThroughToolbar(pdf(QStringLiteral("six.pdf"), 6));
    ASSERT_TRUE(view_->rangeSheet());
    EXPECT_EQ(view_->rangeSheet()->lastField()->text(), QStringLiteral("5"));
    EXPECT_EQ(stagingFolders().size(), 1);
    view_->rangeSheet()->cancelButton()->click();
    EXPECT_EQ(stagingFolders(), QStringList());
    EXPECT_FALSE(controller().pdfChoice());
    EXPECT_TRUE(controller().active().material->text().contains(QStringLiteral("Lesson page 5")));

    // Importing pages 6 from the sheet replaces the material of the same session.
    importThroughToolbar(pdf(QStringLiteral("six.pdf"), 6));
    ASSERT_TRUE(view_->rangeSheet());
    view_->rangeSheet()->firstField()->setText(QStringLiteral("6"));
    view_->rangeSheet()->lastField()->setText(QStringLiteral("6"));
    view_->rangeSheet()->importButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !controller().importing() && stagingFolders().isEmpty(); }));
    EXPECT_EQ(controller().active().material->text().trimmed(), QStringLiteral("[第 6 页]\nLesson page 6"));

    // Office documents come in with their text; the session keeps its first name.
    importThroughToolbar(office(QStringLiteral("notes.docx"), QStringLiteral("word/document.xml"),
                                "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                                "<w:body><w:p><w:r><w:t>Marginal utility</w:t></w:r></w:p></w:body></w:document>"));
    EXPECT_TRUE(controller().active().material->text().contains(QStringLiteral("Marginal utility")))
        << controller().errorMessage().toStdString();
    importThroughToolbar(office(QStringLiteral("deck.pptx"), QStringLiteral("ppt/slides/slide1.xml"),
                                "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                                "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"><p:cSld>"
                                "<p:spTree><p:sp><p:txBody><a:p><a:r><a:t>Supply curve</a:t></a:r></a:p>"
                                "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>"));
    EXPECT_TRUE(controller().active().material->text().contains(QStringLiteral("Supply curve")))
        << controller().errorMessage().toStdString();
    EXPECT_EQ(controller().active().title, QStringLiteral("Five pages of economics lecture no"));
    EXPECT_EQ(controller().sessions().size(), 1);

    // A refused kind is reported and leaves the material as it was.
    importThroughToolbar(QUrl::fromLocalFile(path(QStringLiteral("essay.rtf"))));
    EXPECT_FALSE(controller().importSucceeded());
    EXPECT_TRUE(controller().errorMessage().startsWith(QStringLiteral("导入失败：")));
    EXPECT_TRUE(controller().active().material->text().contains(QStringLiteral("Supply curve")));
    EXPECT_EQ(stagingFolders(), QStringList());
    // The failure stays Chinese where it is kept and is shown in the interface language.
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    QStringList shown{view_->findChild<WrappedText*>(QStringLiteral("orvel.merid.status"))->text()};
    for (const WrappedText* label :
         view_->findChild<QWidget*>(QStringLiteral("orvel.merid.import-feedback"))->findChildren<WrappedText*>())
        if (!label->text().isEmpty()) shown << label->text();
    EXPECT_EQ(shown, QStringList(2, QStringLiteral("Import failed: Choose a DOCX or PPTX file.")));
    EXPECT_TRUE(controller().errorMessage().startsWith(QStringLiteral("导入失败：")));
}

TEST_F(WorkspaceViewTest, CourseEditorKeepsItsLimitsAndFollowsTheActiveSession) {
    make();
    controller().setShowCourseEditor(true);
    MeridCourseEditorView* editor = view_->lessonPane()->courseEditor();
    ASSERT_TRUE(editor->isVisible());
    QApplication::clipboard()->setText(QString(200, u'课'));
    QTest::keyClick(editor->courseField(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(controller().active().courseName, QString(90, u'课'));
    EXPECT_EQ(editor->courseField()->text(), QString(90, u'课'));
    // The toolbar's course title is one line cut with "…" where the toolbar ends.
    const LessonaryElidedLabel* title = view_->lessonPane()->titleLabel();
    EXPECT_EQ(title->fullText(), QString(90, u'课'));
    EXPECT_TRUE(title->text().endsWith(QStringLiteral("…"))) << title->text().toStdString();
    EXPECT_EQ(stored().first().courseName, QString(90, u'课'));

    // A topic edit forgets the outline topic and the latest reply; opening another session does not.
    controller().updateActive([](TeacherLearningSession& session) {
        session.latestClassroomResponse = QStringLiteral("讲解");
        session.lastPedagogicalAction = meridcore::MeridAction::continueLearning;
    });
    QTest::keyClicks(editor->topicField(), QStringLiteral("x"));
    EXPECT_EQ(controller().active().topicName, QStringLiteral("x"));
    EXPECT_FALSE(controller().active().latestClassroomResponse);
    EXPECT_FALSE(controller().active().lastPedagogicalAction);

    TeacherLearningSession other(0);
    other.topicName = QStringLiteral("弹性");
    other.latestClassroomResponse = QStringLiteral("保留");
    controller().openSession(other);
    EXPECT_EQ(editor->topicField()->text(), QStringLiteral("弹性"));
    EXPECT_EQ(editor->courseField()->text(), QString());
    EXPECT_EQ(controller().active().latestClassroomResponse, QStringLiteral("保留"));

    // Keystrokes keep the rows; a row opens the session as the list holds it when clicked.
    QTest::keyClicks(editor->topicField(), QStringLiteral("1"));
    QApplication::processEvents();
    const QList<MeridHistorySessionRow*> rows = view_->dockedCourses()->findChildren<MeridHistorySessionRow*>();
    ASSERT_EQ(rows.size(), 2);
    QTest::keyClicks(editor->topicField(), QStringLiteral("2"));
    EXPECT_EQ(view_->dockedCourses()->findChildren<MeridHistorySessionRow*>(), rows);
    MeridHistorySessionRow* open = rows.first()->isActive() ? rows.first() : rows.last();
    EXPECT_EQ(open->titleLabel()->fullText(), QStringLiteral("弹性12"));
    emit(open == rows.first() ? rows.last() : rows.first())->openRequested();
    emit open->openRequested();
    EXPECT_EQ(controller().active().topicName, QStringLiteral("弹性12"));
}

TEST_F(WorkspaceViewTest, SessionRowsAskBeforeDeleting) {
    TeacherLearningSession older(0);
    older.title = QStringLiteral("旧会话");
    TeacherLearningSession newer(0);
    newer.title = QStringLiteral("新会话一");
    newer.updatedAt = older.updatedAt.addingSeconds(60);
    meridcore::TeacherLearningStore(sessionsFile_).save({older, newer});
    make();
    QList<MeridHistorySessionRow*> rows = view_->dockedCourses()->findChildren<MeridHistorySessionRow*>();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows.first()->isActive()) << "the newest session opens and is listed first";

    // "取消" keeps every session; "永久删除" removes the one asked for.
    emit rows.last()->deleteRequested();
    ASSERT_TRUE(view_->deleteConfirmation());
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return view_->deleteConfirmation()->width() == ConfirmationSheet::sheetWidth; }));
    for (QAbstractButton* button : view_->deleteConfirmation()->buttons())
        if (button->text() == QStringLiteral("取消")) button->click();
    EXPECT_FALSE(controller().deleteCandidate());
    EXPECT_EQ(stored().size(), 2);

    rows = view_->dockedCourses()->findChildren<MeridHistorySessionRow*>();
    emit rows.last()->deleteRequested();
    ASSERT_TRUE(view_->deleteConfirmation());
    for (QAbstractButton* button : view_->deleteConfirmation()->buttons())
        if (button->text() == QStringLiteral("永久删除")) button->click();
    const QList<TeacherLearningSession> left = stored();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.first().title, QStringLiteral("新会话一"));
    EXPECT_EQ(view_->dockedCourses()->findChildren<MeridHistorySessionRow*>().size(), 1);
}

// A status line just shown is in sight and whole once it is scrolled to, in place of none or of a
// shorter one, and stays in sight while the lesson above it grows (formula pages report their heights
// after the column was scrolled), until the student scrolls.
TEST_F(WorkspaceViewTest, TheStatusLineStaysInSightWhileTheLessonGrows) {
    make(1300);
    view_->resize(1300, 500);
    MeridLessonPane* pane = view_->lessonPane();
    QScrollArea* column = pane->lessonScroll();
    const auto* status = view_->findChild<WrappedText*>(QStringLiteral("orvel.merid.status"));
    // Whole, and neither the column nor the line's own row cuts it.
    const auto inSight = [&] {
        return status->height() >= status->heightForWidth(status->width()) &&
               status->visibleRegion() == QRegion(status->rect());
    };
    const QString twoLines = MeridFormalWorkspaceController::saveFailurePrefix +
                             QStringLiteral(
                                 "无法写入文件：/home/student/.local/share/com.orvel.formac/users/"
                                 "u_student_42/teacher_sessions.json：磁盘空间不足");
    // A lesson longer than the column.
    pane->canvas()->setMinimumHeight(900);
    for (const QString& before : {QString(), QStringLiteral("已切换到真实教材章节；未发送 AI 请求。")}) {
        controller().setErrorMessage(before);
        ASSERT_TRUE(QTest::qWaitFor([&] { return before.isEmpty() ? !status->isVisible() : inSight(); }));
        controller().setErrorMessage(twoLines);
        // Scrolled to before any later layout pass of the column could put it right.
        QCoreApplication::sendPostedEvents(pane, QEvent::MetaCall);
        EXPECT_TRUE(inSight()) << "after \"" << before.toStdString() << "\"";
        ASSERT_EQ(status->shownLines().size(), 2);
    }
    controller().setErrorMessage(QStringLiteral("本轮已完成 2 次 AI 请求，已在需要学生作答或知识点边界处停下。"));
    ASSERT_TRUE(QTest::qWaitFor(inSight));
    pane->canvas()->setMinimumHeight(pane->canvas()->height() + 1400);
    EXPECT_TRUE(QTest::qWaitFor(inSight));
    // Scrolled back by the student: the lesson growing further leaves the column where it is.
    column->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    pane->canvas()->setMinimumHeight(pane->canvas()->height() + 600);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(column->verticalScrollBar()->value(), 0);
}

// The sessions are read off the main thread. Until they are in, the list does not say there are
// none and nothing that would change them acts; a screen that goes meanwhile writes nothing.
TEST_F(WorkspaceViewTest, NothingActsBeforeTheSessionsAreRead) {
    meridcore::TeacherLearningStore(sessionsFile_).save({TeacherLearningSession(0)});
    auto reading = std::make_shared<testsupport::ManualScheduler>();
    MeridFormalWorkspaceView& view = make(1300, reading);
    ASSERT_EQ(reading->pendingJobs(), 1);
    MeridLessonPane* pane = view.lessonPane();
    EXPECT_FALSE(view.dockedCourses()->emptyHistoryLabel()->isVisible());
    for (QWidget* control : std::initializer_list<QWidget*>{pane->importButton(), pane->pauseButton(), pane->saveMenu(),
                                                            pane->courseEditor()})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    controller().action(meridcore::MeridAction::continueLearning);
    EXPECT_FALSE(controller().busy());

    reading->runNextJob();
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->importButton()->isEnabled(); }));
    EXPECT_EQ(view.dockedCourses()->findChildren<MeridHistorySessionRow*>().size(), 1);

    // Another account's screen while its file is read.
    view_.reset();
    const QList<TeacherLearningSession> before = meridcore::TeacherLearningStore(sessionsFile_).load();
    auto other = std::make_shared<testsupport::ManualScheduler>();
    make(1300, other);
    view_.reset();
    other->runNextJob();
    EXPECT_EQ(meridcore::TeacherLearningStore(sessionsFile_).load(), before);
}

TEST(CoachHostTest, ChoosesTheSessionsFileByAccountState) {
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    const QString appFile = data.filePath(AccountDataScope::appNamespace() + QStringLiteral("/teacher_sessions.json"));
    const std::optional<QString> accountFile = AccountDataScope::meridSessionsURL(QStringLiteral("acct-7777"), data.path());
    ASSERT_TRUE(accountFile);
    const QString smoke = QStringLiteral("--qa-smoke-merid");
    const struct {
        QStringList arguments;
        std::optional<QString> accountID;
        bool signedIn;
        QString file;  // a prefix of the throwaway file's name, or the exact path
        QString identity;
    } cases[] = {
        {{}, std::nullopt, false, appFile, QStringLiteral("guest")},
        {{}, QStringLiteral("acct-7777"), true, *accountFile, QStringLiteral("acct-7777")},
        {{}, std::nullopt, true, QStringLiteral("orvel-merid-pending-"), QStringLiteral("pending")},
        {{}, QStringLiteral("../x"), true, QStringLiteral("orvel-merid-pending-"), QStringLiteral("../x")},
        {{}, QStringLiteral("../x"), false, appFile, QStringLiteral("../x")},
        {{smoke}, QStringLiteral("acct-7777"), true, QStringLiteral("orvel-merid-smoke-"), QStringLiteral("acct-7777")},
        {{smoke}, std::nullopt, false, QStringLiteral("orvel-merid-smoke-"), QStringLiteral("guest")},
        {{QStringLiteral("--qa-smoke")}, std::nullopt, false, appFile, QStringLiteral("guest")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity.toStdString() + " " + c.arguments.join(u' ').toStdString());
        const DizUviziView::Storage storage =
            DizUviziView::resolveStorage(c.arguments, c.accountID, c.signedIn, data.path());
        EXPECT_EQ(storage.identityKey, c.identity);
        if (c.file.startsWith(u'/'))
            EXPECT_EQ(storage.store.url(), c.file);
        else
            EXPECT_TRUE(QFileInfo(storage.store.url()).fileName().startsWith(c.file)) << storage.store.url().toStdString();
    }
    // Each throwaway store is a new file.
    EXPECT_NE(DizUviziView::resolveStorage({smoke}, std::nullopt, false).store.url(),
              DizUviziView::resolveStorage({smoke}, std::nullopt, false).store.url());
}

// Pictures of the tutor screen with imported material, wide and narrow with a drawer open, in the
// three interface languages, light and dark, written into the build tree for a person to look at.
// Each switch comes while the course drawer is closed, and reaches its rows and the import notice.
// In each: the lesson column and the long course list end at their last item, the list is never
// wider than the room its scroll bar leaves, and the material panel's arrows are drawn in the ink
// of the appearance (switched while the screen is shown).
TEST_F(WorkspaceViewTest, ScreenPictures) {
    QDir().mkpath(QStringLiteral(ORVEL_TUTOR_WORKSPACE_SCREENSHOT_DIR));
    QList<TeacherLearningSession> older;
    for (int i = 1; i <= 20; ++i) {
        const QString title = QStringLiteral("第 %1 次学习：供给与需求的弹性以及价格的变化").arg(i);
        older.append(TeacherLearningSession(0, {.title = title}));
        older.last().updatedAt = older.last().updatedAt.addingSeconds(-3600.0 * i);
    }
    meridcore::TeacherLearningStore(sessionsFile_).save(older);
    make(1300);
    importThroughToolbar(pdf(QStringLiteral("Principles of economics.pdf"), 3));
    controller().setShowCourseEditor(true);
    // The tutor's connection is lost before its reply, as the network layer words it.
    controller().action(meridcore::MeridAction::continueLearning);
    ASSERT_TRUE(QTest::qWaitFor([this] { return tutor_->unanswered() == 1; }));
    tutor_->fail(std::make_exception_ptr(
        net::NetworkError(net::NetworkError::Kind::notConnected, QStringLiteral("Connection closed"))));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !controller().busy(); }));
    const struct {
        InterfaceLanguage language;
        const char* code;
        const char* status;
    } languages[] = {{InterfaceLanguage::chinese, "zh", "连接已关闭"},
                     {InterfaceLanguage::english, "en", "Connection closed"},
                     {InterfaceLanguage::french, "fr", "Connexion fermée"}};
    for (const InterfaceAppearance look : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
        ApplicationAppearance::shared().apply(look);
        for (const auto& lang : languages) {
            InterfaceSettings::shared().setLanguage(lang.language);
            EXPECT_EQ(view_->findChild<WrappedText*>(QStringLiteral("orvel.merid.status"))->text(),
                      QString::fromUtf8(lang.status));
            const QString suffix = QStringLiteral("-%1-%2").arg(QLatin1String(lang.code),
                                                              look == InterfaceAppearance::dark ? "dark" : "light");
            for (const auto& [width, name] : {std::pair{1000, "workspace-courses"}, std::pair{1300, "workspace-wide"},
                                              std::pair{760, "workspace-narrow"}}) {
                view_->resize(width, 800);
                controller().setTeacherDrawerOpen(width < 780);
                controller().setCompactCoursesOpen(width == 1000);
                QApplication::processEvents();
                // The course list shown has all its rows (made a few at a time).
                const auto allRows = [&] {
                    for (const MeridCourseLibraryView* courses : view_->findChildren<MeridCourseLibraryView*>())
                        if (courses->isVisible() &&
                            courses->findChildren<MeridHistorySessionRow*>().size() != controller().sessions().size())
                            return false;
                    return true;
                };
                EXPECT_TRUE(QTest::qWaitFor(allRows)) << name;
                ASSERT_TRUE(view_->grab().save(QStringLiteral(ORVEL_TUTOR_WORKSPACE_SCREENSHOT_DIR "/") +
                                               QLatin1String(name) + suffix + QStringLiteral(".png")));
                const std::string context = QString(QLatin1String(name) + suffix).toStdString();
                // Scrolled to its end, a column shows no empty band below its last item (beyond its
                // margin), unless it is shorter than its view (once the relayout a switch asked for
                // has run).
                const auto bandBelow = [](const QScrollArea* area, int margin) {
                    const QWidget* content = area->widget();
                    int lastBottom = 0;
                    for (const QWidget* item : content->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                        if (item->isVisible()) lastBottom = std::max(lastBottom, item->geometry().bottom() + 1);
                    return content->height() <= area->viewport()->height() ? 0
                                                                           : content->height() - lastBottom - margin;
                };
                const QScrollArea* column = view_->lessonPane()->lessonScroll();
                EXPECT_TRUE(QTest::qWaitFor([&] { return bandBelow(column, 24) <= 0; }))
                    << context << ": " << bandBelow(column, 24) << " below the lesson";
                for (const MeridCourseLibraryView* courses : view_->findChildren<MeridCourseLibraryView*>()) {
                    if (!courses->isVisible()) continue;
                    const auto* list = courses->findChild<QScrollArea*>();
                    EXPECT_TRUE(QTest::qWaitFor([&] { return bandBelow(list, 0) <= 0; }))
                        << context << ": " << bandBelow(list, 0) << " below the sessions";
                    EXPECT_LE(list->widget()->width(), list->viewport()->width())
                        << context << ": under the scroll bar";
                    const auto* next = courses->findChild<QToolButton*>(QStringLiteral("orvel.merid.chunk-next"));
                    const QImage arrow = next->icon().pixmap(QSize(14, 14), 1.0, QIcon::Normal).toImage();
                    QColor strongest(Qt::transparent);
                    for (int y = 0; y < arrow.height(); ++y)
                        for (int x = 0; x < arrow.width(); ++x)
                            if (arrow.pixelColor(x, y).alpha() > strongest.alpha()) strongest = arrow.pixelColor(x, y);
                    const QColor ink = LessonaryMERIDPalette::ink(
                        look == InterfaceAppearance::dark ? ColorScheme::dark : ColorScheme::light);
                    EXPECT_LT(std::abs(strongest.lightness() - ink.lightness()), 40) << context << ": arrow colour";
                }
            }
        }
    }
    // Last switched to French and dark.
    const QString notice = view_->lessonPane()->importNotice()->findChild<WrappedText*>()->text();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Fichier importé"))) << notice.toStdString();
    const MeridHistorySessionRow* row = view_->courseDrawer()->findChild<MeridHistorySessionRow*>();
    ASSERT_TRUE(row);
    EXPECT_EQ(row->evidenceLabel()->fullText(), QStringLiteral("Pas encore vérifié"));
    EXPECT_EQ(row->evidenceLabel()->palette().color(QPalette::WindowText),
              ApplicationAppearance::palette(ColorScheme::dark).color(QPalette::PlaceholderText));
    ApplicationAppearance::shared().apply(InterfaceAppearance::light);
}
