// The home page offscreen, driven through the real store with the answer service on the loopback
// stub: the input card, the control bar, the answer, recent history, banner and footer, the PDF
// page-range sheet and the capture guide, and pictures of the page for a person to look at.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "app/account/account_data_scope.h"
#include "app/main-window/answer_section.h"
#include "app/main-window/answer_text.h"
#include "app/main-window/application_parts.h"
#include "app/main-window/capture_guide_view.h"
#include "app/main-window/content_view.h"
#include "app/main-window/control_bar.h"
#include "app/main-window/elided_label.h"
#include "app/main-window/error_banner.h"
#include "app/main-window/home_footer.h"
#include "app/main-window/home_page.h"
#include "app/main-window/home_page_sheets.h"
#include "app/main-window/input_card.h"
#include "app/main-window/main_window.h"
#include "app/main-window/recent_history_section.h"
#include "app/main-window/relative_time.h"
#include "app/main-window/surface_card.h"
#include "app/shell/application_appearance.h"
#include "app/shell/file_chooser.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/tests/fake_selection_controller.h"
#include "app/shell/tests/store_test_doubles.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"
#include "app/shell/wrapped_text.h"
#include "app/tutor-lesson/busy_spinner.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace velquin {
namespace {

using storetest::StoreFixture;
using tamsel::ModelAnswer;

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

// Answers the import dialog as the test says.
class FakeChooser : public FileChooser {
public:
    QList<Request> requests;
    std::function<void(const QUrl&)> pending;

    void chooseFileToOpen(QWidget*, const Request& request, std::function<void(const QUrl&)> chosen) override {
        requests.append(request);
        pending = std::move(chosen);
    }
    void chooseSaveLocation(QWidget*, const Request&, std::function<void(const QUrl&)>) override {}
};

class HomePageTest : public StoreFixture {
protected:
    HomePageTest() : coach(defaults) {
        scheduler->automatic = true;
        addHomePageSheets(parts);
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    }
    ~HomePageTest() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    }

    MainWindow& window() {
        if (!window_) {
            router = std::make_unique<WorkspaceRouter>(windows, scheduler,
                                                       [this] { return store().selectionPresentation(); });
            window_ = std::make_unique<MainWindow>(store(), *router, selection, coach, parts, defaults);
            window_->resize(MainWindow::workspaceIdeal);
            window_->show();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        }
        return *window_;
    }
    HomePage& home() { return *window().contentView()->homePage(); }
    InputCard& input() { return *home().inputCard(); }
    ControlBar& bar() { return *home().controlBar(); }
    AnswerSection& answers() { return *home().answerSection(); }
    RecentHistorySection& recent() { return *home().recentHistory(); }
    template <typename Sheet>
    Sheet* sheet() {
        for (Sheet* candidate : window().findChildren<Sheet*>())
            if (candidate->isVisible()) return candidate;
        return nullptr;
    }

    void pressCtrlReturn() { QTest::keyClick(input().editor(), Qt::Key_Return, Qt::ControlModifier); }

    // A record `ageSeconds` before `now`.
    LearningRecord record(const QString& source, double ageSeconds, const QString& mode = "explain") const {
        return {QUuid::createUuid(),
                now.addingSeconds(-ageSeconds),
                mode,
                source,
                source + QStringLiteral(" — answer"),
                false};
    }
    // The guest history file holds `records` (newest first), and the history reads it again.
    void writeHistory(const QList<LearningRecord>& records) {
        const QString path = *AccountDataScope::legacyLearningHistory(dir.filePath(QStringLiteral("data")));
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(learning_history::encode(records));
        file.close();
        history->switchToGuest();
    }

    const base::Date now = base::Date::now();
    OrvelNativeCoach coach;
    storetest::FakeSelectionController selection;
    ApplicationParts parts;
    std::unique_ptr<WorkspaceRouter> router;

private:
    std::unique_ptr<MainWindow> window_;
};

