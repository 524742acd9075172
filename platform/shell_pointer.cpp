#include "platform/shell_pointer.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QThread>
#include <QVariantMap>

namespace halvern {

namespace {

const QString shellService = QStringLiteral("org.gnome.Shell");

// The states of GNOME Shell 43's ExtensionState that matter here.
constexpr int shellEnabled = 1;
constexpr int shellDisabled = 2;
constexpr int shellInitialized = 6;

QDBusMessage call(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(ShellPointer::serviceName, ShellPointer::objectPath,
                                                          ShellPointer::interfaceName, method);
    message.setArguments(arguments);
    return message;
}

std::optional<ShellPointer::State> stateOf(const QDBusMessage& reply) {
    const QVariantList values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() != 4) return std::nullopt;
    return ShellPointer::State{QPoint(values[0].toInt(), values[1].toInt()), values[2].toBool(),
                               qint32(values[3].toUInt())};
}

bool hasOwner(const QDBusConnection& bus, const QString& name) {
    const QDBusConnectionInterface* interface = bus.interface();
    return interface && interface->isServiceRegistered(name).value();
}

}  // namespace

ShellPointer::ShellPointer(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {
    if (!bus_.isConnected()) return;
    watcher_ = new QDBusServiceWatcher(serviceName, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                const bool active = !owner.isEmpty();
                const bool changed = active_.exchange(active) != active;
                // A new extension: it knows nothing of this program's watch yet.
                outdated_ = false;
                focused_ = unknownFocus;
                watchRetried_ = 0;
                if (watching_) askToWatch();
                if (changed) emit activeChanged(active);
            });
    active_ = hasOwner(bus_, serviceName);
    bus_.connect(serviceName, objectPath, interfaceName, QStringLiteral("Button"), this,
                 SLOT(buttonSignal(QDBusMessage)));
    bus_.connect(serviceName, objectPath, interfaceName, QStringLiteral("Focus"), this,
                 SLOT(focusSignal(QDBusMessage)));
}

ShellPointer::~ShellPointer() = default;

ShellPointer& ShellPointer::shared() {
    static ShellPointer* pointer = [] {
        auto* made = new ShellPointer;
        // Its signals and watchers belong to the main thread, whichever thread asked first.
        if (QCoreApplication* application = QCoreApplication::instance()) made->moveToThread(application->thread());
        return made;
    }();
    return *pointer;
}

std::optional<ShellPointer::Access> ShellPointer::access() {
    if (active_) return outdated_ ? Access::needsNewLogin : Access::active;
    if (!bus_.isConnected() || !hasOwner(bus_, shellService)) return Access::notGnome;
    QDBusMessage ask = QDBusMessage::createMethodCall(shellService, QStringLiteral("/org/gnome/Shell"),
                                                      QStringLiteral("org.gnome.Shell.Extensions"),
                                                      QStringLiteral("GetExtensionInfo"));
    ask.setArguments({extensionUuid});
    const QDBusMessage reply = bus_.call(ask, QDBus::Block, int(callTimeout.count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    // An extension the shell does not know is answered with an empty dictionary.
    return accessOf(qdbus_cast<QVariantMap>(reply.arguments().constFirst()));
}

ShellPointer::Access ShellPointer::accessOf(const QVariantMap& info) const {
    if (info.isEmpty()) {
        const QString files = QStandardPaths::locate(
            QStandardPaths::GenericDataLocation,
            QStringLiteral("gnome-shell/extensions/") + extensionUuid + QStringLiteral("/metadata.json"));
        return files.isEmpty() ? Access::notInstalled : Access::needsNewLogin;
    }
    const int state = int(info.value(QStringLiteral("state")).toDouble());
    if (state == shellDisabled || state == shellInitialized) return Access::disabled;
    // Enabled, but its name is not on the bus (yet): an error in it, or the moment it starts.
    if (state == shellEnabled && hasOwner(bus_, serviceName)) return Access::active;
    return Access::failed;
}

std::optional<ShellPointer::State> ShellPointer::state(std::chrono::milliseconds timeout) {
    if (!active_) return std::nullopt;
    return stateOf(bus_.call(call(QStringLiteral("Pointer")), QDBus::Block, int(timeout.count())));
}

std::optional<qint32> ShellPointer::primarySource(std::chrono::milliseconds timeout) {
    if (!active_) return std::nullopt;
    {
        // The answer asked for as the selection changed; on the main thread only one already in, as
        // the answer comes in there.
        QMutexLocker lock(&sourceMutex_);
        const bool mayWait = QThread::currentThread() != thread();
        QDeadlineTimer deadline =
            timeout.count() < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeout);
        while (answeredChange_ != primaryChanges_ && askedChange_ == primaryChanges_ && mayWait)
            if (!sourceAnswered_.wait(&sourceMutex_, deadline)) return std::nullopt;
        if (answeredChange_ == primaryChanges_) return answeredSource_;
    }
    const QDBusMessage reply = bus_.call(call(QStringLiteral("PrimarySource")), QDBus::Block, int(timeout.count()));
    const QVariantList values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() != 1) return std::nullopt;
    const qint32 process = qint32(values[0].toUInt());
    if (process <= 0) return std::nullopt;
    return process;
}

