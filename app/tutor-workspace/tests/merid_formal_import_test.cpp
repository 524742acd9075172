// The tutor's material import on real files: staging limits and permissions, the accepted kinds,
// PDF page ranges and markers, text files and their encodings.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

#include "app/tutor-workspace/merid_formal_import.h"
#include "platform/tests/fixtures.h"
#include "tests/support/file_mode.h"
#include "tutor-engine/merid_office_importer.h"

using namespace velquin;
using meridcore::MeridArchiveError;
using Case = MeridArchiveError::Case;

namespace {

std::optional<Case> archiveErrorOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const MeridArchiveError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

// Every test gets a temporary directory of its own, so that the staging folders it finds there are its own.
class MeridFormalImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(files_.isValid() && temp_.isValid());
        savedTemp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp_.path().toUtf8());
    }
    void TearDown() override { qputenv("TMPDIR", savedTemp_); }

    QString path(const QString& name) const { return files_.filePath(name); }
    QUrl write(const QString& name, const QByteArray& bytes) const {
        EXPECT_TRUE(fixtures::writeFile(path(name), bytes));
        return QUrl::fromLocalFile(path(name));
    }
    QUrl sized(const QString& name, qint64 size) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
        return QUrl::fromLocalFile(path(name));
    }
    QUrl pdf(const QString& name, int pages) const {
        QList<fixtures::Page> content;
        for (int i = 1; i <= pages; ++i) content << fixtures::TextPage{QStringLiteral("Page text %1").arg(i)};
        fixtures::writePdf(path(name), content);
        return QUrl::fromLocalFile(path(name));
    }
    QStringList stagingFolders() const {
        return QDir(temp_.path())
            .entryList({MeridFormalImport::stagingPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot);
    }

    QTemporaryDir files_;
    QTemporaryDir temp_;
    QByteArray savedTemp_;
};

}  // namespace

TEST_F(MeridFormalImportTest, StagesAcceptedKindsIntoPrivateFoldersWithinTheSizeLimits) {
    // A Markdown file named in upper case is staged and loaded as text.
    const QUrl notes = write(QStringLiteral("Notes.MD"), "# Heading\n\nBody text\n");
    const QUrl staged = MeridFormalImport::stageSelectedFile(notes);
    const QFileInfo copy(staged.toLocalFile());
    EXPECT_EQ(copy.fileName(), QStringLiteral("Notes.MD"));
    EXPECT_EQ(QDir::cleanPath(copy.dir().absolutePath() + QStringLiteral("/..")), QDir::cleanPath(temp_.path()));
    EXPECT_TRUE(copy.dir().dirName().startsWith(QStringLiteral("OrvelImport-")));
    EXPECT_FALSE(QUuid::fromString(copy.dir().dirName().mid(12)).isNull());
    EXPECT_EQ(testsupport::fileMode(copy.absolutePath()), 0700);
    EXPECT_EQ(testsupport::fileMode(copy.absoluteFilePath()), 0600);
    const meridcore::TeacherMaterial material = MeridFormalImport::load(staged);
    EXPECT_EQ(material.name(), QStringLiteral("Notes.MD"));
    EXPECT_EQ(material.text(), QStringLiteral("# Heading\n\nBody text"));
    EXPECT_EQ(material.note(), QStringLiteral("本机 UTF-8 文本导入。"));

    // The same file again gets a folder of its own; removing one leaves the other.
    const QUrl again = MeridFormalImport::stageSelectedFile(QUrl::fromLocalFile(path(QStringLiteral("Notes.MD"))));
    EXPECT_NE(QFileInfo(again.toLocalFile()).absolutePath(), copy.absolutePath());
    MeridFormalImport::removeStagedFile(staged);
    EXPECT_FALSE(QFileInfo::exists(copy.absolutePath()));
    EXPECT_EQ(stagingFolders().size(), 1);
    MeridFormalImport::removeStagedFile(again);

    // Refusals before anything is copied, and limits of the file and of its copy.
    QDir(files_.path()).mkdir(QStringLiteral("folder.pdf"));
    const struct {
        QUrl url;
        Case expected;
    } refused[] = {
        {write(QStringLiteral("notes.rtf"), "{\\rtf1 text}"), Case::unsupported},
        {write(QStringLiteral("README"), "text"), Case::unsupported},
        {QUrl(QStringLiteral("https://example.com/a.pdf")), Case::unsupported},
        {QUrl::fromLocalFile(path(QStringLiteral("folder.pdf"))), Case::unreadable},
        {write(QStringLiteral("zero.txt"), QByteArray()), Case::empty},
        {sized(QStringLiteral("over.pdf"), MeridFormalImport::maxFileBytes + 1), Case::tooLarge},
    };
    for (const auto& row : refused)
        EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::stageSelectedFile(row.url); }), row.expected)
            << row.url.toString().toStdString();
    EXPECT_TRUE(stagingFolders().isEmpty());

    const QUrl edge =
        MeridFormalImport::stageSelectedFile(sized(QStringLiteral("edge.pdf"), MeridFormalImport::maxFileBytes));
    EXPECT_EQ(QFileInfo(edge.toLocalFile()).size(), MeridFormalImport::maxFileBytes);
    MeridFormalImport::removeStagedFile(edge);
    EXPECT_TRUE(stagingFolders().isEmpty());
}

