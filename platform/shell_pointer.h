#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVariantMap>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

#include "base/raw_value.h"

class QDBusServiceWatcher;

// The pointer as GNOME Shell sees it, through the program's own shell extension on the session bus.
// On a Wayland session no ordinary client learns where the pointer is over native Wayland windows,
// nor when a button goes down or up there; the compositor's shell does, and the extension tells this
// program (and no other). Main thread only, but for what says it may be asked from any thread.
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
    // How long the answer to the watch may take: a shell busy with other callers answers late.
    static constexpr std::chrono::milliseconds answerTimeout{1000};
    // How many times the watch is asked for again when the extension refuses it or does not answer
    // (it may not yet know who owns the program's name just after it was switched on), each time it
    // comes back.
    static constexpr int watchRetries = 5;

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

    // A press or release of the left button, anywhere on the screen.
    struct Button {
        bool pressed = false;
        QPoint position;
        quint32 time = 0;           // the shell's time stamp, milliseconds
        qint32 windowProcess = 0;   // the process of the window under the pointer; 0 over none
        bool nativeWindow = false;  // that window is a native Wayland one (not an X11 one)
    };

    explicit ShellPointer(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~ShellPointer() override;

    // The one the program's select-anywhere services share.
    static ShellPointer& shared();

    // Whether the extension answers on the bus now (followed as its name comes and goes).
    bool isActive() const { return active_; }
    // Where the extension stands; asks the shell when it is not active. Nothing when the shell does
    // not answer in time: a shell busy with other work tells nothing of the extension.
    std::optional<Access> access();

    // The pointer now; nothing when the extension does not answer within `timeout`. Any thread.
    std::optional<State> state(std::chrono::milliseconds timeout = callTimeout);
    // The process whose native window set the primary selection, as the extension noted when it did:
    // the one with the keyboard focus then, the only one that may set it. Nothing when the extension
    // does not know (it started later; the selection is an X11 client's, or none's), is too old to
    // tell, or does not answer within `timeout` (-1: the bus's own limit).
    // A read of a native selection that changed since notePrimaryChange() asked takes the answer to
    // that question, waiting for it on any thread but the main one, rather than asking anew behind
    // whatever else the shell is busy with.
    std::optional<qint32> primarySource(std::chrono::milliseconds timeout = callTimeout);
    // The primary selection changed (Qt told it, on the main thread): an answer about an earlier
    // selection's source is void. With `ask`, the extension is asked at once which process set it,
    // so that the read that follows has the answer: each question to a shell flooded with calls waits
    // behind them, and a gesture asks the pointer too. `answered` is called on the main thread with the
    // extension's answer (0: no native window's; nothing: no answer), at once when it is not asked.
    void notePrimaryChange(bool ask, std::function<void(std::optional<qint32>)> answered = {});
    // The pointer without blocking: `done` is called on the main thread once the answer is in, with
    // nothing when the extension could not answer (it left the bus, or the bus gave up on the call).
    // Every button event the extension sent before it answered has been delivered by then. That holds
    // only for the answer itself: the shell's messages reach this program in order, and a bus busy
    // with another caller's traffic delivered them more than a second after the shell sent them, so
    // no shorter time stands in for it.
    void askState(std::function<void(std::optional<State>)> done);
    // Whether `button` is emitted for the left button's presses and releases, and the focused
    // window followed; asked of the extension again whenever it comes back.
    void watch(bool on);
    // The process of the window with the keyboard focus, as the extension last told it while
    // watched; nothing when not known (0: no window's). Any thread.
    std::optional<qint32> focusedProcess() const {
        const qint64 focused = focused_;
        if (!active_ || !watching_ || focused == unknownFocus) return std::nullopt;
        return qint32(focused);
    }

Q_SIGNALS:
    // The extension came or went.
    void activeChanged(bool active);
    void button(const halvern::ShellPointer::Button& event);

private Q_SLOTS:
    void buttonSignal(const QDBusMessage& message);
    void focusSignal(const QDBusMessage& message);

private:
    // Where the extension stands by the shell's answer about it.
    Access accessOf(const QVariantMap& info) const;
    void askToWatch();
    // The extension's answer about `change` (nothing: none came), for reads of that selection.
    void noteSource(quint64 change, std::optional<qint32> process);

    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
    static constexpr qint64 unknownFocus = -1;

    // Written on the main thread, read on any.
    std::atomic<bool> active_ = false;
    std::atomic<bool> watching_ = false;
    std::atomic<qint64> focused_ = unknownFocus;
    // The extension the shell runs does not know the button watch: an older one, which the shell
    // replaces only at the next login.
    bool outdated_ = false;
    // Times the watch was asked for again since the extension came or the watch changed.
    int watchRetried_ = 0;

    // The primary selection's changes so far, and the answer about the source of the one the
    // question was asked for: guarded by the mutex, as reads ask from other threads.
    QMutex sourceMutex_;
    QWaitCondition sourceAnswered_;
    quint64 primaryChanges_ = 0;
    std::optional<quint64> askedChange_;  // the latest change a question is out for
    std::optional<quint64> answeredChange_;
    std::optional<qint32> answeredSource_;
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
