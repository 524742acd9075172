#include "app/select-anywhere/direct_selection_controller.h"

#include <QGuiApplication>
#include <QLineF>
#include <QPointer>
#include <QScreen>
#include <QUuid>

#include <algorithm>

#include "app/select-anywhere/direct_result_panel.h"
#include "app/select-anywhere/floating_selection_panels.h"
#include "app/select-anywhere/selection_icon_panel.h"
#include "app/select-anywhere/selection_read_pipeline.h"
#include "app/select-anywhere/window_regression_checklist.h"
#include "app/shell/app_store.h"
#include "app/shell/app_store_services.h"
#include "app/shell/application_test_hook.h"
#include "app/shell/build_info.h"
#include "app/shell/interface_settings.h"
#include "app/shell/qt_window_system.h"
#include "app/shell/ui_strings.h"
#include "app/shell/workspace_router.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/text.h"
#include "core/direct_selection_rules.h"
#include "core/selection_read_rule.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_service_provider.h"

namespace velquin {

using tamsel::CapturedSelection;
using tamsel::DirectSelectionFailure;
using tamsel::SelectionInteraction;
using tamsel::SelectionSourceBlock;
using Event = halvern::SelectionMouseEvent;

namespace {

const QString pauseReason = QStringLiteral("自动划词暂停、范围或权限变化");
const QString unknownAppName = QStringLiteral("来源应用");
const QString unavailableStatus = QStringLiteral("自动划词在此桌面会话中不可用（需要 X11 或 XWayland）");
const QString monitorStartedStatus = QStringLiteral("鼠标监听已创建。请先单击文本编辑器，再拖选一段文字。");
// On a Wayland session without GNOME Shell's extension only X11 programs can be seen; the others'
// selections go through the command.
const QString waylandMonitorPermission = QStringLiteral("划词 AI 图标已开启（Wayland 会话中仅限 X11 程序）");
const QString gnomeMonitorPermission = QStringLiteral("划词 AI 图标已开启（原生 Wayland 窗口需要 GNOME 扩展）");

// Why native Wayland windows are not read, and what to do, by where the extension stands.
QString nativeWindowNote(halvern::ShellPointer::Access access) {
    using Access = halvern::ShellPointer::Access;
    switch (access) {
    case Access::active: return {};
    case Access::notGnome:
        return QStringLiteral(
            "此 Wayland 桌面不告诉其他程序原生窗口中的指针位置，因此只自动读取 X11（XWayland）程序的选区。"
            "在原生窗口中选中文字后，运行 orvel --study-selection 打开结果小窗。");
    case Access::notInstalled:
        return QStringLiteral(
            "原生 Wayland 窗口中的划词需要 Orvel 的 GNOME Shell 扩展 selection@orvel.app，但它尚未安装："
            "请安装 Orvel 的软件包，重新登录后运行 gnome-extensions enable selection@orvel.app。"
            "在此之前，在原生窗口中选中文字后运行 orvel --study-selection。");
    case Access::needsNewLogin:
        return QStringLiteral(
            "Orvel 的 GNOME Shell 扩展 selection@orvel.app 已安装，但 GNOME 要在重新登录后才会发现它："
            "注销并重新登录，再运行 gnome-extensions enable selection@orvel.app。"
            "在此之前，在原生窗口中选中文字后运行 orvel --study-selection。");
    case Access::disabled:
        return QStringLiteral(
            "原生 Wayland 窗口中的划词需要 GNOME Shell 扩展 selection@orvel.app："
            "运行 gnome-extensions enable selection@orvel.app 开启它。"
            "在此之前，在原生窗口中选中文字后运行 orvel --study-selection。");
    case Access::failed:
        return QStringLiteral(
            "GNOME Shell 扩展 selection@orvel.app 在此 GNOME 中无法运行（它适用于 GNOME 43 和 44），"
            "原生 Wayland 窗口中的划词不可用。在原生窗口中选中文字后，运行 orvel --study-selection 打开结果小窗。");
    }
    return {};
}

QString displayName(const SourceApplication& application) {
    return application.name.isEmpty() ? unknownAppName : application.name;
}

void appendCapped(QStringList& list, const QString& entry) {
    list.append(entry);
    while (list.size() > DirectSelectionDiagnostics::historyLength) list.removeFirst();
}

QString flag(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

QString orNil(const std::optional<qint32>& value) { return value ? QString::number(*value) : QStringLiteral("nil"); }

// The diagnostics line of one press or release.
QString snapshotLine(const Event& event, const std::optional<tamsel::SelectionSourceResolution>& resolved) {
    return QStringLiteral("%1 t=%2 target=%3 hit=%4 focus=%5 workspace=%6 resolved=%7 AXErrors=%8,%9")
        .arg(event.type == Event::leftMouseDown ? QStringLiteral("down") : QStringLiteral("up"))
        .arg(QString::asprintf("%.3f", event.timestamp))
        .arg(event.source.reportedTargetPID)
        .arg(orNil(event.source.hitPID), orNil(event.source.focusedPID), orNil(event.source.frontmostPID))
        .arg(resolved ? QString::number(resolved->processIdentifier) + QStringLiteral(" / ") + resolved->method
                      : QStringLiteral("nil"))
        .arg(event.hitError)
        .arg(event.focusError);
}

}  // namespace

DirectSelectionServices DirectSelectionServices::completed() const {
    DirectSelectionServices services = *this;
    if (!services.desktop) services.desktop = makeX11SelectionDesktop();
    if (!services.monitors) services.monitors = makeRecordSelectionMonitors();
    if (!services.statusItem) services.statusItem = makeTraySelectionStatusItem();
    if (!services.readers) services.readers = makePlatformSelectionReaders();
    if (!services.scheduler) services.scheduler = makeQtSelectionScheduler();
    if (!services.panels) services.panels = makeFloatingSelectionPanels();
    if (!services.windows) services.windows = QtWindowSystem::shared();
    if (!services.repair) services.repair = makePlatformSelectionRepair();
    if (!services.clipboard) services.clipboard = std::make_shared<SystemClipboard>();
    return services;
}

DirectSelectionController::DirectSelectionController(DirectSelectionServices services, QObject* parent)
    : SelectionController(parent),
      services_(services.completed()),
      defaults_(services_.defaults ? *services_.defaults : base::DefaultsStore::standard()),
      store_(services_.store ? *services_.store : AppStore::shared()),
      reads_(std::make_unique<SelectionReadPipeline>(*this)) {
    services_.panels->attach(*this);
    // What a hand-over showed is gone once nothing is pending or shown any more.
    connect(this, &DirectSelectionController::interactionChanged, this, [this] {
        if (handOverShown_ && interaction_.phase == SelectionInteraction::Phase::idle) {
            handOverShown_ = false;
            emit handOverEnded();
        }
    });
}

DirectSelectionController::~DirectSelectionController() {
    if (isStarted_) stop();
}

std::unique_ptr<DirectSelectionController> DirectSelectionController::makeForWindowChecks(
    DirectSelectionServices services) {
    auto panels =
        std::make_shared<FloatingSelectionPanels>(DirectFloatServices{services.defaults}, services.store, true);
    services.panels = panels;
    auto controller = std::make_unique<DirectSelectionController>(std::move(services));
    controller->windowQAPanels_ = std::move(panels);
    return controller;
}

DirectSelectionController& DirectSelectionController::shared() {
    static DirectSelectionController* instance = [] {
        auto* controller = new DirectSelectionController();
        // The main window comes back through the controller, which closes its panels first.
        QtWindowSystem::shared()->setOpenWorkspaceHandler([controller] { controller->openWorkspace(); });
        // What the end-to-end tests look at (answered only when the test hook is registered).
        ApplicationTestHook::addState([controller] {
            return QVariantMap{
                {QStringLiteral("selectionEnabled"), controller->isEnabled()},
                {QStringLiteral("selectionActivityStatus"), controller->activityStatus()},
                {QStringLiteral("selectionReadRoute"), controller->diagnostics().lastReadRoute},
                {QStringLiteral("selectionPermissionStatus"), controller->permissionStatus()},
                {QStringLiteral("selectionNativeWindowStatus"), controller->nativeWindowStatus()},
                {QStringLiteral("selectionPhase"), base::rawValue(controller->interaction().phase)},
                {QStringLiteral("selectionMouseUps"), controller->diagnostics().mouseUpCount},
                {QStringLiteral("selectionStatusItemReachable"), controller->statusItemReachable()},
            };
        });
        return controller;
    }();
    return *instance;
}

// ---- State ------------------------------------------------------------------------------------------

void DirectSelectionController::setActivityStatus(const QString& value) {
    activityStatus_ = value;
    emit activityStatusChanged();
}

void DirectSelectionController::setWindowStatus(const QString& value) {
    windowStatus_ = value;
    emit windowStatusChanged();
}

void DirectSelectionController::setAutomaticState(const tamsel::AutomaticSelectionState& value) {
    if (automaticState_ == value) return;
    const tamsel::AutomaticSelectionState previous = std::exchange(automaticState_, value);
    emit automaticStateChanged();
    if (previous.enabled != value.enabled) emit isEnabledChanged(value.enabled);
    if (previous.authorized != value.authorized) emit authorizationTrustedChanged(value.authorized);
}

QString DirectSelectionController::permissionStatus() const {
    if (!automaticState_.enabled) return QStringLiteral("直接划词已暂停");
    if (!services_.desktop->supportsMonitoring()) return unavailableStatus;
    if (!automaticState_.authorized) return QStringLiteral("开关已开启，正在等待辅助功能授权；尚未监听");
    if (!globalMonitorInstalled_) return QStringLiteral("开关已开启，但鼠标监听未启动；可点“重试监听一次”");
    if (services_.desktop->isWaylandSession() && nativeAccess_ != halvern::ShellPointer::Access::active)
        return nativeAccess_ == halvern::ShellPointer::Access::notGnome ? waylandMonitorPermission
                                                                        : gnomeMonitorPermission;
    return QStringLiteral("划词 AI 图标已开启");
}

QString DirectSelectionController::nativeWindowStatus() const {
    return services_.desktop->isWaylandSession() ? nativeWindowNote(nativeAccess_) : QString();
}

void DirectSelectionController::updateNativeAccess() {
    if (!services_.desktop->isWaylandSession()) return;
    const halvern::ShellPointer::Access access = services_.desktop->nativeWindowAccess();
    if (access == nativeAccess_) return;
    nativeAccess_ = access;
    if (globalMonitorInstalled_)
        setActivityStatus(access == halvern::ShellPointer::Access::active ? monitorStartedStatus
                                                                          : nativeWindowNote(access));
    emit automaticStateChanged();
    updateMenu();
}

bool DirectSelectionController::hasSelectionPresentation() const {
    return interaction_.phase == SelectionInteraction::Phase::icon ||
           interaction_.phase == SelectionInteraction::Phase::result;
}

// ---- Start and stop ------------------------------------------------------------------------------------

void DirectSelectionController::start() {
    if (isStarted_) return;
    browserSelectionEnabled_ = tamsel::SelectionSourcePolicy::loadBrowserPreference(defaults_);
    compatibilityCopyEnabled_ = halvern::SelectionClipboardReader::migrateDefault(defaults_);
    setAutomaticState(tamsel::AutomaticSelectionState(defaults_.boolean(enabledKey)));
    emit browserSelectionEnabledChanged();
    emit compatibilityCopyEnabledChanged();
    isStarted_ = true;

    if (!services_.statusItem->isShown()) services_.statusItem->show();
    updateStatusItemReachability();

    QPointer<DirectSelectionController> guard(this);
    auto scheduler = services_.scheduler;
    if (!observing_) {
        observing_ = true;
        services_.desktop->observeActivation([guard, scheduler](const std::optional<SourceApplication>& application) {
            scheduler->post([guard, application] {
                if (guard) guard->applicationActivated(application);
            });
        });
        services_.desktop->observeMainWindow([guard, scheduler](WindowSystem::WindowId window) {
            scheduler->post([guard, window] {
                if (guard) guard->adoptMainWindow(window);
            });
        });
    }
    if (const auto frontmost = services_.desktop->frontmostApplication();
        frontmost && frontmost->processIdentifier != services_.desktop->ownProcess())
        lastExternalApplication_ = frontmost;
    if (!languageObserver_) {
        languageObserver_ = connect(&InterfaceSettingsCenter::shared(),
                                    &InterfaceSettingsCenter::interfaceLanguageDidChange, this, [guard, scheduler] {
                                        scheduler->post([guard] {
                                            if (guard) guard->updateMenu();
                                        });
                                    });
    }

    registerWorkspace();
    refreshAuthorization();

    permissionTimer_ = scheduler->every(permissionInterval, [guard, scheduler] {
        scheduler->post([guard] {
            if (guard) guard->permissionTick();
        });
    });
}

void DirectSelectionController::permissionTick() {
    if (!isStarted_) return;
    updateStatusItemReachability();
    updateNativeAccess();
    if (automaticState_.authorized != services_.desktop->isTrusted()) refreshAuthorization();
}

void DirectSelectionController::updateStatusItemReachability() {
    const bool reachable = isStarted_ && services_.statusItem->isAvailable();
    if (reachable == statusItemReachable_) return;
    statusItemReachable_ = reachable;
    emit statusItemReachableChanged(reachable);
}

void DirectSelectionController::stop() {
    services_.desktop->observeMainWindow({});
    disconnect(languageObserver_);
    languageObserver_ = {};
    isStarted_ = false;
    if (permissionTimer_) services_.scheduler->cancel(*permissionTimer_);
    permissionTimer_.reset();
    ++repairGeneration_;  // a running repair changes nothing when it ends
    sampleFolder_.reset();
    dismiss();
    removeGlobalMonitor();
    if (localMonitorInstalled_) services_.monitors->stopLocal();
    localMonitorInstalled_ = false;
    services_.desktop->observeActivation({});
    observing_ = false;
    services_.statusItem->remove();
    updateStatusItemReachability();
}

// ---- Trust and monitors ----------------------------------------------------------------------------------

void DirectSelectionController::refreshAuthorization() {
    if (!isStarted_) return;
    const bool trusted = services_.desktop->isTrusted();
    tamsel::AutomaticSelectionState state = automaticState_;
    if (trusted != state.authorized) state.updateAuthorization(trusted);
    setAutomaticState(state);

    updateNativeAccess();
    const bool monitoring = services_.desktop->supportsMonitoring();
    if (state.enabled && trusted && monitoring) {
        if (!globalMonitorInstalled_ && state.shouldStartMonitor()) installGlobalMonitor();
    } else {
        if (globalMonitorInstalled_) {
            removeGlobalMonitor();
            if (interaction_.origin == SelectionInteraction::Origin::automatic) dismiss(pauseReason);
        }
        if (state.enabled && !monitoring)
            setActivityStatus(unavailableStatus);
        else if (state.enabled)
            setActivityStatus(QStringLiteral("辅助功能尚未授权，无法读取选区。"));
    }

    if (!localMonitorInstalled_) {
        QPointer<DirectSelectionController> guard(this);
        localMonitorInstalled_ = services_.monitors->startLocal([guard](QPointF point) {
            if (guard) guard->handleLocalMouseDown(point);
        });
    }
    updateMenu();
}

void DirectSelectionController::installGlobalMonitor() {
    QPointer<DirectSelectionController> guard(this);
    const bool started = services_.monitors->startGlobal([guard](const Event& event) {
        if (guard) guard->handleMouseEvent(event);
    });
    globalMonitorInstalled_ = started;
    tamsel::AutomaticSelectionState state = automaticState_;
    state.recordMonitorStart(started);
    setAutomaticState(state);
    if (started && !nativeWindowStatus().isEmpty()) {
        setActivityStatus(nativeWindowStatus());
        return;
    }
    setActivityStatus(started ? monitorStartedStatus
                              : QStringLiteral("监听启动失败，已停止自动重试；开关保持开启。可手动点“重试监听一次”。"));
}

void DirectSelectionController::removeGlobalMonitor() {
    if (!globalMonitorInstalled_) return;
    services_.monitors->stopGlobal();
    globalMonitorInstalled_ = false;
    tamsel::AutomaticSelectionState state = automaticState_;
    state.stopMonitor();
    setAutomaticState(state);
}

// ---- The switches --------------------------------------------------------------------------------------

void DirectSelectionController::setEnabled(bool enabled) {
    if (automaticState_.enabled == enabled) return;
    if (!enabled && interaction_.origin == SelectionInteraction::Origin::automatic) dismiss(pauseReason);
    tamsel::AutomaticSelectionState state = automaticState_;
    state.setEnabled(enabled);
    setAutomaticState(state);
    defaults_.setBool(enabledKey, enabled);
    refreshAuthorization();
    if (!enabled) setActivityStatus(QStringLiteral("自动划词已暂停；仍可使用托盘图标菜单中的本机测试。"));
}

void DirectSelectionController::setBrowserSelectionEnabled(bool enabled) {
    if (browserSelectionEnabled_ == enabled) return;
    browserSelectionEnabled_ = enabled;
    defaults_.setBool(tamsel::SelectionSourcePolicy::browserPreferenceKey, enabled);
    emit browserSelectionEnabledChanged();
    if (interaction_.origin == SelectionInteraction::Origin::automatic) dismiss(pauseReason);
    diagnostics_.lastBlock = QStringLiteral("无");
    setActivityStatus(enabled ? QStringLiteral("浏览器划词已开启。请在 Chrome 或其他浏览器正文中拖选文字。")
                              : QStringLiteral("浏览器划词已关闭；其他普通应用仍按自动划词开关工作。"));
}

void DirectSelectionController::setCompatibilityCopyEnabled(bool enabled) {
    if (compatibilityCopyEnabled_ == enabled) return;
    if (interaction_.origin == SelectionInteraction::Origin::automatic) dismiss(pauseReason);
    compatibilityCopyEnabled_ = enabled;
    defaults_.setBool(halvern::SelectionClipboardReader::preferenceKey, enabled);
    emit compatibilityCopyEnabledChanged();
}

void DirectSelectionController::beginAutomaticSelection() {
    if (!automaticState_.authorized || isRepairing_) return;
    setBrowserSelectionEnabled(true);
    setEnabled(true);
    store_.setShowDirectSelectionSettings(false);
    setActivityStatus(QStringLiteral("划词已就绪。拖选文字后，点击选区旁的 AI 图标打开。"));
}

void DirectSelectionController::retryMonitoringOnce() {
    if (!automaticState_.enabled) {
        setActivityStatus(QStringLiteral("请先开启自动划词。"));
        return;
    }
    removeGlobalMonitor();
    tamsel::AutomaticSelectionState state = automaticState_;
    state.stopMonitor();
    state.retryMonitor();
    setAutomaticState(state);
    refreshAuthorization();
}

// ---- Other applications and the main window -----------------------------------------------------------------

void DirectSelectionController::applicationActivated(const std::optional<SourceApplication>& application) {
    const qint32 own = services_.desktop->ownProcess();
    if (!application) {
        // No window is active: on a Wayland session the person went to a window this desktop cannot
        // see (and whose clicks the monitor does not see either). What was shown for a source goes
        // once none has stayed active for a moment. Process 0 is no source.
        if (interaction_.shouldDismissOnActivation(0, own, false, false)) {
            QPointer<DirectSelectionController> guard(this);
            services_.scheduler->after(noActiveWindowSettle, [guard, generation = interaction_.generation] {
                if (guard) guard->noActiveWindowSettled(generation);
            });
        }
        return;
    }
    const std::optional<SelectionSourceBlock> block = blockReason(*application);
    if (application->processIdentifier != own && !block) lastExternalApplication_ = application;
    if (interaction_.shouldDismissOnActivation(application->processIdentifier, own,
                                               block == SelectionSourceBlock::systemApplication,
                                               block == SelectionSourceBlock::protectedApplication))
        dismiss(QStringLiteral("来源应用切换"));
    refreshAuthorization();
}

void DirectSelectionController::noActiveWindowSettled(qint64 generation) {
    if (interaction_.generation != generation) return;
    // Where GNOME Shell's extension tells the native window in front, it may be the source itself.
    const std::optional<qint32> front = services_.desktop->frontmostProcess();
    if (interaction_.shouldDismissOnActivation(front.value_or(0), services_.desktop->ownProcess(), false, false))
        dismiss(QStringLiteral("来源应用切换"));
}

bool DirectSelectionController::isWorkspaceWindow(const WindowSystem::Window& window) const {
    if (window.identifier == AuxiliaryWindowController::coachIdentifier) return false;
    if (window.isPanel || window.isSheet) return false;
    return window.isTitled;
}

void DirectSelectionController::registerWorkspace() {
    const QList<WindowSystem::Window> windows = services_.windows->windows();
    if (workspaceWindow_) {
        for (const WindowSystem::Window& window : windows)
            if (window.id == *workspaceWindow_ && window.identifier == workspaceIdentifier) return;
    }
    std::optional<WindowSystem::Window> found;
    for (const WindowSystem::Window& window : windows) {
        if (window.identifier == workspaceIdentifier && isWorkspaceWindow(window)) {
            found = window;
            break;
        }
    }
    if (!found) {
        for (const WindowSystem::Window& window : windows) {
            if (isWorkspaceWindow(window) && window.canBecomeMain) {
                found = window;
                break;
            }
        }
    }
    if (!found) return;
    services_.windows->setIdentifier(found->id, workspaceIdentifier);
    workspaceWindow_ = found->id;
}

void DirectSelectionController::adoptMainWindow(WindowSystem::WindowId id) {
    for (const WindowSystem::Window& window : services_.windows->windows()) {
        if (window.id != id) continue;
        if (!isWorkspaceWindow(window)) return;
        services_.windows->setIdentifier(id, workspaceIdentifier);
        workspaceWindow_ = id;
        return;
    }
}

void DirectSelectionController::handleReopen() {
    ++diagnostics_.reopenCount;
    openWorkspace();
}

void DirectSelectionController::receiveServiceSelection(const halvern::SelectionRequest& request) {
    if (!isWindowQA()) start();
    // A hand-over that takes an earlier one's place does not end it.
    handOverShown_ = false;
    dismiss(QStringLiteral("用户关闭"));
    interaction_.present(CapturedSelection{request.text, serviceAppName, std::nullopt, false},
                         SelectionInteraction::Origin::service, false);
    emit interactionChanged();
    if (!isWindowQA()) {
        handOverShown_ = true;
        // Only the answer panel shows: the main window's request stops and the window goes.
        store_.cancel();
        store_.switchSheets({AppStore::Sheet::directSelectionSettings, AppStore::Sheet::settings});
        registerWorkspace();
        if (workspaceWindow_) services_.windows->hideWindow(*workspaceWindow_);
    }
    setActivityStatus(QStringLiteral("系统文本服务已交付 ") + QString::number(base::text::graphemeCount(request.text)) +
                      QStringLiteral(" 个字符；这条入口不需要辅助功能授权。"));
    services_.panels->present(request.text, serviceAppName, request.mode, tamsel::SelectionTextPolicy::service);
    QPointF point = services_.desktop->pointerPosition();
    if (isWindowQA()) {
        // The checks place the panel in the middle of the main screen.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRectF area = screen->availableGeometry();
            point = QPointF(area.center().x() - 192, area.center().y() - 207);
        }
    }
    selectionPoint_ = point;
    show(point, true);
}

void DirectSelectionController::receiveSelectionRefusal(const halvern::RefusedSelection& refused) {
    if (!isWindowQA()) start();
    handOverShown_ = false;
    dismiss(QStringLiteral("用户关闭"));
    const QString message = halvern::message(refused.refusal);
    interaction_.present(CapturedSelection{QString(), serviceAppName, std::nullopt, false},
                         SelectionInteraction::Origin::service, false);
    emit interactionChanged();
    handOverShown_ = !isWindowQA();
    setActivityStatus(message);
    services_.panels->showError(message, serviceAppName, refused.mode);
    selectionPoint_ = services_.desktop->pointerPosition();
    show(selectionPoint_, true);
}

void DirectSelectionController::hideWorkspaceForSelection() {
    registerWorkspace();
    if (workspaceWindow_) services_.windows->hideWindow(*workspaceWindow_);
    services_.windows->hideApplication();
}

// ---- Repairing the access to other programs ------------------------------------------------------------

void DirectSelectionController::setRepairFeedback(const QString& value) {
    repairFeedback_ = value;
    emit repairChanged();
}

void DirectSelectionController::setRepairing(bool value) {
    isRepairing_ = value;
    emit repairChanged();
}

bool DirectSelectionController::isInstalledCopy() const { return services_.repair->isInstalledCopy(); }

QString DirectSelectionController::runningPath() const { return services_.repair->runningPath(); }

void DirectSelectionController::beginAuthorizationSetup() {
    refreshAuthorization();
    if (services_.desktop->isTrusted()) {
        setRepairFeedback(QStringLiteral("授权已经通过，可直接开启自动划词。"));
        return;
    }
    setRepairFeedback(QStringLiteral("已打开系统授权页面。开关保持你的选择；后台不会重复弹出授权请求。"));
    // The desktop is asked once per process (never once trusted); its settings open every time.
    tamsel::AutomaticSelectionState state = automaticState_;
    state.updateAuthorization(false);
    const bool ask = state.takePermissionPrompt();
    setAutomaticState(state);
    if (ask) services_.repair->requestAuthorization();
    services_.repair->openPermissionSettings();
}

void DirectSelectionController::revealRunningCopy() { services_.repair->revealRunningCopy(); }

void DirectSelectionController::restartInstalledCopy() {
    try {
        services_.repair->restartInstalledCopy();
    } catch (...) {
        setRepairFeedback(base::messageOf(std::current_exception()));
        return;
    }
    services_.repair->terminate();
}

void DirectSelectionController::restartForAuthorization() {
    setEnabled(false);
    restartInstalledCopy();
}

void DirectSelectionController::repairAuthorization() {
    if (isRepairing_) return;
    setEnabled(false);
    setRepairing(true);
    setRepairFeedback(QStringLiteral("正在清理本软件的旧辅助功能记录，完成后重新启动。"));
    const quint64 generation = ++repairGeneration_;
    auto repair = services_.repair;
    auto failure = std::make_shared<std::exception_ptr>();
    QPointer<DirectSelectionController> guard(this);
    services_.scheduler->runBlocking(
        [repair, failure] {
            try {
                repair->resetOwnAuthorization();
            } catch (...) {
                *failure = std::current_exception();
            }
        },
        [guard, generation, failure] {
            if (!guard || guard->repairGeneration_ != generation) return;
            guard->setRepairing(false);
            if (*failure) {
                guard->setRepairFeedback(base::messageOf(*failure));
                return;
            }
            guard->setEnabled(false);
            guard->restartInstalledCopy();
        });
}

// ---- Diagnostics -------------------------------------------------------------------------------------------

QString DirectSelectionController::diagnosticsReport() const {
    const SelectionPanels::Shown icon = services_.panels->iconState();
    const SelectionPanels::Shown answer = services_.panels->answerState();
    bool bound = false, mainVisible = false, mainMinimized = false;
    QStringList fullScreen;
    for (const WindowSystem::Window& window : services_.windows->windows()) {
        if (workspaceWindow_ && window.id == *workspaceWindow_) {
            bound = window.identifier == workspaceIdentifier;
            mainVisible = window.isVisible;
            mainMinimized = window.isMinimized;
        }
        if (window.isFullScreen) fullScreen.append(window.title);
    }
    const DirectSelectionDiagnostics& d = diagnostics_;
    const auto slash = [](std::initializer_list<QString> values) { return QStringList(values).join(u" / "); };
    const QStringList lines{
        QStringLiteral("Orvel ") + BuildInfo::version() + QStringLiteral(" (build ") + BuildInfo::commit() +
            QStringLiteral(")"),
        QStringLiteral("运行路径：") + services_.repair->runningPath(),
        QStringLiteral("固定安装位置：") + flag(services_.repair->isInstalledCopy()),
        QStringLiteral("进程：") + QString::number(QCoreApplication::applicationPid()),
        QStringLiteral("当前 AX 授权：") + flag(services_.desktop->isTrusted()),
        QStringLiteral("自动划词：") + flag(automaticState_.enabled),
        QStringLiteral("浏览器划词：") + flag(browserSelectionEnabled_),
        QStringLiteral("兼容复制取词：") + flag(compatibilityCopyEnabled_),
        QStringLiteral("鼠标监听句柄：") + flag(globalMonitorInstalled_),
        QStringLiteral("本次进程监听启动次数：") + QString::number(automaticState_.monitorStartAttempts),
        QStringLiteral("鼠标按下 / 松开次数：") +
            slash({QString::number(d.mouseDownCount), QString::number(d.mouseUpCount)}),
        QStringLiteral("选区读取 / 成功 / 失败 / 取消：") +
            slash({QString::number(interaction_.readsStarted), QString::number(interaction_.readsSucceeded),
                   QString::number(interaction_.readsFailed), QString::number(interaction_.readsCancelled)}),
        QStringLiteral("交互阶段：") + slash({base::rawValue(interaction_.phase), base::rawValue(interaction_.origin)}),
        QStringLiteral("AI 图标可见：") + flag(icon.visible),
        QStringLiteral("最近来源：") + d.lastSource,
        QStringLiteral("最近事件报告的目标 PID（仅诊断）：") + QString::number(d.lastEventTargetPID),
        QStringLiteral("最近外部事件来源快照：") + d.lastSourceSnapshot,
        QStringLiteral("忽略自身界面事件数：") + QString::number(d.ignoredOwnEventCount),
        QStringLiteral("最近忽略的自身事件：") + d.lastIgnoredOwnSnapshot,
        QStringLiteral("最近拦截原因：") + d.lastBlock,
        QStringLiteral("最近取字路径：") + d.lastReadRoute,
        QStringLiteral("最近 AX 实际查询：") + d.lastAXReadDiagnostics,
        QStringLiteral("窗口可见状态：") + flag(answer.visible),
        QStringLiteral("结果窗显示调用数（含示例）：") + QString::number(d.panelShowCount),
        QStringLiteral("AI 图标显示调用数（含示例）：") + QString::number(d.iconShowCount),
        QStringLiteral("结果窗在当前桌面：") + flag(answer.visible && answer.onActiveSpace),
        QStringLiteral("结果窗系统遮挡状态可见：") + flag(answer.visible && answer.occlusionVisible),
        QStringLiteral("界面生命周期（最多 10 条）：\n") + d.presentationHistory.join(u'\n'),
        QStringLiteral("Dock/Finder reopen 次数：") + QString::number(d.reopenCount),
        QStringLiteral("主窗口已绑定：") + flag(bound),
        QStringLiteral("主窗口可见 / 最小化：") + slash({flag(mainVisible), flag(mainMinimized)}),
        // The main window is hidden only at once, never by a scheduled step.
        QStringLiteral("待执行收起任务：") + flag(false),
        QStringLiteral("当前全屏窗口：") + (fullScreen.isEmpty() ? QStringLiteral("无") : fullScreen.join(u", ")),
        QStringLiteral("本次实际发起模型请求数：") + QString::number(services_.panels->networkRequestCount()),
        QStringLiteral("最近状态：") + activityStatus_,
        QStringLiteral("最近外部事件轨迹（最多 10 条）：\n") + d.sourceHistory.join(u'\n'),
    };
    return lines.join(u'\n');
}

void DirectSelectionController::copyDiagnostics() {
    services_.clipboard->replaceWithString(diagnosticsReport());
    setRepairFeedback(QStringLiteral("诊断信息已复制，不包含原文、回答或 API Key。"));
}

void DirectSelectionController::openSampleDocument() {
    setEnabled(false);
    try {
        // One private folder for the process, removed when the controller stops; every sample is
        // a new file in it.
        if (!sampleFolder_) sampleFolder_.emplace(base::StagingFolder::create(sampleFolderPrefix));
        const QString file = sampleFolder_->filePath(QStringLiteral("Selection-") +
                                                     QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                                                     QStringLiteral(".txt"));
        base::files::writeAtomically(file, sampleText.toUtf8());
        services_.repair->openTextDocument(file);
    } catch (...) {
        setRepairFeedback(base::messageOf(std::current_exception()));
        return;
    }
    setRepairFeedback(
        QStringLiteral("样本文字已交给文本编辑器打开。选中 Hello world 后，运行 orvel --study-selection "
                       "explain（或按下为它设置的快捷键）；这条路径不需要辅助功能。"));
}

// ---- The status menu ---------------------------------------------------------------------------------------

void DirectSelectionController::updateMenu() {
    const QString status = UIStrings::text(permissionStatus());
    services_.statusItem->setToolTip(QStringLiteral("Orvel · ") + status);
    QPointer<DirectSelectionController> guard(this);
    const auto call = [guard](void (DirectSelectionController::*action)()) {
        return [guard, action] {
            if (guard) (guard.data()->*action)();
        };
    };
    const bool enabled = automaticState_.enabled;
    QList<SelectionMenuEntry> entries{
        {status, false, {}},
        {UIStrings::text(enabled ? QStringLiteral("暂停直接划词") : QStringLiteral("开启直接划词")), true,
         [guard, enabled] {
             if (guard) guard->setEnabled(!enabled);
         }},
        {UIStrings::text(QStringLiteral("读取选区并生成（手动）")), true,
         [guard] {
             if (guard) guard->readSelection(false);
         }},
        {UIStrings::text(QStringLiteral("本机读取选区（不调用模型）")), true,
         [guard] {
             if (guard) guard->readSelection(true);
         }},
        {UIStrings::text(QStringLiteral("显示测试小窗（不调用模型）")), true,
         call(&DirectSelectionController::showPanelTest)},
        {UIStrings::text(QStringLiteral("显示 AI 图标测试（不调用模型）")), true,
         call(&DirectSelectionController::showIconTest)},
        {UIStrings::text(QStringLiteral("打开所选文字的小窗")), true,
         call(&DirectSelectionController::openSelectionIcon)},
        {UIStrings::text(QStringLiteral("直接划词设置…")), true, call(&DirectSelectionController::openDirectSettings)},
        {UIStrings::text(QStringLiteral("打开主窗口")), true, call(&DirectSelectionController::openWorkspace)},
        {QString(), false, {}},
        {UIStrings::text(QStringLiteral("退出 Orvel")), true, [] { QCoreApplication::quit(); }},
    };
    services_.statusItem->setMenu(entries);
}

QCoro::Task<QMap<QString, bool>> DirectSelectionController::performWindowRegressionChecks() {
    if (!windowQAPanels_) co_return QMap<QString, bool>{{QStringLiteral("dedicated_offline_controller"), false}};
    WindowRegressionChecklist checklist(*this, *windowQAPanels_);
    auto running = checklist.run();
    co_return co_await running;
}

void DirectSelectionController::readSelection(bool localOnly) {
    std::optional<SourceApplication> source = services_.desktop->frontmostApplication();
    if (source && source->processIdentifier == services_.desktop->ownProcess()) source = lastExternalApplication_;
    if (!source) {
        openDirectSettings();
        setActivityStatus(QStringLiteral("未找到可读取的来源应用。请先在文本编辑器中选择文字。"));
        return;
    }
    recordSource(*source);
    if (const auto block = blockReason(*source)) {
        openDirectSettings();
        diagnostics_.lastBlock = base::rawValue(*block) + QStringLiteral("：") + tamsel::message(*block);
        setActivityStatus(displayName(*source) + QStringLiteral("：") + tamsel::message(*block));
        return;
    }
    diagnostics_.lastBlock = QStringLiteral("无");
    if (!services_.desktop->isTrusted()) {
        openDirectSettings();
        setActivityStatus(QStringLiteral("辅助功能尚未授权。更新后请确认勾选的是正在运行的 Orvel。"));
        return;
    }
    scheduleRead(*source, services_.desktop->pointerPosition(), true, localOnly);
}

// ---- Gestures ---------------------------------------------------------------------------------------------

void DirectSelectionController::handleMouseEvent(const Event& event) {
    if (!automaticState_.enabled || !automaticState_.authorized) return;
    // Screen coordinates have their origin at the top left, as the event's.
    const QPointF point(event.quartzX, event.quartzY);
    if (presentationContains(point)) return;

    switch (event.type) {
    case Event::leftMouseDragged:
        if (mouseDown_ && QLineF(*mouseDown_, point).length() >= dragDistance) observedDrag_ = true;
        return;
    case Event::scrollWheel: dismiss(QStringLiteral("来源滚动")); return;
    case Event::leftMouseDown: ++diagnostics_.mouseDownCount; break;
    case Event::leftMouseUp: ++diagnostics_.mouseUpCount; break;
    default: return;
    }

    const qint32 own = services_.desktop->ownProcess();
    const std::optional<tamsel::SelectionSourceResolution> resolved = event.source.resolve(own);
    const QString line = snapshotLine(event, resolved);
    diagnostics_.lastEventTargetPID = event.source.reportedTargetPID;
    if (resolved && resolved->processIdentifier == own) {
        ++diagnostics_.ignoredOwnEventCount;
        diagnostics_.lastIgnoredOwnSnapshot = line;
        if (diagnostics_.sourceHistory.isEmpty())
            setActivityStatus(QStringLiteral("尚未识别到外部应用的划选。请单击 Chrome 正文，再拖选一句话。"));
        return;
    }
    diagnostics_.lastSourceSnapshot = line;
    appendCapped(diagnostics_.sourceHistory, line);

    const std::optional<SourceApplication> application =
        resolved ? services_.desktop->application(resolved->processIdentifier) : std::nullopt;
    if (!application) {
        dismiss();
        diagnostics_.lastBlock = QStringLiteral("无法从鼠标回调的 AX 命中 / 焦点 / 前台快照识别来源");
        setActivityStatus(diagnostics_.lastBlock + QStringLiteral("。请复制诊断中的来源轨迹。"));
        return;
    }
    if (const auto block = blockReason(*application)) {
        forgetPress();
        if (block == SelectionSourceBlock::protectedApplication || block == SelectionSourceBlock::nonTextApplication) {
            dismiss(QStringLiteral("非文本来源"));
            diagnostics_.lastBlock = base::rawValue(*block) + QStringLiteral("：") + tamsel::message(*block);
            setActivityStatus(tamsel::message(*block));
        }
        return;
    }

    if (event.type == Event::leftMouseDown) {
        dismiss(QStringLiteral("新的鼠标操作"));
        mouseDown_ = point;
        mouseDownPID_ = application->processIdentifier;
        observedDrag_ = false;
        setActivityStatus(displayName(*application) + QStringLiteral("：已收到鼠标按下，等待拖选完成。"));
        return;
    }

    const std::optional<QPointF> press = std::exchange(mouseDown_, std::nullopt);
    const std::optional<qint32> pressPID = std::exchange(mouseDownPID_, std::nullopt);
    const bool dragged = std::exchange(observedDrag_, false);
    if (!press) {
        setActivityStatus(QStringLiteral("未记录到本次划选的起点。请先单击来源应用，再重新拖选文字。"));
        return;
    }
    if (!pressPID || *pressPID != application->processIdentifier) {
        diagnostics_.lastBlock = QStringLiteral("来源进程变化：按下时 ") +
                                 (pressPID ? QString::number(*pressPID) : QStringLiteral("未知")) +
                                 QStringLiteral("，松开时 ") + QString::number(application->processIdentifier);
        setActivityStatus(diagnostics_.lastBlock + QStringLiteral("。请在当前应用重新拖选。"));
        return;
    }
    if (store_.isBusy()) {
        setActivityStatus(QStringLiteral("主窗口正在处理任务，请完成后再划词。"));
        return;
    }
    diagnostics_.lastBlock = QStringLiteral("无");
    if (tamsel::DirectSelectionRules::isSelectionGesture(press->x(), press->y(), point.x(), point.y(), event.clickCount,
                                                         dragged))
        scheduleRead(*application, point, false, false, event.received);
    else
        setActivityStatus(QStringLiteral("鼠标事件正常。拖选或双击一个词才会尝试取字。"));
}

void DirectSelectionController::handleLocalMouseDown(QPointF point) {
    QPointer<DirectSelectionController> guard(this);
    services_.scheduler->post([guard, point] {
        if (!guard || guard->presentationContains(point)) return;
        if (guard->hasSelectionPresentation() || guard->reads_->isPending())
            guard->dismiss(QStringLiteral("主窗口内点击"));
    });
}

void DirectSelectionController::dismiss(const QString& reason) {
    const bool wasIdle = interaction_.phase == SelectionInteraction::Phase::idle;
    const bool wasReading = interaction_.phase == SelectionInteraction::Phase::waiting ||
                            interaction_.phase == SelectionInteraction::Phase::reading;
    interaction_.reset(reason);
    if (!wasIdle) notePresentation(QStringLiteral("结束：") + reason);
    if (wasReading) diagnostics_.lastReadRoute = interaction_.readStatus;
    forgetPress();
    interactiveTest_ = false;
    reads_->cancel();
    services_.desktop->watchTermination(0, {});
    services_.panels->cancel();
    services_.panels->hide();
    if (!wasIdle) emit interactionChanged();
}

void DirectSelectionController::forgetPress() {
    mouseDown_.reset();
    mouseDownPID_.reset();
    observedDrag_ = false;
}

std::optional<SelectionSourceBlock> DirectSelectionController::blockReason(const SourceApplication& application) const {
    return tamsel::SelectionSourcePolicy::blockReason(
        application.identifier, application.name, application.processIdentifier == services_.desktop->ownProcess(),
        services_.desktop->isTerminated(application.processIdentifier), browserSelectionEnabled_);
}

void DirectSelectionController::recordSource(const SourceApplication& application) {
    diagnostics_.lastSource =
        (application.name.isEmpty() ? QStringLiteral("未知应用") : application.name) + QStringLiteral(" | ") +
        (application.identifier.isEmpty() ? QStringLiteral("无 bundle ID") : application.identifier) +
        QStringLiteral(" | PID ") + QString::number(application.processIdentifier);
}

bool DirectSelectionController::presentationContains(QPointF point) const { return services_.panels->contains(point); }

void DirectSelectionController::notePresentation(const QString& text) {
    appendCapped(diagnostics_.presentationHistory, text);
}

// ---- Reads ----------------------------------------------------------------------------------------------

void DirectSelectionController::scheduleRead(const SourceApplication& application, QPointF point, bool manual,
                                             bool localOnly, std::chrono::steady_clock::time_point released) {
    reads_->schedule(application, point, manual, localOnly, released);
    // A source that ends takes its read, bulb or answer with it, whatever window gets its id next.
    QPointer<DirectSelectionController> guard(this);
    services_.desktop->watchTermination(application.processIdentifier, [guard, generation = interaction_.generation] {
        if (guard && guard->interaction_.generation == generation &&
            guard->interaction_.phase != SelectionInteraction::Phase::idle)
            guard->dismiss(lostSourceReason);
    });
}

// ---- Panels and the main window -----------------------------------------------------------------------------

void DirectSelectionController::showSelectionIcon(QPointF point) {
    const QString tooltip = interaction_.failureMessage.value_or(QStringLiteral("Orvel：点击打开选中文字"));
    const SelectionPanels::Shown shown = services_.panels->showIcon(point, tooltip);
    ++diagnostics_.iconShowCount;
    notePresentation(QStringLiteral("图标显示：isVisible=") + flag(shown.visible) + QStringLiteral("，onActiveSpace=") +
                     flag(shown.onActiveSpace));
    setWindowStatus(shown.visible ? QStringLiteral("AI 图标已置为可见，等待点击") : QStringLiteral("AI 图标未显示"));
}

void DirectSelectionController::show(QPointF point, bool activate) {
    const SelectionPanels::Shown shown = services_.panels->showAnswer(point, activate);
    setWindowStatus(shown.visible ? QStringLiteral("系统已将结果小窗置为可见")
                                  : QStringLiteral("系统没有将小窗置为可见，请重新测试"));
    if (shown.visible) ++diagnostics_.panelShowCount;
    notePresentation(QStringLiteral("结果窗显示：isVisible=") + flag(shown.visible) +
                     QStringLiteral("，onActiveSpace=") + flag(shown.onActiveSpace) +
                     QStringLiteral("，occlusionVisible=") + flag(shown.occlusionVisible));
}

void DirectSelectionController::presentCaptured(const CapturedSelection& selection) {
    services_.panels->hideIcon();
    if (selection.localPreview) {
        services_.panels->preview(selection.text, selection.appName);
        setActivityStatus(QStringLiteral("本机显示已保存选区，没有调用模型。"));
    } else {
        services_.panels->present(selection.text, selection.appName, std::nullopt,
                                  tamsel::SelectionTextPolicy::automatic);
        setActivityStatus(QStringLiteral("正在处理已保存选区，不重新读取来源。"));
    }
    show(selectionPoint_, true);
}

void DirectSelectionController::openSelectionIcon() {
    const std::optional<CapturedSelection> selection = interaction_.openIcon();
    if (!selection) return;
    emit interactionChanged();
    notePresentation(QStringLiteral("点击 AI 图标，打开已保存选区"));
    presentCaptured(*selection);
}

void DirectSelectionController::showPanelTest() {
    dismiss(QStringLiteral("用户关闭"));
    setActivityStatus(QStringLiteral("已请求显示本机测试小窗，没有读取选区或调用模型。"));
    services_.panels->preview(QStringLiteral("如果能看到这段文字，小窗显示路径可以工作。\n\n下一步：在文本编辑器选中 "
                                             "Hello world，再从托盘图标的菜单选择“本机读取选区（不调用模型）”。"),
                              QStringLiteral("小窗显示测试"));
    interaction_.present(
        CapturedSelection{QStringLiteral("本机小窗测试"), QStringLiteral("本机测试"), std::nullopt, true},
        SelectionInteraction::Origin::preview, false);
    emit interactionChanged();
    interactiveTest_ = true;
    show(services_.desktop->pointerPosition(), true);
}

void DirectSelectionController::showIconTest() {
    dismiss(QStringLiteral("用户关闭"));
    selectionPoint_ = services_.desktop->pointerPosition();
    interaction_.present(
        CapturedSelection{QStringLiteral("Hello world. Opportunity cost is the next best alternative."),
                          QStringLiteral("图标交互测试"), std::nullopt, true},
        SelectionInteraction::Origin::preview, true);
    emit interactionChanged();
    setActivityStatus(QStringLiteral("点击 AI 图标打开本机示例；不读取外部选区，不调用模型。"));
    showSelectionIcon(selectionPoint_);
}

void DirectSelectionController::openWorkspace() {
    dismiss(QStringLiteral("打开主窗口或设置"));
    registerWorkspace();
    store_.showFullWorkspace();
    services_.windows->showApplication();
    if (workspaceWindow_) services_.windows->raiseWindow(*workspaceWindow_);
    services_.windows->activateApplication();
}

void DirectSelectionController::openDirectSettings() {
    openWorkspace();
    store_.openDirectSelectionSettings();
}

}  // namespace velquin
