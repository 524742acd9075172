#include "platform/accessibility_repair.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "base/text.h"

namespace halvern {

QString RepairFailure::message() const {
    switch (case_) {
    case Case::reset:
        return QStringLiteral("系统没有完成授权重置。请在桌面的辅助功能设置中关闭再打开辅助技术，然后重新启动正在运行的这一份 Orvel。\n") +
               base::text::graphemePrefix(output_, 600);
    case Case::wrongCopy:
        return QStringLiteral(
            "当前不是安装目录中的 Orvel。请安装当前的 Debian 软件包 orvel，再从应用菜单或 /usr/bin/orvel 打开。");
    }
    return {};
}

namespace {

// A clean absolute path with its links resolved (as far as it exists).
QString normalised(const QString& path) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString canonical = QFileInfo(clean).canonicalFilePath();
    return canonical.isEmpty() ? clean : canonical;
}

QString runningExecutable() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

}  // namespace

AccessibilityRepair::RunningCopy AccessibilityRepair::RunningCopy::current() {
    return {QGuiApplication::desktopFileName(), runningExecutable(), QDir::homePath()};
}

QStringList AccessibilityRepair::validInstalledPaths(const RunningCopy& copy) {
    const QString home = QDir::cleanPath(copy.homePath);
    return {home + QStringLiteral("/.local/bin/orvel"), home + QStringLiteral("/.local/bin/orvel-formac"),
            QStringLiteral("/usr/local/bin/orvel"), QStringLiteral("/usr/local/bin/orvel-formac"),
            QStringLiteral("/usr/bin/orvel")};
}

QString AccessibilityRepair::installedAppPath(const RunningCopy& copy) {
    const QString running = normalised(copy.executablePath);
    const QStringList locations = validInstalledPaths(copy);
    for (const QString& location : locations)
        if (normalised(location) == running) return running;
    return locations.first();
}

bool AccessibilityRepair::isInstalledCopy(const RunningCopy& copy) {
    if (copy.identifier != bundleIdentifier || copy.executablePath.isEmpty()) return false;
    const QString running = normalised(copy.executablePath);
    for (const QString& location : validInstalledPaths(copy))
        if (normalised(location) == running) return true;
    return false;
}

QString AccessibilityRepair::resetOwnAuthorization(const RunningCopy& copy, const QDBusConnection& bus) {
    if (!isInstalledCopy(copy)) throw RepairFailure(RepairFailure::Case::wrongCopy);
    if (!bus.isConnected()) {
        const QString reason = bus.lastError().message();
        throw RepairFailure(RepairFailure::Case::reset, reason.isEmpty() ? QStringLiteral("No D-Bus session bus.") : reason);
    }
    for (const bool enabled : {false, true}) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        call << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled") << QVariant::fromValue(QDBusVariant(enabled));
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QString output = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
            throw RepairFailure(RepairFailure::Case::reset, output);
        }
    }
    return {};
}

const QString& AccessibilityRepair::restartScript() {
    static const QString script = QStringLiteral(
        "attempt=0\n"
        "while [ \"$attempt\" -lt 50 ]; do\n"
        "  if ! kill -0 \"$2\" 2>/dev/null; then\n"
        "    exec \"$1\" --setup\n"
        "  fi\n"
        "  attempt=$((attempt + 1))\n"
        "  /bin/sleep 0.2\n"
        "done\n"
        "exit 1\n");
    return script;
}

qint64 AccessibilityRepair::restartInstalledCopy(const RunningCopy& copy, qint64 waitForPid) {
    if (!isInstalledCopy(copy)) throw RepairFailure(RepairFailure::Case::wrongCopy);
    const qint64 pid = waitForPid > 0 ? waitForPid : QCoreApplication::applicationPid();
    QProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), restartScript(), QStringLiteral("orvel-formac-restart"), installedAppPath(copy),
                          QString::number(pid)});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 scriptPid = 0;
    // Detached: the script must outlive this process.
    if (!process.startDetached(&scriptPid)) throw base::SystemError(process.errorString());
    return scriptPid;
}

void AccessibilityRepair::openPermissionSettings() {
    struct Settings {
        const char* program;
        QStringList arguments;
    };
    const Settings candidates[] = {
        {"gnome-control-center", {QStringLiteral("universal-access")}},
        {"cinnamon-settings", {QStringLiteral("universal-access")}},
        {"systemsettings", {QStringLiteral("kcm_access")}},
        {"systemsettings5", {QStringLiteral("kcm_access")}},
        {"mate-at-properties", {}},
        {"xfce4-accessibility-settings", {}},
    };
    for (const Settings& candidate : candidates) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(candidate.program));
        if (program.isEmpty()) continue;
        QProcess process;
        process.setProgram(program);
        process.setArguments(candidate.arguments);
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        if (process.startDetached()) return;
    }
}

void AccessibilityRepair::revealRunningCopy(const RunningCopy& copy) {
    const QString path = normalised(copy.executablePath);
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Without a file manager that selects items, open the folder that holds the program instead.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, folder] {
        if (watcher->isError()) QDesktopServices::openUrl(folder);
        watcher->deleteLater();
    });
}

}  // namespace halvern
