#pragma once

// Test doubles of the selection controller's outside world: a desktop of plain records, monitors
// that tests drive, a scheduler on virtual time, scripted readers, panels and a status item that
// record what they were asked, and a fixture that builds a controller over them and a store.

#include <QMap>
#include <QRectF>

#include <deque>
#include <map>

#include "app/select-anywhere/direct_selection_controller.h"
#include "app/shell/interface_settings.h"
#include "app/shell/tests/store_test_doubles.h"
#include "platform/selection_clipboard_reader.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace selectiontest {

using namespace velquin;
using Event = halvern::SelectionMouseEvent;

constexpr qint32 ownPID = 100;
const SourceApplication editor{200, QStringLiteral("Gedit"), QStringLiteral("org.gnome.gedit")};
const SourceApplication terminal{300, QStringLiteral("XTerm"), QStringLiteral("xterm")};

class FakeDesktop : public SelectionDesktop {
public:
    bool trusted = true;
    bool monitoring = true;
    bool wayland = false;
    halvern::ShellPointer::Access nativeAccess = halvern::ShellPointer::Access::notGnome;
    std::optional<SourceApplication> frontmost = editor;
    QMap<qint32, SourceApplication> running{{editor.processIdentifier, editor}, {terminal.processIdentifier, terminal}};
    std::optional<qint32> focused;
    QPointF pointer{500, 400};
    std::function<void(const std::optional<SourceApplication>&)> activation;
    qint32 watched = 0;  // the process whose end is watched
    std::function<void()> termination;

    qint32 ownProcess() override { return ownPID; }
    bool supportsMonitoring() override { return monitoring; }
    bool isWaylandSession() override { return wayland; }
    halvern::ShellPointer::Access nativeWindowAccess() override { return nativeAccess; }
    bool isTrusted() override { return trusted; }
    std::optional<SourceApplication> frontmostApplication() override { return frontmost; }
    std::optional<qint32> frontmostProcess() override {
        return frontmost ? std::optional<qint32>(frontmost->processIdentifier) : std::nullopt;
    }
    std::optional<SourceApplication> application(qint32 pid) override {
        if (!running.contains(pid)) return std::nullopt;
        return running.value(pid);
    }
    bool isTerminated(qint32 pid) override { return pid != ownPID && !running.contains(pid); }
    void watchTermination(qint32 pid, std::function<void()> handler) override {
        watched = handler ? pid : 0;
        termination = std::move(handler);
    }
    // The process ends, without any activation (as when a new window takes the ended one's id).
    void end(qint32 pid) {
        running.remove(pid);
        if (pid != watched) return;
        watched = 0;
        std::exchange(termination, {})();
    }
    std::optional<qint32> focusedApplicationProcess() override { return focused; }
    QPointF pointerPosition() override { return pointer; }
    void observeActivation(std::function<void(const std::optional<SourceApplication>&)> handler) override {
        activation = std::move(handler);
    }
    void observeMainWindow(std::function<void(WindowSystem::WindowId)>) override {}
};

class FakeMonitors : public SelectionMonitors {
public:
    bool globalWorks = true;
    int globalStarts = 0;
    int globalStops = 0;
    std::function<void(const Event&)> global;
    std::function<void(QPointF)> local;

    bool startGlobal(std::function<void(const Event&)> handler) override {
        ++globalStarts;
        if (globalWorks) global = std::move(handler);
        return globalWorks;
    }
    void stopGlobal() override {
        ++globalStops;
        global = {};
    }
    bool startLocal(std::function<void(QPointF)> handler) override {
        local = std::move(handler);
        return true;
    }
    void stopLocal() override { local = {}; }
};

class FakeStatusItem : public SelectionStatusItem {
public:
    bool shown = false;
    bool trayAvailable = true;
    QString toolTip;
    QList<SelectionMenuEntry> menu;

