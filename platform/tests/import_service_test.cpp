#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTransform>

#include <unistd.h>

#include "base/cancellation.h"
#include "base/files.h"
#include "core/study.h"
#include "platform/import_service.h"
#include "platform/text_recognizer.h"
#include "platform/tests/fixtures.h"
#include "tests/support/file_mode.h"

using namespace halvern;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

template <typename F>
ImportFailure::Case failureOf(F&& call) {
    try {
        call();
    } catch (const ImportFailure& failure) {
        return failure.failureCase();
    }
    ADD_FAILURE() << "no ImportFailure";
    return ImportFailure::Case::unreadable;
}

template <typename F>
tamsel::StudyError::Case studyErrorOf(F&& call) {
    try {
        call();
    } catch (const tamsel::StudyError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no StudyError";
    return tamsel::StudyError::Case::http;
}

// The test program's temporary folder is its own, so staged folders can be counted.
class ImportServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work_.isValid()); }

    static QString tempRoot() { return QDir::tempPath(); }
    QString path(const QString& name) const { return work_.path() + u'/' + name; }
    QStringList stagedFolders() const {
        return QDir(tempRoot()).entryList({ImportService::stagingPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    static QUrl url(const QString& path) { return QUrl::fromLocalFile(path); }

    QTemporaryDir work_;
};

void makeSparse(const QString& path, qint64 size) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(size));
}

