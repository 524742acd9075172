// A selection gesture in another program until its text reaches the selection controller: the
// release of a double click, its pointer events through X RECORD, the 180 ms settle wait, the
// front checks and the read. The controller runs with its production services (panels that show
// nothing, a status item that is not shown) under openbox, against the selection target program
// (read over the accessibility bus), against xterm (not on the bus: read through PRIMARY) and against
// Chromium without forced accessibility (its windows empty on the bus: read through its own copy).
// Needs an X11 desktop with the accessibility bus: run it inside scripts/desktop-session. Inside
// scripts/gnome-session it measures the native Wayland route instead: a drag in a native GTK window,
// the selection passed on to PRIMARY by the compositor, the press and release from the shell
// extension, the settle wait and the read. Each benchmark makes 50 gestures and reports their median
// and 95th percentile in milliseconds.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QDBusConnection>

#include "app/select-anywhere/direct_selection_controller.h"
#include "app/shell/app_store.h"
#include "base/defaults_store.h"
#include "platform/x11_windows.h"
#include "tests/support/desktop/gnome_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/heartbeat.h"

namespace {

using velquin::DirectSelectionController;

constexpr int gestures = 50;

// A program of its own (forked before Qt starts) that takes PRIMARY when told through a pipe and hands
// each request over only `answerDelay` after it came, as a program busy elsewhere does.
class SlowPrimaryOwner {
public:
    static constexpr std::chrono::milliseconds answerDelay{2000};

