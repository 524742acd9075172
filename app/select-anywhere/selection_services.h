#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "app/shell/window_system.h"
#include "base/cancellation.h"
#include "base/defaults_store.h"
#include "base/work_scheduler.h"
#include "core/direct_selection_rules.h"
#include "core/selection_read_rule.h"
#include "core/study.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_mouse_event.h"
#include "platform/shell_pointer.h"

// The outside world as the selection controller sees it: the desktop's applications and pointer,
// the pointer monitors, the status item, the selection readers, time, and the floating panels.
// Each is a narrow interface with one production implementation and test doubles in the tests.
// Everything is called on the main thread unless it says otherwise.
namespace velquin {

class AppStore;
class Clipboard;
class DirectSelectionController;

// An application a selection can come from: a process with a window on this desktop.
struct SourceApplication {
    qint32 processIdentifier = 0;
    QString name;        // the name shown to the user; may be empty
    QString identifier;  // desktop-file id, else WM_CLASS class, lower case; may be empty

    bool operator==(const SourceApplication&) const = default;
};

class SelectionDesktop {
public:
    virtual ~SelectionDesktop();

    virtual qint32 ownProcess() = 0;
    // Whether other programs' pointer events and windows can be seen: false without an X display.
    virtual bool supportsMonitoring() = 0;
    // Whether this is a Wayland session: only X11 programs (XWayland) can be seen then.
    virtual bool isWaylandSession() = 0;
    // On a Wayland session: whether GNOME Shell's extension tells where the pointer is over native
    // windows and when its button goes up there, or why not.
    virtual halvern::ShellPointer::Access nativeWindowAccess() { return halvern::ShellPointer::Access::notGnome; }
    // Whether assistive technologies may read other programs (the desktop's accessibility switch).
    virtual bool isTrusted() = 0;
    // The application of the active window; nothing without one.
    virtual std::optional<SourceApplication> frontmostApplication() = 0;
    // Its process alone (cheaper: asked before and after every read). Any thread.
    virtual std::optional<qint32> frontmostProcess() = 0;
    // The process of the active X11 window, asked of the display server alone (never over a bus), so
    // cheap enough for the main thread; nothing when no X11 window is active or it cannot be told.
    virtual std::optional<qint32> activeWindowProcess() { return std::nullopt; }
    // The running application of that process; nothing when no such process runs.
    virtual std::optional<SourceApplication> application(qint32 processIdentifier) = 0;
    virtual bool isTerminated(qint32 processIdentifier) = 0;
    // Calls `handler` once, on the main thread, when that process ends (after this returns when it
    // has ended already), whatever windows or process ids come after it. One process is watched at a time: a
    // new call replaces the watch, an empty handler stops it. Where the system cannot watch a
    // process, nothing is called.
    virtual void watchTermination(qint32 processIdentifier, std::function<void()> handler) = 0;
    // The process holding the accessibility focus (asked with a short time-out), or nothing. Any thread.
    virtual std::optional<qint32> focusedApplicationProcess() = 0;
    // The pointer's position now, screen coordinates.
    virtual QPointF pointerPosition() = 0;

    // Calls `handler` whenever another window becomes active, with its application, or with nothing
    // when no window is active any more (on a Wayland session: a window of the compositor's own
    // clients, which this desktop cannot see, was activated). An empty handler stops.
    virtual void observeActivation(std::function<void(const std::optional<SourceApplication>&)> handler) = 0;
    // Calls `handler` whenever one of this program's windows becomes the active one; an empty
    // handler stops.
    virtual void observeMainWindow(std::function<void(WindowSystem::WindowId)> handler) = 0;
};

// The pointer as other programs and this one see it.
class SelectionMonitors {
public:
    virtual ~SelectionMonitors();

    // Delivers every left press, left release, left drag and wheel step of every program, in
    // order. False when the display refused.
    virtual bool startGlobal(std::function<void(const halvern::SelectionMouseEvent&)> handler) = 0;
    virtual void stopGlobal() = 0;
    // Delivers the screen point of every left press in this program's own windows.
    virtual bool startLocal(std::function<void(QPointF)> handler) = 0;
    virtual void stopLocal() = 0;
};

// One entry of the status item's menu.
struct SelectionMenuEntry {
    QString title;  // already in the interface language; empty for a separator
    bool enabled = true;
    std::function<void()> action;  // none for a status line

    bool isSeparator() const { return title.isEmpty(); }
};

// The status item in the desktop's tray and its menu, which a click of either button opens.
class SelectionStatusItem {
public:
    virtual ~SelectionStatusItem();

