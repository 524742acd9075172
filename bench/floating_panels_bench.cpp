// Select-anywhere as a person meets it, in the real program under a window manager with the hosted
// services played by the stub program on the loopback: from the mouse-up that ends a drag over text
// in another program until the bulb's window is mapped, and from the click on the bulb until the
// answer panel shows the service's answer (the stub answers at once, so the network is out of it;
// each gesture selects a new text, so no answer comes from the program's cache). 50 gestures; the
// median and the 95th percentile in milliseconds. Needs an X11 desktop with the accessibility bus
// and a keyring: run it inside scripts/desktop-session.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <vector>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"

// After Qt's headers: Xlib's macros clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr int gestures = 50;
const QSize bulbSize(36, 36);

using orveltest::AccessibilityBus;
using orveltest::X11Display;

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

void settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

QString answerText(int index) { return QStringLiteral("Answer number %1 of the stub.").arg(index); }

// Everything the gestures need, made once.
struct Desk {
    QString problem;
    Display* display = nullptr;  // our own connection: synthetic input and map events
    std::unique_ptr<X11Display> x11;
    std::unique_ptr<orveltest::WindowManager> manager;
    std::unique_ptr<orveltest::HostedStubProgram> stub;
    std::unique_ptr<orveltest::OrvelProgram> orvel;
    AccessibilityBus accessibility;
    QProcess target;
    qint64 targetPid = 0;
    QRect line;
    std::optional<AccessibilityBus::Object> answerView;
    int answered = 0;  // answers the stub gave so far
};

Desk* desk = nullptr;

std::optional<unsigned long> windowPid(::Window window) {
    const Atom property = XInternAtom(desk->display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> pid;
    if (XGetWindowProperty(desk->display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &remaining, &data) == Success &&
        data && count == 1)
        pid = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return pid;
}

// Whether the window, or a window in it (a window manager's frame holds the program's window), is
// the program's bulb.
bool holdsBulb(::Window window, int depth = 0) {
    XWindowAttributes attributes;
    if (windowPid(window) == static_cast<unsigned long>(desk->orvel->pid()) &&
        XGetWindowAttributes(desk->display, window, &attributes) &&
        QSize(attributes.width, attributes.height) == bulbSize)
        return true;
    if (depth == 2) return false;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(desk->display, window, &root, &parent, &children, &count)) return false;
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i) found = holdsBulb(children[i], depth + 1);
    if (children) XFree(children);
    return found;
}

// Waits for the map event of a top-level window holding the bulb.
bool waitForBulbMap(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        while (XPending(desk->display)) {
            XEvent event;
            XNextEvent(desk->display, &event);
            if (event.type == MapNotify && holdsBulb(event.xmap.window)) return true;
        }
        pollfd descriptor{ConnectionNumber(desk->display), POLLIN, 0};
        ::poll(&descriptor, 1, 1);
    }
    return false;
}

void moveTo(QPoint point) {
    XTestFakeMotionEvent(desk->display, -1, point.x(), point.y(), CurrentTime);
    XFlush(desk->display);
}

void button(bool down) {
    XTestFakeButtonEvent(desk->display, 1, down ? True : False, CurrentTime);
    XFlush(desk->display);
}

bool targetIsActive() {
    const auto active = desk->x11->activeWindow();
    for (const X11Display::Window& window : desk->x11->windowsOf(desk->targetPid))
        if (active == window.id) return true;
    return false;
}

// One gesture over a new text: the milliseconds from the mouse-up to the bulb's map, and from the
// click on the bulb to the answer in the panel; nothing when a step did not happen.
std::optional<std::pair<double, double>> gesture(int index) {
    desk->target.write(QStringLiteral("text sample %1 of opportunity cost\n").arg(index).toUtf8());
    const QList<X11Display::Window> windows = desk->x11->windowsOf(desk->targetPid);
    if (windows.isEmpty()) return std::nullopt;
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("windowactivate"), QString::number(windows.first().id)});
    if (!orveltest::waitUntil(targetIsActive, 5000)) return std::nullopt;
    settle(80);  // the program sees the activation and closes what it showed

    const int y = desk->line.center().y();
    moveTo(QPoint(desk->line.left() + 3, y));
    settle(40);
    button(true);
    settle(40);
    for (int step = 1; step <= 4; ++step) {
        moveTo(QPoint(desk->line.left() + 3 + (desk->line.width() - 6) * step / 4, y));
        settle(25);
    }
    XSync(desk->display, True);  // forget earlier events
    QElapsedTimer timer;
    button(false);
    timer.start();
    if (!waitForBulbMap(5000)) return std::nullopt;
    const double bulb = timer.nsecsElapsed() / 1e6;

    std::optional<QRect> icon;
    for (const X11Display::Window& window : desk->x11->windowsOf(desk->orvel->pid()))
        if (window.geometry.size() == bulbSize) icon = window.geometry;
    if (!icon) return std::nullopt;
    moveTo(icon->center());
    settle(20);
    const QString expected = answerText(desk->answered++);
    timer.restart();
    button(true);
    button(false);
    if (!desk->answerView) {
        // The first answer: find the panel's text object (not timed).
        orveltest::waitUntil(
            [&] {
                for (const AccessibilityBus::Object& object : desk->accessibility.objectsOf(desk->orvel->pid()))
                    if (object.role == QLatin1String("text") && desk->accessibility.text(object) == expected)
                        desk->answerView = object;
                return desk->answerView.has_value();
            },
            10000);
        return std::make_pair(bulb, 0.0);
    }
    while (desk->accessibility.text(*desk->answerView) != expected) {
        if (timer.elapsed() > 5000) return std::nullopt;
    }
    return std::make_pair(bulb, timer.nsecsElapsed() / 1e6);
}

