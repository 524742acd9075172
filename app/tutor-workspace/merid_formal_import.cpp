#include "app/tutor-workspace/merid_formal_import.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <poppler/qt6/poppler-qt6.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/files.h"
#include "base/text.h"
#include "tutor-engine/merid_office_importer.h"

namespace velquin {

namespace {

using meridcore::MeridArchiveError;
using Case = MeridArchiveError::Case;

[[noreturn]] void fail(Case errorCase) { throw MeridArchiveError(errorCase); }

// The path of a file URL on this machine ("localhost" names this machine too); empty otherwise.
QString localPath(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    QUrl local = url;
    if (local.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        local.setHost(QString());
    else if (!local.host().isEmpty())
        return {};
    return local.toLocalFile();
}

// What follows the last dot of the file name, lower-cased; empty for a name without one.
QString lowerExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) return {};
    return name.mid(dot + 1).toLower();
}

struct FileFacts {
    bool regular = false;
    qint64 size = 0;
};

// Links are followed for the picked file, as opening it would; the staged copy is looked at itself.
FileFacts fileFacts(const QString& path, bool followLinks) {
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(path);
    if ((followLinks ? ::stat(encoded.constData(), &info) : ::lstat(encoded.constData(), &info)) != 0) {
        const int error = errno;
        throw base::FileError(error == ENOENT ? base::FileError::Kind::notFound : base::FileError::Kind::readFailed,
                              path, QString::fromLocal8Bit(std::strerror(error)));
    }
    return {S_ISREG(info.st_mode), qint64(info.st_size)};
}

void ignorePopplerMessage(const QString&, const QVariant&) {}

// An open, unlocked PDF with at least one page.
std::unique_ptr<Poppler::Document> openPDF(const QString& path) {
    // Damaged files are reported through the failures here; the library's own messages only add noise.
    static std::once_flag quiet;
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction(&ignorePopplerMessage, QVariant()); });
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
    if (!document || document->isLocked() || document->numPages() <= 0) fail(Case::unreadable);
    return document;
}

QString pdfText(const QString& path, std::optional<PageRange> pages) {
    const std::unique_ptr<Poppler::Document> document = openPDF(path);
    const int pageCount = document->numPages();
    const PageRange range = pages.value_or(PageRange{1, pageCount});
    if (range.first < 1) fail(Case::tooLarge);
    if (qint64(range.last) - range.first > MeridFormalImport::maxPDFPages - 1 || range.last < range.first ||
        range.last > pageCount)
        fail(Case::tooLarge);

    QStringList parts;
    for (int number = range.first; number <= range.last; ++number) {
        const std::unique_ptr<Poppler::Page> page = document->page(number - 1);
        if (!page) continue;
        const QString text = page->text(QRectF());
        if (text.isEmpty()) continue;
        parts << QStringLiteral("[第 ") + QString::number(number) + QStringLiteral(" 页]\n") + text;
    }
    if (parts.isEmpty()) fail(Case::empty);
    return parts.join(QStringLiteral("\n\n"));
}

QString plainText(const QString& path) {
    const FileFacts facts = fileFacts(path, true);
    if (facts.size > MeridFormalImport::maxTextFileBytes) fail(Case::tooLarge);
    QByteArray bytes;
    try {
        bytes = base::files::readCapped(path, MeridFormalImport::maxTextFileBytes);
    } catch (const base::FileError& error) {
        // Grown past the limit since it was measured.
        if (error.kind() == base::FileError::Kind::tooLarge) fail(Case::tooLarge);
        throw;
    }
    std::optional<QString> text = base::text::decodeUnicode(bytes);
    if (!text)
        throw base::SystemError(QStringLiteral("无法以 UTF-8 读取文件“") + QFileInfo(path).fileName() +
                                QStringLiteral("”：文本编码不受支持。"));
    return std::move(*text);
}

}  // namespace

bool MeridFormalImport::isAccepted(const QUrl& url) {
    static const QStringList kinds{QStringLiteral("pdf"), QStringLiteral("docx"), QStringLiteral("pptx"),
                                   QStringLiteral("txt"), QStringLiteral("md")};
    const QString path = localPath(url);
    return !path.isEmpty() && kinds.contains(lowerExtension(path));
}

QUrl MeridFormalImport::stageSelectedFile(const QUrl& url) {
    if (!isAccepted(url)) fail(Case::unsupported);
    const QString source = localPath(url);

    const FileFacts facts = fileFacts(source, true);
    if (!facts.regular) fail(Case::unreadable);
    if (facts.size <= 0) fail(Case::empty);
    if (facts.size > maxFileBytes) fail(Case::tooLarge);

    // Removed with everything in it on every failure below.
    base::StagingFolder folder = base::StagingFolder::create(stagingPrefix);
    const QString copy = folder.filePath(QFileInfo(source).fileName());
    if (!base::files::copyRegularFile(source, copy, maxFileBytes)) fail(Case::unreadable);

    const FileFacts copied = fileFacts(copy, false);
    if (!copied.regular || copied.size < 1 || copied.size > maxFileBytes) fail(Case::tooLarge);
    base::files::makeOwnerOnly(copy);

    folder.release();
    return QUrl::fromLocalFile(copy);
}

void MeridFormalImport::removeStagedFile(const QUrl& stagedFile) {
    const QString path = localPath(stagedFile);
    if (path.isEmpty() || QDir::isRelativePath(path)) return;
    const QString folder = QFileInfo(QDir::cleanPath(path)).absolutePath();
    base::removeGuardedFolder(QDir::cleanPath(QDir::tempPath()), stagingPrefix, folder);
}

int MeridFormalImport::pdfPageCount(const QUrl& stagedFile) {
    const QString path = localPath(stagedFile);
    if (path.isEmpty()) fail(Case::unreadable);
    return openPDF(path)->numPages();
}

meridcore::TeacherMaterial MeridFormalImport::load(const QUrl& stagedFile, std::optional<PageRange> pages) {
    const QString path = localPath(stagedFile);
    const QString extension = lowerExtension(path);
    const QString name = QFileInfo(path).fileName();
    if (path.isEmpty()) fail(Case::unsupported);

    if (extension == QLatin1String("docx") || extension == QLatin1String("pptx")) {
        const meridcore::MeridImportedText extracted = meridcore::MeridOfficeImporter::extract(path);
        return meridcore::TeacherMaterial(name, extracted.text, extracted.note);
    }
    if (extension == QLatin1String("pdf")) return meridcore::TeacherMaterial(name, pdfText(path, pages), pdfNote());
    if (extension == QLatin1String("txt") || extension == QLatin1String("md"))
        return meridcore::TeacherMaterial(name, plainText(path), textNote());
    fail(Case::unsupported);
}

}  // namespace velquin