    void show() override { shown = true; }
    void remove() override { shown = false; }
    bool isShown() const override { return shown; }
    bool isAvailable() const override { return shown && trayAvailable; }
    void setToolTip(const QString& text) override { toolTip = text; }
    void setMenu(const QList<SelectionMenuEntry>& entries) override { menu = entries; }
};

// Each read answers with the next scripted outcome (a result or an exception); the compatibility
// copy waits until the test completes it. The blocking reads run where VirtualScheduler runs its
// blocking work: on the test's thread.
class FakeReaders : public SelectionReaders {
public:
    using Script = std::function<halvern::SelectionReadResult()>;
    using Primary = std::function<halvern::PrimarySelection()>;
    Script accessibility = [] {
        return halvern::SelectionReadResult{QStringLiteral("hello world"),
                                            QStringLiteral("AXSelectedText · focus=0, hit=0, candidates=3"), 1};
    };
    Primary primary = [] { return halvern::PrimarySelection(); };  // the source owns no PRIMARY
    // PRIMARY, where owned, comes through the compositor's window, and the shell extension names this
    // process as the one that set it (nothing: it does not answer).
    bool primaryThroughCompositor = false;
    std::optional<qint32> nativeSource;
    tamsel::SelectionReadRule::Program sourceProgram = tamsel::SelectionReadRule::Program::ordinary;
    bool keyReachable = true;
    bool anotherMachine = false;
    QList<qint32> accessibilityReads, copies, preparations;
    int primaryTextReads = 0;
    Completion pendingCopy;

    halvern::SelectionReadResult readAccessibility(qint32 pid, QPointF, const base::CancellationToken&) override {
        accessibilityReads.append(pid);
        return accessibility();
    }
    void prepareAccessibility(qint32 pid, QPointF, const base::CancellationToken&) override {
        preparations.append(pid);
    }
    halvern::PrimaryOwner primaryOwner(qint32) override {
        using Kind = halvern::PrimaryOwner::Kind;
        if (!primary().owned) return {};
        return {primaryThroughCompositor ? Kind::compositor : Kind::source, 1};
    }
    std::optional<qint32> nativePrimarySource() override { return nativeSource; }
    std::optional<QString> primaryText(const halvern::PrimaryOwner&) override {
        ++primaryTextReads;
        return primary().text;
    }
    tamsel::SelectionReadRule::Program program(qint32) override { return sourceProgram; }
    bool onAnotherMachine(qint32) override { return anotherMachine; }
    bool copyKeyReachable(qint32) override { return keyReachable; }
    void copySelection(qint32 pid, tamsel::SelectionReadRule::Program, base::CancellationToken,
                       Completion completion) override {
        copies.append(pid);
        pendingCopy = std::move(completion);
    }
};

// A read that fails with `reason`: as the accessibility read fails (with diagnostics), or, `bare`,
// as the PRIMARY read does.
inline FakeReaders::Script failing(tamsel::DirectSelectionFailure::Case reason, bool bare = false) {
    return [reason, bare]() -> halvern::SelectionReadResult {
        if (bare) throw tamsel::DirectSelectionFailure(reason);
        throw halvern::SelectionReadFailure(reason, QStringLiteral("AX focus=-2, hit=0, candidates=1"));
    };
}

// Virtual time: timers fire and posted tasks run only when the test advances; blocking jobs wait
// until the test finishes them (or run at once when `blockingRunsAtOnce`).
class VirtualScheduler : public SelectionScheduler {
public:
    bool blockingRunsAtOnce = true;
    std::chrono::milliseconds now{0};

