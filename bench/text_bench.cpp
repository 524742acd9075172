// Grapheme counting and cutting over a 20,000-character text of mixed Chinese, Latin and emoji:
// the work every source-text check and every tutor chunking does.
#include <benchmark/benchmark.h>

#include <QString>
#include <QTextBoundaryFinder>

#include "base/text.h"

namespace {

QString mixedText(qsizetype clusters) {
    const QString pieces[] = {QStringLiteral("学习"), QStringLiteral("entropy "), QStringLiteral("👨‍👩‍👧‍👦"),
                              QStringLiteral("é"), QStringLiteral("🇫🇷"), QStringLiteral("。\n"),
                              QStringLiteral("Théorème "), QStringLiteral("👍🏽")};
    QString text;
    while (base::text::graphemeCount(text) < clusters) text += pieces[text.size() % 8];
    return base::text::graphemePrefix(text, clusters);
}

const QString& sample() {
    static const QString text = mixedText(20000);
    return text;
}

void BM_GraphemeCount(benchmark::State& state) {
    const QString& text = sample();
    for (auto _ : state) benchmark::DoNotOptimize(base::text::graphemeCount(text));
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_GraphemeCount);

void BM_GraphemePrefix(benchmark::State& state) {
    const QString& text = sample();
    for (auto _ : state) benchmark::DoNotOptimize(base::text::graphemePrefix(text, 1500));
}
BENCHMARK(BM_GraphemePrefix);

void BM_GraphemeRuns2400(benchmark::State& state) {
    const QString& text = sample();
    for (auto _ : state) benchmark::DoNotOptimize(base::text::graphemeRuns(text, 2400));
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_GraphemeRuns2400);

// 128,000 regional indicators (64,000 flags, one run) against as many CJK characters: a hostile
// reply or material made of flag halves must count about as fast as ordinary text.
void BM_GraphemeCountRegionalIndicators(benchmark::State& state) {
    static const QString text = QStringLiteral("🇫").repeated(128000);
    for (auto _ : state) benchmark::DoNotOptimize(base::text::graphemeCount(text));
    state.SetItemsProcessed(state.iterations() * 128000);
}
BENCHMARK(BM_GraphemeCountRegionalIndicators)->Unit(benchmark::kMillisecond);

void BM_GraphemeCountCjk(benchmark::State& state) {
    static const QString text = QStringLiteral("学").repeated(128000);
    for (auto _ : state) benchmark::DoNotOptimize(base::text::graphemeCount(text));
    state.SetItemsProcessed(state.iterations() * 128000);
}
BENCHMARK(BM_GraphemeCountCjk)->Unit(benchmark::kMillisecond);

// Qt's own boundary finder alone, for comparison with the walk above (it splits flags after an emoji and
// emoji next to Indic text, so the program does not use it).
void BM_QtBoundaryFinderOnly(benchmark::State& state) {
    const QString& text = sample();
    for (auto _ : state) {
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
        qsizetype count = 0;
        while (finder.toNextBoundary() != -1) ++count;
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(BM_QtBoundaryFinderOnly);

}  // namespace

BENCHMARK_MAIN();
