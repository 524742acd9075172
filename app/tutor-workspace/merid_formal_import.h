#pragma once

#include <QString>
#include <QUrl>
#include <optional>

#include "app/shell/app_store.h"
#include "app/shell/app_store_services.h"
#include "tutor-engine/teacher_material.h"

// Course material for the tutor, read entirely on this machine: a private staged copy of the file
// the student picked, its text as tutor material, and the removal of the copy.
namespace velquin {

// A staged PDF waiting for the student's page range: the main window's choice type (a fresh id
// for every choice, so that offering the same file again shows the range sheet again).
using MeridFormalPDFChoice = PDFChoice;

// Stateless, synchronous and blocking (file copies, PDF text, the Office importer's unzip runs):
// callers choose the thread. Failures are meridcore::MeridArchiveError values; errors of the file
// system (base::FileError, base::SystemError), of the Office importer and of TeacherMaterial's
// own checks pass through unchanged.
class MeridFormalImport {
public:
    MeridFormalImport() = delete;

    static inline const QString stagingPrefix = QStringLiteral("OrvelImport-");
    static constexpr qint64 maxFileBytes = 41943040;   // 40 MiB, equal accepted
    static constexpr qint64 maxTextFileBytes = 2000000;  // TXT and MD, equal accepted
    static constexpr int maxPDFPages = 20;

    static QString pdfNote() { return QStringLiteral("PDF 原生文本层已提取，图像扫描页需要另行 OCR。"); }
    static QString textNote() { return QStringLiteral("本机 UTF-8 文本导入。"); }

    // Whether the lower-cased extension of the URL's file name is pdf, docx, pptx, txt or md.
    static bool isAccepted(const QUrl& url);

    // Copies a local file of an accepted kind into a new folder "OrvelImport-<UUID>" (0700) directly
    // in the temporary directory, as a 0600 file of the same name, and returns the copy's URL.
    // Throws MeridArchiveError: unsupported (not a local file, or another extension; nothing is
    // touched), unreadable (not a regular file), empty (no bytes), tooLarge (over 40 MiB, the
    // copy included). A failed call leaves no folder behind.
    static QUrl stageSelectedFile(const QUrl& url);

    // Removes the staging folder of a staged copy, with everything in it, only when it lies
    // directly in the temporary directory and its name begins "OrvelImport-". Never throws.
    static void removeStagedFile(const QUrl& stagedFile);

    // The page count of a staged PDF (at least 1). Throws MeridArchiveError(unreadable) for a PDF
    // that cannot be opened, is locked, or has no pages.
    static int pdfPageCount(const QUrl& stagedFile);

    // The material of a staged copy, named after its file. A PDF gives the text of `pages` (every
    // page when absent), each page with text as "[第 N 页]", a line break and its text, pages
    // joined by a blank line; at most 20 pages, a range outside the document or reversed is
    // tooLarge, no page with text is empty. TXT and MD: at most 2,000,000 bytes (tooLarge), UTF-8,
    // or UTF-16 with a byte-order mark; other bytes are refused with base::SystemError. DOCX and
    // PPTX go through the Office importer. Deletes nothing, also when it fails.
    static meridcore::TeacherMaterial load(const QUrl& stagedFile, std::optional<PageRange> pages = std::nullopt);
};

}  // namespace velquin