// The counter counts user-perceived characters of the text as it stands and turns red past 1,500,
// where the send button stops accepting it; blank text shows its count but cannot be sent.
TEST_F(HomePageTest, CounterPlaceholderAndSendFollowTheSource) {
    struct Row {
        QString source;
        QString counter;
        bool over;
        bool canSend;
    };
    const QList<Row> rows{
        {QString(), s("0 / 1,500"), false, false},
        {s("e\u0301").repeated(1500), s("1500 / 1,500"), false, true},
        {QStringLiteral("a").repeated(1501), s("1501 / 1,500"), true, false},
        {s("  \n"), s("3 / 1,500"), false, false},
        {s("\U0001F468\u200D\U0001F469\u200D\U0001F467 ok"), s("4 / 1,500"), false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.counter.toStdString());
        store().setSource(row.source);
        EXPECT_EQ(input().counter()->text(), row.counter);
        EXPECT_EQ(input().counter()->property("overLimit").toBool(), row.over);
        EXPECT_EQ(input().editor()->toPlainText().size(), row.source.size());
        EXPECT_EQ(input().placeholder()->isVisibleTo(&input()), row.source.isEmpty());
        EXPECT_EQ(input().sourceNote()->isVisibleTo(&input()), !row.source.isEmpty());
        EXPECT_EQ(input().clearButton()->isEnabled(), !row.source.isEmpty());
        EXPECT_EQ(bar().sendButton()->isEnabled(), row.canSend);
        // The paste button keeps the width of its title, with or without the note beside it.
        QPushButton* paste = input().pasteButton();
        EXPECT_TRUE(waitUntil([&] { return paste->width() == paste->sizeHint().width(); }));
    }
    input().clearButton()->click();
    EXPECT_EQ(store().source(), QString());
    EXPECT_EQ(bar().sendButton()->text(), s("帮我讲明白"));
    store().setSource(QStringLiteral("/home/student/notes.pdf"));
    EXPECT_EQ(bar().sendButton()->text(), s("读取文件内容"));
}

// What is typed reaches the store, what the store holds shows in the editor, and the editor
// changes nothing on the way (no-break spaces, line separators).
TEST_F(HomePageTest, EditorAndStoreHoldOneText) {
    QPlainTextEdit* editor = input().editor();
    editor->setFocus();
    QTest::keyClicks(editor, QStringLiteral("abc"));
    EXPECT_EQ(store().source(), QStringLiteral("abc"));
    EXPECT_EQ(input().counter()->text(), s("3 / 1,500"));

    store().setSource(s("x\u00A0y\u2028z\nw"));
    EXPECT_EQ(editor->document()->toRawText(), s("x\u00A0y\u2028z\u2029w"));
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral("!"));
    EXPECT_EQ(store().source(), s("x\u00A0y\u2028z\nw!"));
}

// Ctrl+Return sends once while the send button can; while busy the bar shows the spinner and
// "停止", both pickers are off, and Ctrl+Return does nothing. The answer then fills the card and
// the recent list.
TEST_F(HomePageTest, SendStopAndAnswerThroughTheBar) {
    QSignalSpy sendClicks(bar().sendButton(), &QPushButton::clicked);
    pressCtrlReturn();
    EXPECT_EQ(sendClicks.count(), 0) << "nothing to send";

    store().setSource(QStringLiteral("Why is the sky blue?"));
    stub.enqueue(answerPath, testsupport::ScriptedReply::held());
    pressCtrlReturn();
    EXPECT_EQ(sendClicks.count(), 1);
    ASSERT_TRUE(waitUntil([&] { return stub.requests().size() == 1; }));
    EXPECT_TRUE(store().isBusy());
    EXPECT_TRUE(bar().spinner()->isVisible());
    EXPECT_TRUE(bar().spinner()->isSpinning());
    EXPECT_TRUE(bar().stopButton()->isVisible());
    EXPECT_FALSE(bar().sendButton()->isVisible());
    EXPECT_FALSE(bar().modeSegments().first()->isEnabled());
    EXPECT_FALSE(bar().languagePicker()->isEnabled());
    EXPECT_FALSE(input().editor()->isEnabled());
    EXPECT_EQ(answers().placeholderSymbol()->property("symbol").toString(), QStringLiteral("ellipsis.bubble"));
    EXPECT_EQ(answers().placeholderText()->text(), s("正在处理，请稍候…"));
    EXPECT_TRUE(home().footer()->dot()->property("busy").toBool());
    pressCtrlReturn();
    EXPECT_EQ(sendClicks.count(), 1) << "sent again while busy";

    bar().stopButton()->click();
    EXPECT_FALSE(store().isBusy());
    EXPECT_EQ(home().footer()->status()->text(), s("已停止"));
    EXPECT_TRUE(bar().sendButton()->isVisible());
    EXPECT_FALSE(bar().spinner()->isVisible());
    EXPECT_EQ(answers().placeholderSymbol()->property("symbol").toString(), QStringLiteral("sparkles"));

    // The language is stored; the mode buttons choose the mode.
    bar().languagePicker()->setCurrentIndex(2);
    emit bar().languagePicker()->activated(2);
    EXPECT_EQ(defaults.string(QStringLiteral("answerLanguage")), QStringLiteral("english"));
    bar().modeSegments().at(0)->click();
    EXPECT_EQ(store().mode(), tamsel::StudyMode::translate);
    EXPECT_EQ(bar().sendButton()->text(), s("翻译这段文字"));

    stub.enqueue(answerPath, testsupport::ScriptedReply::answer(QStringLiteral("Light scatters.")));
    pressCtrlReturn();
    ASSERT_TRUE(waitUntil([&] { return store().answer().has_value(); }));
    EXPECT_EQ(stub.requests().size(), 2);
    EXPECT_EQ(stub.requests().last().json().value(QStringLiteral("mode")).toString(), QStringLiteral("translate"));
    EXPECT_TRUE(answers().answerCard()->isVisible());
    EXPECT_FALSE(answers().placeholderCard()->isVisible());
    EXPECT_EQ(answers().answerText()->toPlainText(), QStringLiteral("Light scatters."));
    EXPECT_FALSE(answers().warningRow()->isVisible());
    ASSERT_EQ(recent().reopenButtons().size(), 1);
    EXPECT_EQ(recent().reopenButtons().first()->source(), QStringLiteral("Why is the sky blue?"));
    EXPECT_EQ(home().footer()->status()->text(), s("已完成"));
    EXPECT_TRUE(stub.violations().isEmpty()) << stub.violations().join(u'\n').toStdString();
}