    virtual void show() = 0;
    virtual void remove() = 0;
    virtual bool isShown() const = 0;
    // Whether the desktop has a tray that shows the item now; a tray can come and go.
    virtual bool isAvailable() const = 0;
    virtual void setToolTip(const QString& text) = 0;
    // Replaces the whole menu.
    virtual void setMenu(const QList<SelectionMenuEntry>& entries) = 0;
};

// The ways a selection is read.
class SelectionReaders {
public:
    using Completion = std::function<void(std::optional<halvern::SelectionReadResult>, std::exception_ptr)>;

    virtual ~SelectionReaders();

    // Over the accessibility bus; blocks, so it runs away from the main thread. Throws like
    // halvern::SelectedTextReader::read.
    virtual halvern::SelectionReadResult readAccessibility(qint32 processIdentifier, QPointF pointer,
                                                           const base::CancellationToken& cancellation) = 0;
    // Starts, away from the main thread, the lookups an accessibility read makes before it reads the
    // selection (halvern::SelectedTextReader::prepare); until `cancellation` is cancelled, the next
    // readAccessibility of that process and point starts from them. Reads nothing selected.
    virtual void prepareAccessibility(qint32 /*processIdentifier*/, QPointF /*pointer*/,
                                      const base::CancellationToken& /*cancellation*/) {}
    // PRIMARY's owner as seen for the source (halvern::SelectionClipboardReader::primaryOwner). Any
    // thread, as are the next four.
    virtual halvern::PrimaryOwner primaryOwner(qint32 processIdentifier) = 0;
    // The same, asked again until the source owns PRIMARY, `limit` has passed or the read is cancelled.
    virtual halvern::PrimaryOwner primaryOwnerOnceTaken(qint32 processIdentifier, std::chrono::milliseconds /*limit*/,
                                                        const base::CancellationToken& /*cancellation*/) {
        return primaryOwner(processIdentifier);
    }
    // The process whose native window set PRIMARY, as GNOME Shell's extension noted it; nothing when it
    // does not know or does not answer in time (halvern::ShellPointer::primarySource).
    virtual std::optional<qint32> nativePrimarySource() { return std::nullopt; }
    // The text of PRIMARY while that owner still holds it, where it came in time; no key is sent
    // (halvern::SelectionClipboardReader::primaryText).
    virtual std::optional<QString> primaryText(const halvern::PrimaryOwner& owner) = 0;
    // What the source's program does with a password field's text (halvern::ProgramIdentity::of).
    virtual tamsel::SelectionReadRule::Program program(qint32 /*processIdentifier*/) {
        return tamsel::SelectionReadRule::Program::ordinary;
    }
    // Whether a window of the source shows a program that runs elsewhere: behind a relay of the display
    // connection, or on another machine (halvern::x11::shownFromElsewhere).
    virtual bool onAnotherMachine(qint32 /*processIdentifier*/) { return false; }
    // Whether the source has a window a copy key can be sent to (an X11 window).
    virtual bool copyKeyReachable(qint32 /*processIdentifier*/) { return true; }
    // The program's own copy (halvern::SelectionClipboardReader::copy). Calls `completion` once, on
    // the main thread, with the result or the error.
    virtual void copySelection(qint32 processIdentifier, tamsel::SelectionReadRule::Program program,
                               base::CancellationToken cancellation, Completion completion) = 0;
};

// Later turns of the main thread's event loop, timers on it, and blocking work (base::WorkScheduler).
class SelectionScheduler : public base::WorkScheduler {
public:
    using TimerId = quint64;

    // Runs `task` once after `delay`.
    virtual TimerId after(std::chrono::milliseconds delay, std::function<void()> task) = 0;
    // Runs `task` every `interval` until cancelled, also while a menu is open.
    virtual TimerId every(std::chrono::milliseconds interval, std::function<void()> task) = 0;
    // A timer that has fired or was cancelled is ignored.
    virtual void cancel(TimerId timer) = 0;
    // The time on the clock the timers run on (and the pointer monitors stamp their events with).
    virtual std::chrono::steady_clock::time_point currentTime() { return std::chrono::steady_clock::now(); }
};

// The floating panels of select-anywhere: the bulb beside a selection and the answer panel with its
// answer model. The controller decides what is shown and keeps the state; an implementation shows
// and hides. The panels call the controller back: a click on the bulb `openSelectionIcon()`,
// closing the answer panel (its close button, Escape) `dismiss(u"用户关闭")`, its settings button
// `openDirectSettings()`, its main-window button `openWorkspace()` after handing its text over.
class SelectionPanels {
public:
    // What the desktop makes of a panel: after it was ordered front, or when asked.
    struct Shown {
        bool visible = false;
        bool onActiveSpace = false;     // on the virtual desktop the user is on (or on all of them)
        bool occlusionVisible = false;  // some of it can be seen
        bool exists = true;             // the panel was made
        bool keptAbove = false;         // it stays above ordinary windows
        bool active = false;            // it has the keyboard
        QRect frame;                    // screen coordinates, decorations included
    };