TEST_F(ImportServiceTest, StagingAcceptsExactlyTheLimitAsAPrivateCopy) {
    const QString source = path(QStringLiteral("exact limit.pdf"));
    makeSparse(source, ImportService::fileSizeLimit);
    const QUrl staged = ImportService::stageSelectedFile(url(source));
    const QFileInfo copy(staged.toLocalFile());
    EXPECT_EQ(copy.fileName(), QStringLiteral("exact limit.pdf"));
    EXPECT_EQ(copy.size(), ImportService::fileSizeLimit);
    EXPECT_EQ(QDir::cleanPath(QFileInfo(copy.absolutePath()).absolutePath()), tempRoot());
    EXPECT_TRUE(QFileInfo(copy.absolutePath()).fileName().startsWith(QStringLiteral("OrvelReaderImport-")));
    EXPECT_EQ(testsupport::fileMode(copy.absolutePath()), 0700);
    EXPECT_EQ(testsupport::fileMode(copy.filePath()), 0600);
    EXPECT_EQ(QDir(copy.absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);

    ImportService::removeStagedFile(staged);
    EXPECT_FALSE(QFileInfo::exists(copy.absolutePath()));
    EXPECT_TRUE(QFileInfo::exists(source));

    // "localhost" names this machine: the same file, not a share called "localhost".
    const QString small = path(QStringLiteral("small.txt"));
    ASSERT_TRUE(fixtures::writeFile(small, "words"));
    QUrl onLocalhost = url(small);
    onLocalhost.setHost(QStringLiteral("localhost"));
    const QUrl stagedSmall = ImportService::stageSelectedFile(onLocalhost);
    EXPECT_EQ(QFileInfo(stagedSmall.toLocalFile()).fileName(), QStringLiteral("small.txt"));
    EXPECT_EQ(ImportService::extractFile(onLocalhost).text, QStringLiteral("words"));
    ImportService::removeStagedFile(stagedSmall);
}

TEST_F(ImportServiceTest, StagingRefusesBadFilesAndLeavesNothing) {
    const QString tooLarge = path(QStringLiteral("big.png"));
    makeSparse(tooLarge, ImportService::fileSizeLimit + 1);
    EXPECT_EQ(failureOf([&] { ImportService::stageSelectedFile(url(tooLarge)); }), ImportFailure::Case::tooLarge);

    const QString empty = path(QStringLiteral("empty.txt"));
    ASSERT_TRUE(fixtures::writeFile(empty, {}));
    EXPECT_EQ(failureOf([&] { ImportService::stageSelectedFile(url(empty)); }), ImportFailure::Case::empty);

    const QString folder = path(QStringLiteral("folder.pdf"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(failureOf([&] { ImportService::stageSelectedFile(url(folder)); }), ImportFailure::Case::unreadable);

    // The extension is checked before the file is touched: this one does not even exist.
    EXPECT_EQ(failureOf([&] { ImportService::stageSelectedFile(url(path(QStringLiteral("missing.docx")))); }),
              ImportFailure::Case::unsupported);
    EXPECT_THROW(ImportService::stageSelectedFile(url(path(QStringLiteral("missing.pdf")))), base::FileError);

    EXPECT_TRUE(stagedFolders().isEmpty());
}

TEST_F(ImportServiceTest, RemovalTouchesOnlyItsOwnFolders) {
    // A folder with the prefix, but not directly in the temporary directory.
    const QString nested = tempRoot() + QStringLiteral("/inner/OrvelReaderImport-X");
    ASSERT_TRUE(QDir().mkpath(nested));
    ASSERT_TRUE(fixtures::writeFile(nested + QStringLiteral("/a.txt"), "a"));
    ImportService::removeStagedFile(url(nested + QStringLiteral("/a.txt")));
    EXPECT_TRUE(QFileInfo::exists(nested + QStringLiteral("/a.txt")));

    // A folder directly in the temporary directory, without the prefix.
    const QString other = tempRoot() + QStringLiteral("/SomethingElse");
    ASSERT_TRUE(QDir().mkpath(other));
    ASSERT_TRUE(fixtures::writeFile(other + QStringLiteral("/b.txt"), "b"));
    ImportService::removeStagedFile(url(other + QStringLiteral("/b.txt")));
    EXPECT_TRUE(QFileInfo::exists(other + QStringLiteral("/b.txt")));

    // A path that climbs out of a staged folder names the folder it really lands in.
    const QUrl staged = ImportService::stageSelectedFile(url([&] {
        const QString source = path(QStringLiteral("c.txt"));
        fixtures::writeFile(source, "c");
        return source;
    }()));
    const QString stagedFolder = QFileInfo(staged.toLocalFile()).absolutePath();
    ImportService::removeStagedFile(url(stagedFolder + QStringLiteral("/../SomethingElse/b.txt")));
    EXPECT_TRUE(QFileInfo::exists(other + QStringLiteral("/b.txt")));
    EXPECT_TRUE(QFileInfo::exists(stagedFolder));

    // A link named like a staged folder is not followed.
    const QString link = tempRoot() + QStringLiteral("/OrvelReaderImport-link");
    ASSERT_TRUE(QFile::link(other, link));
    ImportService::removeStagedFile(url(link + QStringLiteral("/b.txt")));
    EXPECT_TRUE(QFileInfo::exists(other + QStringLiteral("/b.txt")));

    ImportService::removeStagedFile(staged);
    EXPECT_FALSE(QFileInfo::exists(stagedFolder));
}

TEST_F(ImportServiceTest, TextFilesAreUtf8OrUtf16WithByteOrderMark) {
    const QString utf8 = path(QStringLiteral("notes.md"));
    ASSERT_TRUE(fixtures::writeFile(utf8, QByteArray("\xEF\xBB\xBF  Théorème 学习\n\n")));
    const ImportedText fromUtf8 = ImportService::extractFile(url(utf8));
    EXPECT_EQ(fromUtf8.text, QStringLiteral("Théorème 学习"));
    EXPECT_EQ(fromUtf8.note, QStringLiteral("已导入文本：notes.md"));

    const QString utf16 = path(QStringLiteral("wide.txt"));
    QByteArray wide("\xFF\xFE");
    const QString sample = QStringLiteral("你好 world\n第二行");
    wide.append(reinterpret_cast<const char*>(sample.utf16()), sample.size() * 2);
    ASSERT_TRUE(fixtures::writeFile(utf16, wide));
    EXPECT_EQ(ImportService::extractFile(url(utf16)).text, sample);

    const QString latin1 = path(QStringLiteral("latin.txt"));
    ASSERT_TRUE(fixtures::writeFile(latin1, QByteArray("caf\xE9 cr\xE8me")));
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(latin1)); }), ImportFailure::Case::unsupported);

    const QString bareUtf16 = path(QStringLiteral("bare.text"));
    ASSERT_TRUE(fixtures::writeFile(bareUtf16, wide.mid(2)));
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(bareUtf16)); }), ImportFailure::Case::unsupported);

    const QString blank = path(QStringLiteral("blank.txt"));
    ASSERT_TRUE(fixtures::writeFile(blank, " \n\t\n"));
    EXPECT_EQ(studyErrorOf([&] { ImportService::extractFile(url(blank)); }), tamsel::StudyError::Case::emptyInput);

    const QString longText = path(QStringLiteral("long.txt"));
    ASSERT_TRUE(fixtures::writeFile(longText, QByteArray(20001, 'x')));
    EXPECT_EQ(studyErrorOf([&] { ImportService::extractFile(url(longText)); }), tamsel::StudyError::Case::inputTooLong);
}

