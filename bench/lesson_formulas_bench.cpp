// A lesson of 30 formula blocks: from building its texts in a shown scroll column until every
// formula page has reported its height, and the resident memory the first such lesson adds to the
// program (its own growth plus the web engine's helper processes). As in the program, the first
// formula text opens the formula module (the web engine's libraries and the OpenGL context made
// for it) and starts the web engine; later lessons reuse its renderer. Needs an X11 display: run it
// inside scripts/desktop-session.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScrollArea>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "app/tutor-lesson/merid_math_assets.h"
#include "app/tutor-lesson/merid_math_rich_text.h"

namespace {

using velquin::MeridMathRichText;

constexpr int blocks = 30;
QString problem;

// Resident and proportional set sizes, in bytes, of this process and every process below it; the
// proportional size of this process alone; the physical pages the whole tree maps, each counted
// once (zero where the page frames cannot be read: that needs the super-user).
struct Memory {
    double rss = 0;
    double pss = 0;
    double programPss = 0;
    double unique = 0;
    int renderers = 0;
};

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double kibField(const QByteArray& text, const QByteArray& field) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(field)) return line.mid(field.size()).trimmed().split(' ').first().toDouble() * 1024;
    return 0;
}

// Adds the page frames that `pid` has in memory to `frames`. A proportional size divides a shared
// page among every process that maps it, including processes outside this tree (another program
// using the same libraries makes ours look smaller); counted by frame, a page the tree maps costs
// it one page whoever else maps it.
void addPageFrames(qint64 pid, std::unordered_set<quint64>& frames) {
    const int pagemap = ::open(QByteArray("/proc/" + QByteArray::number(pid) + "/pagemap").constData(), O_RDONLY);
    if (pagemap < 0) return;
    quint64 start = 0;
    quint64 end = 0;
    std::vector<quint64> entries;
    for (const QByteArray& line : procFile(pid, "smaps").split('\n')) {
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ');
        if (dash > 0 && space > dash && !line.startsWith("VmFlags")) {
            bool ok = false;
            const quint64 from = line.left(dash).toULongLong(&ok, 16);
            if (ok) {
                start = from;
                end = line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
            }
            continue;
        }
        // Only mappings with something in memory: the engine reserves many gigabytes it never touches.
        if (!line.startsWith("Rss:") || kibField(line, "Rss:") == 0) continue;
        const quint64 pages = (end - start) / 4096;
        entries.resize(pages);
        const ssize_t read = ::pread(pagemap, entries.data(), pages * sizeof(quint64), off_t(start / 4096 * 8));
        for (ssize_t i = 0; i < read / ssize_t(sizeof(quint64)); ++i) {
            const quint64 frame = entries[i] & ((quint64(1) << 55) - 1);
            if ((entries[i] >> 63) && frame) frames.insert(frame);
        }
    }
    ::close(pagemap);
}

Memory processTreeMemory() {
    QSet<qint64> tree{::getpid()};
    // Children appear after their parents in no fixed order: repeat until nothing is added.
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (bool grew = true; grew;) {
        grew = false;
        for (const QString& entry : entries) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            if (!number || tree.contains(pid)) continue;
            if (tree.contains(qint64(kibField(procFile(pid, "status"), "PPid:") / 1024))) {
                tree.insert(pid);
                grew = true;
            }
        }
    }
    Memory memory;
    std::unordered_set<quint64> frames;
    for (const qint64 pid : tree) {
        memory.rss += kibField(procFile(pid, "status"), "VmRSS:");
        const double pss = kibField(procFile(pid, "smaps_rollup"), "Pss:");
        memory.pss += pss;
        if (pid == ::getpid()) memory.programPss = pss;
        if (procFile(pid, "cmdline").contains("--type=renderer")) ++memory.renderers;
        addPageFrames(pid, frames);
    }
    memory.unique = double(frames.size()) * 4096;
    return memory;
}

// Calls back on every height message of the web view it belongs to.
class HeightRelay : public QObject {
    Q_OBJECT
public:
    HeightRelay(QObject* view, std::function<void()> onReported) : QObject(view), onReported_(std::move(onReported)) {}

public Q_SLOTS:
    void reported() { onReported_(); }

private:
    std::function<void()> onReported_;
};