TEST_F(MeridFormalImportTest, RemovesOnlyItsOwnStagingFolders) {
    const QString foreign = temp_.filePath(QStringLiteral("Other-1/a.txt"));
    QDir(temp_.path()).mkdir(QStringLiteral("Other-1"));
    ASSERT_TRUE(fixtures::writeFile(foreign, "keep"));
    const QString nested = files_.filePath(QStringLiteral("OrvelImport-X/a.txt"));
    QDir(files_.path()).mkdir(QStringLiteral("OrvelImport-X"));
    ASSERT_TRUE(fixtures::writeFile(nested, "keep"));

    MeridFormalImport::removeStagedFile(QUrl::fromLocalFile(foreign));
    MeridFormalImport::removeStagedFile(QUrl::fromLocalFile(nested));
    MeridFormalImport::removeStagedFile(QUrl(QStringLiteral("relative/OrvelImport-Y/a.txt")));
    EXPECT_TRUE(QFile::exists(foreign));
    EXPECT_TRUE(QFile::exists(nested));
}

TEST_F(MeridFormalImportTest, LoadsPDFPagesWithinTheirRange) {
    const QUrl five = MeridFormalImport::stageSelectedFile(pdf(QStringLiteral("five.pdf"), 5));
    const meridcore::TeacherMaterial whole = MeridFormalImport::load(five);
    QStringList expected;
    for (int i = 1; i <= 5; ++i) expected << QStringLiteral("[第 %1 页]\nPage text %1").arg(i);
    EXPECT_EQ(whole.text(), expected.join(QStringLiteral("\n\n")));
    EXPECT_EQ(whole.note(), QStringLiteral("PDF 原生文本层已提取，图像扫描页需要另行 OCR。"));
    EXPECT_EQ(whole.name(), QStringLiteral("five.pdf"));
    EXPECT_EQ(MeridFormalImport::pdfPageCount(five), 5);

    const QUrl long21 = MeridFormalImport::stageSelectedFile(pdf(QStringLiteral("long.pdf"), 21));
    const meridcore::TeacherMaterial tail = MeridFormalImport::load(long21, PageRange{2, 21});
    EXPECT_TRUE(tail.text().startsWith(QStringLiteral("[第 2 页]\nPage text 2\n\n[第 3 页]")));
    EXPECT_TRUE(tail.text().endsWith(QStringLiteral("[第 21 页]\nPage text 21")));
    EXPECT_EQ(tail.text().count(QStringLiteral("页]\n")), 20);
    EXPECT_NO_THROW(MeridFormalImport::load(long21, PageRange{1, 20}));

    const struct {
        std::optional<PageRange> pages;
        Case expected;
    } refused[] = {
        {std::nullopt, Case::tooLarge},  // 21 pages without a range
        {PageRange{0, 4}, Case::tooLarge},
        {PageRange{1, 21}, Case::tooLarge},
        {PageRange{5, 4}, Case::tooLarge},
        {PageRange{20, 22}, Case::tooLarge},
    };
    for (const auto& row : refused)
        EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::load(long21, row.pages); }), row.expected);

    // Pages without a text layer are left out; a PDF of pictures only has no text at all.
    fixtures::writePdf(path(QStringLiteral("mixed.pdf")), {fixtures::PicturePage{{QStringLiteral("Scanned")}},
                                                           fixtures::TextPage{QStringLiteral("Typed")}});
    EXPECT_EQ(MeridFormalImport::load(QUrl::fromLocalFile(path(QStringLiteral("mixed.pdf")))).text(),
              QStringLiteral("[第 2 页]\nTyped"));
    fixtures::writePdf(path(QStringLiteral("scan.pdf")), {fixtures::PicturePage{{QStringLiteral("Scanned")}}});
    EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::load(QUrl::fromLocalFile(path(QStringLiteral("scan.pdf")))); }),
              Case::empty);

    const QUrl broken = write(QStringLiteral("broken.pdf"), "%PDF-1.4 not really");
    EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::load(broken); }), Case::unreadable);
    EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::pdfPageCount(broken); }), Case::unreadable);
}

TEST_F(MeridFormalImportTest, ReadsTextFilesAsUnicodeWithinTheirLimit) {
    // Exactly 2,000,000 bytes load (the material is what is left after trimming); one more byte does not.
    QByteArray edge = "Topic";
    edge.append(QByteArray(MeridFormalImport::maxTextFileBytes - edge.size(), ' '));
    EXPECT_EQ(MeridFormalImport::load(write(QStringLiteral("edge.txt"), edge)).text(), QStringLiteral("Topic"));
    EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::load(write(QStringLiteral("over.txt"), edge + ' ')); }),
              Case::tooLarge);

    // UTF-16 with its byte-order mark is text; Latin-1 is refused, never guessed.
    QByteArray utf16("\xFF\xFE");
    const QString accented = QStringLiteral("Élève");
    utf16.append(reinterpret_cast<const char*>(accented.utf16()), accented.size() * 2);
    EXPECT_EQ(MeridFormalImport::load(write(QStringLiteral("wide.md"), utf16)).text(), accented);
    const QUrl latin1 = write(QStringLiteral("latin1.txt"), "\xC9l\xE8ve");
    EXPECT_THROW(MeridFormalImport::load(latin1), base::SystemError);

    // Blank text is the engine's own refusal; another extension is unsupported.
    EXPECT_THROW(MeridFormalImport::load(write(QStringLiteral("blank.txt"), " \n\t ")),
                 meridcore::TeacherWorkspaceError);
    const QUrl rtf = write(QStringLiteral("x.rtf"), "text");
    EXPECT_EQ(archiveErrorOf([&] { MeridFormalImport::load(rtf); }), Case::unsupported);
}