    virtual ~SelectionPanels();

    // The controller the panels call back; called once, by the controller as it is made.
    virtual void attach(DirectSelectionController& controller);

    // The 36 x 36 bulb, 12 points right of and below `point` and 8 points inside the screen, shown
    // without activating this program; `tooltip` is a Chinese text the panel translates.
    virtual Shown showIcon(QPointF point, const QString& tooltip) = 0;
    virtual void hideIcon() = 0;
    // The answer panel placed the same way; `activate` brings this program and the panel forward.
    virtual Shown showAnswer(QPointF point, bool activate) = 0;
    // Orders both panels out; they are kept for the next use.
    virtual void hide() = 0;
    // Whether a visible panel covers the screen point.
    virtual bool contains(QPointF point) const = 0;
    // The panels as they are now; a panel not made yet is neither visible nor existing.
    virtual Shown iconState() const = 0;
    virtual Shown answerState() const = 0;

    // The answer model: asks the hosted service about a selection (in `mode`, none: the stored
    // study mode; `policy` is the rule its text must pass), shows a text locally without any
    // request, shows the message of a failed read (with the modes showing `mode` when one was asked
    // for), stops a running request.
    virtual void present(const QString& text, const QString& appName, std::optional<tamsel::StudyMode> mode,
                         tamsel::SelectionTextPolicy policy) = 0;
    virtual void preview(const QString& text, const QString& appName) = 0;
    virtual void showError(const QString& message, const QString& appName,
                           std::optional<tamsel::StudyMode> mode = std::nullopt) = 0;
    virtual void cancel() = 0;
    // The requests that went to the hosted service in this process.
    virtual int networkRequestCount() const = 0;
};

// The ways to repair select-anywhere's access to other programs (halvern::AccessibilityRepair),
// and to end this program for the restart.
class SelectionRepair {
public:
    virtual ~SelectionRepair();

    // Turns the desktop's accessibility on; whether it is on now.
    virtual bool requestAuthorization() = 0;
    virtual void openPermissionSettings() = 0;
    virtual void revealRunningCopy() = 0;
    // Whether this is the installed copy, and the program file that runs.
    virtual bool isInstalledCopy() = 0;
    virtual QString runningPath() = 0;
    // Switches the desktop's accessibility off and on. Blocks, so it runs away from the main
    // thread. Throws halvern::RepairFailure.
    virtual void resetOwnAuthorization() = 0;
    // Starts the installed copy with "--setup" once this process has ended. Throws when it
    // cannot (halvern::RepairFailure, base::SystemError).
    virtual void restartInstalledCopy() = 0;
    // Ends this program through its normal way out.
    virtual void terminate() = 0;
    // Opens a text file in the desktop's text editor, without waiting for it. Throws
    // base::SystemError when no editor could be started.
    virtual void openTextDocument(const QString& path) = 0;
};

// Everything the controller is built over. Empty members get the production implementation.
struct DirectSelectionServices {
    base::DefaultsStore* defaults = nullptr;  // null: the standard store
    AppStore* store = nullptr;                // null: the shared store
    std::shared_ptr<SelectionDesktop> desktop;
    std::shared_ptr<SelectionMonitors> monitors;
    std::shared_ptr<SelectionStatusItem> statusItem;
    std::shared_ptr<SelectionReaders> readers;
    std::shared_ptr<SelectionScheduler> scheduler;
    std::shared_ptr<SelectionPanels> panels;
    std::shared_ptr<WindowSystem> windows;
    std::shared_ptr<SelectionRepair> repair;
    std::shared_ptr<Clipboard> clipboard;  // where the diagnostics report goes

    DirectSelectionServices completed() const;
};

// The production implementations.
std::shared_ptr<SelectionDesktop> makeX11SelectionDesktop();
std::shared_ptr<SelectionMonitors> makeRecordSelectionMonitors();
std::shared_ptr<SelectionStatusItem> makeTraySelectionStatusItem();
std::shared_ptr<SelectionReaders> makePlatformSelectionReaders();
std::shared_ptr<SelectionScheduler> makeQtSelectionScheduler();
// The floating bulb and answer panel over the answer model of the program (FloatingSelectionPanels).
std::shared_ptr<SelectionPanels> makeFloatingSelectionPanels();
std::shared_ptr<SelectionRepair> makePlatformSelectionRepair();

}  // namespace velquin