// An answer too long to lay out shows its beginning and a note; an unbroken run wraps within the
// card; copy and export still take the whole answer.
TEST_F(HomePageTest, LongAnswersShowTheirBeginningAndCopyAndExportWhole) {
    struct Row {
        const char* name;
        QString answer;
        bool cut;
    };
    QString unbroken(200 * 1000, u'a');
    for (qsizetype i = 0; i < unbroken.size(); ++i) unbroken[i] = QChar(char16_t(u'a' + i % 26));
    const QList<Row> rows{
        {"200 KB without spaces", unbroken, true},
        {"words, one paragraph", QStringLiteral("Light scatters in the air. ").repeated(40000), true},
        {"an ordinary answer with a long word",
         QStringLiteral("Pneumonoultramicroscopicsilicovolcanoconiosis ").repeated(3), false},
        {"command-line switches", QStringLiteral("Start it with --local-service --force-renderer-accessibility."),
         false},
    };
    files->path = dir.filePath(QStringLiteral("Orvel-Result.txt"));
    store().setSource(QStringLiteral("Why is the sky blue?"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        store().setAnswer(ModelAnswer{row.answer, std::nullopt, std::nullopt, std::nullopt});
        window();
        AnswerText* text = answers().answerText();
        EXPECT_EQ(text->answer(), row.answer);
        EXPECT_EQ(answers().cutNote()->isVisible(), row.cut);
        EXPECT_EQ(answers().cutNote()->text(), s("回答太长，这里只显示开头部分；“复制”可取得完整回答。"));
        EXPECT_EQ(text->toPlainText().endsWith(QStringLiteral("…")), row.cut);
        EXPECT_LE(text->document()->idealWidth(), text->viewport()->width()) << "wraps within the card";
        // Screen readers read the part shown as written, without the view's break opportunities.
        QAccessibleTextInterface* reader = QAccessible::queryAccessibleInterface(text)->textInterface();
        const QString read = reader->text(0, reader->characterCount());
        EXPECT_EQ(read, row.cut ? row.answer.left(read.size() - 1) + QStringLiteral("…") : row.answer);
        text->selectAll();
        text->copy();
        if (row.cut) {
            EXPECT_TRUE(row.answer.startsWith(QApplication::clipboard()->text()));
        } else {
            EXPECT_EQ(QApplication::clipboard()->text(), row.answer);
        }
        answers().copyButton()->click();
        EXPECT_EQ(clipboard->text, row.answer);
        answers().exportButton()->click();
        QFile exported(*files->path);
        ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
        EXPECT_EQ(exported.readAll(), row.answer.toUtf8());
    }

    // The end of the card with the note, in each language, for a person to look at.
    store().setAnswer(ModelAnswer{unbroken, std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR)));
    for (const InterfaceLanguage language :
         {InterfaceLanguage::chinese, InterfaceLanguage::english, InterfaceLanguage::french}) {
        InterfaceSettings::shared().setLanguage(language);
        for (int turn = 0; turn < 4; ++turn) QCoreApplication::processEvents();
        SurfaceCard* card = answers().answerCard();
        EXPECT_TRUE(
            card->grab(QRect(0, card->height() - 160, card->width(), 160))
                .save(
                    QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/long-answer-end-%1.png").arg(base::rawValue(language))));
    }
}

// An answer with a warning shows it above the text; copy and export take the answer alone; the
// tutor button hands the source over; the banner shows an error until it is closed.
TEST_F(HomePageTest, AnswerWarningCopyExportAndBanner) {
    store().setSource(QStringLiteral("  Explain osmosis. "));
    store().setAnswer(ModelAnswer{QStringLiteral("Water moves across a membrane."), QStringLiteral("Check the units."),
                                  std::nullopt, std::nullopt});
    window();
    EXPECT_TRUE(answers().warningRow()->isVisible());
    EXPECT_EQ(answers().warningLabel()->text(), QStringLiteral("Check the units."));
    EXPECT_TRUE(answers().copyButton()->isVisible() && answers().copyButton()->isEnabled());
    EXPECT_TRUE(answers().exportButton()->isVisible() && answers().exportButton()->isEnabled());
    EXPECT_TRUE(answers().answerText()->isReadOnly());
    EXPECT_TRUE(answers().answerText()->textInteractionFlags() & Qt::TextSelectableByMouse);

    answers().copyButton()->click();
    EXPECT_EQ(clipboard->text, QStringLiteral("Water moves across a membrane."));
    EXPECT_EQ(home().footer()->status()->text(), s("答案已复制"));
    files->path = dir.filePath(QStringLiteral("Orvel-Result.txt"));
    answers().exportButton()->click();
    QFile exported(*files->path);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll(), QByteArray("Water moves across a membrane."));
    EXPECT_EQ(home().footer()->status()->text(), s("答案已导出"));

    store().setAnswer(ModelAnswer{QStringLiteral("Again."), QString(), std::nullopt, std::nullopt});
    EXPECT_TRUE(answers().warningRow()->isVisible()) << "an empty warning still shows its symbol";

    answers().tutorButton()->click();
    EXPECT_EQ(store().tutorHandoffSource(), std::optional<QString>(QStringLiteral("Explain osmosis.")));
    EXPECT_EQ(router->page(), WorkspaceRouter::Page::coach);
    router->open(WorkspaceRouter::Page::home);
    store().setSource(s(" \n"));
    EXPECT_FALSE(answers().tutorButton()->isVisible());

    EXPECT_FALSE(home().errorBanner()->isVisible());
    store().setErrorMessage(s("剪贴板没有文字。图片请使用“粘贴图片”。"));
    EXPECT_TRUE(home().errorBanner()->isVisible());
    EXPECT_EQ(home().errorBanner()->closeButton()->accessibleName(), s("关闭提示"));
    home().errorBanner()->closeButton()->click();
    EXPECT_EQ(store().errorMessage(), std::nullopt);
    EXPECT_FALSE(home().errorBanner()->isVisible());
}

// The newest three records, named by their upper-case ids; reopening one asks no service; the
// note button marks it in the history file.
TEST_F(HomePageTest, RecentHistoryReopensAndMarksNotes) {
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    recent().setClock([this] { return now; });
    QList<LearningRecord> records{
        record(s("第一条\n两行"), 30), record(QStringLiteral("Lesson"), 7200, QStringLiteral("MERID")),
        record(QStringLiteral("Third"), 3 * 86400, QStringLiteral("translate")),
        record(QStringLiteral("Fourth"), 20 * 86400), record(QStringLiteral("Fifth"), 400 * 86400)};
    writeHistory(records);
    const auto& buttons = recent().reopenButtons();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_FALSE(recent().emptyText()->isVisible());
    const QStringList times{QStringLiteral("30 seconds ago"), QStringLiteral("2 hours ago"),
                            QStringLiteral("3 days ago")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(buttons[i]->objectName(),
                  QStringLiteral("orvel.history.reopen.") + records[i].id.toString(QUuid::WithoutBraces).toUpper());
        EXPECT_EQ(recent().findChild<QWidget*>(buttons[i]->objectName()), buttons[i]);
        EXPECT_EQ(buttons[i]->timeText(), times[i]);
    }
    EXPECT_EQ(buttons[0]->source(), s("第一条 两行"));

    buttons[1]->click();
    EXPECT_EQ(store().source(), QStringLiteral("Lesson"));
    EXPECT_EQ(store().mode(), tamsel::StudyMode::explain);
    EXPECT_EQ(answers().answerText()->toPlainText(), s("Lesson — answer"));
    EXPECT_EQ(answers().detailLabel()->text(), s("Opened from an existing result · AI not called again"));
    EXPECT_TRUE(stub.requests().isEmpty());
    EXPECT_EQ(token->loads, 0);

    EXPECT_EQ(recent().noteButtons()[2]->toolTip(), QStringLiteral("Add to notes"));
    recent().noteButtons()[2]->click();
    ASSERT_TRUE(history->records()[2].isNote);
    EXPECT_EQ(recent().noteButtons()[2]->property("symbol").toString(), QStringLiteral("bookmark.fill"));
    EXPECT_NE(recent().noteButtons()[2]->toolTip(), QStringLiteral("Add to notes"));
    history->switchToGuest();
    EXPECT_TRUE(history->records()[2].isNote) << "the mark is in the file";

    InterfaceSettings::shared().setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(recent().reopenButtons()[1]->timeText(), QStringLiteral("il y a 2 heures"));
    history->deleteAll();
    EXPECT_TRUE(recent().reopenButtons().isEmpty());
    EXPECT_TRUE(recent().emptyText()->isVisible());
}

TEST(RelativeTime, WordsTheAgeInEachLanguageAndKnowsWhenItChanges) {
    using L = InterfaceLanguage;
    struct Row {
        double age;
        const char* chinese;
        const char* english;
        const char* french;
        double nextChange;
    };
    const Row rows[] = {
        {-5, "0 秒前", "0 seconds ago", "il y a 0 seconde", 1},
        {1.5, "1 秒前", "1 second ago", "il y a 1 seconde", 0.5},
        {59.9, "59 秒前", "59 seconds ago", "il y a 59 secondes", 0.1},
        {60, "1 分钟前", "1 minute ago", "il y a 1 minute", 60},
        {3599, "59 分钟前", "59 minutes ago", "il y a 59 minutes", 1},
        {7200, "2 小时前", "2 hours ago", "il y a 2 heures", 3600},
        {86400, "1 天前", "1 day ago", "il y a 1 jour", 86400},
        {29 * 86400, "4 周前", "4 weeks ago", "il y a 4 semaines", 86400},
        {31 * 86400, "1 个月前", "1 month ago", "il y a 1 mois", 29 * 86400},
        {800 * 86400, "2 年前", "2 years ago", "il y a 2 ans", 365 * 3 * 86400 - 800 * 86400},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.english);
        EXPECT_EQ(RelativeTime::text(row.age, L::chinese), s(row.chinese));
        EXPECT_EQ(RelativeTime::text(row.age, L::english), s(row.english));
        EXPECT_EQ(RelativeTime::text(row.age, L::french), s(row.french));
        EXPECT_NEAR(RelativeTime::secondsUntilChange(row.age), row.nextChange, 1e-6);
    }
}

