// The desktop of an X11 session: applications by their windows (EWMH), the accessibility switch,
// the window that becomes active, seen as property changes of the root window, and the end of a
// source's process, seen through a descriptor of the process (pidfd).
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <QWindow>

#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>

#include <xcb/xcb.h>

#include "app/select-anywhere/selection_services.h"
#include "app/shell/display_platform.h"
#include "app/shell/qt_window_system.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_mouse_event.h"
#include "platform/shell_pointer.h"
#include "platform/x11_windows.h"

namespace velquin {

namespace {

namespace x11 = halvern::x11;

std::optional<SourceApplication> applicationOfWindow(x11::WindowId window) {
    const std::optional<qint32> pid = x11::windowProcess(window);
    if (!pid) return std::nullopt;
    return SourceApplication{*pid, x11::applicationName(window), x11::applicationIdentifier(window)};
}

class X11SelectionDesktop : public SelectionDesktop, public QAbstractNativeEventFilter {
public:
    ~X11SelectionDesktop() override {
        stopWatching();
        terminationNotifier_ = nullptr;
        terminationContext_.reset();  // its notifier and any call not made yet go at once
        endTerminationWatch();
    }

    qint32 ownProcess() override { return qint32(QCoreApplication::applicationPid()); }
    bool supportsMonitoring() override { return x11::available(); }
    bool isWaylandSession() override { return DisplayPlatform::isWaylandSession(&DisplayPlatform::processVariable); }
    bool isTrusted() override { return halvern::SelectedTextReader::isAuthorized(); }

    std::optional<SourceApplication> frontmostApplication() override {
        if (const std::optional<x11::WindowId> window = x11::activeWindow()) return applicationOfWindow(*window);
        if (const std::optional<qint32> native = nativeFrontmostProcess()) return application(*native);
        return std::nullopt;
    }

    std::optional<qint32> activeWindowProcess() override { return x11::frontmostProcess(); }

    std::optional<qint32> frontmostProcess() override {
        if (const std::optional<qint32> process = x11::frontmostProcess()) return process;
        return nativeFrontmostProcess();
    }

    halvern::ShellPointer::Access nativeWindowAccess() override {
        halvern::ShellPointer& shell = halvern::ShellPointer::shared();
        // Known without asking while it answers (an older extension too, which needs a new login).
        if (shell.isActive()) return shell.access().value_or(halvern::ShellPointer::Access::active);
        // Asked of the shell only now and then: the answer changes when the person acts on it. A shell
        // too busy to answer in time is asked again at the next look, and what was known stays.
        const auto now = std::chrono::steady_clock::now();
        if (!accessAsked_ || now - *accessAsked_ >= accessInterval) {
            if (const std::optional<halvern::ShellPointer::Access> known = shell.access()) {
                accessAsked_ = now;
                access_ = *known;
            }
        }
        return access_;
    }

    std::optional<SourceApplication> application(qint32 processIdentifier) override {
        if (isTerminated(processIdentifier)) return std::nullopt;
        if (const auto window = x11::windowOfProcess(processIdentifier))
            if (auto found = applicationOfWindow(*window)) return found;
        // A process without a window of its own (found through the accessibility focus).
        QFile command(QStringLiteral("/proc/%1/comm").arg(processIdentifier));
        QString name;
        if (command.open(QIODevice::ReadOnly)) name = QString::fromUtf8(command.readAll()).trimmed();
        return SourceApplication{processIdentifier, name, name.toLower()};
    }

    bool isTerminated(qint32 processIdentifier) override {
        return processIdentifier <= 0 || (::kill(processIdentifier, 0) != 0 && errno == ESRCH);
    }

    void watchTermination(qint32 processIdentifier, std::function<void()> handler) override {
        endTerminationWatch();
        if (!handler || processIdentifier <= 0) return;
#ifdef SYS_pidfd_open
        const int descriptor = int(::syscall(SYS_pidfd_open, processIdentifier, 0));
#else
        const int descriptor = -1;
        errno = ENOSYS;
#endif
        // Without pidfd_open (a kernel before 5.3) the end is seen only when a read looks at the process.
        if (descriptor < 0 && errno != ESRCH) return;
        const quint64 watch = ++terminationWatch_;
        terminationContext_ = std::make_unique<QObject>();
        const auto ended = [this, watch, handler = std::move(handler)] {
            if (watch != terminationWatch_) return;
            const std::function<void()> call = handler;  // a copy: the watch ends before the call
            endTerminationWatch();
            call();
        };
        if (descriptor < 0) {
            // Ended already: told from the event loop, as a later end would be.
            QMetaObject::invokeMethod(terminationContext_.get(), ended, Qt::QueuedConnection);
            return;
        }
        // The descriptor becomes readable when the process ends; it names that process only, so a
        // later process given the same id is not mistaken for it.
        terminationDescriptor_ = descriptor;
        terminationNotifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Read, terminationContext_.get());
        QObject::connect(terminationNotifier_, &QSocketNotifier::activated, terminationContext_.get(), ended);
    }