    void post(std::function<void()> task) override { posted_.push_back(std::move(task)); }
    void runBlocking(std::function<void()> job, std::function<void()> completion) override {
        jobs_.push_back({std::move(job), std::move(completion)});
        if (blockingRunsAtOnce) finishJobs();
    }
    TimerId after(std::chrono::milliseconds delay, std::function<void()> task) override {
        timers_[++lastId_] = Timer{now + delay, std::chrono::milliseconds(0), std::move(task)};
        return lastId_;
    }
    TimerId every(std::chrono::milliseconds interval, std::function<void()> task) override {
        timers_[++lastId_] = Timer{now + interval, interval, std::move(task)};
        return lastId_;
    }
    void cancel(TimerId timer) override { timers_.erase(timer); }
    std::chrono::steady_clock::time_point currentTime() override { return std::chrono::steady_clock::time_point(now); }

    // Runs the posted tasks (and what they post) at the current time.
    void runPosted() {
        while (!posted_.empty()) {
            auto task = std::move(posted_.front());
            posted_.pop_front();
            task();
        }
    }
    void finishJobs() {
        while (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            job.work();
            posted_.push_back(std::move(job.completion));
        }
    }
    int pendingJobs() const { return int(jobs_.size()); }
    // Moves the clock forward, firing timers in order and running posted tasks after each.
    void advance(std::chrono::milliseconds duration) {
        runPosted();
        const auto end = now + duration;
        while (true) {
            auto next = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it)
                if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) next = it;
            if (next == timers_.end()) break;
            now = next->second.due;
            auto task = next->second.task;
            if (next->second.interval.count() > 0)
                next->second.due += next->second.interval;
            else
                timers_.erase(next);
            task();
            runPosted();
        }
        now = end;
    }

private:
    struct Timer {
        std::chrono::milliseconds due;
        std::chrono::milliseconds interval;
        std::function<void()> task;
    };
    struct Job {
        std::function<void()> work;
        std::function<void()> completion;
    };
    std::map<TimerId, Timer> timers_;
    std::deque<std::function<void()>> posted_;
    std::deque<Job> jobs_;
    TimerId lastId_ = 0;
};

class FakePanels : public SelectionPanels {
public:
    Shown answer{true, true, true};
    Shown icon{true, true, true};
    QRectF area;  // what the visible panels cover
    QStringList calls;

    Shown showIcon(QPointF point, const QString& tooltip) override {
        calls.append(QStringLiteral("icon %1,%2 %3").arg(point.x()).arg(point.y()).arg(tooltip));
        return icon;
    }
    void hideIcon() override { calls.append(QStringLiteral("hideIcon")); }
    Shown showAnswer(QPointF point, bool activate) override {
        calls.append(QStringLiteral("answer %1,%2 %3").arg(point.x()).arg(point.y()).arg(activate));
        return answer;
    }
    void hide() override {}
    bool contains(QPointF point) const override { return area.contains(point); }
    Shown iconState() const override { return icon; }
    Shown answerState() const override { return answer; }
    void present(const QString& text, const QString& app, std::optional<tamsel::StudyMode> mode,
                 tamsel::SelectionTextPolicy policy) override {
        calls.append(QStringLiteral("present ") + text + QLatin1Char(' ') + app +
                     (mode ? QLatin1Char(' ') + base::rawValue(*mode) : QString()) +
                     (policy == tamsel::SelectionTextPolicy::service ? QStringLiteral(" service") : QString()));
    }
    void preview(const QString& text, const QString& app) override {
        calls.append(QStringLiteral("preview ") + text + QLatin1Char(' ') + app);
    }
    void showError(const QString& message, const QString& app, std::optional<tamsel::StudyMode> mode) override {
        calls.append(QStringLiteral("error ") + message + QLatin1Char(' ') + app +
                     (mode ? QLatin1Char(' ') + base::rawValue(*mode) : QString()));
    }
    void cancel() override {}
    int networkRequestCount() const override { return 0; }
};

// The repair actions, recorded; each can be made to fail.
class FakeRepair : public SelectionRepair {
public:
    bool installed = true;
    QString path = QStringLiteral("/usr/local/bin/orvel");
    std::optional<QString> resetFailure;
    std::optional<QString> restartFailure;
    std::optional<QString> openFailure;
    // In order: "request", "settings", "reveal", "reset", "restart", "terminate", "open <path>".
    QStringList calls;

