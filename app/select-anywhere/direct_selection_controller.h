#pragma once

#include <QMap>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <QCoroTask>

#include <memory>
#include <optional>

#include "app/select-anywhere/selection_services.h"
#include "app/shell/selection_controller.h"
#include "base/files.h"
#include "core/automatic_selection_state.h"
#include "core/selection_interaction.h"
#include "core/selection_source.h"

namespace velquin {

class FloatingSelectionPanels;
class SelectionReadPipeline;

// What the controller recorded for the diagnostics report: the last source, refusal and read, the
// event counters and the trails of recent events and presentations. Texts are Chinese.
struct DirectSelectionDiagnostics {
    static constexpr qsizetype historyLength = 10;

    QString lastSource = QStringLiteral("尚未记录来源");     // "name | id | PID n" of the last read's source
    QString lastBlock = QStringLiteral("无");                 // why the last source was refused
    QString lastReadRoute = QStringLiteral("尚未读取");       // how the last read went
    QString lastAXReadDiagnostics = QStringLiteral("尚未读取");
    qint64 lastEventTargetPID = 0;
    int mouseDownCount = 0;        // presses accepted from other programs
    int mouseUpCount = 0;          // releases accepted from other programs
    int ignoredOwnEventCount = 0;  // events whose source was this program
    int panelShowCount = 0;
    int iconShowCount = 0;
    int reopenCount = 0;
    QString lastSourceSnapshot = QStringLiteral("尚未捕获外部事件来源");
    QString lastIgnoredOwnSnapshot = QStringLiteral("无");
    QStringList sourceHistory;        // the 10 most recent snapshot lines of other programs' events
    QStringList presentationHistory;  // the 10 most recent presentation notes
};

// Runs select-anywhere for the whole program: watches the pointer in other programs, decides when
// a gesture selected text, reads that text after it settles, offers it beside the pointer, and
// keeps the status item with its menu. One shared instance serves the program; it lives on the main
// thread. Its status texts are Chinese; views translate them through UIStrings.
//
// A read belongs to one generation of the selection interaction: every later gesture, dismissal or
// switch raises it, and a result of an older generation is dropped without a word.
class DirectSelectionController : public SelectionController {
    Q_OBJECT
public:
    static inline const QString workspaceIdentifier = workspaceWindowIdentifier;
    static inline const QString initialActivityStatus =
        QStringLiteral("尚未收到其他应用的鼠标事件。请切到文本编辑器后拖选文字。");
    // The automatic-selection switch; absent reads as off.
    static inline const QString enabledKey = QStringLiteral("nativeAutoSelectEnabled");
    static constexpr std::chrono::milliseconds settleDelay{180};
    // How long after the settling a gesture's source off the accessibility bus may still take PRIMARY:
    // a terminal on a busy machine took the selection of a double click 400 ms after its release.
    static constexpr std::chrono::milliseconds lateSelectionLimit{1000};
    static constexpr std::chrono::milliseconds permissionInterval{1000};
    // How long no window may be active before what was shown for a source is dismissed: a window
    // manager may leave none active for a moment while it moves the focus between windows.
    static constexpr std::chrono::milliseconds noActiveWindowSettle{300};
    static constexpr double dragDistance = 4.0;
    // Why what was pending or shown for a source ended when the source lost the front or ended.
    static inline const QString lostSourceReason = QStringLiteral("取字前后来源失焦或退出");

    // The text service's name as the answer panel shows it for a handed-over text.
    static inline const QString serviceAppName = QStringLiteral("系统文本服务");
    // The sample document's text and the folder its files go to (inside a private folder).
    static inline const QString sampleText =
        QStringLiteral("Hello world. Opportunity cost is the value of the next best alternative.");
    static inline const QString sampleFolderPrefix = QStringLiteral("Orvel-Setup-");

    explicit DirectSelectionController(DirectSelectionServices services = {}, QObject* parent = nullptr);
    ~DirectSelectionController() override;

    // The program's controller over the production services, made on first use.
    static DirectSelectionController& shared();
    // A controller made only for the built-in window checks: the program's floating panels over
    // an answer model that answers every text locally, without a token or the network. Nothing in
    // the program makes one; the checks' driver does.
    static std::unique_ptr<DirectSelectionController> makeForWindowChecks(DirectSelectionServices services = {});

