#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/cancellation.h"
#include "base/errors.h"

namespace meridcore {

// Text taken out of a document, with a one-line note on what was extracted.
struct MeridImportedText {
    QString text;
    QString note;

    bool operator==(const MeridImportedText&) const = default;
};

// Why a Word or PowerPoint file gave no text.
class MeridArchiveError : public base::Error {
public:
    enum class Case { tooLarge, unreadable, unsupported, empty };

    explicit MeridArchiveError(Case errorCase) : case_(errorCase) {}

    Case errorCase() const { return case_; }
    QString message() const override { return description(case_); }
    static QString description(Case errorCase);

    bool operator==(const MeridArchiveError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

// Plain text of a DOCX or PPTX file, read on this machine: the parts come out of the ZIP
// container through the unzip program and only text runs and paragraph breaks of their XML are
// kept. Slides are headed "[第 n 张幻灯片]" so that course material finds them as source markers.
class MeridOfficeImporter {
public:
    static constexpr qint64 maxFileBytes = 41943040;     // 40 MiB, equal accepted
    static constexpr qint64 maxListingBytes = 50000;
    static constexpr qint64 maxPartBytes = 2000000;
    static constexpr int maxSlides = 120;
    static constexpr qsizetype maxTextLength = 100000;

    static QString docxNote();
    static QString pptxNote();

    struct Options {
        // The ZIP reader: "-Z", "-1", archive lists entry names one per line; "-P", "", "-p",
        // archive, member writes that member to standard output (never asking for a password).
        QString unzipProgram = QStringLiteral("/usr/bin/unzip");
        // Checked at entry and before every slide; cancelling ends a running unzip and waits for it.
        base::CancellationToken cancellation;
    };

    // Blocks while unzip runs. Throws MeridArchiveError, TeacherWorkspaceError(materialTooLong)
    // for more than 100,000 characters, base::FileError when the file cannot be examined, and
    // base::CancellationError.
    static MeridImportedText extract(const QString& path, const Options& options);
    static MeridImportedText extract(const QString& path) { return extract(path, Options{}); }

    // The rows (finished, trimmed, non-empty paragraphs) of one XML part: the character data
    // directly inside elements whose local name is `textElement`, one row per `paragraphElement`.
    // Throws MeridArchiveError(unreadable) for XML that does not parse, (tooLarge) when entities
    // expand the text past maxPartBytes UTF-16 units.
    static QStringList parseXmlWords(const QByteArray& xml, const QString& textElement = QStringLiteral("t"),
                                     const QString& paragraphElement = QStringLiteral("p"));

    // The number in "ppt/slides/slide<n>.xml"; the largest qint64 (sorting last) when it cannot be read.
    static qint64 slideNumber(const QString& entryName);

private:
    static QByteArray unzip(const QStringList& arguments, qint64 limit, const Options& options);
    static MeridImportedText validated(const QStringList& parts, const QString& note);
};

}  // namespace meridcore