QList<fixtures::Page> numberedPages(int count) {
    QList<fixtures::Page> pages;
    for (int n = 1; n <= count; ++n) pages << fixtures::TextPage{QStringLiteral("Page %1 holds words").arg(n)};
    return pages;
}

TEST_F(ImportServiceTest, PdfDefaultRangeAndLabels) {
    const QString pdf = path(QStringLiteral("twelve.pdf"));
    fixtures::writePdf(pdf, numberedPages(12));
    EXPECT_EQ(ImportService::pdfPageCount(url(pdf)), 12);
    const ImportedText result = ImportService::extractFile(url(pdf));
    QStringList expected;
    for (int n = 1; n <= 5; ++n) expected << QStringLiteral("[第 %1 页]\nPage %1 holds words").arg(n);
    EXPECT_EQ(result.text, expected.join(QStringLiteral("\n\n")));
    EXPECT_EQ(result.note, QStringLiteral("已导入 PDF 第 1–5 页。请核对文字顺序。"));

    const ImportedText middle = ImportService::extractFile(url(pdf), PageRange{7, 8});
    EXPECT_EQ(middle.text, QStringLiteral("[第 7 页]\nPage 7 holds words\n\n[第 8 页]\nPage 8 holds words"));
    EXPECT_EQ(middle.note, QStringLiteral("已导入 PDF 第 7–8 页。请核对文字顺序。"));
}

TEST_F(ImportServiceTest, PdfRangesAreCheckedAgainstThePagesAndTheLimit) {
    const QString pdf = path(QStringLiteral("many.pdf"));
    fixtures::writePdf(pdf, numberedPages(25));
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(pdf), PageRange{0, 3}); }), ImportFailure::Case::invalidRange);
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(pdf), PageRange{24, 26}); }), ImportFailure::Case::invalidRange);
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(pdf), PageRange{1, 21}); }), ImportFailure::Case::tooManyPages);
    const ImportedText twenty = ImportService::extractFile(url(pdf), PageRange{3, 22});
    EXPECT_THAT(twenty.text.toStdString(), ::testing::StartsWith("[第 3 页]\nPage 3 holds words\n\n"));
    EXPECT_THAT(twenty.text.toStdString(), ::testing::EndsWith("[第 22 页]\nPage 22 holds words"));
    EXPECT_EQ(twenty.note, QStringLiteral("已导入 PDF 第 3–22 页。请核对文字顺序。"));

    const QString shortPdf = path(QStringLiteral("two.pdf"));
    fixtures::writePdf(shortPdf, numberedPages(2));
    EXPECT_EQ(ImportService::extractFile(url(shortPdf)).note, QStringLiteral("已导入 PDF 第 1–2 页。请核对文字顺序。"));
}

