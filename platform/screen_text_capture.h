#pragma once

#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "base/cancellation.h"
#include "base/errors.h"
#include "platform/import_service.h"

// Lets the user drag a rectangle anywhere on the screen and returns the text in it: the desktop's
// interactive region-capture program writes one picture into a private temporary folder, the
// picture's text is recognised on this machine, and the folder is removed on every way out.
namespace halvern {

class CaptureFailure : public base::Error {
public:
    enum class Case { unavailable, noImage, failed };

    explicit CaptureFailure(Case failureCase) : case_(failureCase) {}
    Case failureCase() const { return case_; }
    QString message() const override;

    bool operator==(const CaptureFailure& other) const { return case_ == other.case_; }

private:
    Case case_;
};

struct ScreenTextCapture {
    static inline const QString defaultProgram = QStringLiteral("/usr/bin/maim");
    static inline const QString folderPrefix = QStringLiteral("OrvelCapture-");
    static inline const QString pictureName = QStringLiteral("selection.png");

    // The program's arguments for one interactive region written as PNG to `outputPath`.
    static QStringList captureArguments(const QString& outputPath);

    // Runs the capture on a worker thread and recognises the picture's text. Cancelling `cancellation`
    // ends the capture program (or keeps it from starting) and ends the call with
    // base::CancellationError. Throws CaptureFailure, the errors of ImportService::extractFile,
    // base::FileError when the folder cannot be made.
    static QCoro::Task<ImportedText> recognizeSelectedRegion(base::CancellationToken cancellation = {},
                                                             QString program = defaultProgram);

    // The same, blocking the calling thread while the user selects.
    static ImportedText captureBlocking(const base::CancellationToken& cancellation = {},
                                        const QString& program = defaultProgram);
};

}  // namespace halvern
