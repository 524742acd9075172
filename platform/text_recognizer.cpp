#include "platform/text_recognizer.h"

#include <QDir>
#include <QFileInfo>
#include <QTransform>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/text.h"
#include "platform/document_libraries.h"

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

// Counts the threads that hold a recognition engine. A thread's mark is made before its engine and
// so, thread-local storage being freed in the reverse order, freed after it.
struct EngineThreads {
    std::mutex mutex;
    std::condition_variable freed;
    int count = 0;
};

EngineThreads& engineThreads() {
    static auto* const threads = new EngineThreads;  // outlives every thread, at exit too
    return *threads;
}

struct EngineThreadMark {
    EngineThreadMark() {
        const std::lock_guard lock(engineThreads().mutex);
        ++engineThreads().count;
    }
    ~EngineThreadMark() {
        EngineThreads& threads = engineThreads();
        const std::lock_guard lock(threads.mutex);
        --threads.count;
        threads.freed.notify_all();
    }
};

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

    const LanguageSetup& setup = languageSetup();
    thread_local const EngineThreadMark mark;
    const RecognizedLines recognized = DocumentLibraries::shared().recognize(
        gray, resolution >= 70 && resolution <= 2400 ? resolution : 0, setup.dataFolder, setup.languages.join(u'+'),
        [&cancellation] { return cancellation.isCancelled(); });
    switch (recognized.outcome) {
    case RecognizedLines::Outcome::done: break;
    case RecognizedLines::Outcome::cancelled: throw base::CancellationError();
    case RecognizedLines::Outcome::notStarted:
        throw RecognitionError(QStringLiteral("The text recogniser could not be started (no recognition data)."));
    case RecognizedLines::Outcome::failed:
        throw RecognitionError(QStringLiteral("The text recogniser could not read this image."));
    }

    QStringList lines;
    for (const QString& text : recognized.lines) {
        const QString line = joinCjkSpacing(base::text::trimmed(text));
        if (!line.isEmpty()) lines << line;
    }
    return base::text::trimmed(lines.join(u'\n'));
}

bool TextRecognizer::waitForEnginesFreed(int timeoutMs) {
    EngineThreads& threads = engineThreads();
    std::unique_lock lock(threads.mutex);
    return threads.freed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return threads.count == 0; });
}

}  // namespace halvern