TEST_F(ImportServiceTest, PdfPagesWithoutTextAreRecognised) {
    const QString pdf = path(QStringLiteral("scanned.pdf"));
    fixtures::writePdf(pdf, {fixtures::TextPage{QStringLiteral("Typed introduction")},
                             fixtures::PicturePage{{QStringLiteral("Scanned words appear here")}}, fixtures::BlankPage{}});
    const ImportedText result = ImportService::extractFile(url(pdf), PageRange{1, 3});
    EXPECT_EQ(result.text, QStringLiteral("[第 1 页]\nTyped introduction\n\n[第 2 页]\nScanned words appear here"));
    EXPECT_EQ(result.note, QStringLiteral("已导入 PDF 第 1–3 页。部分页面使用本机 OCR，请核对识别结果。"));

    // A page with nothing recognisable still counts as recognised in the note.
    const QString mixed = path(QStringLiteral("mixed.pdf"));
    fixtures::writePdf(mixed, {fixtures::TextPage{QStringLiteral("Only words")}, fixtures::BlankPage{}});
    EXPECT_EQ(ImportService::extractFile(url(mixed)).note, QStringLiteral("已导入 PDF 第 1–2 页。部分页面使用本机 OCR，请核对识别结果。"));

    const QString blank = path(QStringLiteral("blank.pdf"));
    fixtures::writePdf(blank, {fixtures::BlankPage{}, fixtures::BlankPage{}});
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(blank)); }), ImportFailure::Case::empty);
}

TEST_F(ImportServiceTest, PdfStopsOnceTheTextIsTooLong) {
    const QString pdf = path(QStringLiteral("long.pdf"));
    QString words;
    while (words.size() < 7000) words += QStringLiteral("lorem ipsum ");
    fixtures::writePdf(pdf, {fixtures::TextPage{words}, fixtures::TextPage{words}, fixtures::TextPage{words}, fixtures::TextPage{words}});
    EXPECT_EQ(studyErrorOf([&] { ImportService::extractFile(url(pdf), PageRange{1, 4}); }), tamsel::StudyError::Case::inputTooLong);
    EXPECT_NO_THROW(ImportService::extractFile(url(pdf), PageRange{1, 2}));
}

TEST_F(ImportServiceTest, UnreadableFilesAndCancellation) {
    const QString notPdf = path(QStringLiteral("fake.pdf"));
    ASSERT_TRUE(fixtures::writeFile(notPdf, "this is no pdf"));
    EXPECT_EQ(failureOf([&] { ImportService::pdfPageCount(url(notPdf)); }), ImportFailure::Case::unreadable);
    const QString notImage = path(QStringLiteral("fake.png"));
    ASSERT_TRUE(fixtures::writeFile(notImage, "this is no picture"));
    EXPECT_EQ(failureOf([&] { ImportService::extractFile(url(notImage)); }), ImportFailure::Case::unreadable);
    EXPECT_EQ(failureOf([&] { ImportService::recognizeImage(QByteArray(ImportService::fileSizeLimit + 1, '\0')); }),
              ImportFailure::Case::tooLarge);
    EXPECT_EQ(failureOf([&] { ImportService::recognizeImage(fixtures::encoded(fixtures::textImage({}), "PNG")); }),
              ImportFailure::Case::empty);

    base::CancellationSource source;
    source.cancel();
    EXPECT_THROW(ImportService::extractFile(url(notImage), std::nullopt, source.token()), base::CancellationError);
    EXPECT_THROW(ImportService::recognizeImage(fixtures::encoded(fixtures::textImage({QStringLiteral("Words")}), "PNG"), source.token()),
                 base::CancellationError);
}

TEST(TextRecognizer, UsesTheInstalledPreferredLanguages) {
    const QStringList installed = TextRecognizer::installedLanguages();
    EXPECT_FALSE(installed.isEmpty());
    qsizetype previous = -1;
    for (const QString& language : installed) {
        const qsizetype index = TextRecognizer::preferredLanguages().indexOf(language);
        EXPECT_GT(index, previous) << language.toStdString();
        previous = index;
    }
}

const QStringList kTwoLines{QStringLiteral("Photosynthesis needs light"), QStringLiteral("光合作用需要水分")};

