// A flood of hand-overs through the D-Bus selection entry of the real program: 20,000 calls of
// StudySelectedText, each with a new text, one after the other as fast as the program answers,
// with a confirmed account and the hosted services played by the stub program (it answers at
// once). Reported: the program's resident memory (VmRSS) before and after the flood, both after
// the program has been idle for a while, its growth per call, and the time each call took to be
// answered (mean and longest), which is main-thread time of the program. Needs an X11 desktop with
// a keyring: run it inside scripts/desktop-session. ORVEL_FLOOD_BINARY names another program file
// to measure (an older build, for a comparison), ORVEL_FLOOD_CALLS another number of calls.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"

namespace {

constexpr int warmUpCalls = 200;

// 20,000 calls, or ORVEL_FLOOD_CALLS.
int calls() {
    const int asked = qEnvironmentVariableIntValue("ORVEL_FLOOD_CALLS");
    return asked > 0 ? asked : 20000;
}

struct Desk {
    QString problem;
    std::unique_ptr<orveltest::X11Display> x11;
    std::unique_ptr<orveltest::WindowManager> manager;
    std::unique_ptr<orveltest::HostedStubProgram> stub;
    std::unique_ptr<orveltest::OrvelProgram> orvel;
};

Desk* desk = nullptr;

// The program's resident memory in KiB; 0 when it cannot be read.
qint64 residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

// Lets the program finish what the calls started (answers, panel layout, history writes).
void idle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
}

// One call as another program makes it; the milliseconds until its answer, or a negative value.
double studySelectedText(int index) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvel.formac"), QStringLiteral("/com/orvel/formac/Selection"),
        QStringLiteral("com.orvel.formac.Selection"), QStringLiteral("StudySelectedText"));
    call << QStringLiteral("Opportunity cost, sample %1").arg(index) << QStringLiteral("explain");
    QElapsedTimer timer;
    timer.start();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 60000);
    if (reply.type() != QDBusMessage::ReplyMessage) return -1;
    return timer.nsecsElapsed() / 1e6;
}

void BM_StudySelectedTextFlood(benchmark::State& state) {
    if (!desk || !desk->problem.isEmpty()) {
        state.SkipWithError(desk ? desk->problem.toUtf8().constData() : "no desktop session");
        return;
    }
    const qint64 pid = desk->orvel->pid();
    for (auto _ : state) {
        int index = 0;
        for (; index < warmUpCalls; ++index)
            if (studySelectedText(index) < 0) break;
        idle(3000);
        const qint64 before = residentKiB(pid);
        double total = 0, longest = 0;
        const int count = calls();
        for (int i = 0; i < count; ++i) {
            const double took = studySelectedText(index++);
            if (took < 0) {
                state.SkipWithError("a call was not answered");
                return;
            }
            total += took;
            longest = std::max(longest, took);
        }
        idle(3000);
        const qint64 after = residentKiB(pid);
        state.counters["rss_before_MiB"] = before / 1024.0;
        state.counters["rss_after_MiB"] = after / 1024.0;
        state.counters["growth_KiB_per_call"] = double(after - before) / count;
        state.counters["call_mean_ms"] = total / count;
        state.counters["call_longest_ms"] = longest;
    }
}
BENCHMARK(BM_StudySelectedTextFlood)->Iterations(1)->Unit(benchmark::kSecond);

void start(Desk& d) {
    d.x11 = std::make_unique<orveltest::X11Display>();
    d.manager = std::make_unique<orveltest::WindowManager>(*d.x11);
    const QString account = QStringLiteral("account_1234");
    d.stub = std::make_unique<orveltest::HostedStubProgram>(QJsonArray{
        orveltest::confirmedAccountReply(account),
        orveltest::stubReply(
            QStringLiteral("/v1/ai/answer"),
            {{QStringLiteral("answer"), QStringLiteral("Opportunity cost: the value of the next best choice.")}}),
    });
    if (d.stub->baseUrl().isEmpty() || !orveltest::storeSessionToken(QStringLiteral("bench-session-token")) ||
        !d.manager->isRunning()) {
        d.problem = QStringLiteral("the stub, the keyring or the window manager did not start");
        return;
    }
    d.orvel = std::make_unique<orveltest::OrvelProgram>(qEnvironmentVariable("ORVEL_FLOOD_BINARY"));
    {
        base::DefaultsStore defaults(d.orvel->defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    }
    d.orvel->setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), d.stub->baseUrl());
    // Started when it asked the account service (a window would tell only for the program's own
    // process, not for one started under a profiler).
    if (!d.orvel->start() || !orveltest::waitUntil([&] { return d.stub->count("GET", "/v1/account") >= 1; })) {
        d.problem = QStringLiteral("orvel did not start");
        return;
    }
    idle(2000);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    Desk d;
    desk = &d;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("bench_selection_entry_flood: no X11 display; run it inside scripts/desktop-session\n", stderr);
        d.problem = QStringLiteral("no X11 display");
    } else {
        start(d);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (d.orvel) d.orvel->stop(SIGTERM);
    return 0;
}
