#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include "base/cancellation.h"
#include "base/errors.h"

// On-device text recognition with Tesseract. Each thread keeps one engine, loaded on its first use
// with the preferred recognition languages that are installed, and reuses it for every later call.
namespace halvern {

// A failure of the recogniser itself (it could not be started or did not finish), passed on as it is.
class RecognitionError : public base::Error {
public:
    explicit RecognitionError(QString text) : text_(std::move(text)) {}
    QString message() const override { return text_; }

private:
    QString text_;
};

struct TextRecognizer {
    // The preferred recognition languages as Tesseract names them (simplified Chinese, traditional
    // Chinese, English, French), in order of preference.
    static const QStringList& preferredLanguages();

    // Those preferred languages whose data is installed, in the same order (found once per process).
    static const QStringList& installedLanguages();

    // Recognises the text of `image`, stored with the EXIF `orientation` (1 to 8; any other value is
    // read as 1, upright). Each recognised line is one line of the result, in the recogniser's order,
    // the whole trimmed; nothing recognised gives the empty string. `resolution` is the image's
    // resolution in dots per inch, or 0 to let the recogniser estimate it. Checks `cancellation`
    // before and after the run (and lets the recogniser stop early). Throws RecognitionError,
    // base::CancellationError.
    static QString recognize(const QImage& image, quint32 orientation = 1, int resolution = 0,
                             const base::CancellationToken& cancellation = {});

    // `image` turned upright according to the EXIF `orientation`.
    static QImage orientedUpright(const QImage& image, quint32 orientation);

    // Waits at most `timeoutMs` until every thread that recognised text has ended and freed its
    // engine; true once none is left. A pool's waitForDone() returns while its threads still free
    // what they hold, and the recognition libraries' own data goes with the process: the program
    // calls this before it ends, once its worker threads were told to end.
    static bool waitForEnginesFreed(int timeoutMs);
};

}  // namespace halvern
