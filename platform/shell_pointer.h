#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <optional>

#include "base/raw_value.h"

class QDBusServiceWatcher;

// The pointer as GNOME Shell sees it, through the program's own shell extension on the session bus.
// On a Wayland session no ordinary client learns where the pointer is over native Wayland windows,
// nor when a button goes up there; the compositor's shell does, and the extension tells this
// program (and no other caller). Main thread only.
namespace halvern {

class ShellPointer : public QObject {
    Q_OBJECT
public:
    static inline const QString extensionUuid = QStringLiteral("selection@orvel.app");
    static inline const QString serviceName = QStringLiteral("com.orvel.formac.Shell");
    static inline const QString objectPath = QStringLiteral("/com/orvel/formac/Shell");
    static inline const QString interfaceName = QStringLiteral("com.orvel.formac.Shell");
    // How long a question may keep the main thread.
    static constexpr std::chrono::milliseconds callTimeout{80};
    // How long a held button is waited for: longer drags are no selection gestures.
    static constexpr std::chrono::milliseconds releaseTimeout{15000};

    // Where the extension stands on this desktop.
    enum class Access {
        active,         // it answers on the bus
        notGnome,       // no GNOME Shell runs this session
        notInstalled,   // GNOME Shell does not know it and its files are nowhere
        needsNewLogin,  // its files are installed, but the shell looks for extensions only as it starts
        disabled,       // known to the shell and switched off
        failed,         // switched on, but the shell could not run it (another extension format, an error)
    };

    struct State {
        QPoint position;  // screen coordinates, origin top left
        bool leftHeld = false;
        qint32 focusedProcess = 0;  // the process of the window with the keyboard focus; 0 when unknown
    };

    struct Release {
        bool released = false;  // false: the wait ended first
        QPoint position;
        qint32 focusedProcess = 0;
    };

    explicit ShellPointer(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~ShellPointer() override;

    // The one the program's select-anywhere services share.
    static ShellPointer& shared();

    // Whether the extension answers on the bus now (followed as its name comes and goes).
    bool isActive() const { return active_; }
    // Where the extension stands; asks the shell when it is not active.
    Access access();

    // The pointer now; nothing when the extension does not answer within callTimeout.
    std::optional<State> state();
    // The same without blocking: `done` is called on the main thread, with nothing when the
    // extension did not answer.
    void askState(std::function<void(std::optional<State>)> done);
    // Waits, without blocking, until the left button is up (at once when it is not held), then
    // calls `done` on the main thread; nothing when the extension did not answer.
    void waitForRelease(std::function<void(std::optional<Release>)> done);

Q_SIGNALS:
    // The extension came or went.
    void activeChanged(bool active);

private:
    // Where the extension stands by the shell's answer about it.
    Access accessOf(const QVariantMap& info) const;

    QDBusConnection bus_;
    Access lastAccess_ = Access::failed;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool active_ = false;
};

constexpr auto rawValueTable(ShellPointer::Access) {
    using enum ShellPointer::Access;
    return base::rawValues<ShellPointer::Access>({{active, u"active"},
                                                  {notGnome, u"notGnome"},
                                                  {notInstalled, u"notInstalled"},
                                                  {needsNewLogin, u"needsNewLogin"},
                                                  {disabled, u"disabled"},
                                                  {failed, u"failed"}});
}

}  // namespace halvern
