// The central store's input actions: paste, import with the PDF page choice, image recognition and
// screen capture. Every path must end with no staged copy left behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

#include "app/shell/tests/store_test_doubles.h"
#include "core/study.h"

using namespace storetest;
using tamsel::ModelAnswer;
using tamsel::StudyError;

namespace {

const QUrl kPdf = QUrl::fromLocalFile(QStringLiteral("/home/someone/paper.pdf"));
const QUrl kText = QUrl::fromLocalFile(QStringLiteral("/home/someone/notes.txt"));

using AppStoreInputTest = StoreFixture;

// The folders that the real importer stages into, left in the temporary directory.
QStringList stagingFolders() {
    return QDir(QDir::tempPath()).entryList({QStringLiteral("OrvelReaderImport-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
}

}  // namespace

TEST_F(AppStoreInputTest, PasteTextPrefersFilesThenDocumentPathsThenValidatedText) {
    AppStore& s = store();
    s.setStatus(QStringLiteral("marker"));

    s.pasteText();
    EXPECT_EQ(s.errorMessage(), QStringLiteral("剪贴板没有文字。图片请使用“粘贴图片”。"));

    // An unsupported file on the clipboard is passed over; the text is taken.
    clipboard->files = {QUrl::fromLocalFile(QStringLiteral("/home/someone/archive.zip"))};
    clipboard->text = QStringLiteral("  some text\n");
    s.setAnswer(ModelAnswer{QStringLiteral("a"), {}, {}, {}});
    s.pasteText();
    EXPECT_EQ(s.source(), QStringLiteral("some text"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("已粘贴文字。你可以先编辑，再发送。"));
    EXPECT_FALSE(s.errorMessage());
    EXPECT_FALSE(s.answer());
    EXPECT_EQ(s.status(), QStringLiteral("marker"));

    // Pasting the same text again keeps the answer.
    s.setAnswer(ModelAnswer{QStringLiteral("a"), {}, {}, {}});
    s.pasteText();
    EXPECT_TRUE(s.answer());

    // A path of an unsupported type is text; of a supported one, an import.
    clipboard->files.clear();
    clipboard->text = QStringLiteral("/home/someone/archive.zip");
    s.pasteText();
    EXPECT_EQ(s.source(), QStringLiteral("/home/someone/archive.zip"));
    EXPECT_EQ(importer->staged, 0);
    clipboard->text = QStringLiteral("file:///home/someone/notes.txt");
    s.pasteText();
    EXPECT_EQ(s.status(), QStringLiteral("正在本机提取文字…"));
    s.cancel();
    scheduler->runNextJob();
    EXPECT_EQ(importer->staged, 1);

    // A supported file on the clipboard comes before its text.
    clipboard->files = {kText};
    clipboard->text = QStringLiteral("ignored");
    s.pasteText();
    scheduler->runNextJob();
    EXPECT_EQ(importer->staged, 2);
    EXPECT_EQ(s.source(), QStringLiteral("extracted text"));
    EXPECT_TRUE(importer->live.isEmpty());

    // Invalid text: the message, the source unchanged.
    clipboard->files.clear();
    clipboard->text = QStringLiteral(" \n ");
    s.pasteText();
    EXPECT_EQ(s.errorMessage(), StudyError(StudyError::Case::emptyInput).message());
    EXPECT_EQ(s.source(), QStringLiteral("extracted text"));
}

TEST_F(AppStoreInputTest, FileImportSucceedsOrFailsAndAlwaysRemovesItsCopy) {
    AppStore& s = store();
    s.importURL(kText);
    EXPECT_TRUE(s.isBusy());
    EXPECT_EQ(s.status(), QStringLiteral("正在本机提取文字…"));
    EXPECT_EQ(importer->staged, 0);  // the copy is made by the blocking work, off the main thread
    scheduler->runNextJob();
    EXPECT_EQ(importer->staged, 1);
    EXPECT_FALSE(s.isBusy());
    EXPECT_EQ(s.source(), QStringLiteral("extracted text"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("extracted note"));
    EXPECT_EQ(s.status(), QStringLiteral("文字已提取，请核对后发送"));
    EXPECT_EQ(importer->extractedRanges, QList<std::optional<PageRange>>{std::nullopt});
    EXPECT_TRUE(importer->live.isEmpty());

    importer->extractFailure = QStringLiteral("could not read");
    s.importURL(kText);
    scheduler->runNextJob();
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), QStringLiteral("could not read"));
    EXPECT_TRUE(importer->live.isEmpty());

    // Cancelled while extracting: the late text is dropped, the copy still removed.
    importer->extractFailure.reset();
    importer->extracted = ImportedText{QStringLiteral("late"), QStringLiteral("late note")};
    s.importURL(kText);
    s.cancel();
    scheduler->runNextJob();
    EXPECT_NE(s.source(), QStringLiteral("late"));
    EXPECT_EQ(s.status(), QStringLiteral("已停止"));
    EXPECT_TRUE(importer->live.isEmpty());

    // Staging refused: the message once the copy was tried, nothing left over.
    importer->stageFailure = QStringLiteral("too large");
    s.importURL(kText);
    EXPECT_TRUE(s.isBusy());
    scheduler->runNextJob();
    EXPECT_FALSE(s.isBusy());
    EXPECT_EQ(s.errorMessage(), QStringLiteral("too large"));
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(scheduler->pendingJobs(), 0);
    EXPECT_TRUE(importer->live.isEmpty());
}

TEST_F(AppStoreInputTest, AOnePagePdfStillOffersThePageChoiceAndItsImportReadsThatCopy) {
    AppStore& s = store();
    importer->pageCount = 1;
    s.importURL(kPdf);
    EXPECT_TRUE(s.isBusy());
    EXPECT_EQ(s.status(), QStringLiteral("正在读取 PDF 信息…"));
    scheduler->runNextJob();
    EXPECT_FALSE(s.isBusy());
    EXPECT_EQ(s.status(), QStringLiteral("请选择 PDF 页码"));
    ASSERT_TRUE(s.pdfChoice());
    EXPECT_EQ(s.pdfChoice()->pageCount, 1);
    const QUrl staged = s.pdfChoice()->url;
    EXPECT_EQ(importer->live, QList<QUrl>{staged});

    // The sheet hands its choice over, then closes (which discards the pending PDF).
    s.importFile(staged, PageRange{1, 1});
    s.discardPendingPDF();
    EXPECT_FALSE(s.pdfChoice());
    EXPECT_EQ(importer->live, QList<QUrl>{staged});  // still being read
    scheduler->runNextJob();
    EXPECT_EQ(importer->extractedFiles, QList<QUrl>{staged});
    EXPECT_EQ(importer->extractedRanges, (QList<std::optional<PageRange>>{PageRange{1, 1}}));
    EXPECT_EQ(s.status(), QStringLiteral("文字已提取，请核对后发送"));
    EXPECT_TRUE(importer->live.isEmpty());
    EXPECT_EQ(importer->staged, 1);

    // Two choices of the same file are different choices.
    s.importURL(kPdf);
    scheduler->runNextJob();
    const QUuid first = s.pdfChoice()->id;
    s.discardPendingPDF();
    s.importURL(kPdf);
    scheduler->runNextJob();
    EXPECT_NE(s.pdfChoice()->id, first);
    s.clear();
    EXPECT_TRUE(importer->live.isEmpty());
}

TEST_F(AppStoreInputTest, PageCountCancelledFailedOrReplacedLeavesNoCopy) {
    AppStore& s = store();
    // Cancelled while counting.
    s.importURL(kPdf);
    s.cancel();
    EXPECT_EQ(scheduler->pendingJobs(), 1);  // the copy and the count are still running
    scheduler->runNextJob();
    EXPECT_TRUE(importer->live.isEmpty());
    EXPECT_FALSE(s.pdfChoice());
    EXPECT_EQ(s.status(), QStringLiteral("已停止"));

    // The count fails.
    importer->pageCountFailure = QStringLiteral("locked PDF");
    s.importURL(kPdf);
    scheduler->runNextJob();
    EXPECT_TRUE(importer->live.isEmpty());
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), QStringLiteral("locked PDF"));

    // A second PDF while the first one's sheet is open: the first copy goes before the second is read.
    importer->pageCountFailure.reset();
    s.importURL(kPdf);
    scheduler->runNextJob();
    const QUrl firstCopy = s.pdfChoice()->url;
    s.importURL(QUrl::fromLocalFile(QStringLiteral("/home/someone/second.pdf")));
    EXPECT_FALSE(importer->live.contains(firstCopy));
    EXPECT_TRUE(importer->live.isEmpty());
    EXPECT_FALSE(s.pdfChoice());
    scheduler->runNextJob();
    EXPECT_TRUE(s.pdfChoice()->url.path().endsWith(QStringLiteral("second.pdf")));

    // A non-PDF import leaves the pending PDF alone; cancel() then removes it.
    s.importURL(kText);
    scheduler->runNextJob();
    EXPECT_EQ(importer->live.size(), 1);
    EXPECT_TRUE(s.pdfChoice());
    s.cancel();
    EXPECT_TRUE(importer->live.isEmpty());
    EXPECT_FALSE(s.pdfChoice());

    // The sheet's import of a file that is no longer pending stages it anew.
    const int staged = importer->staged;
    s.importFile(firstCopy, PageRange{2, 3});
    scheduler->runNextJob();
    EXPECT_EQ(importer->staged, staged + 1);
    EXPECT_TRUE(importer->live.isEmpty());
}

TEST_F(AppStoreInputTest, PastedImagesAreRecognisedAndFilesOrPathsImported) {
    AppStore& s = store();
    s.pasteImage();
    EXPECT_EQ(s.errorMessage(), QStringLiteral("剪贴板没有可读取的图片。可以先复制图片，再点“粘贴图片”。"));

    clipboard->text = QStringLiteral("/home/someone/scan.png");
    clipboard->image = QByteArray("image bytes");
    s.pasteImage();
    scheduler->runNextJob();
    EXPECT_EQ(importer->staged, 1);

    clipboard->text = QStringLiteral("just words");
    s.pasteImage();
    EXPECT_EQ(s.status(), QStringLiteral("正在识别图片…"));
    scheduler->runNextJob();
    EXPECT_EQ(importer->recognizedImages, QList<QByteArray>{QByteArray("image bytes")});
    EXPECT_EQ(s.source(), QStringLiteral("recognized text"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("recognized note"));
    EXPECT_EQ(s.status(), QStringLiteral("文字已提取，请核对后发送"));
    EXPECT_TRUE(importer->live.isEmpty());
}

TEST_F(AppStoreInputTest, InputActionsDoNothingWhileBusyExceptOpeningTheCaptureGuide) {
    AppStore& s = store();
    windows->add(3, workspaceWindowIdentifier);
    s.setSource(QStringLiteral("question"));
    s.submit();
    clipboard->text = QStringLiteral("pasted");
    clipboard->image = QByteArray("img");
    s.pasteText();
    s.pasteImage();
    s.importURL(kText);
    s.importFile(kText, std::nullopt);
    s.captureScreenText();
    EXPECT_EQ(s.source(), QStringLiteral("question"));
    EXPECT_EQ(importer->staged, 0);
    EXPECT_EQ(capture->calls, 0);
    EXPECT_EQ(scheduler->pendingJobs(), 1);

    s.setShowSettings(true);
    s.setShowDirectSelectionSettings(true);
    s.openDocumentReader();
    EXPECT_TRUE(s.showCaptureGuide());
    EXPECT_FALSE(s.showSettings());
    EXPECT_FALSE(s.showDirectSelectionSettings());
    EXPECT_EQ(windows->calls,
              (QStringList{QStringLiteral("show"), QStringLiteral("raise 3"), QStringLiteral("activate")}));
}

TEST_F(AppStoreInputTest, OpeningTheCaptureGuideDiscardsAPendingPdf) {
    AppStore& s = store();
    s.importURL(kPdf);
    scheduler->runNextJob();
    ASSERT_TRUE(s.pdfChoice());
    s.openDocumentReader();
    EXPECT_FALSE(s.pdfChoice());
    EXPECT_TRUE(importer->live.isEmpty());
}

TEST_F(AppStoreInputTest, ScreenCaptureHidesTheApplicationAndAlwaysBringsItBack) {
    AppStore& s = store();
    s.setSelectionPresentation(true);
    s.captureScreenText();
    EXPECT_FALSE(s.selectionPresentation());
    EXPECT_EQ(s.status(), QStringLiteral("请拖动鼠标框选文字；按 Esc 取消…"));
    EXPECT_TRUE(windows->hidden);
    capture->succeed(ImportedText{QStringLiteral("captured"), QStringLiteral("captured note")});
    EXPECT_FALSE(windows->hidden);
    EXPECT_EQ(windows->calls.mid(windows->calls.size() - 2),
              (QStringList{QStringLiteral("show"), QStringLiteral("activate")}));
    EXPECT_EQ(s.source(), QStringLiteral("captured"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("captured note"));
    EXPECT_EQ(s.status(), QStringLiteral("截图文字已提取，请核对后发送"));

    // Esc: no image.
    s.captureScreenText();
    capture->fail(std::make_exception_ptr(base::SystemError(QStringLiteral("没有得到截图"))));
    EXPECT_FALSE(windows->hidden);
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), QStringLiteral("没有得到截图"));

    // Stopped: the capture ends, the application comes back, the status says stopped.
    s.captureScreenText();
    s.cancel();
    EXPECT_TRUE(capture->cancelled);
    EXPECT_FALSE(capture->isWaiting());
    EXPECT_FALSE(windows->hidden);
    EXPECT_EQ(s.status(), QStringLiteral("已停止"));
    EXPECT_FALSE(s.errorMessage());
    EXPECT_EQ(s.source(), QStringLiteral("captured"));
}

TEST_F(AppStoreInputTest, AStoreThatGoesAwayLeavesNoStagedPdfBehind) {
    const AppStoreServices services = fakeServices();

    // Waiting for its page range.
    {
        AppStore s(services);
        s.importURL(kPdf);
        scheduler->runNextJob();
        ASSERT_TRUE(s.pdfChoice());
        EXPECT_EQ(importer->live.size(), 1);
    }
    EXPECT_TRUE(importer->live.isEmpty());

    // Still counting its pages: the count ends after the store is gone.
    {
        AppStore s(services);
        s.importURL(kPdf);
    }
    EXPECT_EQ(scheduler->pendingJobs(), 1);
    scheduler->runNextJob();
    EXPECT_TRUE(importer->live.isEmpty());
}

// The production importer over real files: a generated one-page PDF and a text file, through the
// real thread pool. Nothing is left in the temporary directory.
TEST_F(AppStoreInputTest, RealImporterLeavesNoStagingFolderBehind) {
    const QStringList before = stagingFolders();
    AppStoreServices services;
    services.defaults = &defaults;
    services.history = history.get();
    services.windows = windows;
    services.clipboard = clipboard;
    services.clock = clock;
    services.sessionToken = token;
    services.capture = capture;
    AppStore s(services);

    const QString pdfPath = dir.filePath(QStringLiteral("one page.pdf"));
    {
        QPdfWriter writer(pdfPath);
        QPainter painter(&writer);
        QFont font = painter.font();
        font.setPointSize(24);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, 8000, 2000), Qt::AlignLeft, QStringLiteral("Entropy measures disorder."));
    }
    const QString textPath = dir.filePath(QStringLiteral("notes.txt"));
    {
        QFile file(textPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Plain notes for the import.\n");
    }

    s.importURL(QUrl::fromLocalFile(pdfPath));
    ASSERT_TRUE(waitUntil([&] { return !s.isBusy(); }, 20000));
    ASSERT_TRUE(s.pdfChoice()) << (s.errorMessage() ? s.errorMessage()->toStdString() : std::string());
    EXPECT_EQ(s.pdfChoice()->pageCount, 1);
    EXPECT_EQ(stagingFolders().size(), before.size() + 1);
    s.importFile(s.pdfChoice()->url, PageRange{1, 1});
    s.discardPendingPDF();
    ASSERT_TRUE(waitUntil([&] { return !s.isBusy(); }, 60000));
    EXPECT_EQ(s.status(), QStringLiteral("文字已提取，请核对后发送"))
        << (s.errorMessage() ? s.errorMessage()->toStdString() : std::string());
    EXPECT_TRUE(s.source().contains(QStringLiteral("Entropy"))) << s.source().toStdString();
    EXPECT_EQ(stagingFolders(), before);

    s.importURL(QUrl::fromLocalFile(textPath));
    ASSERT_TRUE(waitUntil([&] { return !s.isBusy(); }, 20000));
    EXPECT_EQ(s.source(), QStringLiteral("Plain notes for the import."));
    EXPECT_EQ(stagingFolders(), before);

    // A PDF whose sheet is dismissed, and a file that cannot be staged.
    s.importURL(QUrl::fromLocalFile(pdfPath));
    ASSERT_TRUE(waitUntil([&] { return !s.isBusy(); }, 20000));
    s.discardPendingPDF();
    s.importURL(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.txt"))));
    ASSERT_TRUE(waitUntil([&] { return !s.isBusy(); }, 20000));
    EXPECT_TRUE(s.errorMessage());
    EXPECT_EQ(stagingFolders(), before);
}
