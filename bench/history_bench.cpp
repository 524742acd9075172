// The learning history at its largest: a file of about 7.9 MB (500 records of mixed Chinese and
// Latin text), loaded when the account's scope is entered and rewritten whole by every add.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include "app/account/account_data_scope.h"
#include "app/account/history_store.h"
#include "app/account/learning_record.h"
#include "base/files.h"

namespace {

const QString kAccount = QStringLiteral("bench_account");

struct Fixture {
    QTemporaryDir dir;
    QString path;
    QByteArray bytes;

    Fixture() {
        path = *velquin::AccountDataScope::learningHistoryURL(kAccount, dir.path());
        const QString text =
            QStringLiteral("牛顿第二定律 F = ma / Newton's second law: the force equals mass times acceleration. ");
        QList<velquin::LearningRecord> records;
        for (int i = 0; i < 500; ++i) {
            QString answer;
            while (answer.toUtf8().size() < 15450) answer += text;
            records.append(velquin::LearningRecord{QUuid::createUuid(), base::Date{700000000.0 - i},
                                                   QStringLiteral("explain"), QStringLiteral("物理 / 力学 %1").arg(i),
                                                   answer, i % 7 == 0});
        }
        bytes = velquin::learning_history::encode(records);
        restore();
    }
    void restore() const { base::files::writeAtomically(path, bytes); }
    velquin::HistoryStore::Options options() const { return {dir.path(), {}}; }
};

const Fixture& fixture() {
    static const Fixture instance;
    return instance;
}

void BM_HistoryLoad(benchmark::State& state) {
    const Fixture& f = fixture();
    velquin::HistoryStore store(f.options());
    for (auto _ : state) {
        store.switchToAccount(kAccount);
        benchmark::DoNotOptimize(store.records().size());
    }
    state.counters["file_MB"] = double(f.bytes.size()) / 1e6;
}

void BM_HistoryAdd(benchmark::State& state) {
    const Fixture& f = fixture();
    velquin::HistoryStore store(f.options());
    for (auto _ : state) {
        state.PauseTiming();
        f.restore();
        store.switchToAccount(kAccount);
        state.ResumeTiming();
        store.add(QStringLiteral("entropy"), QStringLiteral("熵是系统无序程度的量度。"), QStringLiteral("explain"));
    }
}

void BM_HistoryLoadAndAdd(benchmark::State& state) {
    const Fixture& f = fixture();
    velquin::HistoryStore store(f.options());
    for (auto _ : state) {
        state.PauseTiming();
        f.restore();
        state.ResumeTiming();
        store.switchToAccount(kAccount);
        store.add(QStringLiteral("entropy"), QStringLiteral("熵是系统无序程度的量度。"), QStringLiteral("explain"));
    }
    if (store.records().size() != 500 || !store.statusMessage().isEmpty())
        state.SkipWithError("the add was not stored");
}

}  // namespace

BENCHMARK(BM_HistoryLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryAdd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryLoadAndAdd)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