double percentile(std::vector<double> times, double fraction) {
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, size_t(fraction * double(times.size() - 1) + 0.5))];
}

void BM_SelectionToBulbAndBulbToAnswer(benchmark::State& state) {
    if (!desk || !desk->problem.isEmpty()) {
        state.SkipWithError(desk ? desk->problem.toUtf8().constData() : "no desktop session");
        return;
    }
    std::vector<double> bulbs, answers;
    int index = desk->answered;
    for (auto _ : state) {
        const auto measured = gesture(index++);
        if (!measured) {
            state.SkipWithError("a gesture brought no bulb or no answer");
            return;
        }
        bulbs.push_back(measured->first);
        answers.push_back(measured->second);
    }
    state.counters["bulb_median_ms"] = percentile(bulbs, 0.5);
    state.counters["bulb_p95_ms"] = percentile(bulbs, 0.95);
    state.counters["answer_median_ms"] = percentile(answers, 0.5);
    state.counters["answer_p95_ms"] = percentile(answers, 0.95);
}
BENCHMARK(BM_SelectionToBulbAndBulbToAnswer)->Iterations(gestures)->Unit(benchmark::kMillisecond);

void start(Desk& d) {
    d.display = XOpenDisplay(nullptr);
    if (!d.display) {
        d.problem = QStringLiteral("no X11 display");
        return;
    }
    XSetErrorHandler(ignoreErrors);
    XSelectInput(d.display, DefaultRootWindow(d.display), SubstructureNotifyMask);
    d.x11 = std::make_unique<X11Display>();
    d.manager = std::make_unique<orveltest::WindowManager>(*d.x11);

    // A confirmed account with its token in the keyring, the consent given, automatic selection on;
    // the stub answers every request of the runs (warm-up included) with an answer of its own.
    const QJsonObject account{{QStringLiteral("id"), QStringLiteral("account_1234")},
                              {QStringLiteral("kind"), QStringLiteral("native")},
                              {QStringLiteral("email_verified"), true}};
    QJsonArray script{QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/account")},
                                  {QStringLiteral("repeat"), true},
                                  {QStringLiteral("body"), account}}};
    for (int i = 0; i < 10 * gestures; ++i)
        script.append(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/ai/answer")},
                                  {QStringLiteral("body"), QJsonObject{{QStringLiteral("answer"), answerText(i)}}}});
    d.stub = std::make_unique<orveltest::HostedStubProgram>(script);
    if (d.stub->baseUrl().isEmpty() || !orveltest::storeSessionToken(QStringLiteral("bench-session-token")) ||
        !d.manager->isRunning()) {
        d.problem = QStringLiteral("the stub, the keyring or the window manager did not start");
        return;
    }

    d.orvel = std::make_unique<orveltest::OrvelProgram>();
    {
        base::DefaultsStore defaults(d.orvel->defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
        defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    }
    d.orvel->setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), d.stub->baseUrl());
    if (!d.orvel->start() || !d.orvel->waitForWindow(*d.x11) ||
        !orveltest::waitUntil([&] {
            return d.orvel->state().value(QStringLiteral("selectionPermissionStatus")) ==
                       QStringLiteral("划词 AI 图标已开启") &&
                   d.stub->count("GET", "/v1/account") >= 1;
        })) {
        d.problem = QStringLiteral("orvel did not start with automatic selection on");
        return;
    }

    d.target.start(QStringLiteral(ORVEL_SELECTION_TARGET), {});
    orveltest::waitUntil(
        [&] {
            d.target.waitForReadyRead(20);
            while (d.target.canReadLine()) {
                const QStringList parts = QString::fromUtf8(d.target.readLine()).trimmed().split(QLatin1Char(' '));
                if (parts.size() == 6 && parts[1] == QStringLiteral("lineEdit"))
                    d.line = QRect(parts[2].toInt(), parts[3].toInt(), parts[4].toInt(), parts[5].toInt());
                if (parts.size() == 2 && parts[0] == QStringLiteral("ready")) d.targetPid = parts[1].toLongLong();
            }
            return d.targetPid != 0;
        },
        10000);
    if (d.targetPid == 0) {
        d.problem = QStringLiteral("the selection target did not start");
        return;
    }
    // Warm-up: the first gesture loads what the later ones reuse and finds the answer's text.
    if (!gesture(1000) || !d.answerView) d.problem = QStringLiteral("the warm-up gesture brought no answer");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    Desk d;
    desk = &d;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("bench_floating_panels: no X11 display; run it inside scripts/desktop-session\n", stderr);
        d.problem = QStringLiteral("no X11 display");
    } else {
        start(d);
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    desk = nullptr;
    if (d.orvel) d.orvel->stop(SIGTERM);
    d.target.kill();
    d.target.waitForFinished(2000);
    if (d.display) XCloseDisplay(d.display);
    return 0;
}