TEST(PDFRangeView, ValidRanges) {
    struct Row {
        int first, last, pages;
        bool valid;
    };
    const Row rows[] = {{1, 1, 1, true},  {1, 20, 30, true}, {1, 21, 30, false}, {0, 3, 5, false}, {2, 1, 5, false},
                        {1, 6, 5, false}, {1, 0, 0, false},  {11, 30, 30, true}, {-1, 3, 5, false}};
    for (const Row& row : rows)
        EXPECT_EQ(PDFRangeView::isValid(row.first, row.last, row.pages), row.valid)
            << row.first << "-" << row.last << " of " << row.pages;
}

// The staged PDF's sheet opens on pages 1 to 5; an unusable range shows its error and neither the
// button nor Return extracts; Escape discards the staged copy once; extracting takes the copy
// over and leaves none behind.
TEST_F(HomePageTest, PdfRangeSheetFromImportToText) {
    window();
    importer->pageCount = 12;
    store().importURL(QUrl::fromLocalFile(QStringLiteral("/home/student/Biology notes.pdf")));
    ASSERT_TRUE(waitUntil([&] { return sheet<PDFRangeView>() != nullptr; }));
    PDFRangeView* range = sheet<PDFRangeView>();
    EXPECT_EQ(range->windowModality(), Qt::WindowModal);
    EXPECT_EQ(range->firstField()->text(), QStringLiteral("1"));
    EXPECT_EQ(range->lastField()->text(), QStringLiteral("5"));
    EXPECT_FALSE(range->errorLine()->isVisible());
    EXPECT_EQ(range->pageCountLine()->text(), s("共 12 页 · 每次最多提取 20 页；AI 回答单次最多接收 1,500 字符"));
    EXPECT_EQ(range->width(), 460);
    EXPECT_EQ(range->importButton()->text(), s("提取文字"));
    EXPECT_EQ(range->errorLine()->text(), s("请填写有效页码，且一次不超过 20 页。"));
    ASSERT_TRUE(range->hintLine());
    EXPECT_TRUE(range->objectName().isEmpty());
    QTest::keyClick(range, Qt::Key_Escape);
    EXPECT_FALSE(store().pdfChoice().has_value());
    EXPECT_TRUE(importer->live.isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(importer->removed.size(), 1) << "the staged copy is discarded exactly once";

    importer->pageCount = 30;
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    store().importURL(QUrl::fromLocalFile(QStringLiteral("/home/student/book.pdf")));
    ASSERT_TRUE(waitUntil([&] { return sheet<PDFRangeView>() != nullptr; }));
    range = sheet<PDFRangeView>();
    EXPECT_EQ(range->pageCountLine()->text(),
              QStringLiteral("30 pages · Up to 20 pages per import; AI requests accept up to 1,500 characters"));
    range->lastField()->setText(QStringLiteral("21"));
    EXPECT_TRUE(range->errorLine()->isVisible());
    EXPECT_FALSE(range->importButton()->isEnabled());
    QTest::keyClick(range->lastField(), Qt::Key_Return);
    EXPECT_TRUE(range->isVisible());
    EXPECT_TRUE(importer->extractedFiles.isEmpty());

    range->firstField()->setText(QStringLiteral("2"));
    EXPECT_FALSE(range->errorLine()->isVisible());
    QTest::keyClick(range->lastField(), Qt::Key_Return);
    EXPECT_FALSE(store().pdfChoice().has_value());
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(importer->extractedRanges.size(), 1);
    EXPECT_EQ(importer->extractedRanges.first(), std::optional<PageRange>(PageRange{2, 21}));
    EXPECT_EQ(input().editor()->toPlainText(), QStringLiteral("extracted text"));
    EXPECT_TRUE(importer->live.isEmpty());
    EXPECT_EQ(importer->removed.count(importer->extractedFiles.first()), 1);
}

// The capture guide's capture starts a quarter of a second after the sheet closed, never before;
// pasting starts at once; while the store is busy only "取消" and Escape work.
TEST_F(HomePageTest, CaptureGuideStartsTheCaptureAfterItCloses) {
    window();
    input().captureAction()->trigger();
    CaptureGuideView* guide = sheet<CaptureGuideView>();
    ASSERT_TRUE(guide);
    ASSERT_EQ(guide->stepLines().size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(guide->stepLines()[i]->text().startsWith(QString::number(i + 1) + ". "));

    QElapsedTimer sinceClose;
    guide->captureButton()->click();
    sinceClose.start();
    EXPECT_FALSE(store().showCaptureGuide());
    EXPECT_FALSE(guide->isVisible());
    EXPECT_EQ(capture->calls, 0);
    ASSERT_TRUE(waitUntil([&] { return capture->calls == 1; }));
    EXPECT_GE(sinceClose.elapsed(), CaptureGuideView::captureDelayMs - 5);
    EXPECT_TRUE(bar().spinner()->isVisible()) << "the capture runs as the store's busy work";
    capture->succeed({QStringLiteral("captured words"), QStringLiteral("capture note")});
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(input().editor()->toPlainText(), QStringLiteral("captured words"));

    store().setSource(QStringLiteral("question"));
    stub.enqueue(answerPath, testsupport::ScriptedReply::held());
    store().submit();
    store().setShowCaptureGuide(true);
    guide = sheet<CaptureGuideView>();
    ASSERT_TRUE(guide);
    EXPECT_FALSE(guide->captureButton()->isEnabled());
    EXPECT_FALSE(guide->pasteButton()->isEnabled());
    QTest::keyClick(guide, Qt::Key_Return);
    EXPECT_TRUE(guide->isVisible());
    QTest::keyClick(guide, Qt::Key_Escape);
    EXPECT_FALSE(store().showCaptureGuide());
    store().cancel();

    clipboard->image = QByteArray("png bytes");
    store().setShowCaptureGuide(true);
    guide = sheet<CaptureGuideView>();
    ASSERT_TRUE(guide);
    guide->pasteButton()->click();
    EXPECT_FALSE(store().showCaptureGuide());
    EXPECT_TRUE(store().isBusy()) << "the paste started at once";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(importer->recognizedImages, QList<QByteArray>{QByteArray("png bytes")});
    EXPECT_EQ(capture->calls, 1);
}

// The import item opens the file dialog (not while busy); the chosen file goes to the store.
TEST_F(HomePageTest, ImportDialogHandsTheChosenFileToTheStore) {
    auto chooser = std::make_shared<FakeChooser>();
    router = std::make_unique<WorkspaceRouter>(windows, scheduler, [] { return false; });
    HomePage page(store(), *router, coach, chooser);
    page.inputCard()->importFileAction()->trigger();
    ASSERT_EQ(chooser->requests.size(), 1);
    EXPECT_EQ(chooser->requests.first().title, s("导入文件"));
    EXPECT_EQ(chooser->requests.first().patternsTitle, s("图片、PDF、TXT 和 Markdown")) << "the filter has a name";
    for (const char* pattern : {"*.pdf", "*.txt", "*.md", "*.png", "*.jpg"})
        EXPECT_TRUE(chooser->requests.first().patterns.contains(QString::fromLatin1(pattern))) << pattern;
    chooser->pending(QUrl::fromLocalFile(QStringLiteral("/home/student/words.txt")));
    EXPECT_TRUE(store().isBusy());
    page.inputCard()->openImportDialog();
    EXPECT_EQ(chooser->requests.size(), 1) << "no dialog while busy";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(page.inputCard()->editor()->toPlainText(), QStringLiteral("extracted text"));
    EXPECT_EQ(page.inputCard()->sourceNote()->text(), QStringLiteral("extracted note"));
}

// The page with an answer, three records and an error, in each language and appearance, saved for
// a person to look at; no button is narrower than its text.
// The note on where the text came from shows whole beside the buttons, wrapping where it must, at
// the window's first and smallest size in every language: the longest of the store's own notes and
// one naming a file without spaces.
TEST_F(HomePageTest, SourceNoteShowsWholeBesideTheButtons) {
    QDir().mkpath(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR));
    store().setSource(s("机会成本是什么？"));
    const QString notes[] = {s("来自系统文本服务；仅在你明确同意 AI 处理后才会发送。"),
                             QStringLiteral("Lecture_07_") + QString(150, u'x') + QStringLiteral(".pdf")};
    const std::pair<InterfaceLanguage, const char*> languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    for (const QSize size : {MainWindow::workspaceIdeal, MainWindow::workspaceMinimum}) {
        window().resize(size);
        for (const auto& [language, code] : languages) {
            InterfaceSettings::shared().setLanguage(language);
            for (int i = 0; i < 2; ++i) {
                SCOPED_TRACE(std::string(code) + " " + std::to_string(size.width()) + " " + std::to_string(i));
                store().setSourceNote(notes[i]);
                WrappedText* note = input().sourceNote();
                // The card takes the note's lines, and the buttons their new titles, once the outer
                // layouts have followed.
                EXPECT_TRUE(waitUntil([&] {
                    for (QPushButton* button : input().findChildren<QPushButton*>())
                        if (button->isVisible() && button->width() < button->sizeHint().width()) return false;
                    return note->height() >= note->heightForWidth(note->width()) &&
                           note->parentWidget()->rect().contains(note->geometry()) &&
                           input().height() >= input().minimumSizeHint().height();
                }));
                EXPECT_EQ(note->text(), UIStrings::text(notes[i]));
                EXPECT_EQ(note->shownLines().join(QString()), note->text());
                const QRect placed(note->mapTo(&input(), QPoint(0, 0)), note->size());
                EXPECT_TRUE(input().rect().contains(placed));
                // Below the editor, however many lines it takes.
                const QWidget* editorFrame = input().editor()->parentWidget();
                EXPECT_GE(placed.top(), editorFrame->mapTo(&input(), QPoint(0, editorFrame->height())).y());
                // Clear of the buttons on its left.
                for (QPushButton* button : input().findChildren<QPushButton*>()) {
                    if (!button->isVisible() || button->parentWidget() != note->parentWidget()) continue;
                    EXPECT_LE(button->geometry().right(), note->geometry().left()) << button->text().toStdString();
                }
                for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
                    ApplicationAppearance::shared().apply(appearance);
                    QApplication::processEvents();
                    EXPECT_TRUE(window().grab().save(
                        QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/source-note-%1-%2-%3-%4.png")
                            .arg(QLatin1String(code), appearance == InterfaceAppearance::dark ? "dark" : "light")
                            .arg(size.width())
                            .arg(i)));
                }
                ApplicationAppearance::shared().apply(InterfaceAppearance::light);
            }
        }
    }
}