    // ---- State -------------------------------------------------------------------------------------
    const QString& activityStatus() const { return activityStatus_; }
    const QString& windowStatus() const { return windowStatus_; }
    bool isRepairing() const { return isRepairing_; }
    const QString& repairFeedback() const { return repairFeedback_; }
    bool browserSelectionEnabled() const { return browserSelectionEnabled_; }
    bool compatibilityCopyEnabled() const { return compatibilityCopyEnabled_; }
    bool isEnabled() const override { return automaticState_.enabled; }
    bool authorizationTrusted() const override { return automaticState_.authorized; }
    bool statusItemReachable() const override { return statusItemReachable_; }
    // One Chinese line on whether automatic selection works now.
    QString permissionStatus() const;
    // On a Wayland session where native windows cannot be read: why, and what to do (Chinese);
    // empty elsewhere.
    QString nativeWindowStatus() const;
    // An icon is offered or the answer panel shows a selection.
    bool hasSelectionPresentation() const override;
    bool isStarted() const { return isStarted_; }
    const tamsel::SelectionInteraction& interaction() const { return interaction_; }
    const tamsel::AutomaticSelectionState& automaticState() const { return automaticState_; }
    const DirectSelectionDiagnostics& diagnostics() const { return diagnostics_; }
    // Where the current selection ended, screen coordinates.
    QPointF selectionPoint() const { return selectionPoint_; }
    bool isWindowQA() const { return bool(windowQAPanels_); }
    // Details of the last wait for the answer panel in the window checks.
    const QVariantMap& windowRegressionDetails() const { return windowRegressionDetails_; }
    // Whether this is the installed copy, and the program file that runs (the settings sheet).
    bool isInstalledCopy() const;
    QString runningPath() const;

    // ---- Start, stop and the switches ---------------------------------------------------------------
    // Loads the switches, shows the status item, observes activation, language and the main window,
    // installs the monitors and starts the permission timer. A second call does nothing.
    void start() override;
    // Releases everything start and the monitors made.
    void stop() override;
    // Reads the trust again, installs or removes the monitors and rebuilds the menu.
    void refreshAuthorization() override;
    void setEnabled(bool enabled) override;
    void setBrowserSelectionEnabled(bool enabled);
    void setCompatibilityCopyEnabled(bool enabled);
    // The settings sheet's start: browsers on, automatic selection on, the sheet closed.
    void beginAutomaticSelection();
    // One new attempt to install the global monitor after a failed one.
    void retryMonitoringOnce();
    // Finds the main window among the program's windows and tags it.
    void registerWorkspace();
    // A reopen request of the running program: counts it and brings the main window back.
    void handleReopen() override;
    // A request of the D-Bus selection entry: the text goes to the answer panel in the request's
    // mode, under the rule for handed-over text, in place of whatever was shown.
    void receiveServiceSelection(const halvern::SelectionRequest& request) override;
    // The study-selection command's refusal: the answer panel tells why, at the pointer.
    void receiveSelectionRefusal(const halvern::RefusedSelection& refused) override;
    // Registers the main window, hides it and hides the program.
    void hideWorkspaceForSelection();

    // ---- Repairing the access to other programs -------------------------------------------------
    // Reads the trust again; without it asks the desktop once per process and opens its settings.
    void beginAuthorizationSetup();
    void revealRunningCopy();
    // Automatic selection off, then the installed copy restarts in setup mode and this one ends.
    void restartForAuthorization();
    // Automatic selection off, the desktop's accessibility switched off and on away from the main
    // thread, then the restart. One at a time.
    void repairAuthorization();

    // ---- Diagnostics ------------------------------------------------------------------------------
    // The report of the controller's state, one labelled line each; it never holds a selected
    // text, an answer or a credential.
    QString diagnosticsReport() const;
    // Puts the report on the clipboard.
    void copyDiagnostics();
    // Automatic selection off, then a new sample file in a private folder opens in the text editor.
    void openSampleDocument();

    // ---- The built-in window checks ---------------------------------------------------------------
    // Drives this controller's panels through the text service, the bulb, failed reads, the
    // reopen of a scratch main window and activation, and returns one flag per check with the
    // compatibility copy's and the interface settings' own checks. Only a controller made by
    // makeForWindowChecks runs them; any other answers {"dedicated_offline_controller": false}.
    QCoro::Task<QMap<QString, bool>> performWindowRegressionChecks();

