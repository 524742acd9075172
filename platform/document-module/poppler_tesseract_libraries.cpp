// The module liborvel-documents.so: the document libraries behind the program's narrow interface.
#include "platform/document_libraries.h"

#include <QFile>

#include <poppler/qt6/poppler-qt6.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <memory>

// The OpenMP runtime the recogniser came with (null when it has none).
extern "C" void omp_set_max_active_levels(int) __attribute__((weak));

namespace halvern {

namespace {

class PopplerPage : public PdfPage {
public:
    explicit PopplerPage(std::unique_ptr<Poppler::Page> page) : page_(std::move(page)) {}
    QString text() const override { return page_->text(QRectF()); }
    QSizeF size() const override { return page_->pageSizeF(); }
    QImage render(double dotsPerInch) const override { return page_->renderToImage(dotsPerInch, dotsPerInch); }

private:
    std::unique_ptr<Poppler::Page> page_;
};

class PopplerDocument : public PdfDocument {
public:
    explicit PopplerDocument(std::unique_ptr<Poppler::Document> document) : document_(std::move(document)) {
        document_->setRenderHint(Poppler::Document::Antialiasing);
        document_->setRenderHint(Poppler::Document::TextAntialiasing);
    }
    bool isLocked() const override { return document_->isLocked(); }
    bool allowsCopying() const override { return document_->okToCopy(); }
    int pageCount() const override { return document_->numPages(); }
    std::unique_ptr<PdfPage> page(int index) const override {
        std::unique_ptr<Poppler::Page> page = document_->page(index);
        if (!page) return nullptr;
        return std::make_unique<PopplerPage>(std::move(page));
    }

private:
    std::unique_ptr<Poppler::Document> document_;
};

struct EngineDeleter {
    void operator()(tesseract::TessBaseAPI* api) const {
        api->End();
        delete api;
    }
};
using Engine = std::unique_ptr<tesseract::TessBaseAPI, EngineDeleter>;

// The recogniser's parallel parts run on the calling thread alone, unless the person set the
// OpenMP runtime's threads themselves. With a thread per core, each spinning while it waits for the
// others, a page took three times the CPU time for the same wall time on an idle machine, and a
// recognition up to 200 s on a machine busy with three CI runs (beside 24 CPU hogs: 22 to 33 s,
// and 8 s with one thread). OMP_THREAD_LIMIT cannot be set from here: the runtime reads it when it
// is loaded, before the program's first line (Qt's hashing library links it). The setting below is
// the calling thread's: no parallel region it meets is active.
void keepRecognitionOnThisThread() {
    if (!omp_set_max_active_levels || qEnvironmentVariableIsSet("OMP_THREAD_LIMIT") ||
        qEnvironmentVariableIsSet("OMP_NUM_THREADS"))
        return;
    omp_set_max_active_levels(0);
}

// This thread's engine, started on first use and kept for the thread's lifetime; null when it
// could not be started.
tesseract::TessBaseAPI* threadEngine(const QString& dataFolder, const QString& languages) {
    thread_local Engine engine;
    if (engine) return engine.get();
    keepRecognitionOnThisThread();
    Engine fresh(new tesseract::TessBaseAPI);
    // Keep the recogniser's diagnostics off the standard error of the program.
    fresh->SetVariable("debug_file", "/dev/null");
    const QByteArray folder = QFile::encodeName(dataFolder);
    const QByteArray names = languages.toUtf8();
    const int status = fresh->Init(folder.isEmpty() ? nullptr : folder.constData(),
                                   names.isEmpty() ? nullptr : names.constData(), tesseract::OEM_LSTM_ONLY);
    if (status != 0) return nullptr;
    fresh->SetVariable("debug_file", "/dev/null");
    fresh->SetPageSegMode(tesseract::PSM_AUTO);
    engine = std::move(fresh);
    return engine.get();
}

bool cancelRequested(void* cancelled, int) { return (*static_cast<const std::function<bool()>*>(cancelled))(); }

void ignorePopplerMessage(const QString&, const QVariant&) {}

class PopplerTesseractLibraries : public DocumentLibraries {
public:
    // The PDF library reports damaged files through failures the program checks; its own messages
    // only add noise.
    PopplerTesseractLibraries() { Poppler::setDebugErrorFunction(&ignorePopplerMessage, QVariant()); }

    std::unique_ptr<PdfDocument> openPdf(const QString& path) const override {
        std::unique_ptr<Poppler::Document> document = Poppler::Document::load(path);
        if (!document) return nullptr;
        return std::make_unique<PopplerDocument>(std::move(document));
    }

    RecognizedLines recognize(const QImage& grayscale, int resolution, const QString& dataFolder,
                              const QString& languages, const std::function<bool()>& cancelled) const override {
        using Outcome = RecognizedLines::Outcome;
        tesseract::TessBaseAPI* engine = threadEngine(dataFolder, languages);
        if (!engine) return {Outcome::notStarted, {}};
        engine->SetImage(grayscale.constBits(), grayscale.width(), grayscale.height(), 1,
                         int(grayscale.bytesPerLine()));
        if (resolution > 0) engine->SetSourceResolution(resolution);

        tesseract::ETEXT_DESC monitor;
        monitor.cancel = &cancelRequested;
        monitor.cancel_this = const_cast<std::function<bool()>*>(&cancelled);
        const int status = engine->Recognize(&monitor);
        if (cancelled()) {
            engine->Clear();
            return {Outcome::cancelled, {}};
        }
        if (status != 0) {
            engine->Clear();
            return {Outcome::failed, {}};
        }

        RecognizedLines result;
        std::unique_ptr<tesseract::ResultIterator> iterator(engine->GetIterator());
        if (iterator) {
            do {
                std::unique_ptr<char[]> text(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
                if (text) result.lines << QString::fromUtf8(text.get());
            } while (iterator->Next(tesseract::RIL_TEXTLINE));
        }
        engine->Clear();
        return result;
    }
};

}  // namespace

}  // namespace halvern

extern "C" __attribute__((visibility("default"))) const halvern::DocumentLibraries* orvel_document_libraries_v1() {
    static const halvern::PopplerTesseractLibraries libraries;
    return &libraries;
}
