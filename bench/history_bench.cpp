// The learning history at its largest: a file of about 7.9 MB (500 records of mixed Chinese and
// Latin text), loaded when the account's scope is entered and rewritten whole by every add. And the
// history page's first open on histories of many different Chinese characters.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/account/account_data_scope.h"
#include "app/account/history_store.h"
#include "app/account/learning_record.h"
#include "app/main-window/history_view.h"
#include "app/main-window/home_style.h"
#include "app/shell/interface_font.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "base/files.h"
#include "bench/heartbeat.h"

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

// The records of the first-open benchmark: answers of 1,000 and 4,000 characters in turn, so that the
// first two rows are in view. 0: ordinary Chinese text; 1: each answer different characters
// (punctuation aside) taken in turn from 20,000 Han characters, so that the rows in view hold 5,000
// different ones and the first eight rows all 20,000.
QList<velquin::LearningRecord> firstOpenRecords(int which) {
    constexpr int different = 20000;
    const QString ordinary = QStringLiteral("牛顿第二定律说明物体的加速度与所受合力成正比，与质量成反比。");
    QList<velquin::LearningRecord> records;
    int next = 0;
    for (int i = 0; i < int(velquin::HistoryStore::maxRecords); ++i) {
        QString answer;
        for (int k = 0; k < (i % 2 ? 4000 : 1000); ++k) {
            answer += which == 0 ? ordinary[k % ordinary.size()] : QChar(char16_t(0x4E00 + next++ % different));
            if (which == 1 && k % 16 == 15) answer += k % 48 == 47 ? u'。' : u'，';
        }
        records.append(velquin::LearningRecord{QUuid::createUuid(), base::Date{700000000.0 - i},
                                               QStringLiteral("explain"), answer.left(24), answer, i % 7 == 0});
    }
    return records;
}

// Runs the event loop until `condition` holds (false after a minute).
template <typename Condition>
bool spinUntil(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(20);
    while (!condition()) {
        if (clock.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// In a process of its own, so that the fonts' glyphs are as new to it as to a person's first open:
// a window with a line of the home page's text is shown first (the fonts loaded, as when the page
// is opened from the home page), then the history page in a window of 1040 × 800, until the list
// has laid out its last row and 300 ms more. Prints the longest stall of the main thread, the time
// until the last row was laid out, and how many different characters the rows in view hold.
int firstOpen(int which) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "bench_history";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setFont(velquin::InterfaceFont::latinFirst(QApplication::font()));
    QTemporaryDir dir;
    base::files::writeAtomically(*velquin::AccountDataScope::legacyLearningHistory(dir.path()),
                                 velquin::learning_history::encode(firstOpenRecords(which)));
    velquin::HistoryStore store({dir.path(), {}});
    store.switchToGuest();
    if (store.records().size() != velquin::HistoryStore::maxRecords) return 1;

    QLabel home(QStringLiteral("你想学习什么？ What would you like to learn?"));
    home.setFont(velquin::lessonary::font(velquin::home_style::body));
    home.show();
    QElapsedTimer clock;
    clock.start();
    spinUntil([&] { return clock.elapsed() > 200; });

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    window.resize(1040, 800);
    benchsupport::Heartbeat heartbeat;
    heartbeat.start();
    clock.restart();
    auto* view = new velquin::HistoryView(
        store, [](const velquin::LearningRecord&) {}, [] {}, &window);
    layout->addWidget(view);
    window.show();
    const auto* list = view->findChild<QListView*>(QStringLiteral("records"));
    const QModelIndex last = list->model()->index(list->model()->rowCount() - 1, 0);
    if (!spinUntil([&] { return list->visualRect(last).isValid(); })) return 1;
    const qint64 laidOut = clock.elapsed();
    clock.restart();
    spinUntil([&] { return clock.elapsed() > 300; });
    const double stall = heartbeat.stop();

    QSet<QChar> inView;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        if (!list->visualRect(index).intersects(list->viewport()->rect())) continue;
        const velquin::LearningRecord& record = store.records().at(row);
        for (const QChar c : record.source + record.answer) inView.insert(c);
    }
    std::printf("%f %lld %lld\n", stall, laidOut, qlonglong(inView.size()));
    return 0;
}

void BM_HistoryPageFirstOpen(benchmark::State& state) {
    double laidOut = 0, inView = 0;
    for (auto _ : state) {
        const std::string command = std::filesystem::read_symlink("/proc/self/exe").string() +
                                    " --first-open=" + std::to_string(state.range(0)) + " 2>/dev/null";
        FILE* child = popen(command.c_str(), "r");
        double stall = 0;
        long long laid = 0, shown = 0;
        const bool read = child && std::fscanf(child, "%lf %lld %lld", &stall, &laid, &shown) == 3;
        if (child) pclose(child);
        if (!read) {
            state.SkipWithError("the history page did not open");
            break;
        }
        state.SetIterationTime(stall / 1000);
        laidOut = double(laid);
        inView = double(shown);
    }
    state.counters["laid_out_ms"] = laidOut;
    state.counters["in_view"] = inView;
}

}  // namespace

BENCHMARK(BM_HistoryLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryAdd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryLoadAndAdd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryPageFirstOpen)
    ->ArgName("different")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

int main(int argc, char** argv) {
    if (argc == 2 && std::strncmp(argv[1], "--first-open=", 13) == 0) return firstOpen(std::atoi(argv[1] + 13));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
