#include "tutor-engine/merid_office_importer.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <limits>
#include <optional>

#include "base/files.h"
#include "base/process.h"
#include "base/text.h"
#include "tutor-engine/teacher_workspace_error.h"

namespace meridcore {

QString MeridArchiveError::description(Case errorCase) {
    switch (errorCase) {
    case Case::tooLarge: return QStringLiteral("文档展开后过大，请缩短或拆分资料再导入。");
    case Case::unreadable: return QStringLiteral("文件无法读取，可能损坏或不是有效 DOCX/PPTX。");
    case Case::unsupported: return QStringLiteral("请选择 DOCX 或 PPTX 格式。");
    case Case::empty: return QStringLiteral("没有识别到文档文字，请确认文件中有可提取的文本。");
    }
    return QStringLiteral("文件无法读取，可能损坏或不是有效 DOCX/PPTX。");
}

QString MeridOfficeImporter::docxNote() {
    return QStringLiteral("Word 课件：按段落提取文字，无可靠页码（请按段落核对）。");
}

QString MeridOfficeImporter::pptxNote() {
    return QStringLiteral("PowerPoint 课件：已附幻灯片编号；图表、复杂公式和图片可能未被提取。");
}

namespace {

using Archive = MeridArchiveError;

QString localName(const QStringView qualifiedName) {
    const qsizetype colon = qualifiedName.lastIndexOf(u':');
    return (colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1)).toString();
}

// Collects the text runs of one XML part, paragraph by paragraph.
class XmlWords {
public:
    XmlWords(QString textElement, QString paragraphElement)
        : textElement_(std::move(textElement)), paragraphElement_(std::move(paragraphElement)) {}

    QStringList parse(const QByteArray& xml) {
        QXmlStreamReader reader(xml);
        // Element names keep their prefixes (w:t, a:p); the local name is compared.
        reader.setNamespaceProcessing(false);
        while (!reader.atEnd()) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement: didStart(localName(reader.qualifiedName())); break;
            case QXmlStreamReader::Characters:
                if (insideText_) {
                    // Without entities a part of at most maxPartBytes bytes holds no more text than
                    // that; only internal entities repeated many times expand past it (a few hundred
                    // kilobytes of XML could otherwise fill gigabytes).
                    collected_ += reader.text().size();
                    if (collected_ > MeridOfficeImporter::maxPartBytes) throw Archive(Archive::Case::tooLarge);
                    current_ += reader.text();
                }
                break;
            case QXmlStreamReader::EndElement: didEnd(localName(reader.qualifiedName())); break;
            default: break;
            }
        }
        if (reader.hasError()) throw Archive(Archive::Case::unreadable);
        finishParagraph();
        return rows_;
    }

private:
    void didStart(const QString& name) {
        // Any other element ends collection: only character data directly inside a text element counts.
        insideText_ = name == textElement_;
        if (insideText_) current_.clear();
    }

    void didEnd(const QString& name) {
        if (name == textElement_) {
            paragraph_ += current_;
            current_.clear();
            insideText_ = false;
        }
        if (name == paragraphElement_) finishParagraph();
    }

    void finishParagraph() {
        const QString row = base::text::trimmed(paragraph_);
        if (!row.isEmpty()) rows_.append(row);
        paragraph_.clear();
    }

    const QString textElement_;
    const QString paragraphElement_;
    bool insideText_ = false;
    qint64 collected_ = 0;  // UTF-16 units of text collected so far
    QString current_;
    QString paragraph_;
    QStringList rows_;
};

// unzip asks for the password of an encrypted member on the controlling terminal and waits there
// (an application started from a terminal would hang); a given password, right or wrong, never
// prompts: a wrong one makes it end non-zero, which reads as unreadable.
QStringList memberArguments(const QString& archive, const QString& member) {
    return {QStringLiteral("-P"), QString(), QStringLiteral("-p"), archive, member};
}

}  // namespace

QStringList MeridOfficeImporter::parseXmlWords(const QByteArray& xml, const QString& textElement,
                                                const QString& paragraphElement) {
    return XmlWords(textElement, paragraphElement).parse(xml);
}

qint64 MeridOfficeImporter::slideNumber(const QString& entryName) {
    QString digits = entryName;
    digits.remove(QStringLiteral("ppt/slides/slide"));
    digits.remove(QStringLiteral(".xml"));
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok, 10);
    return ok ? number : std::numeric_limits<qint64>::max();
}

