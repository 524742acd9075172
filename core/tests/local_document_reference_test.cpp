#include <gtest/gtest.h>

#include <QDir>

#include "core/local_document_reference.h"

using namespace tamsel;

TEST(LocalDocumentReference, RecognisesPathsAndFileUrls) {
    const QString home = QDir::homePath();
    struct Row { QString text; QString expectedPath; };
    const Row rows[] = {
        {QStringLiteral("  /Users/me/Notes/lecture.pdf \n"), QStringLiteral("/Users/me/Notes/lecture.pdf")},
        {QStringLiteral("\"/tmp/scan one.png\""), QStringLiteral("/tmp/scan one.png")},
        {QStringLiteral("'/tmp/scan.JPG'"), QStringLiteral("/tmp/scan.JPG")},
        {QStringLiteral("/tmp/My\\ Course\\ Notes.txt"), QStringLiteral("/tmp/My Course Notes.txt")},
        {QStringLiteral("~/Documents/a.md"), home + QStringLiteral("/Documents/a.md")},
        {QStringLiteral("/tmp/a#1.PDF"), QStringLiteral("/tmp/a#1.PDF")},
        {QStringLiteral("/tmp/read?me.text"), QStringLiteral("/tmp/read?me.text")},
        {QStringLiteral("file:///tmp/a%20b.pdf"), QStringLiteral("/tmp/a b.pdf")},
        {QStringLiteral("FILE:///tmp/photo.heic"), QStringLiteral("/tmp/photo.heic")},
        {QStringLiteral("file://localhost/tmp/photo.webp"), QStringLiteral("/tmp/photo.webp")},
        {QStringLiteral("\"file:///tmp/x.gif\""), QStringLiteral("/tmp/x.gif")},
        // A doubled leading slash is still a local path, not a host.
        {QStringLiteral("//tmp/scan.png"), QStringLiteral("//tmp/scan.png")},
    };
    for (const Row& row : rows) {
        const auto url = LocalDocumentReference::url(row.text);
        ASSERT_TRUE(url) << row.text.toStdString();
        EXPECT_TRUE(url->isLocalFile());
        EXPECT_EQ(url->toLocalFile(), row.expectedPath) << row.text.toStdString();
    }
}

TEST(LocalDocumentReference, RefusesEverythingElse) {
    const QString rows[] = {
        QString(),
        QStringLiteral("   "),
        QStringLiteral("\""),
        QStringLiteral("\"\""),
        QStringLiteral("\"/tmp/a.pdf"),
        QStringLiteral("\"/tmp/a.pdf'"),
        QStringLiteral("/tmp/a.docx"),
        QStringLiteral("/tmp/slides.PPTX"),
        QStringLiteral("/tmp/noextension"),
        QStringLiteral("/tmp/.pdf"),
        QStringLiteral("/tmp/a.pdf\n/tmp/b.pdf"),
        QStringLiteral("/tmp/a\r.pdf"),
        QStringLiteral("/tmp/a") + QChar(u'\0') + QStringLiteral(".pdf"),
        QStringLiteral("notes/a.pdf"),
        QStringLiteral("~user/a.pdf"),
        QStringLiteral("https://example.com/a.pdf"),
        QStringLiteral("file:///tmp/a.pdf?x=1"),
        QStringLiteral("file:///tmp/a.pdf#page=2"),
        QStringLiteral("file://server/tmp/a.pdf"),
        QStringLiteral("file:///tmp/a b.pdf"),  // not a valid URL
        // An encoded NUL names no file: the path would end early at the system call.
        QStringLiteral("file:///tmp/a%00.pdf"),
        QStringLiteral("file:///tmp/notes.txt%00.pdf"),
        QStringLiteral("/") + QString(4096, QLatin1Char('a')) + QStringLiteral(".pdf"),
    };
    for (const QString& text : rows)
        EXPECT_EQ(LocalDocumentReference::url(text), std::nullopt) << text.left(80).toStdString();

    // 4,096 characters after trimming are still accepted.
    const QString longest = QStringLiteral("/") + QString(4091, QLatin1Char('a')) + QStringLiteral(".pdf");
    EXPECT_TRUE(LocalDocumentReference::url(QStringLiteral("  ") + longest + QStringLiteral("  ")));
}

TEST(LocalDocumentReference, SupportedFilesByExtensionAndHost) {
    for (const char* extension : {"png", "jpg", "jpeg", "tif", "tiff", "heic", "heif", "bmp", "gif", "webp", "pdf",
                                  "txt", "md", "text"}) {
        const QString name = QStringLiteral("/tmp/f.") + QString::fromLatin1(extension);
        EXPECT_TRUE(LocalDocumentReference::isSupported(QUrl::fromLocalFile(name))) << extension;
        EXPECT_TRUE(LocalDocumentReference::isSupported(QUrl::fromLocalFile(name.toUpper()))) << extension;
    }
    EXPECT_FALSE(LocalDocumentReference::isSupported(QUrl::fromLocalFile(QStringLiteral("/tmp/f.rtf"))));
    EXPECT_FALSE(LocalDocumentReference::isSupported(QUrl(QStringLiteral("https://example.com/f.pdf"))));
    EXPECT_FALSE(LocalDocumentReference::isSupported(QUrl(QStringLiteral("file://host/f.pdf"))));
    EXPECT_TRUE(LocalDocumentReference::isSupported(QUrl(QStringLiteral("file://localhost/f.pdf"))));
}