// At the window's default size the empty page is as tall as its column, never taller: in English
// it shows down to its footer without scrolling.
TEST_F(HomePageTest, DefaultSizeShowsTheWholeEmptyPage) {
    window().resize(window().idealSize());
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    const QWidget* footer = home().footer();
    EXPECT_TRUE(waitUntil([&] {
        return home().verticalScrollBar()->maximum() == 0 &&
               footer->mapTo(home().viewport(), QPoint(0, footer->height())).y() <= home().viewport()->height();
    }));
}

TEST_F(HomePageTest, ScreenshotsInThreeLanguagesLightAndDark) {
    QDir().mkpath(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR));
    writeHistory({record(s("光合作用把光能转化为化学能。"), 90), record(QStringLiteral("Opportunity cost"), 3 * 3600),
                  record(s("Qu’est-ce que l’osmose ?"), 2 * 86400)});
    store().setSource(s("Opportunity cost is the value of the next best alternative you give up. 机会成本是什么？"));
    store().setAnswer(
        ModelAnswer{s("Opportunity cost is what you give up when you choose one option over another.\n\n"
                      "例如：把一个晚上用来复习，机会成本就是你本可以用来做的其他事情中价值最高的那一件。"),
                    QStringLiteral("This answer was shortened."), std::nullopt, std::nullopt});
    store().setResultDetail(s("gpt-5.4-mini · 2.4 秒"));
    struct Language {
        InterfaceLanguage language;
        const char* code;
    };
    const Language languages[] = {
        {InterfaceLanguage::chinese, "zh"}, {InterfaceLanguage::english, "en"}, {InterfaceLanguage::french, "fr"}};
    for (const Language& language : languages) {
        for (const InterfaceAppearance appearance : {InterfaceAppearance::light, InterfaceAppearance::dark}) {
            InterfaceSettings::shared().setLanguage(language.language);
            ApplicationAppearance::shared().apply(appearance);
            window();
            store().setErrorMessage(s("网络连接失败，请检查网络后重试。"));
            // A language change reaches the outer layouts in a few rounds of layout requests.
            for (int round = 0; round < 3; ++round) QApplication::processEvents();
            const QString name =
                QStringLiteral("home-%1-%2")
                    .arg(QLatin1String(language.code), appearance == InterfaceAppearance::dark ? "dark" : "light");
            for (QAbstractButton* button : home().findChildren<QAbstractButton*>()) {
                if (!button->isVisible() || qobject_cast<RecentRecordButton*>(button)) continue;
                EXPECT_GE(button->width(), button->sizeHint().width())
                    << name.toStdString() << " " << button->text().toStdString();
            }
            QComboBox* picker = bar().languagePicker();
            EXPECT_TRUE(waitUntil([&] { return picker->width() >= picker->sizeHint().width(); })) << name.toStdString();
            EXPECT_TRUE(window().grab().save(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/%1.png").arg(name)));
            home().verticalScrollBar()->setValue(home().verticalScrollBar()->maximum());
            QApplication::processEvents();
            EXPECT_TRUE(window().grab().save(QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/%1-bottom.png").arg(name)));
            home().verticalScrollBar()->setValue(0);

            importer->pageCount = 1200;
            store().importURL(QUrl::fromLocalFile(QStringLiteral("/home/student/Lecture 07 - Thermodynamics.pdf")));
            ASSERT_TRUE(waitUntil([&] { return sheet<PDFRangeView>() != nullptr; }));
            EXPECT_TRUE(sheet<PDFRangeView>()->pageCountLine()->text().contains(QStringLiteral("1200")));
            EXPECT_TRUE(sheet<PDFRangeView>()->grab().save(
                QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/pdf-range-%1.png").arg(name)));
            store().discardPendingPDF();
            store().setShowCaptureGuide(true);
            ASSERT_TRUE(sheet<CaptureGuideView>());
            EXPECT_TRUE(sheet<CaptureGuideView>()->grab().save(
                QStringLiteral(ORVEL_HOME_SCREENSHOT_DIR "/capture-guide-%1.png").arg(name)));
            store().setShowCaptureGuide(false);
        }
    }
}

}  // namespace
}  // namespace velquin
