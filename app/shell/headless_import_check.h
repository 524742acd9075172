#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

#include "app/shell/app_store_services.h"
#include "tutor-engine/teacher_material.h"

namespace velquin {

// The tutor's import of course material as the import check uses it: a private staged copy, the
// page count of a staged PDF, its material (a PDF only within `pages`) and the removal of the
// copy. Filled by the tutor area.
struct TutorMaterialImport {
    std::function<QUrl(const QUrl& file)> stageSelectedFile;
    std::function<int(const QUrl& staged)> pdfPageCount;
    std::function<meridcore::TeacherMaterial(const QUrl& staged, std::optional<PageRange> pages)> load;
    std::function<void(const QUrl& staged)> removeStagedFile;

    bool isAvailable() const { return stageSelectedFile && pdfPageCount && load && removeStagedFile; }
};

// The import check of automated runs ("--qa-smoke-import FILE"): the file goes through the tutor
// import and, for "pdf", "txt" and "md", through the main window's import as well (a PDF as pages 1
// to 2 at most in both), and each success prints its marker line:
//   ORVEL_SMOKE_IMPORT_READY <extension> <characters> <chunks>
//   ORVEL_SMOKE_LESSONARY_IMPORT_READY <extension> <characters>
// A failure removes every staged copy and prints "ORVEL_SMOKE_IMPORT_FAILED <message>".
class HeadlessImportCheck {
public:
    static constexpr int failureStatus = 2;

    // Checks the file at `path` (relative to the current folder), giving each marker line, with
    // its line break, to `print`. Returns 0 after both imports succeeded, `failureStatus` after a
    // failure. Blocks while the files are read: run it away from the main thread.
    static int perform(const QString& path, const TutorMaterialImport& tutor,
                       const std::function<void(const QByteArray& line)>& print);
};

}  // namespace velquin
