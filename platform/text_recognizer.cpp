#include "platform/text_recognizer.h"

#include <QDir>
#include <QFileInfo>
#include <QTransform>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <memory>

#include "base/text.h"

namespace halvern {

namespace {

// The folders where the recognition data may live: TESSDATA_PREFIX first (alone or with a
// "tessdata" sub-folder), then the places Debian's packages use.
QStringList dataFolders() {
    QStringList folders;
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty()) folders << prefix << prefix + QStringLiteral("/tessdata");
    folders << QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") << QStringLiteral("/usr/share/tesseract-ocr/4.00/tessdata")
            << QStringLiteral("/usr/share/tessdata");
    return folders;
}

struct LanguageSetup {
    QString dataFolder;  // empty: the recogniser's own default
    QStringList languages;
};

const LanguageSetup& languageSetup() {
    static const LanguageSetup setup = [] {
        LanguageSetup result;
        for (const QString& folder : dataFolders()) {
            QStringList found;
            for (const QString& language : TextRecognizer::preferredLanguages())
                if (QFileInfo(folder + u'/' + language + QStringLiteral(".traineddata")).isFile()) found << language;
            if (!found.isEmpty()) {
                result.dataFolder = QDir::cleanPath(folder);
                result.languages = found;
                break;
            }
        }
        return result;
    }();
    return setup;
}

struct EngineDeleter {
    void operator()(tesseract::TessBaseAPI* api) const {
        api->End();
        delete api;
    }
};
using Engine = std::unique_ptr<tesseract::TessBaseAPI, EngineDeleter>;

// This thread's engine, loaded on first use and kept for the thread's lifetime.
tesseract::TessBaseAPI& threadEngine() {
    thread_local Engine engine;
    if (engine) return *engine;
    const LanguageSetup& setup = languageSetup();
    Engine fresh(new tesseract::TessBaseAPI);
    // Keep the recogniser's diagnostics off the standard error of the program.
    fresh->SetVariable("debug_file", "/dev/null");
    const QByteArray folder = QFile::encodeName(setup.dataFolder);
    const QByteArray languages = setup.languages.join(u'+').toUtf8();
    const int status = fresh->Init(folder.isEmpty() ? nullptr : folder.constData(),
                                   languages.isEmpty() ? nullptr : languages.constData(), tesseract::OEM_LSTM_ONLY);
    if (status != 0) throw RecognitionError(QStringLiteral("The text recogniser could not be started (no recognition data)."));
    fresh->SetVariable("debug_file", "/dev/null");
    fresh->SetPageSegMode(tesseract::PSM_AUTO);
    engine = std::move(fresh);
    return *engine;
}

bool isCjk(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7AF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFF00 && u <= 0xFFEF);
}

// The recogniser puts a space between neighbouring Chinese characters; the text has none.
QString joinCjkSpacing(const QString& line) {
    QString result;
    result.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u' ' && !result.isEmpty() && isCjk(result.back())) {
            qsizetype next = i;
            while (next < line.size() && line.at(next) == u' ') ++next;
            if (next < line.size() && isCjk(line.at(next))) {
                i = next - 1;
                continue;
            }
        }
        result += c;
    }
    return result;
}

bool cancelRequested(void* token, int) { return static_cast<const base::CancellationToken*>(token)->isCancelled(); }

}  // namespace

const QStringList& TextRecognizer::preferredLanguages() {
    static const QStringList languages{QStringLiteral("chi_sim"), QStringLiteral("chi_tra"), QStringLiteral("eng"),
                                       QStringLiteral("fra")};
    return languages;
}

const QStringList& TextRecognizer::installedLanguages() { return languageSetup().languages; }

QImage TextRecognizer::orientedUpright(const QImage& image, quint32 orientation) {
    // EXIF orientation: how the stored pixels must be mirrored and turned to stand upright.
    bool mirror = false, flip = false, rotate90 = false;
    switch (orientation) {
    case 2: mirror = true; break;
    case 3: mirror = flip = true; break;
    case 4: flip = true; break;
    case 5: flip = rotate90 = true; break;
    case 6: rotate90 = true; break;
    case 7: mirror = rotate90 = true; break;
    case 8: mirror = flip = rotate90 = true; break;
    default: return image;
    }
    QImage result = (mirror || flip) ? image.mirrored(mirror, flip) : image;
    if (rotate90) result = result.transformed(QTransform().rotate(90));
    return result;
}

QString TextRecognizer::recognize(const QImage& image, quint32 orientation, int resolution,
                                  const base::CancellationToken& cancellation) {
    cancellation.throwIfCancelled();
    if (image.isNull() || image.width() < 1 || image.height() < 1) return {};
    QImage gray = orientedUpright(image, orientation);
    // Transparent pixels count as white paper, not as black.
    if (gray.hasAlphaChannel()) {
        QImage flat(gray.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QImage source = gray.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < flat.height(); ++y) {
            auto* out = reinterpret_cast<QRgb*>(flat.scanLine(y));
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            for (int x = 0; x < flat.width(); ++x) {
                const int a = qAlpha(in[x]);
                out[x] = qRgb(qRed(in[x]) + 255 - a, qGreen(in[x]) + 255 - a, qBlue(in[x]) + 255 - a);
            }
        }
        gray = flat;
    }
    gray = gray.convertToFormat(QImage::Format_Grayscale8);

    tesseract::TessBaseAPI& engine = threadEngine();
    engine.SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    if (resolution >= 70 && resolution <= 2400) engine.SetSourceResolution(resolution);

    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.cancel_this = const_cast<base::CancellationToken*>(&cancellation);
    const int status = engine.Recognize(&monitor);
    if (cancellation.isCancelled()) {
        engine.Clear();
        throw base::CancellationError();
    }
    if (status != 0) {
        engine.Clear();
        throw RecognitionError(QStringLiteral("The text recogniser could not read this image."));
    }

    QStringList lines;
    std::unique_ptr<tesseract::ResultIterator> iterator(engine.GetIterator());
    if (iterator) {
        do {
            std::unique_ptr<char[]> text(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!text) continue;
            const QString line = joinCjkSpacing(base::text::trimmed(QString::fromUtf8(text.get())));
            if (!line.isEmpty()) lines << line;
        } while (iterator->Next(tesseract::RIL_TEXTLINE));
    }
    engine.Clear();
    return base::text::trimmed(lines.join(u'\n'));
}

}  // namespace halvern
