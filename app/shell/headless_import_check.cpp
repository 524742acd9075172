#include "app/shell/headless_import_check.h"

#include <QFileInfo>

#include <algorithm>

#include "app/shell/ui_strings.h"
#include "base/errors.h"
#include "base/text.h"
#include "platform/import_service.h"
#include "tutor-engine/merid_office_importer.h"

namespace velquin {

namespace {

// Names the failure of a program built without the tutor area.
class MissingTutorImport : public base::Error {
public:
    QString message() const override { return QStringLiteral("this build has no tutor import"); }
};

// What follows the last dot of the file name, when that dot is neither its first nor its last
// character; lower-cased.
QString lowerExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1) return {};
    return name.mid(dot + 1).toLower();
}

// Pages 1 to 2 at most of a PDF that opens and has pages.
PageRange checkedPages(const TutorMaterialImport& tutor, const QUrl& pdf) {
    const int count = tutor.pdfPageCount(pdf);
    if (count <= 0) throw meridcore::MeridArchiveError(meridcore::MeridArchiveError::Case::unreadable);
    return PageRange{1, std::min(count, 2)};
}

QByteArray numberText(qsizetype value) { return QByteArray::number(qlonglong(value)); }

}  // namespace

int HeadlessImportCheck::perform(const QString& path, const TutorMaterialImport& tutor,
                                 const std::function<void(const QByteArray&)>& print) {
    const QUrl file = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    const QByteArray extension = lowerExtension(path).toUtf8();
    std::optional<QUrl> tutorCopy;
    std::optional<QUrl> windowCopy;
    try {
        if (!tutor.isAvailable()) throw MissingTutorImport();
        tutorCopy = tutor.stageSelectedFile(file);
        std::optional<PageRange> pages;
        if (extension == "pdf") pages = checkedPages(tutor, *tutorCopy);
        const meridcore::TeacherMaterial material = tutor.load(*tutorCopy, pages);
        if (material.text().isEmpty() || material.count() <= 0)
            throw meridcore::MeridArchiveError(meridcore::MeridArchiveError::Case::empty);
        print("ORVEL_SMOKE_IMPORT_READY " + extension + ' ' + numberText(base::text::graphemeCount(material.text())) +
              ' ' + numberText(material.count()) + '\n');

        if (extension == "pdf" || extension == "txt" || extension == "md") {
            windowCopy = halvern::ImportService::stageSelectedFile(file);
            std::optional<halvern::PageRange> windowPages;
            if (pages) windowPages = halvern::PageRange{pages->first, pages->last};
            const halvern::ImportedText imported = halvern::ImportService::extractFile(*windowCopy, windowPages);
            if (imported.text.isEmpty()) throw halvern::ImportFailure(halvern::ImportFailure::Case::empty);
            print("ORVEL_SMOKE_LESSONARY_IMPORT_READY " + extension + ' ' +
                  numberText(base::text::graphemeCount(imported.text)) + '\n');
            halvern::ImportService::removeStagedFile(*std::exchange(windowCopy, std::nullopt));
        }
        tutor.removeStagedFile(*tutorCopy);
        return 0;
    } catch (const std::exception& error) {
        if (windowCopy) halvern::ImportService::removeStagedFile(*windowCopy);
        if (tutorCopy) tutor.removeStagedFile(*tutorCopy);
        const auto* known = dynamic_cast<const base::Error*>(&error);
        // In the interface language, as the window would show it.
        const QString message = known ? UIStrings::text(known->message()) : QString::fromLocal8Bit(error.what());
        print("ORVEL_SMOKE_IMPORT_FAILED " + message.toUtf8() + '\n');
        return failureStatus;
    }
}

}  // namespace velquin