    // ---- Gestures and reads ---------------------------------------------------------------------------
    // One pointer event of any program (the global monitor's delivery).
    void handleMouseEvent(const halvern::SelectionMouseEvent& event);
    // A left press inside this program's windows (the local monitor's delivery).
    void handleLocalMouseDown(QPointF point);
    // Ends whatever selection is pending or shown.
    void dismiss(const QString& reason = QStringLiteral("用户关闭"));
    // Why the application may not be read, or nothing.
    std::optional<tamsel::SelectionSourceBlock> blockReason(const SourceApplication& application) const;
    // Schedules one read of the application's selection; `manual` reads start at once and open the
    // answer panel, `localOnly` marks the selection to be shown without a request. A gesture's read
    // waits the settle delay from `released`, when the pointer monitor received the release (from
    // now when unknown).
    void scheduleRead(const SourceApplication& application, QPointF point, bool manual, bool localOnly,
                      std::chrono::steady_clock::time_point released = {});
    // The manual read of the status menu.
    void readSelection(bool localOnly);

    // ---- Panels and the main window ---------------------------------------------------------------------
    // The bulb's click: opens the offered selection in the answer panel (once).
    void openSelectionIcon();
    void showPanelTest();
    void showIconTest();
    // Dismisses the panels and brings the main window back, activating the program.
    void openWorkspace();
    // The main window with the select-anywhere settings sheet.
    void openDirectSettings() override;

Q_SIGNALS:
    void activityStatusChanged();
    void windowStatusChanged();
    void repairChanged();
    void browserSelectionEnabledChanged();
    void compatibilityCopyEnabledChanged();
    // The switch, the trust or the monitor changed (isEnabled, authorizationTrusted, permissionStatus).
    void automaticStateChanged();
    // The interaction's phase changed (hasSelectionPresentation).
    void interactionChanged();

private:
    friend class WindowRegressionChecklist;
    friend class SelectionReadPipeline;

    void setActivityStatus(const QString& value);
    void setWindowStatus(const QString& value);
    void setAutomaticState(const tamsel::AutomaticSelectionState& value);
    void applicationActivated(const std::optional<SourceApplication>& application);
    void noActiveWindowSettled(qint64 generation);
    void adoptMainWindow(WindowSystem::WindowId window);
    bool isWorkspaceWindow(const WindowSystem::Window& window) const;
    void permissionTick();
    // Reads whether the tray shows the status item now, and tells when that changed.
    void updateStatusItemReachability();
    // Reads where GNOME Shell's extension stands now, and tells when that changed.
    void updateNativeAccess();
    void updateMenu();
    void installGlobalMonitor();
    void removeGlobalMonitor();

    void recordSource(const SourceApplication& application);
    bool presentationContains(QPointF point) const;
    void notePresentation(const QString& text);
    void forgetPress();

    void showSelectionIcon(QPointF point);
    void show(QPointF point, bool activate);
    void presentCaptured(const tamsel::CapturedSelection& selection);
    void setRepairFeedback(const QString& value);
    void setRepairing(bool value);
    // Ends this program for the restart of the installed copy; a failure is the repair feedback.
    void restartInstalledCopy();

    DirectSelectionServices services_;
    base::DefaultsStore& defaults_;
    AppStore& store_;

    QString activityStatus_ = initialActivityStatus;
    tamsel::AutomaticSelectionState automaticState_{false};
    bool isRepairing_ = false;
    QString repairFeedback_;
    QString windowStatus_ = QStringLiteral("尚未测试小窗");
    bool browserSelectionEnabled_ = true;
    bool compatibilityCopyEnabled_ = false;

    std::optional<WindowSystem::WindowId> workspaceWindow_;
    bool globalMonitorInstalled_ = false;
    bool localMonitorInstalled_ = false;
    bool observing_ = false;
    QMetaObject::Connection languageObserver_;
    std::unique_ptr<SelectionReadPipeline> reads_;  // the scheduled read
    tamsel::SelectionInteraction interaction_;
    QPointF selectionPoint_;
    bool observedDrag_ = false;
    std::optional<QPointF> mouseDown_;
    std::optional<qint32> mouseDownPID_;
    std::optional<SourceApplication> lastExternalApplication_;
    std::optional<SelectionScheduler::TimerId> permissionTimer_;
    bool isStarted_ = false;
    bool statusItemReachable_ = false;
    halvern::ShellPointer::Access nativeAccess_ = halvern::ShellPointer::Access::notGnome;
    bool interactiveTest_ = false;
    // A hand-over's presentation, or what took its place, is pending or shown.
    bool handOverShown_ = false;
    DirectSelectionDiagnostics diagnostics_;
    quint64 repairGeneration_ = 0;  // a repair that ends under another generation was cancelled
    std::optional<base::StagingFolder> sampleFolder_;
    std::shared_ptr<FloatingSelectionPanels> windowQAPanels_;  // set only for the window checks
    QVariantMap windowRegressionDetails_;
};

}  // namespace velquin