// The lesson's column: 30 blocks of Chinese and Latin text with inline and displayed formulas.
class Lesson {
public:
    Lesson() {
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        for (int i = 0; i < blocks; ++i) {
            const QString text =
                QStringLiteral("第 %1 步：由 \\(ax^2 + bx + c = 0\\) 且 \\(a \\neq 0\\)，配方得\n"
                               "$$x_{%1} = \\frac{-b \\pm \\sqrt{b^2 - 4ac}}{2a}, \\quad \\sum_{k=1}^{%1} k = "
                               "\\frac{%1(%1+1)}{2}$$")
                    .arg(i + 1);
            auto* block = new MeridMathRichText(text, 14);
            layout->addWidget(block);
            texts_.append(block);
        }
        area_.setWidget(content);
        area_.setWidgetResizable(true);
        area_.resize(760, 900);
        area_.show();
        // The web view's class lives in the module the program opens: its signal is found by name.
        for (MeridMathRichText* text : texts_) {
            QWidget* web = text->webView<QWidget>();
            if (!web) continue;
            auto* relay = new HeightRelay(web, [this, web] {
                reported_.insert(web);
                if (reported_.size() == blocks) done_.quit();
            });
            QObject::connect(web, SIGNAL(heightMessage(QVariant)), relay, SLOT(reported()));
        }
    }

    // Waits until every block's page has reported a height; false after 60 seconds.
    bool waitAllReported() {
        if (reported_.size() < blocks) {
            QTimer::singleShot(60000, &done_, &QEventLoop::quit);
            done_.exec();
        }
        return reported_.size() == blocks;
    }

private:
    QScrollArea area_;
    QList<MeridMathRichText*> texts_;
    QSet<QWidget*> reported_;
    QEventLoop done_;
};

// Lets the engine settle after a lesson is gone, so the next one starts from the same state.
void settle() {
    QEventLoop loop;
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_FirstLessonStartsTheEngine(benchmark::State& state) {
    if (!problem.isEmpty()) {
        state.SkipWithError(qPrintable(problem));
        return;
    }
    for (auto _ : state) {
        settle();
        const Memory before = processTreeMemory();
        QElapsedTimer timer;
        timer.start();
        Lesson lesson;
        if (!lesson.waitAllReported()) {
            state.SkipWithError("not every formula page reported its height");
            return;
        }
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        const Memory after = processTreeMemory();
        state.counters["rss_added_MiB"] = (after.rss - before.rss) / (1024 * 1024);
        state.counters["pss_added_MiB"] = (after.pss - before.pss) / (1024 * 1024);
        state.counters["unique_added_MiB"] = (after.unique - before.unique) / (1024 * 1024);
        state.counters["pss_program_added_MiB"] = (after.programPss - before.programPss) / (1024 * 1024);
        state.counters["renderers"] = after.renderers;
    }
}
// Only the first lesson of the process starts the engine: one measurement per run.
BENCHMARK(BM_FirstLessonStartsTheEngine)->Iterations(1)->Repetitions(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LaterLesson(benchmark::State& state) {
    if (!problem.isEmpty()) {
        state.SkipWithError(qPrintable(problem));
        return;
    }
    for (auto _ : state) {
        settle();
        QElapsedTimer timer;
        timer.start();
        Lesson lesson;
        if (!lesson.waitAllReported()) {
            state.SkipWithError("not every formula page reported its height");
            return;
        }
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
        state.counters["renderers"] = processTreeMemory().renderers;
    }
}
BENCHMARK(BM_LaterLesson)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // As the super-user the engine starts only without its sandbox (it aborts otherwise).
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("bench_lesson_formulas: no X11 display; run it inside scripts/desktop-session\n", stderr);
        problem = QStringLiteral("no X11 display");
    } else if (!velquin::MeridMathAssets::available()) {
        problem = QStringLiteral("the formula folder is missing");
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "lesson_formulas_bench.moc"
