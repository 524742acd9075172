#include "platform/import_service.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageIOHandler>
#include <QImageReader>

#include <algorithm>
#include <variant>

#include "base/files.h"
#include "base/text.h"
#include "core/local_document_reference.h"
#include "core/study.h"
#include "platform/document_libraries.h"
#include "platform/text_recognizer.h"

namespace halvern {

QString ImportFailure::message() const {
    switch (case_) {
    case Case::unreadable: return QStringLiteral("无法读取这个文件，请确认文件完整且当前账户有访问权限。");
    case Case::tooLarge: return QStringLiteral("文件超过 40 MB，请先拆分或缩小图片。");
    case Case::unsupported: return QStringLiteral("请使用 UTF-8/UTF-16 文本、图片或 PDF 文件。");
    case Case::empty: return QStringLiteral("未识别到文字。请换一张更清晰、方向正确的图片，或手动输入。");
    case Case::lockedPDF: return QStringLiteral("PDF 已加密。请使用你获准读取的未加密副本。");
    case Case::copyingDisabled: return QStringLiteral("这个 PDF 不允许复制文字，请使用允许提取文字的文件。");
    case Case::invalidRange: return QStringLiteral("PDF 页码范围无效，请检查起止页。");
    case Case::noPages: return QStringLiteral("PDF 中没有页面。");
    case Case::tooManyPages: return QStringLiteral("一次最多导入 20 页，请分批选择。");
    }
    return {};
}

namespace {

using Failure = ImportFailure::Case;

[[noreturn]] void fail(Failure failureCase) { throw ImportFailure(failureCase); }

using base::files::fileFacts;
using base::files::localPath;

// Not a regular file -> unreadable; over the limit -> tooLarge. Empty files pass here.
void checkFile(const QString& path) {
    if (path.isEmpty()) fail(Failure::unreadable);
    const base::files::FileFacts facts = fileFacts(path);
    if (!facts.regular) fail(Failure::unreadable);
    if (facts.size > ImportService::fileSizeLimit) fail(Failure::tooLarge);
}

// UTF-8; UTF-16 only with a byte-order mark; anything else is refused.
QString decodedText(const QByteArray& bytes) {
    std::optional<QString> text = base::text::decodeUnicode(bytes);
    if (!text) fail(Failure::unsupported);
    return std::move(*text);
}

QByteArray readWhole(const QString& path) {
    try {
        return base::files::readCapped(path, ImportService::fileSizeLimit);
    } catch (const base::FileError& error) {
        if (error.kind() == base::FileError::Kind::tooLarge) fail(Failure::tooLarge);
        throw;
    }
}

std::unique_ptr<PdfDocument> openPDF(const QString& path) {
    std::unique_ptr<PdfDocument> document = DocumentLibraries::shared().openPdf(path);
    if (!document) fail(Failure::unreadable);
    if (document->isLocked()) fail(Failure::lockedPDF);
    if (!document->allowsCopying()) fail(Failure::copyingDisabled);
    return document;
}

ImportedText extractPDF(const QString& path, std::optional<PageRange> pages, const base::CancellationToken& cancellation) {
    std::unique_ptr<PdfDocument> document = openPDF(path);
    const int pageCount = document->pageCount();
    if (pageCount <= 0) fail(Failure::noPages);

    int first = 1;
    int last = std::min(pageCount, ImportService::defaultLastPage);
    if (pages) {
        first = pages->first;
        last = pages->last;
        if (first < 1 || last > pageCount || last < first) fail(Failure::invalidRange);
        if (qint64(last) - first + 1 > ImportService::maximumPages) fail(Failure::tooManyPages);
    }

    QStringList parts;
    qsizetype joinedLength = 0;  // grapheme count of parts joined with "\n\n"
    bool usedRecognition = false;
    for (int number = first; number <= last; ++number) {
        cancellation.throwIfCancelled();
        std::unique_ptr<PdfPage> page = document->page(number - 1);
        if (!page) fail(Failure::unreadable);
        QString text = base::text::trimmed(page->text());
        if (text.isEmpty()) {
            usedRecognition = true;
            const QSizeF size = page->size();
            if (!(size.width() > 0) || !(size.height() > 0)) fail(Failure::unreadable);
            const double scale = std::min(2200.0 / std::max(size.width(), size.height()), 2.5);
            const double dotsPerInch = 72.0 * scale;
            const QImage image = page->render(dotsPerInch);
            if (image.isNull()) fail(Failure::unreadable);
            text = TextRecognizer::recognize(image, 1, qRound(dotsPerInch), cancellation);
        }
        if (!text.isEmpty()) {
            const QString part = QStringLiteral("[第 ") + QString::number(number) + QStringLiteral(" 页]\n") + text;
            joinedLength += base::text::graphemeCount(part) + (parts.isEmpty() ? 0 : 2);
            parts << part;
        }
        if (joinedLength > tamsel::SourceText::limit) throw tamsel::StudyError(tamsel::StudyError::Case::inputTooLong);
    }
    if (parts.isEmpty()) fail(Failure::empty);

    const QString text = tamsel::SourceText::validated(parts.join(QStringLiteral("\n\n")));
    QString note = QStringLiteral("已导入 PDF 第 ") + QString::number(first) + QChar(0x2013) + QString::number(last) + QStringLiteral(" 页。");
    note += usedRecognition ? QStringLiteral("部分页面使用本机 OCR，请核对识别结果。") : QStringLiteral("请核对文字顺序。");
    return {text, note};
}

// The EXIF orientation number of the transformation an image reader found in the file.
quint32 exifOrientation(QImageIOHandler::Transformations transformation) {
    switch (int(transformation)) {
    case QImageIOHandler::TransformationMirror: return 2;
    case QImageIOHandler::TransformationRotate180: return 3;
    case QImageIOHandler::TransformationFlip: return 4;
    case QImageIOHandler::TransformationFlipAndRotate90: return 5;
    case QImageIOHandler::TransformationRotate90: return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90: return 7;
    case QImageIOHandler::TransformationRotate270: return 8;
    default: return 1;
    }
}

}  // namespace

QUrl ImportService::stageSelectedFile(const QUrl& source) {
    if (!tamsel::LocalDocumentReference::isSupported(source)) fail(Failure::unsupported);
    const QString sourcePath = localPath(source);
    if (sourcePath.isEmpty()) fail(Failure::unsupported);

    const std::variant<QString, base::StagingRefusal> staged = base::stageCopy(sourcePath, stagingPrefix, fileSizeLimit);
    if (const auto* refusal = std::get_if<base::StagingRefusal>(&staged)) {
        switch (*refusal) {
        case base::StagingRefusal::notRegularFile: fail(Failure::unreadable);
        case base::StagingRefusal::emptyFile: fail(Failure::empty);
        case base::StagingRefusal::tooLarge: fail(Failure::tooLarge);
        }
    }
    return QUrl::fromLocalFile(std::get<QString>(staged));
}

void ImportService::removeStagedFile(const QUrl& stagedFile) {
    base::removeStagedCopy(localPath(stagedFile), stagingPrefix);
}

int ImportService::pdfPageCount(const QUrl& file) {
    const QString path = localPath(file);
    checkFile(path);
    const int count = openPDF(path)->pageCount();
    if (count <= 0) fail(Failure::noPages);
    return count;
}

ImportedText ImportService::extractFile(const QUrl& file, std::optional<PageRange> pages, const base::CancellationToken& cancellation) {
    cancellation.throwIfCancelled();
    const QString path = localPath(file);
    checkFile(path);
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("pdf")) return extractPDF(path, pages, cancellation);
    if (extension == QLatin1String("txt") || extension == QLatin1String("md") || extension == QLatin1String("text")) {
        const QString text = tamsel::SourceText::validated(decodedText(readWhole(path)));
        return {text, QStringLiteral("已导入文本：") + QFileInfo(path).fileName()};
    }
    return recognizeImage(readWhole(path), cancellation);
}

ImportedText ImportService::recognizeImage(const QByteArray& data, const base::CancellationToken& cancellation) {
    cancellation.throwIfCancelled();
    if (data.size() > fileSizeLimit) fail(Failure::tooLarge);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    if (!reader.canRead()) fail(Failure::unreadable);
    const quint32 orientation = exifOrientation(reader.transformation());
    const QImage image = reader.read();
    if (image.isNull()) fail(Failure::unreadable);

    const QString text = TextRecognizer::recognize(image, orientation, 0, cancellation);
    if (text.isEmpty()) fail(Failure::empty);
    return {tamsel::SourceText::validated(text), QStringLiteral("已在本机 OCR。发送前请核对公式、数字和多栏阅读顺序。")};
}

}  // namespace halvern