TEST(ImageRecognition, EnglishAndChineseLinesInOrder) {
    const ImportedText result = ImportService::recognizeImage(fixtures::encoded(fixtures::textImage(kTwoLines), "PNG"));
    EXPECT_EQ(result.text, kTwoLines.join(u'\n'));
    EXPECT_EQ(result.note, QStringLiteral("已在本机 OCR。发送前请核对公式、数字和多栏阅读顺序。"));
}

// A pool's waitForDone() returns while its threads still free their engines; the program's exit
// waits for that.
TEST(ImageRecognition, AThreadCountsUntilItHasFreedItsEngine) {
    QThreadPool pool;
    pool.setExpiryTimeout(-1);
    QSemaphore recognized;
    pool.start([&] {
        EXPECT_EQ(TextRecognizer::recognize(fixtures::textImage(kTwoLines)), kTwoLines.join(u'\n'));
        recognized.release();
    });
    ASSERT_TRUE(recognized.tryAcquire(1, 120000));
    EXPECT_FALSE(TextRecognizer::waitForEnginesFreed(50));  // idle, its engine kept
    ASSERT_TRUE(pool.waitForDone(10000));
    EXPECT_TRUE(TextRecognizer::waitForEnginesFreed(60000));
}

TEST(ImageRecognition, ExifOrientationTurnsTheImageUpright) {
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty()) GTEST_SKIP() << "exiftool is not installed";
    QTemporaryDir dir;
    const QImage upright = fixtures::textImage(kTwoLines);
    // Stored turned a quarter to the left; orientation 6 says to turn it a quarter to the right.
    const QString stored = dir.filePath(QStringLiteral("rotated.jpg"));
    ASSERT_TRUE(upright.transformed(QTransform().rotate(-90)).save(stored, "JPEG", 95));
    ASSERT_EQ(QProcess::execute(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                           QStringLiteral("-Orientation#=6"), stored}),
              0);
    EXPECT_EQ(ImportService::extractFile(QUrl::fromLocalFile(stored)).text, kTwoLines.join(u'\n'));

    // Stored upside down and mirrored in both directions: orientation 3.
    const QString flipped = dir.filePath(QStringLiteral("flipped.jpg"));
    ASSERT_TRUE(upright.mirrored(true, true).save(flipped, "JPEG", 95));
    ASSERT_EQ(QProcess::execute(QStringLiteral("exiftool"), {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                                           QStringLiteral("-Orientation#=3"), flipped}),
              0);
    EXPECT_EQ(ImportService::extractFile(QUrl::fromLocalFile(flipped)).text, kTwoLines.join(u'\n'));
}

TEST(ImageRecognition, EveryOrientationComesBackUpright) {
    const QImage upright(QSize(3, 2), QImage::Format_RGB32);
    QImage marked = upright;
    marked.fill(Qt::white);
    marked.setPixel(0, 0, qRgb(0, 0, 0));  // the top-left corner when upright
    // What each orientation's stored picture looks like, made from the upright one.
    const QList<QImage> stored{
        marked,
        marked.mirrored(true, false),
        marked.mirrored(true, true),
        marked.mirrored(false, true),
        marked.transformed(QTransform().rotate(90)).mirrored(true, false),
        marked.transformed(QTransform().rotate(-90)),
        marked.transformed(QTransform().rotate(-90)).mirrored(true, false),
        marked.transformed(QTransform().rotate(90)),
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QImage back = TextRecognizer::orientedUpright(stored[orientation - 1], quint32(orientation));
        ASSERT_EQ(back.size(), marked.size()) << orientation;
        EXPECT_EQ(back.pixel(0, 0), qRgb(0, 0, 0)) << orientation;
        EXPECT_EQ(back.pixel(2, 1), qRgb(255, 255, 255)) << orientation;
    }
    EXPECT_EQ(TextRecognizer::orientedUpright(stored[1], 9).pixel(2, 0), qRgb(0, 0, 0));  // unknown: left as stored
}

}  // namespace