QByteArray MeridOfficeImporter::unzip(const QStringList& arguments, qint64 limit, const Options& options) {
    base::ProcessOptions processOptions;
    processOptions.maxOutputBytes = limit;
    processOptions.cancellation = options.cancellation;
    base::ProcessResult result;
    try {
        result = base::runProcess(options.unzipProgram, arguments, processOptions);
    } catch (const base::ProcessError& error) {
        if (error.kind() == base::ProcessError::Kind::outputTooLarge) throw Archive(Archive::Case::tooLarge);
        throw Archive(Archive::Case::unreadable);
    }
    // A missing member, a damaged archive or a file that is not a ZIP archive ends it non-zero.
    if (result.crashed || result.exitCode != 0) throw Archive(Archive::Case::unreadable);
    return result.output;
}

MeridImportedText MeridOfficeImporter::validated(const QStringList& parts, const QString& note) {
    const QString text = base::text::trimmed(parts.join(QStringLiteral("\n\n")));
    if (text.isEmpty()) throw Archive(Archive::Case::empty);
    if (base::text::graphemeCountExceeds(text, maxTextLength))
        throw TeacherWorkspaceError(TeacherWorkspaceError::Case::materialTooLong);
    return MeridImportedText{text, note};
}

MeridImportedText MeridOfficeImporter::extract(const QString& path, const Options& options) {
    options.cancellation.throwIfCancelled();

    const QFileInfo info(path);
    if (!info.exists()) throw base::FileError(base::FileError::Kind::notFound, path);
    if (info.size() > maxFileBytes) throw Archive(Archive::Case::tooLarge);

    // An absolute path never reads as an option of the program.
    QString archive = info.absoluteFilePath();
    const QString extension = info.suffix().toLower();

    // unzip treats "*", "?" and "[" in the archive's file name as a pattern over its folder, so
    // "Lecture [1].docx" would read a neighbouring "Lecture 1.docx". Such a file is handed to it
    // through a link with a plain name in a private folder, removed when the call ends.
    std::optional<base::StagingFolder> linkFolder;
    if (extension == u"docx" || extension == u"pptx") {
        const QString fileName = info.fileName();
        if (fileName.contains(u'*') || fileName.contains(u'?') || fileName.contains(u'[')) {
            linkFolder = base::StagingFolder::create(QStringLiteral("OrvelOfficeImport-"));
            const QString link = linkFolder->filePath(QStringLiteral("document.") + extension);
            if (!QFile::link(archive, link))
                throw base::FileError(base::FileError::Kind::writeFailed, link, QStringLiteral("无法链接文件"));
            archive = link;
        }
    }

    if (extension == u"docx") {
        const QByteArray xml =
            unzip(memberArguments(archive, QStringLiteral("word/document.xml")), maxPartBytes, options);
        return validated(parseXmlWords(xml), docxNote());
    }
    if (extension != u"pptx") throw Archive(Archive::Case::unsupported);

    const QByteArray listing = unzip({QStringLiteral("-Z"), QStringLiteral("-1"), archive}, maxListingBytes, options);
    static const QRegularExpression slidePattern(QStringLiteral("\\Appt/slides/slide[0-9]+\\.xml\\z"));
    QStringList slides;
    for (const QString& line : base::text::splitLines(QString::fromUtf8(listing))) {
        if (slidePattern.match(line).hasMatch()) slides.append(line);
    }
    std::stable_sort(slides.begin(), slides.end(),
                     [](const QString& a, const QString& b) { return slideNumber(a) < slideNumber(b); });
    if (slides.isEmpty()) throw Archive(Archive::Case::empty);
    if (slides.size() > maxSlides) throw Archive(Archive::Case::tooLarge);

    QStringList blocks;
    // Characters of the blocks joined so far. Each block begins and ends with a non-blank character
    // and the "\n\n" between them never joins a cluster, so the count adds up exactly; once it is
    // over the limit no later slide can bring it back, and reading on (up to 120 parts of 2,000,000
    // bytes each) would only hold gigabytes of text for nothing.
    qsizetype characters = 0;
    for (const QString& slide : slides) {
        options.cancellation.throwIfCancelled();
        const QStringList rows =
            parseXmlWords(unzip(memberArguments(archive, slide), maxPartBytes, options));
        if (rows.isEmpty()) continue;
        blocks.append(QStringLiteral("[第 ") + QString::number(slideNumber(slide)) + QStringLiteral(" 张幻灯片]\n") +
                      rows.join(u'\n'));
        characters += (blocks.size() > 1 ? 2 : 0) + base::text::graphemeCount(blocks.last());
        if (characters > maxTextLength) throw TeacherWorkspaceError(TeacherWorkspaceError::Case::materialTooLong);
    }
    return validated(blocks, pptxNote());
}

}  // namespace meridcore