    void fork() {
        int commands[2];
        if (pipe(commands) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(commands[1]);
            serve(commands[0]);
            _exit(0);
        }
        ::close(commands[0]);
        command_ = commands[1];
    }
    ~SlowPrimaryOwner() {
        if (command_ >= 0) ::close(command_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    qint32 pid() const { return pid_ > 0 ? qint32(pid_) : 0; }
    // Takes PRIMARY (again).
    void take() {
        if (command_ >= 0) (void)!::write(command_, "t", 1);
    }

private:
    static void serve(int commands) {
        Display* dpy = XOpenDisplay(nullptr);
        if (!dpy) return;
        const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
        const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
        const QByteArray text("slow words");
        while (true) {
            pollfd waits[2] = {{commands, POLLIN, 0}, {ConnectionNumber(dpy), POLLIN, 0}};
            if (!XPending(dpy)) poll(waits, 2, 100);
            if (waits[0].revents) {
                char command = 0;
                if (::read(commands, &command, 1) != 1) break;
                XSetSelectionOwner(dpy, XA_PRIMARY, window, CurrentTime);
                XFlush(dpy);
            }
            while (XPending(dpy)) {
                XEvent event;
                XNextEvent(dpy, &event);
                if (event.type != SelectionRequest) continue;
                const XSelectionRequestEvent request = event.xselectionrequest;
                usleep(useconds_t(answerDelay.count()) * 1000);
                XEvent reply{};
                reply.xselection = {
                    SelectionNotify,  0,           True, dpy, request.requestor, request.selection, request.target,
                    request.property, request.time};
                if (request.target == utf8)
                    XChangeProperty(dpy, request.requestor, request.property, utf8, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(text.constData()), int(text.size()));
                else
                    reply.xselection.property = None;
                XSendEvent(dpy, request.requestor, False, 0, &reply);
                XFlush(dpy);
            }
        }
        XCloseDisplay(dpy);
    }

    pid_t pid_ = -1;
    int command_ = -1;
};

SlowPrimaryOwner* slowOwner = nullptr;

void settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

template <typename Condition>
bool waitFor(Condition condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

Display* display() { return qApp->nativeInterface<QNativeInterface::QX11Application>()->display(); }

void move(QPoint point) {
    XTestFakeMotionEvent(display(), -1, point.x(), point.y(), CurrentTime);
    XFlush(display());
}

void button(bool down) {
    XTestFakeButtonEvent(display(), 1, down ? True : False, CurrentTime);
    XFlush(display());
}

// A status item nobody sees: the session has no tray.
class NoStatusItem : public velquin::SelectionStatusItem {
public:
    void show() override { shown_ = true; }
    void remove() override { shown_ = false; }
    bool isShown() const override { return shown_; }
    bool isAvailable() const override { return false; }
    void setToolTip(const QString&) override {}
    void setMenu(const QList<velquin::SelectionMenuEntry>&) override {}

private:
    bool shown_ = false;
};

// A program started for the benchmarks, with the point where a double click selects a word.
struct Target {
    QProcess process;
    QPoint word;
    QString problem;

    ~Target() {
        process.kill();
        process.waitForFinished(3000);
    }
    // Waits until the program's window is the active one.
    bool waitUntilActive() {
        return waitFor([this] { return halvern::x11::frontmostProcess() == qint32(process.processId()); }, 20000);
    }
};

struct Session {
    bool gnome = false;  // inside scripts/gnome-session: the native Wayland route
    QProcess windowManager;
    QTemporaryDir folder;
    std::unique_ptr<base::DefaultsStore> defaults;
    std::unique_ptr<DirectSelectionController> controller;
    Target selectionTarget;
    Target xterm;
    Target chromium;
    std::unique_ptr<orveltest::NativeTextWindow> nativeWindow;
    std::unique_ptr<orveltest::HostInput> hostInput;
    QString problem;

    ~Session() {
        controller.reset();
        windowManager.kill();
        windowManager.waitForFinished(3000);
    }
};

Session* session = nullptr;

void startSelectionTarget(Target& target) {
    QString program = qEnvironmentVariable("ORVEL_SELECTION_TARGET");
    if (program.isEmpty())
        program = QCoreApplication::applicationDirPath() + QStringLiteral("/../tests/support/orvel_selection_target");
    if (!QFileInfo(program).isExecutable()) {
        target.problem = QStringLiteral("no selection target program at ") + program;
        return;
    }
    target.process.start(program, {});
    QRect box;
    waitFor(
        [&] {
            target.process.waitForReadyRead(10);
            while (target.process.canReadLine()) {
                const QStringList parts = QString::fromUtf8(target.process.readLine()).trimmed().split(u' ');
                if (parts.size() == 6 && parts[1] == QStringLiteral("lineEdit"))
                    box = QRect(parts[2].toInt(), parts[3].toInt(), parts[4].toInt(), parts[5].toInt());
                if (parts.size() == 2 && parts[0] == QStringLiteral("ready")) return true;
            }
            return false;
        },
        20000);
    if (box.isEmpty()) target.problem = QStringLiteral("the selection target did not start");
    target.word = QPoint(box.left() + 12, box.center().y());  // in "hello"
}

// Where the active window's content begins on the screen.
QPoint windowOrigin() {
    const std::optional<halvern::x11::WindowId> window = halvern::x11::activeWindow();
    Window child = 0;
    int x = 0, y = 0;
    if (window) XTranslateCoordinates(display(), Window(*window), DefaultRootWindow(display()), 0, 0, &x, &y, &child);
    return QPoint(x, y);
}

void startXterm(Target& target) {
    target.process.start(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("60x8+0+300"),
                                                   QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                   QStringLiteral("printf 'terminal words here\\n'; exec sleep 600")});
    if (!target.waitUntilActive()) {
        target.problem = QStringLiteral("xterm did not start");
        return;
    }
    target.word = windowOrigin() + QPoint(12, 7);  // in "terminal"
}

void startChromium(Target& target, const QTemporaryDir& folder) {
    QFile page(folder.filePath(QStringLiteral("page.html")));
    page.open(QIODevice::WriteOnly);
    page.write(
        "<!doctype html><html><body style=\"margin:0\"><p style=\"position:absolute;left:100px;top:100px;"
        "margin:0;font:24px/32px sans-serif\">Opportunity cost is the next best alternative.</p></body></html>");
    page.close();
    target.process.start(
        QStringLiteral("chromium"),
        {QStringLiteral("--no-sandbox"), QStringLiteral("--test-type"), QStringLiteral("--disable-gpu"),
         QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
         QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
         QStringLiteral("--user-data-dir=") + folder.filePath(QStringLiteral("profile")),
         QStringLiteral("--window-position=640,500"), QStringLiteral("--window-size=620,300"),
         QStringLiteral("--app=") + QUrl::fromLocalFile(page.fileName()).toString()});
    if (!target.waitUntilActive()) {
        target.problem = QStringLiteral("chromium did not start");
        return;
    }
    settle(2000);                                     // the page loads; nothing on the bus tells when
    target.word = windowOrigin() + QPoint(130, 116);  // in "Opportunity"
}

void startSession(Session& s) {
    s.gnome = !qEnvironmentVariableIsEmpty("ORVEL_HOST_DISPLAY");
    if (s.gnome) {
        // The shell extension answers the program's bus name only.
        QDBusConnection::sessionBus().registerService(QStringLiteral("com.orvel.formac"));
    } else {
        s.windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        settle(1000);
    }
    s.defaults = std::make_unique<base::DefaultsStore>(s.folder.filePath(QStringLiteral("defaults.json")));
    s.defaults->setBool(DirectSelectionController::enabledKey, true);
    velquin::DirectSelectionServices services;
    services.defaults = s.defaults.get();
    services.statusItem = std::make_shared<NoStatusItem>();
    s.controller = std::make_unique<DirectSelectionController>(services);
    s.controller->start();
    if (s.controller->permissionStatus() != QStringLiteral("划词 AI 图标已开启"))
        s.problem = QStringLiteral("automatic selection did not start: ") + s.controller->permissionStatus();
    if (s.gnome) {
        s.hostInput = std::make_unique<orveltest::HostInput>();
        s.nativeWindow = std::make_unique<orveltest::NativeTextWindow>(
            orveltest::NativeTextWindow::Toolkit::Gtk3, QStringList{QStringLiteral("Plants store it as starch.")});
        if (!s.nativeWindow->waitUntilShown()) s.problem = QStringLiteral("the native window did not show");
        return;
    }
    startSelectionTarget(s.selectionTarget);
    startXterm(s.xterm);
    startChromium(s.chromium, s.folder);
}

// The time from a release to the bulb being offered with the read's text, once a gesture was made.
bool offered(DirectSelectionController& controller, qint64 generation, const QString& expected, QElapsedTimer& timer,
             std::vector<double>& times) {
    const bool read = waitFor(
        [&] {
            return controller.interaction().generation != generation &&
                   controller.interaction().phase == tamsel::SelectionInteraction::Phase::icon;
        },
        5000);
    times.push_back(timer.nsecsElapsed() / 1e6);
    return read && controller.activityStatus().contains(expected);
}

void report(benchmark::State& state, std::vector<double>& times) {
    std::sort(times.begin(), times.end());
    const auto at = [&times](double fraction) {
        return times[std::min(times.size() - 1, size_t(fraction * double(times.size() - 1) + 0.5))];
    };
    state.counters["median_ms"] = at(0.5);
    state.counters["p95_ms"] = at(0.95);
}

// Double clicks on the target's word; the time from the last release to the read's end.
void measure(benchmark::State& state, Target& target, const QString& expected) {
    if (!session || session->gnome || !session->problem.isEmpty() || !target.problem.isEmpty()) {
        state.SkipWithError(!session         ? "no desktop session"
                            : session->gnome ? "an X11 route: run it inside scripts/desktop-session"
                                             : (session->problem + target.problem).toUtf8().constData());
        return;
    }
    DirectSelectionController& controller = *session->controller;
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        if (halvern::x11::frontmostProcess() != qint32(target.process.processId())) {
            // A click brings the window forward; the double click comes well after it.
            move(target.word);
            button(true);
            button(false);
            if (!target.waitUntilActive()) {
                state.SkipWithError("the target is not the active window");
                return;
            }
            settle(600);
        }
        move(target.word);
        settle(100);
        button(true);
        button(false);
        settle(60);
        button(true);
        QElapsedTimer timer;
        const qint64 generation = controller.interaction().generation;
        button(false);
        timer.start();
        state.ResumeTiming();
        const bool read = offered(controller, generation, expected, timer, times);
        state.PauseTiming();
        if (!read) {
            state.SkipWithError(
                ("no read: " + controller.activityStatus() + " · " + controller.diagnostics().lastReadRoute)
                    .toUtf8()
                    .constData());
            return;
        }
        // Far enough from the next gesture that it does not continue this double click.
        settle(600);
        state.ResumeTiming();
    }
    report(state, times);
}

void BM_GestureToResultOverAccessibility(benchmark::State& state) {
    measure(state, session->selectionTarget, QStringLiteral("：已读取 5 个字符"));
}
BENCHMARK(BM_GestureToResultOverAccessibility)->Iterations(gestures)->Unit(benchmark::kMillisecond);

void BM_GestureToResultFromXtermThroughPrimary(benchmark::State& state) {
    measure(state, session->xterm, QStringLiteral("：已读取 8 个字符"));
}
BENCHMARK(BM_GestureToResultFromXtermThroughPrimary)->Iterations(gestures)->Unit(benchmark::kMillisecond);

void BM_GestureToResultFromChromiumThroughItsCopy(benchmark::State& state) {
    measure(state, session->chromium, QStringLiteral("：已读取 11 个字符"));
}
BENCHMARK(BM_GestureToResultFromChromiumThroughItsCopy)->Iterations(gestures)->Unit(benchmark::kMillisecond);

// Drags over "store" in a native GTK window; the time from the release to the bulb.
void BM_GestureToResultInANativeWaylandWindow(benchmark::State& state) {
    if (!session || !session->gnome || !session->problem.isEmpty()) {
        state.SkipWithError(!session          ? "no desktop session"
                            : !session->gnome ? "the native Wayland route: run it inside scripts/gnome-session"
                                              : session->problem.toUtf8().constData());
        return;
    }
    DirectSelectionController& controller = *session->controller;
    orveltest::HostInput& input = *session->hostInput;
    const orveltest::NativeTextWindow& window = *session->nativeWindow;
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        // A click away from the word ends what the last gesture offered and the selection.
        input.click(window.pointAt(0, 20));
        settle(400);
        input.move(window.pointAt(0, 7));
        input.press();
        for (int column = 8; column <= 12; ++column) {
            settle(15);
            input.move(window.pointAt(0, column));
        }
        settle(60);
        QElapsedTimer timer;
        const qint64 generation = controller.interaction().generation;
        input.release();
        timer.start();
        state.ResumeTiming();
        const bool read = offered(controller, generation, QStringLiteral("：已读取 5 个字符"), timer, times);
        state.PauseTiming();
        if (!read) {
            state.SkipWithError(
                ("no read: " + controller.activityStatus() + " · " + controller.diagnostics().lastReadRoute)
                    .toUtf8()
                    .constData());
            return;
        }
        state.ResumeTiming();
    }
    report(state, times);
}
BENCHMARK(BM_GestureToResultInANativeWaylandWindow)->Iterations(gestures)->Unit(benchmark::kMillisecond);

// The controller's read of a program that is not on the accessibility bus and owns PRIMARY, but hands
// its text over only after 2 s: the longest time the main loop went without turning (a heartbeat of
// 10 ms) from the read's start to its end, and the read's own time. Aim: under 16 ms.
void BM_MainLoopWhileAPrimaryOwnerAnswersInTwoSeconds(benchmark::State& state) {
    if (!session || session->gnome || !session->problem.isEmpty() || !slowOwner || !slowOwner->pid()) {
        state.SkipWithError(!session || !slowOwner || !slowOwner->pid() ? "no desktop session"
                            : session->gnome ? "an X11 route: run it inside scripts/desktop-session"
                                             : session->problem.toUtf8().constData());
        return;
    }
    DirectSelectionController& controller = *session->controller;
    const velquin::SourceApplication source{slowOwner->pid(), QStringLiteral("Slow"), QStringLiteral("slow")};
    // One read: whether it ended, the longest stall and the read's time.
    const auto readOnce = [&controller, &source](double& stall, double& read) {
        slowOwner->take();
        if (!waitFor(
                [] { return halvern::x11::windowBelongsToProcess(halvern::x11::primaryOwner(), slowOwner->pid()); },
                5000))
            return false;
        benchsupport::Heartbeat heartbeat;
        QElapsedTimer timer;
        heartbeat.start();
        timer.start();
        // Waits on the event loop, as the program does, until the read has ended.
        const auto ended = [&controller] {
            const auto phase = controller.interaction().phase;
            return phase != tamsel::SelectionInteraction::Phase::waiting &&
                   phase != tamsel::SelectionInteraction::Phase::reading;
        };
        QEventLoop loop;
        QObject::connect(&controller, &DirectSelectionController::interactionChanged, &loop, [&] {
            if (ended()) loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        controller.scheduleRead(source, QPointF(10, 10), true, true);
        if (!ended()) loop.exec();
        stall = heartbeat.stop();
        read = timer.nsecsElapsed() / 1e6;
        controller.dismiss();
        return ended();
    };
    // The first read makes the answer panel that shows its failure; that is not measured.
    double stall = 0, read = 0;
    if (!readOnce(stall, read)) {
        state.SkipWithError("the first read did not end");
        return;
    }
    std::vector<double> stalls, reads;
    for (auto _ : state) {
        if (!readOnce(stall, read)) {
            state.SkipWithError("the read did not end");
            return;
        }
        stalls.push_back(stall);
        reads.push_back(read);
    }
    state.counters["longest_stall_ms"] = *std::max_element(stalls.begin(), stalls.end());
    state.counters["read_ms"] = *std::max_element(reads.begin(), reads.end());
}
BENCHMARK(BM_MainLoopWhileAPrimaryOwnerAnswersInTwoSeconds)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("bench_selection_gesture: no X11 display; run it inside scripts/desktop-session\n", stderr);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Forked before Qt starts any thread.
    SlowPrimaryOwner owner;
    owner.fork();
    slowOwner = &owner;
    QApplication app(argc, argv);
    Session s;
    startSession(s);
    session = &s;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session = nullptr;
    slowOwner = nullptr;
    return 0;
}
