#include "app/select-anywhere/window_regression_checklist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QScreen>
#include <QVariantList>
#include <QWidget>

#include <QCoroTimer>

#include "app/select-anywhere/direct_float_model.h"
#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/direct_selection_controller.h"
#include "app/select-anywhere/floating_selection_panels.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "app/select-anywhere/selection_icon_view.h"
#include "app/select-anywhere/selection_read_pipeline.h"
#include "app/shell/app_delegate.h"
#include "app/shell/app_store.h"
#include "app/shell/application_instance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/qt_window_system.h"
#include "base/work_scheduler.h"
#include "core/study.h"
#include "platform/pasteboard.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_service_provider.h"

namespace velquin {

using namespace std::chrono_literals;
using tamsel::CapturedSelection;
using tamsel::SelectionInteraction;
using Phase = SelectionInteraction::Phase;

namespace {

const QString closedReason = QStringLiteral("用户关闭");
const QString serviceText = QStringLiteral("Opportunity cost is the next best alternative.");
const QString iconText = QStringLiteral("Captured before the click");

// The delegate's hold on a single running copy is not part of the checks.
class LocalInstance : public ApplicationInstance {
public:
    Claim claim() override { return {}; }
    bool handOver(const LaunchRequest&) override { return false; }
    void registerSelectionEntry(std::function<void(const halvern::SelectionRequest&)>) override {}
    void registerSelectionRefusals(std::function<void(const halvern::RefusedSelection&)>) override {}
    std::optional<QString> callSelectionEntry(const QString&, const QVariantList&) override { return std::nullopt; }
    void setRequestHandler(std::function<void(const LaunchRequest&)>) override {}
    void release() override {}
};

QCoro::Task<void> pause(std::chrono::milliseconds duration) {
    auto sleeping = QCoro::sleepFor(duration);
    co_await sleeping;
}

QString rectText(const QRect& rect) {
    return QStringLiteral("{{%1, %2}, {%3, %4}}").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

}  // namespace

WindowRegressionChecklist::WindowRegressionChecklist(DirectSelectionController& controller,
                                                     FloatingSelectionPanels& panels)
    : controller_(controller), panels_(panels) {}

QCoro::Task<WindowRegressionChecklist::Outcome> WindowRegressionChecklist::waitForResultPresentation() {
    tamsel::WindowPresentationReadiness readiness(2.5, 0.12);
    QElapsedTimer clock;
    clock.start();
    QVariantList samples;
    Outcome outcome = Outcome::waiting;
    while (outcome == Outcome::waiting) {
        const SelectionPanels::Shown shown = panels_.answerState();
        const tamsel::WindowPresentationSample sample{shown.visible, shown.visible && shown.onActiveSpace,
                                                      shown.visible && shown.occlusionVisible};
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        outcome = readiness.observe(sample, elapsed);
        samples.append(QVariantMap{{QStringLiteral("elapsed_ms"), qint64(elapsed * 1000)},
                                   {QStringLiteral("visible"), sample.visible},
                                   {QStringLiteral("on_active_space"), sample.onActiveSpace},
                                   {QStringLiteral("unoccluded"), sample.unoccluded}});
        if (outcome == Outcome::waiting) co_await pause(50ms);
    }
    const SelectionPanels::Shown shown = panels_.answerState();
    const QScreen* screen = QGuiApplication::primaryScreen();
    WindowSystem& windows = *controller_.services_.windows;
    controller_.windowRegressionDetails_ = QVariantMap{
        {QStringLiteral("presentation_outcome"), base::rawValue(outcome)},
        {QStringLiteral("visibility_samples"), samples},
        {QStringLiteral("app_active"), windows.isApplicationActive()},
        {QStringLiteral("app_hidden"), windows.isApplicationHidden()},
        {QStringLiteral("window_key"), shown.active},
        {QStringLiteral("window_frame"), shown.exists ? rectText(shown.frame) : QStringLiteral("missing")},
        // Kept above ordinary windows is the floating level (3).
        {QStringLiteral("window_level"), shown.exists ? (shown.keptAbove ? 3 : 0) : -1},
        {QStringLiteral("window_occlusion_raw"), shown.occlusionVisible ? 2 : 0},
        {QStringLiteral("display_visible_frame"),
         screen ? rectText(screen->availableGeometry()) : QStringLiteral("missing")},
    };
    co_return outcome;
}

QCoro::Task<QMap<QString, bool>> WindowRegressionChecklist::run() {
    DirectSelectionController& c = controller_;
    QMap<QString, bool> result;
    const auto answerVisible = [this] { return panels_.answerState().visible; };
    const auto iconVisible = [this] { return panels_.iconState().visible; };
    DirectFloatModel& model = panels_.model();

    // The text service.
    halvern::MemoryPasteboard pasteboard;
    pasteboard.setString(serviceText);
    const qint64 changeCount = pasteboard.changeCount();
    halvern::SelectionServiceProvider provider(
        [&c](const halvern::SelectionRequest& request) { c.receiveServiceSelection(request); });
    provider.studySelectedText(pasteboard, QStringLiteral("translate"), nullptr);
    auto waiting = waitForResultPresentation();
    Outcome outcome = co_await waiting;
    result[QStringLiteral("service_dedicated_pasteboard_preserved")] = pasteboard.changeCount() == changeCount;
    result[QStringLiteral("service_text_reaches_float")] = model.text() == serviceText;
    result[QStringLiteral("service_window_visible")] = answerVisible() && c.interaction_.phase == Phase::result;
    result[QStringLiteral("service_window_on_active_space")] = panels_.answerState().onActiveSpace;
    result[QStringLiteral("service_window_not_occluded")] =
        outcome == Outcome::ready && panels_.answerState().occlusionVisible;
    result[QStringLiteral("service_requested_once_offline")] = model.requestCount() == 1;

    // This program becoming active keeps the handed-over text.
    const qint32 own = c.services_.desktop->ownProcess();
    const SourceApplication ownApplication =
        c.services_.desktop->application(own).value_or(SourceApplication{own, QStringLiteral("Orvel"), {}});
    c.applicationActivated(ownApplication);
    co_await pause(80ms);
    result[QStringLiteral("service_survives_own_activation")] =
        answerVisible() && c.interaction_.origin == SelectionInteraction::Origin::service;

    // Pausing automatic selection closes only an automatic selection.
    if (c.interaction_.origin == SelectionInteraction::Origin::automatic)
        c.dismiss(QStringLiteral("自动划词暂停、范围或权限变化"));
    result[QStringLiteral("service_survives_automatic_pause")] = answerVisible();
    result[QStringLiteral("service_inside_click_preserved")] = answerVisible();
    c.dismiss(closedReason);

    // The bulb: offered without a request, opened once by a press.
    const QScreen* screen = QGuiApplication::primaryScreen();
    c.selectionPoint_ = screen ? QRectF(screen->availableGeometry()).center() : QPointF(400, 400);
    c.interaction_.present(CapturedSelection{iconText, QStringLiteral("Offline fixture"), std::nullopt, false},
                           SelectionInteraction::Origin::automatic, true);
    emit c.interactionChanged();
    int requests = model.requestCount();
    c.showSelectionIcon(c.selectionPoint_);
    result[QStringLiteral("icon_visible_without_request")] = iconVisible() && model.requestCount() == requests;

    if (SelectionIconPanel* icon = panels_.iconPanel()) {
        const QPointF local(SelectionIconPanel::side / 2.0, SelectionIconPanel::side / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, local, icon->mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(icon->iconView(), &press);
    }
    co_await pause(80ms);
    result[QStringLiteral("icon_click_opens_saved_text")] = model.text() == iconText && answerVisible() && !iconVisible();
    result[QStringLiteral("icon_click_requests_once")] = model.requestCount() == requests + 1;
    auto waitingAgain = waitForResultPresentation();
    outcome = co_await waitingAgain;
    result[QStringLiteral("icon_click_result_unoccluded")] =
        outcome == Outcome::ready && panels_.answerState().occlusionVisible;

    requests = model.requestCount();
    c.openSelectionIcon();
    result[QStringLiteral("duplicate_icon_click_ignored")] = model.requestCount() == requests;
    result[QStringLiteral("offline_no_network_requests")] = model.networkRequestCount() == 0;

    c.applicationActivated(ownApplication);
    result[QStringLiteral("icon_result_survives_own_activation")] = answerVisible();

    const SelectionPanels::Shown answerState = panels_.answerState();
    const SelectionPanels::Shown iconState = panels_.iconState();
    result[QStringLiteral("panel_ordinary_floating_level")] =
        answerState.exists && iconState.exists && answerState.keptAbove && iconState.keptAbove;

    // A press elsewhere in this program closes the selection.
    const QPointF outside(-100000, -100000);
    if (!c.presentationContains(outside) && (c.hasSelectionPresentation() || c.reads_->isPending()))
        c.dismiss(QStringLiteral("主窗口内点击"));
    result[QStringLiteral("outside_click_closes_result")] = panels_.answerState().exists &&
                                                            panels_.iconState().exists && !answerVisible() &&
                                                            !iconVisible() && c.interaction_.phase == Phase::idle;
    c.dismiss(closedReason);

    // Failed reads: an automatic one shows nothing, a manual one its reason.
    const auto failRead = [&c](bool manual, const QString& name) {
        SelectionReadPipeline::Job job;
        job.generation = c.interaction_.beginRead(415, manual);
        c.interaction_.markReading(job.generation);
        job.application = SourceApplication{415, name, {}};
        job.name = name;
        job.point = c.selectionPoint_;
        job.manual = manual;
        c.reads_->completeFailedRead(
            job,
            std::make_exception_ptr(tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::unsupported)));
    };
    requests = model.requestCount();
    failRead(false, QStringLiteral("No text fixture"));
    result[QStringLiteral("automatic_failure_keeps_windows_hidden")] =
        !answerVisible() && !iconVisible() && c.interaction_.phase == Phase::idle;
    result[QStringLiteral("automatic_failure_no_model_request")] =
        model.requestCount() == requests && model.networkRequestCount() == 0;
    failRead(true, QStringLiteral("Manual fixture"));
    result[QStringLiteral("manual_failure_displays_reason")] =
        answerVisible() &&
        model.error() == tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::unsupported).message() &&
        model.text().isEmpty();

