#include "app/tutor-workspace/merid_formal_import.h"

#include <QFileInfo>

#include <memory>
#include <variant>

#include "base/files.h"
#include "base/text.h"
#include "platform/document_libraries.h"
#include "tutor-engine/merid_office_importer.h"

namespace velquin {

namespace {

using meridcore::MeridArchiveError;
using Case = MeridArchiveError::Case;

[[noreturn]] void fail(Case errorCase) { throw MeridArchiveError(errorCase); }

using base::files::localPath;

// What follows the last dot of the file name, lower-cased; empty for a name without one.
QString lowerExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) return {};
    return name.mid(dot + 1).toLower();
}

// An open, unlocked PDF with at least one page.
std::unique_ptr<halvern::PdfDocument> openPDF(const QString& path) {
    std::unique_ptr<halvern::PdfDocument> document = halvern::DocumentLibraries::shared().openPdf(path);
    if (!document || document->isLocked() || document->pageCount() <= 0) fail(Case::unreadable);
    return document;
}

QString pdfText(const QString& path, std::optional<PageRange> pages) {
    const std::unique_ptr<halvern::PdfDocument> document = openPDF(path);
    const int pageCount = document->pageCount();
    const PageRange range = pages.value_or(PageRange{1, pageCount});
    if (range.first < 1) fail(Case::tooLarge);
    if (qint64(range.last) - range.first > MeridFormalImport::maxPDFPages - 1 || range.last < range.first ||
        range.last > pageCount)
        fail(Case::tooLarge);

    QStringList parts;
    for (int number = range.first; number <= range.last; ++number) {
        const std::unique_ptr<halvern::PdfPage> page = document->page(number - 1);
        if (!page) continue;
        const QString text = page->text();
        if (text.isEmpty()) continue;
        parts << QStringLiteral("[第 ") + QString::number(number) + QStringLiteral(" 页]\n") + text;
    }
    if (parts.isEmpty()) fail(Case::empty);
    return parts.join(QStringLiteral("\n\n"));
}

QString plainText(const QString& path) {
    const base::files::FileFacts facts = base::files::fileFacts(path);
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
    const std::variant<QString, base::StagingRefusal> staged =
        base::stageCopy(localPath(url), stagingPrefix, maxFileBytes);
    if (const auto* refusal = std::get_if<base::StagingRefusal>(&staged)) {
        switch (*refusal) {
        case base::StagingRefusal::notRegularFile: fail(Case::unreadable);
        case base::StagingRefusal::emptyFile: fail(Case::empty);
        case base::StagingRefusal::tooLarge: fail(Case::tooLarge);
        }
    }
    return QUrl::fromLocalFile(std::get<QString>(staged));
}

void MeridFormalImport::removeStagedFile(const QUrl& stagedFile) {
    base::removeStagedCopy(localPath(stagedFile), stagingPrefix);
}

int MeridFormalImport::pdfPageCount(const QUrl& stagedFile) {
    const QString path = localPath(stagedFile);
    if (path.isEmpty()) fail(Case::unreadable);
    return openPDF(path)->pageCount();
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
