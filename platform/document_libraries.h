#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The PDF and text-recognition libraries (poppler, Tesseract and all they pull in) live in a module
// of their own, liborvel-documents.so, which the program opens the first time it reads a PDF or
// recognises text: linked into the program they would be loaded at every start. The module only
// wraps the libraries; what the program makes of their answers stays in the program. Nothing
// crosses the boundary as an exception.
namespace halvern {

class PdfPage {
public:
    virtual ~PdfPage() = default;
    // All the page's text.
    virtual QString text() const = 0;
    // In points; empty when the page has no size.
    virtual QSizeF size() const = 0;
    // The page drawn with antialiasing; null when it cannot be drawn.
    virtual QImage render(double dotsPerInch) const = 0;
};

class PdfDocument {
public:
    virtual ~PdfDocument() = default;
    virtual bool isLocked() const = 0;
    virtual bool allowsCopying() const = 0;
    virtual int pageCount() const = 0;
    // `index` counts from 0; null when that page cannot be read.
    virtual std::unique_ptr<PdfPage> page(int index) const = 0;
};

// What one run of the recogniser gave.
struct RecognizedLines {
    enum class Outcome { done, notStarted, cancelled, failed };
    Outcome outcome = Outcome::done;
    QStringList lines;  // each text line as the recogniser read it, in its order (done only)
};

class DocumentLibraries {
public:
    virtual ~DocumentLibraries() = default;

    // Null when `path` is not a PDF that opens. The libraries' own messages are kept quiet.
    virtual std::unique_ptr<PdfDocument> openPdf(const QString& path) const = 0;

    // Recognises the text lines of an 8-bit grayscale image with the calling thread's engine, which
    // is started on the thread's first call with `languages` ("eng+fra" form; empty: the engine's
    // default) from `dataFolder` (empty: its default) and kept until the thread ends.
    // `resolution` in dots per inch, 0 to let the engine estimate it. `cancelled` is asked while
    // the engine runs and can end it early.
    virtual RecognizedLines recognize(const QImage& grayscale, int resolution, const QString& dataFolder,
                                      const QString& languages, const std::function<bool()>& cancelled) const = 0;

    // The libraries of this process: the module linked into it (tests, benchmarks) or else opened
    // from its installed place relative to the program, on the first call from any thread. Throws
    // base::SystemError when the module cannot be opened.
    static const DocumentLibraries& shared();
};

}  // namespace halvern

// The module's one exported entry; the number changes whenever the classes above change.
#define ORVEL_DOCUMENT_LIBRARIES_ENTRY "orvel_document_libraries_v1"
extern "C" const halvern::DocumentLibraries* orvel_document_libraries_v1();