    // Long handed-over texts: 4,000 characters pass, one over the source limit does not.
    const QString longText(4000, u'a');
    pasteboard.setString(longText);
    provider.studySelectedText(pasteboard, QStringLiteral("explain"), nullptr);
    result[QStringLiteral("service_long_text_accepted")] =
        model.text() == longText && !model.error() && model.answer().has_value();
    const QString noted = model.text();
    pasteboard.setString(QString(tamsel::SourceText::limit + 1, u'b'));
    QString refusal;
    provider.studySelectedText(pasteboard, QStringLiteral("translate"), &refusal);
    result[QStringLiteral("service_oversized_text_rejected")] = !refusal.isEmpty() && model.text() == noted;
    c.dismiss(closedReason);

    // A scratch main window brought back by reopening while hidden, minimised and closed.
    const std::optional<WindowSystem::WindowId> notedWorkspace = c.workspaceWindow_;
    const bool notedEnabled = c.automaticState_.enabled;
    const bool notedPresentation = c.store_.selectionPresentation();
    auto scratch = std::make_unique<QWidget>();
    scratch->setWindowTitle(QStringLiteral("Orvel · 安装检查"));
    scratch->setGeometry(QRect((c.selectionPoint_ + QPointF(-280, -220)).toPoint(), QSize(620, 480)));
    const WindowSystem::WindowId scratchId = QtWindowSystem::idOf(scratch.get());
    c.workspaceWindow_ = scratchId;
    tamsel::AutomaticSelectionState state = c.automaticState_;
    state.enabled = true;
    c.setAutomaticState(state);
    WindowSystem& windows = *c.services_.windows;
    base::QtWorkScheduler scheduler;
    LocalInstance instance;
    OrvelNativeCoach coach(c.defaults_);
    AppDelegate delegate({.defaults = c.defaults_,
                          .coach = coach,
                          .controller = c,
                          .store = c.store_,
                          .instance = instance,
                          .scheduler = scheduler,
                          .startImportCheck = {},
                          .openURL = {}});
    const auto reopened = [&] {
        return scratch->isVisible() && !scratch->isMinimized() && !windows.isApplicationHidden();
    };
    // The reopen, then a poll every 50 ms (at most 50 times) until the scratch window is back.
    const auto reopenAndPoll = [&]() -> QCoro::Task<bool> {
        delegate.applicationShouldHandleReopen();
        for (int attempt = 0; attempt < 50 && !reopened(); ++attempt) co_await pause(50ms);
        co_return reopened();
    };
    scratch->show();
    scratch->raise();
    scratch->activateWindow();
    c.hideWorkspaceForSelection();
    co_await pause(80ms);