    bool requestAuthorization() override {
        calls.append(QStringLiteral("request"));
        return false;
    }
    void openPermissionSettings() override { calls.append(QStringLiteral("settings")); }
    void revealRunningCopy() override { calls.append(QStringLiteral("reveal")); }
    bool isInstalledCopy() override { return installed; }
    QString runningPath() override { return path; }
    void resetOwnAuthorization() override {
        calls.append(QStringLiteral("reset"));
        if (resetFailure) throw base::SystemError(*resetFailure);
    }
    void restartInstalledCopy() override {
        calls.append(QStringLiteral("restart"));
        if (restartFailure) throw base::SystemError(*restartFailure);
    }
    void terminate() override { calls.append(QStringLiteral("terminate")); }
    void openTextDocument(const QString& file) override {
        calls.append(QStringLiteral("open ") + file);
        if (openFailure) throw base::SystemError(*openFailure);
    }
};

// A controller over the doubles, with automatic selection switched on and trusted.
class ControllerFixture : public storetest::StoreFixture {
public:
    using StoreFixture::clipboard;
    using StoreFixture::defaults;
    using StoreFixture::store;
    using StoreFixture::windows;

    ControllerFixture() { defaults.setBool(DirectSelectionController::enabledKey, true); }

    DirectSelectionController& controller() {
        if (!controller_) {
            DirectSelectionServices services;
            services.defaults = &defaults;
            services.store = &store();
            services.desktop = desktop;
            services.monitors = monitors;
            services.statusItem = statusItem;
            services.readers = readers;
            services.scheduler = timeline;
            services.panels = panels;
            services.windows = windows;
            services.repair = repair;
            services.clipboard = clipboard;
            controller_ = std::make_unique<DirectSelectionController>(services);
        }
        return *controller_;
    }
    DirectSelectionController& started() {
        controller().start();
        timeline->runPosted();
        return *controller_;
    }

    static Event event(unsigned type, QPointF at, int clicks = 1,
                       std::optional<qint32> front = editor.processIdentifier) {
        Event snapshot;
        snapshot.type = type;
        snapshot.quartzX = at.x();
        snapshot.quartzY = at.y();
        snapshot.clickCount = clicks;
        snapshot.source.frontmostPID = front;
        return snapshot;
    }
    void send(const Event& snapshot) {
        ASSERT_TRUE(monitors->global) << "no global monitor";
        monitors->global(snapshot);
    }
    // A drag from one point to another in the editor, released there.
    void drag(QPointF from, QPointF to, qint32 pid = editor.processIdentifier) {
        send(event(Event::leftMouseDown, from, 1, pid));
        send(event(Event::leftMouseDragged, to, 0, pid));
        send(event(Event::leftMouseUp, to, 1, pid));
    }
    const tamsel::SelectionInteraction& interaction() { return controller().interaction(); }

    std::shared_ptr<FakeDesktop> desktop = std::make_shared<FakeDesktop>();
    std::shared_ptr<FakeMonitors> monitors = std::make_shared<FakeMonitors>();
    std::shared_ptr<FakeStatusItem> statusItem = std::make_shared<FakeStatusItem>();
    std::shared_ptr<FakeReaders> readers = std::make_shared<FakeReaders>();
    std::shared_ptr<VirtualScheduler> timeline = std::make_shared<VirtualScheduler>();
    std::shared_ptr<FakePanels> panels = std::make_shared<FakePanels>();
    std::shared_ptr<FakeRepair> repair = std::make_shared<FakeRepair>();

private:
    std::unique_ptr<DirectSelectionController> controller_;
};

// The fixture as a plain object, for tables that need a fresh controller per row.
class ControllerHarness : public ControllerFixture {
public:
    void TestBody() override {}
};

}  // namespace selectiontest
