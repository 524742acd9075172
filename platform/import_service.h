#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

#include "base/cancellation.h"
#include "base/errors.h"

// Brings a file the user chose into the main window as plain text, entirely on this machine: a
// private staged copy, the text of a PDF (recognising pages without a text layer), of a plain-text
// file, or of an image through text recognition.
namespace halvern {

// The result of every extraction.
struct ImportedText {
    QString text;  // trimmed, not empty, at most 20,000 characters
    QString note;  // a short hint shown beside the text

    bool operator==(const ImportedText&) const = default;
};

class ImportFailure : public base::Error {
public:
    enum class Case { unreadable, tooLarge, unsupported, empty, lockedPDF, copyingDisabled, invalidRange, noPages, tooManyPages };

    explicit ImportFailure(Case failureCase) : case_(failureCase) {}
    Case failureCase() const { return case_; }
    QString message() const override;

    bool operator==(const ImportFailure& other) const { return case_ == other.case_; }

private:
    Case case_;
};

// A closed range of 1-based page numbers, both ends included.
struct PageRange {
    int first = 1;
    int last = 1;
};

// Synchronous operations that may take seconds; run them away from the main thread. Errors of the
// file system and of the recogniser pass through as they are (base::FileError, RecognitionError).
struct ImportService {
    static constexpr qint64 fileSizeLimit = 41943040;  // 40 × 1,048,576; exactly this many bytes are accepted
    static inline const QString stagingPrefix = QStringLiteral("OrvelReaderImport-");
    static constexpr int defaultLastPage = 5;
    static constexpr int maximumPages = 20;

    // Copies the chosen file into a fresh private folder "OrvelReaderImport-<UUID>" (0700) in the
    // temporary directory, as a 0600 file of the same name, and returns the copy's URL.
    // Throws ImportFailure unsupported, unreadable, empty or tooLarge, or base::FileError.
    static QUrl stageSelectedFile(const QUrl& source);

    // Deletes the private folder of a staged copy; anything that is not such a folder directly in
    // the temporary directory is left alone. Never throws.
    static void removeStagedFile(const QUrl& stagedFile);

    // The page count (at least 1) of a readable, unlocked PDF that allows copying.
    static int pdfPageCount(const QUrl& file);

    // The text of a file, chosen by its extension: a PDF (`pages`, or pages 1 to 5), a plain-text
    // file, or an image.
    static ImportedText extractFile(const QUrl& file, std::optional<PageRange> pages = std::nullopt,
                                    const base::CancellationToken& cancellation = {});

    // The text recognised in the bytes of an image (a pasted image or an image file's contents).
    static ImportedText recognizeImage(const QByteArray& data, const base::CancellationToken& cancellation = {});
};

}  // namespace halvern
