#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/selection_mouse_event.h"
#include "platform/selection_service_provider.h"
#include "tests/support/gui/selection_target_process.h"
#include "platform/x11_record_monitor.h"

using namespace halvern;
using namespace halvern::testing;
using Event = SelectionMouseEvent;

namespace {

struct Recorder {
    X11RecordMonitor monitor;
    PointerEventTranslator translator = PointerEventTranslator::fromDesktop();
    QList<Event> snapshots;

    Recorder() {
        QObject::connect(&monitor, &X11RecordMonitor::pointerEvent, [this](const X11PointerEvent& event) {
            if (const auto pointer = translator.translate(event)) snapshots.append(Event::capture(*pointer));
        });
    }
    QList<Event> of(unsigned type) const {
        QList<Event> result;
        for (const Event& snapshot : snapshots)
            if (snapshot.type == type) result.append(snapshot);
        return result;
    }
};

QString call(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("dbus-send"),
                  QStringList{QStringLiteral("--session"), QStringLiteral("--print-reply"),
                              QStringLiteral("--dest=") + SelectionServiceProvider::serviceName,
                              SelectionServiceProvider::objectPath,
                              SelectionServiceProvider::interfaceName + QStringLiteral(".StudySelectedText")} +
                      arguments);
    // The answer comes from this thread's event loop: keep it running while waiting.
    while (process.state() != QProcess::NotRunning) settle(10);
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    const qsizetype start = output.indexOf(QLatin1Char('"'));
    const qsizetype end = output.lastIndexOf(QLatin1Char('"'));
    return start >= 0 && end > start ? output.mid(start + 1, end - start - 1) : QStringLiteral("<no reply> ") + output;
}

}  // namespace

TEST(SelectionEventsDesktop, ADragAndADoubleClickGiveSnapshotsWithTypesPositionsAndClickCounts) {
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    Recorder recorder;
    ASSERT_TRUE(recorder.monitor.start());
    settle(100);

    xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("120")});
    settle(50);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    settle(50);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("150"), QStringLiteral("120")});
    settle(50);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("200"), QStringLiteral("120")});
    settle(50);
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    settle(150);

    ASSERT_EQ(recorder.of(Event::leftMouseDown).size(), 1);
    const Event down = recorder.of(Event::leftMouseDown).first();
    EXPECT_EQ(down.clickCount, 1);
    EXPECT_EQ(down.quartzX, 100);
    EXPECT_EQ(down.quartzY, 120);
    EXPECT_EQ(down.source.frontmostPID, target.pid());
    EXPECT_EQ(down.source.reportedTargetPID, 0);
    EXPECT_FALSE(recorder.of(Event::leftMouseDragged).isEmpty());
    for (const Event& drag : recorder.of(Event::leftMouseDragged)) EXPECT_EQ(drag.clickCount, 0);
    ASSERT_EQ(recorder.of(Event::leftMouseUp).size(), 1);
    const Event up = recorder.of(Event::leftMouseUp).first();
    EXPECT_EQ(up.clickCount, 1);
    EXPECT_EQ(up.quartzX, 200);
    EXPECT_EQ(up.quartzY, 120);
    EXPECT_GE(up.timestamp, down.timestamp);

    recorder.snapshots.clear();
    xdotool({QStringLiteral("mousemove"), QStringLiteral("300"), QStringLiteral("150")});
    settle(50);
    xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
             QStringLiteral("80"), QStringLiteral("1")});
    settle(150);
    const QList<Event> downs = recorder.of(Event::leftMouseDown);
    const QList<Event> ups = recorder.of(Event::leftMouseUp);
    ASSERT_EQ(downs.size(), 2);
    ASSERT_EQ(ups.size(), 2);
    EXPECT_EQ(downs[0].clickCount, 1);
    EXPECT_EQ(ups[0].clickCount, 1);
    EXPECT_EQ(downs[1].clickCount, 2);
    EXPECT_EQ(ups[1].clickCount, 2);
    EXPECT_EQ(ups[1].quartzX, 300);
    EXPECT_EQ(ups[1].quartzY, 150);
    recorder.monitor.stop();
}

TEST(SelectionEventsDesktop, TheDBusEntryAnswersWithTheMessages) {
    QList<SelectionRequest> received;
    SelectionServiceProvider provider([&](const SelectionRequest& request) { received.append(request); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerService(SelectionServiceProvider::serviceName));
    ASSERT_TRUE(provider.registerOn(bus));

    EXPECT_EQ(call({QStringLiteral("string:"), QStringLiteral("string:translate")}),
              tamsel::StudyError(tamsel::StudyError::Case::emptyInput).message());
    EXPECT_EQ(call({QStringLiteral("string:hello"), QStringLiteral("string:Translate")}),
              QStringLiteral("无法识别这个 Orvel 服务，请重新安装最新版。"));
    EXPECT_TRUE(received.isEmpty());
    EXPECT_EQ(call({QStringLiteral("string:hello"), QStringLiteral("string:explain")}), QString());
    EXPECT_EQ(call({QStringLiteral("string:bonjour")}), QString());
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[0], (SelectionRequest{QStringLiteral("hello"), tamsel::StudyMode::explain}));
    EXPECT_EQ(received[1].mode, tamsel::StudyMode::practice);
    bus.unregisterObject(SelectionServiceProvider::objectPath);
    bus.unregisterService(SelectionServiceProvider::serviceName);
}

// Stopping right after starting must not hang: the stop may reach the display server before the
// listener thread has enabled recording.
TEST(SelectionEventsDesktop, AMonitorStoppedRightAfterStartingEnds) {
    std::atomic<bool> finished{false};
    std::thread watchdog([&finished] {
        for (int i = 0; i < 200 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished) {
            std::fputs("the monitor did not stop\n", stderr);
            std::_Exit(1);
        }
    });
    for (int round = 0; round < 200; ++round) {
        X11RecordMonitor monitor;
        ASSERT_TRUE(monitor.start());
        monitor.stop();
        EXPECT_FALSE(monitor.isRunning());
    }
    finished = true;
    watchdog.join();
}
