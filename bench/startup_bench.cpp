// Start-up and idle memory of the real program beside a minimal Qt Widgets program that shows one
// window, started the same way: from the start of the process until its window is mapped, and the
// resident memory once it sits idle with its window shown. The same minimal program linked with
// every library of the real one tells what loading those libraries costs, and that one showing two
// lines of text what the first text layout adds. Needs an X11 display: run it inside
// scripts/desktop-session. All programs get the same private home folders.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <csignal>
#include <optional>
#include <poll.h>

namespace {

Display* display = nullptr;
QTemporaryDir* home = nullptr;

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

std::optional<unsigned long> windowPid(::Window window) {
    const Atom property = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> pid;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success &&
        data && count == 1)
        pid = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return pid;
}

// Waits for a MapNotify of a top-level window of process `pid`; whether one came in time.
bool waitForMappedWindow(qint64 pid, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && windowPid(event.xmap.window) == static_cast<unsigned long>(pid)) return true;
        }
        pollfd descriptor{ConnectionNumber(display), POLLIN, 0};
        ::poll(&descriptor, 1, 5);
    }
    return false;
}

QProcessEnvironment environment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home->path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home->path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home->path() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home->path() + QStringLiteral("/.cache"));
    env.remove(QStringLiteral("ORVEL_DEFAULTS_FILE"));
    return env;
}

// 0 the real program, 1 the minimal one, 2 the minimal one with the real program's libraries, 3 that
// one showing two lines of text.
QString program(int which) {
    switch (which) {
    case 0: return QStringLiteral(ORVEL_BINARY);
    case 1: return QStringLiteral(ORVEL_MINIMAL_WINDOW);
    case 2: return QStringLiteral(ORVEL_MINIMAL_WINDOW_LINKED);
    default: return QStringLiteral(ORVEL_MINIMAL_WINDOW_TEXT);
    }
}

const char* label(int which) {
    switch (which) {
    case 0: return "orvel";
    case 1: return "minimal Qt Widgets window";
    case 2: return "minimal window with orvel's libraries";
    default: return "the same showing two lines of text";
    }
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// Starts the program and returns the seconds until its window was mapped, or nothing.
std::optional<double> startAndMap(QProcess& process, int which) {
    XSync(display, True);  // drop events of earlier runs
    process.setProcessEnvironment(environment());
    QElapsedTimer timer;
    timer.start();
    process.start(program(which), {});
    if (!process.waitForStarted(10000) || !waitForMappedWindow(process.processId(), 30000)) return std::nullopt;
    return timer.nsecsElapsed() / 1e9;
}

qint64 residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// The resident memory once it has stayed within 1 % for a second (at most ten seconds).
qint64 settledResidentKiB(qint64 pid) {
    QElapsedTimer timer;
    timer.start();
    qint64 reference = residentKiB(pid);
    QElapsedTimer steady;
    steady.start();
    while (timer.elapsed() < 10000) {
        QThread::msleep(100);
        const qint64 now = residentKiB(pid);
        if (std::abs(now - reference) * 100 > reference) {
            reference = now;
            steady.restart();
        } else if (steady.elapsed() >= 1000) {
            return now;
        }
    }
    return residentKiB(pid);
}

// Start until the window is mapped.
void BM_StartToMappedWindow(benchmark::State& state) {
    const int which = int(state.range(0));
    state.SetLabel(label(which));
    for (auto _ : state) {
        QProcess process;
        const std::optional<double> seconds = startAndMap(process, which);
        stop(process);
        if (!seconds) {
            state.SkipWithError("no window was mapped");
            return;
        }
        state.SetIterationTime(*seconds);
    }
}
BENCHMARK(BM_StartToMappedWindow)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Resident memory while idle with the window shown (orvel on its home page).
void BM_IdleResidentMemory(benchmark::State& state) {
    const int which = int(state.range(0));
    state.SetLabel(label(which));
    double total = 0;
    for (auto _ : state) {
        QProcess process;
        if (!startAndMap(process, which)) {
            stop(process);
            state.SkipWithError("no window was mapped");
            return;
        }
        total += settledResidentKiB(process.processId()) / 1024.0;
        stop(process);
        state.SetIterationTime(1e-3);
    }
    state.counters["resident_MiB"] = benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_IdleResidentMemory)->Arg(0)->Arg(1)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    XSetErrorHandler(ignoreErrors);
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_startup: no X display; run it inside scripts/desktop-session\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    QTemporaryDir folder;
    home = &folder;
    // The first start performs the first-setup step; the measured ones are ordinary starts.
    {
        QProcess warmUp;
        startAndMap(warmUp, 0);
        stop(warmUp);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    XCloseDisplay(display);
    return 0;
}