void ShellPointer::notePrimaryChange(bool ask, std::function<void(std::optional<qint32>)> answered) {
    quint64 change = 0;
    {
        QMutexLocker lock(&sourceMutex_);
        change = ++primaryChanges_;
        sourceAnswered_.wakeAll();  // a reader waiting for an earlier selection's source asks anew
        if (ask && active_) askedChange_ = change;
    }
    if (!ask || !active_) {
        if (answered) answered(std::nullopt);
        return;
    }
    // Each change is asked about at once, however many questions are out: the shell answers them in
    // order, and the latest one's answer is the one a read wants.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call(QStringLiteral("PrimarySource"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, change, answered = std::move(answered)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusMessage reply = call->reply();
                const QVariantList values = reply.arguments();
                std::optional<qint32> process;
                if (reply.type() == QDBusMessage::ReplyMessage && values.size() == 1)
                    process = qint32(values[0].toUInt());
                noteSource(change, process);
                if (answered) answered(process);
            });
}

void ShellPointer::noteSource(quint64 change, std::optional<qint32> process) {
    QMutexLocker lock(&sourceMutex_);
    // Asked after the change was told here, so answered from the shell's note of it or of a later one;
    // a later change told meanwhile voids it.
    if (change != primaryChanges_) return;
    if (process) {
        answeredChange_ = change;
        answeredSource_ = *process > 0 ? process : std::nullopt;
    } else {
        askedChange_.reset();
    }
    sourceAnswered_.wakeAll();
}

void ShellPointer::askState(std::function<void(std::optional<State>)> done) {
    if (!active_) {
        done(std::nullopt);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call(QStringLiteral("Pointer"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done = std::move(done)](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        done(stateOf(call->reply()));
    });
}

void ShellPointer::watch(bool on) {
    if (watching_.exchange(on) == on) return;
    focused_ = unknownFocus;
    watchRetried_ = 0;
    askToWatch();
}

void ShellPointer::askToWatch() {
    if (!active_) return;
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(call(QStringLiteral("Watch"), {watching_.load()}), int(answerTimeout.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        const QVariantList values = reply.arguments();
        // A focus told since is newer than this answer.
        if (reply.type() == QDBusMessage::ReplyMessage && values.size() == 1 && focused_ == unknownFocus)
            focused_ = qint32(values[0].toUInt());
        outdated_ = reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
        // Refused or unanswered: asked again, a few times. An extension that refuses takes its pause
        // before it answers, so the questions come no faster than that.
        if (reply.type() == QDBusMessage::ErrorMessage && !outdated_ && watchRetried_ < watchRetries) {
            ++watchRetried_;
            askToWatch();
        }
    });
}

void ShellPointer::focusSignal(const QDBusMessage& message) {
    const QVariantList values = message.arguments();
    if (watching_ && values.size() == 1) focused_ = qint32(values[0].toUInt());
}

void ShellPointer::buttonSignal(const QDBusMessage& message) {
    const QVariantList values = message.arguments();
    if (!watching_ || values.size() != 6) return;
    emit button(Button{values[0].toBool(), QPoint(values[1].toInt(), values[2].toInt()), values[3].toUInt(),
                       qint32(values[4].toUInt()), values[5].toBool()});
}

}  // namespace halvern
