// PDF text of a 20-page document: our import (open, check, 20 text layers, page labels) against
// the `pdftotext` program on the same file. Compare BM_ImportPdfText with BM_PdftotextCommand.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QUrl>

#include "bench/twenty_page_pdf.h"
#include "platform/import_service.h"

namespace {

QString g_pdf;

void BM_ImportPdfText(benchmark::State& state) {
    const QUrl url = QUrl::fromLocalFile(g_pdf);
    for (auto _ : state) benchmark::DoNotOptimize(halvern::ImportService::extractFile(url, halvern::PageRange{1, 20}));
}
BENCHMARK(BM_ImportPdfText)->Unit(benchmark::kMillisecond);

void BM_PdftotextCommand(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(benchdata::pdftotextTwentyPages(g_pdf));
}
BENCHMARK(BM_PdftotextCommand)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    g_pdf = dir.filePath(QStringLiteral("twenty-pages.pdf"));
    benchdata::writeTwentyPagePdf(g_pdf);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