    std::optional<qint32> focusedApplicationProcess() override {
        return halvern::SelectionMouseEvent::focusedApplicationPID();
    }

    QPointF pointerPosition() override {
        if (const auto pointer = x11::pointerPosition()) return *pointer;
        return QCursor::pos();
    }

    void observeActivation(std::function<void(const std::optional<SourceApplication>&)> handler) override {
        activation_ = std::move(handler);
        if (!activation_) {
            stopWatching();
            return;
        }
        if (watching_ || !x11::available()) return;
        activeWindowAtom_ = x11::watchActiveWindow();
        lastActive_ = x11::activeWindow().value_or(0);
        QCoreApplication::instance()->installNativeEventFilter(this);
        watching_ = true;
    }

    void observeMainWindow(std::function<void(WindowSystem::WindowId)> handler) override {
        QObject::disconnect(mainWindowConnection_);
        if (!handler) return;
        mainWindowConnection_ = QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, qGuiApp,
                                                 [handler](QWindow* window) {
                                                     if (!window) return;
                                                     for (QWidget* widget : QApplication::topLevelWidgets())
                                                         if (widget->windowHandle() == window)
                                                             handler(QtWindowSystem::idOf(widget));
                                                 });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || !activation_) return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
        if (change->atom != activeWindowAtom_) return false;
        const x11::WindowId active = x11::activeWindow().value_or(0);
        if (active == lastActive_) return false;
        lastActive_ = active;
        // No active window is reported as such; a window of no known process (no _NET_WM_PID) is not.
        if (!active) {
            activation_(std::nullopt);
        } else if (const auto application = applicationOfWindow(active)) {
            activation_(application);
        }
        return false;
    }

private:
    static constexpr std::chrono::seconds accessInterval{5};

    // The native Wayland window with the keyboard focus, as GNOME Shell's extension tells it.
    std::optional<qint32> nativeFrontmostProcess() {
        if (!isWaylandSession()) return std::nullopt;
        halvern::ShellPointer& shell = halvern::ShellPointer::shared();
        // Followed through the extension's signals while the native route watches; asked otherwise.
        std::optional<qint32> focused = shell.focusedProcess();
        if (!focused) {
            const std::optional<halvern::ShellPointer::State> state = shell.state();
            if (state) focused = state->focusedProcess;
        }
        if (!focused || *focused <= 0) return std::nullopt;
        return focused;
    }

    // Ends the watch of a process. It may run inside the watch's own notification: the notifier stops
    // at once and goes later.
    void endTerminationWatch() {
        ++terminationWatch_;
        if (terminationNotifier_) terminationNotifier_->setEnabled(false);
        terminationNotifier_ = nullptr;
        if (terminationDescriptor_ >= 0) ::close(terminationDescriptor_);
        terminationDescriptor_ = -1;
        if (terminationContext_) terminationContext_.release()->deleteLater();
    }

    void stopWatching() {
        if (!watching_) return;
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
        watching_ = false;
    }

    std::function<void(const std::optional<SourceApplication>&)> activation_;
    QMetaObject::Connection mainWindowConnection_;
    bool watching_ = false;
    unsigned long activeWindowAtom_ = 0;
    x11::WindowId lastActive_ = 0;
    std::optional<std::chrono::steady_clock::time_point> accessAsked_;
    halvern::ShellPointer::Access access_ = halvern::ShellPointer::Access::notGnome;
    // The watch of a source's end: its number, its process descriptor, and the object its notifier
    // and its calls belong to (deleting it drops a call not made yet).
    quint64 terminationWatch_ = 0;
    int terminationDescriptor_ = -1;
    QSocketNotifier* terminationNotifier_ = nullptr;
    std::unique_ptr<QObject> terminationContext_;
};

}  // namespace

std::shared_ptr<SelectionDesktop> makeX11SelectionDesktop() { return std::make_shared<X11SelectionDesktop>(); }

}  // namespace velquin