    auto reopening = reopenAndPoll();
    bool back = co_await reopening;
    result[QStringLiteral("dock_reopen_shows_hidden_workspace")] = back && !c.store_.selectionPresentation();

    scratch->showMinimized();
    co_await pause(250ms);
    auto reopeningMinimized = reopenAndPoll();
    back = co_await reopeningMinimized;
    result[QStringLiteral("dock_reopen_restores_minimized_workspace")] = back;

    scratch->close();
    auto reopeningClosed = reopenAndPoll();
    back = co_await reopeningClosed;
    delegate.applicationShouldHandleReopen();
    result[QStringLiteral("dock_reopen_reuses_workspace_after_close")] = back && c.workspaceWindow_ == scratchId;
    result[QStringLiteral("dock_reopen_keeps_automatic_selection_enabled")] =
        c.automaticState_.enabled && model.networkRequestCount() == 0;

    // Becoming active does not bring back a main window hidden for a selection.
    c.hideWorkspaceForSelection();
    windows.showApplication();
    delegate.applicationDidBecomeActive();
    co_await pause(80ms);
    result[QStringLiteral("ordinary_activation_keeps_workspace_hidden")] = !scratch->isVisible();

    // The compatibility copy's and the interface settings' own checks.
    auto copyChecks = halvern::SelectionClipboardReader::performRegressionChecks();
    const QMap<QString, bool> copied = co_await copyChecks;
    for (auto entry = copied.begin(); entry != copied.end(); ++entry) result.insert(entry.key(), entry.value());
    const QHash<QString, bool> interface = InterfaceSettings::performRegressionChecks();
    for (auto entry = interface.begin(); entry != interface.end(); ++entry) result.insert(entry.key(), entry.value());

    // Everything back as it was.
    scratch->hide();
    scratch.reset();
    c.workspaceWindow_ = notedWorkspace;
    state = c.automaticState_;
    state.enabled = notedEnabled;
    c.setAutomaticState(state);
    c.store_.setSelectionPresentation(notedPresentation);
    windows.showApplication();
    c.dismiss(closedReason);
    co_return result;
}

}  // namespace velquin
