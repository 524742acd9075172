// PDF text of a 20-page document: our import (open, check, 20 text layers, page labels) against
// the `pdftotext` program on the same file. Compare BM_ImportPdfText with BM_PdftotextCommand.
#include <benchmark/benchmark.h>

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QUrl>

#include "base/process.h"
#include "platform/import_service.h"

namespace {

QString g_pdf;

void writeDocument(const QString& path) {
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(9);
    painter.setFont(font);
    for (int page = 1; page <= 20; ++page) {
        if (page > 1) writer.newPage();
        QString text;
        for (int line = 0; line < 10; ++line)
            text += QStringLiteral("Page %1, line %2: photosynthesis turns light into chemical energy, 光合作用。\n").arg(page).arg(line);
        painter.drawText(QRectF(36, 36, 500, 760), Qt::TextWordWrap, text);
    }
}

void BM_ImportPdfText(benchmark::State& state) {
    const QUrl url = QUrl::fromLocalFile(g_pdf);
    for (auto _ : state) benchmark::DoNotOptimize(halvern::ImportService::extractFile(url, halvern::PageRange{1, 20}));
}
BENCHMARK(BM_ImportPdfText)->Unit(benchmark::kMillisecond);

void BM_PdftotextCommand(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(base::runProcess(QStringLiteral("pdftotext"),
                                                  {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("20"),
                                                   QStringLiteral("-enc"), QStringLiteral("UTF-8"), g_pdf, QStringLiteral("-")}));
}
BENCHMARK(BM_PdftotextCommand)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    g_pdf = dir.filePath(QStringLiteral("twenty-pages.pdf"));
    writeDocument(g_pdf);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
