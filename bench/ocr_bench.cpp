// Recognition of a 1,000 × 300 screen region holding an English and a Chinese line: our engine,
// which stays loaded between calls, against the `tesseract` program on the same image with the
// same languages. Compare BM_RecognizeRegion with BM_TesseractCommand.
#include <benchmark/benchmark.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>

#include "base/process.h"
#include "platform/import_service.h"
#include "platform/text_recognizer.h"

namespace {

QString g_image;

void writeRegion(const QString& path) {
    QImage image(1000, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(32);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(30, 100, QStringLiteral("Photosynthesis turns light into energy"));
    painter.drawText(30, 200, QStringLiteral("光合作用把光能变成化学能"));
    painter.end();
    image.save(path, "PNG");
}

void BM_RecognizeRegion(benchmark::State& state) {
    const QUrl url = QUrl::fromLocalFile(g_image);
    for (auto _ : state) benchmark::DoNotOptimize(halvern::ImportService::extractFile(url));
}
BENCHMARK(BM_RecognizeRegion)->Unit(benchmark::kMillisecond);

void BM_TesseractCommand(benchmark::State& state) {
    const QString languages = halvern::TextRecognizer::installedLanguages().join(u'+');
    for (auto _ : state)
        benchmark::DoNotOptimize(base::runProcess(
            QStringLiteral("tesseract"), {g_image, QStringLiteral("stdout"), QStringLiteral("-l"), languages}));
}
BENCHMARK(BM_TesseractCommand)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    g_image = dir.filePath(QStringLiteral("region.png"));
    writeRegion(g_image);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
