#include "app/shell/application_instance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "app/shell/study_selection_command.h"
#include "platform/selection_service_provider.h"

namespace velquin {

namespace {

// How long a later launch waits for the running copy to take its request.
constexpr int kHandOverTimeoutMs = 10000;
// How often a launch tries again to take the name when its holder ends while being asked about.
constexpr int kClaimAttempts = 3;

const QString kImportCheckSwitch = QStringLiteral("--qa-smoke-import");
const QString kSetupSwitch = QStringLiteral("--setup");
const QString kDeletedSuffix = QStringLiteral(" (deleted)");

QString processExecutable(qint64 pid) { return QStringLiteral("/proc/%1/exe").arg(pid); }

// Where the link of a process's program file points (with " (deleted)" once the file was removed).
QString linkTarget(const QString& path) {
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t size = ::readlink(QFile::encodeName(path).constData(), target.data(), size_t(target.size()));
    if (size <= 0 || size >= target.size()) return {};
    target.truncate(qsizetype(size));
    return QFile::decodeName(target);
}

std::optional<struct stat> fileStatus(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return std::nullopt;
    return status;
}

// Which process holds the name, for the person who reads why this launch runs without it.
QString describeProcess(qint64 pid) {
    const QString program = linkTarget(processExecutable(pid));
    return program.isEmpty() ? QStringLiteral("process %1").arg(pid)
                             : QStringLiteral("process %1, %2").arg(pid).arg(program);
}

}  // namespace

LaunchRequest LaunchRequest::fromArguments(const QStringList& arguments) {
    LaunchRequest request;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == kSetupSwitch) {
            request.setup = true;
        } else if (argument == kImportCheckSwitch) {
            ++i;  // its file
        } else if (!argument.startsWith(u'-') && !StudySelectionCommand::isModeArgument(arguments, i)) {
            request.urls.append(argument);
        }
    }
    return request;
}

ApplicationInstance::~ApplicationInstance() = default;

DBusApplicationInstance::DBusApplicationInstance(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

DBusApplicationInstance::~DBusApplicationInstance() { release(); }

void DBusApplicationInstance::release() {
    if (!std::exchange(registered_, false)) return;
    bus_.unregisterObject(halvern::SelectionServiceProvider::objectPath);
    bus_.unregisterObject(objectPath);
    bus_.unregisterService(halvern::SelectionServiceProvider::serviceName);
}

bool DBusApplicationInstance::runsProgramFile(qint64 pid, const QStringList& programs) {
    if (pid <= 0) return false;
    const std::optional<struct stat> running = fileStatus(processExecutable(pid));
    if (!running) return false;
    const QString link = linkTarget(processExecutable(pid));
    for (const QString& path : programs) {
        const std::optional<struct stat> program = fileStatus(path);
        if (program && program->st_dev == running->st_dev && program->st_ino == running->st_ino) return true;
        // Only the super-user can leave a file of its own behind at a path of the super-user's.
        if (link == path + kDeletedSuffix && running->st_uid == 0 && program && program->st_uid == 0) return true;
    }
    return false;
}

QStringList DBusApplicationInstance::programFiles() { return {QStringLiteral("/proc/self/exe"), installedProgram}; }

ApplicationInstance::Claim DBusApplicationInstance::claim() {
    runningCopy_.clear();
    // Without a session bus there is nobody to find and nobody to ask.
    QDBusConnectionInterface* const bus = bus_.isConnected() ? bus_.interface() : nullptr;
    if (!bus) return {};
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus->registerService(
            halvern::SelectionServiceProvider::serviceName, QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid()) return {};
        if (reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            registered_ = bus_.registerObject(objectPath, this, QDBusConnection::ExportAllSlots);
            return {};
        }
        // The holder may have ended since: then the name is free to take on the next try.
        const QDBusReply<QString> owner = bus->serviceOwner(halvern::SelectionServiceProvider::serviceName);
        if (!owner.isValid()) continue;
        const QDBusReply<uint> pid = bus->servicePid(owner.value());
        if (!pid.isValid()) continue;
        if (runsProgramFile(pid.value(), programFiles())) {
            runningCopy_ = owner.value();
            return {Claim::Holder::runningCopy, {}};
        }
        return {Claim::Holder::otherProgram, describeProcess(pid.value())};
    }
    // Programs that take the name and leave it again while they are asked about are no Orvel.
    return {Claim::Holder::otherProgram, QStringLiteral("a process that keeps taking and leaving it")};
}

bool DBusApplicationInstance::handOver(const LaunchRequest& request) {
    if (runningCopy_.isEmpty()) return false;
    QVariantMap platformData;
    const QByteArray startupId = qgetenv("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty()) platformData.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(startupId));

    const auto call = [this](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(runningCopy_, objectPath, interfaceName, method);
        message.setArguments(arguments);
        return bus_.call(message, QDBus::Block, kHandOverTimeoutMs).type() == QDBusMessage::ReplyMessage;
    };
    bool delivered = true;
    if (!request.urls.isEmpty())
        delivered = call(QStringLiteral("Open"), {request.urls, platformData}) && delivered;
    if (request.setup)
        delivered = call(QStringLiteral("ActivateAction"),
                         {setupAction, QVariant::fromValue(QVariantList()), platformData}) && delivered;
    if (request.urls.isEmpty() && !request.setup) delivered = call(QStringLiteral("Activate"), {platformData});
    return delivered;
}

void DBusApplicationInstance::registerSelectionEntry(std::function<void(const halvern::SelectionRequest&)> receive) {
    if (!registered_) return;
    bus_.unregisterObject(halvern::SelectionServiceProvider::objectPath);
    selectionEntry_ = std::make_unique<halvern::SelectionServiceProvider>(std::move(receive));
    selectionEntry_->registerOn(bus_);
}

void DBusApplicationInstance::registerSelectionRefusals(std::function<void(const halvern::RefusedSelection&)> refuse) {
    if (selectionEntry_) selectionEntry_->setRefusalHandler(std::move(refuse));
}

std::optional<QString> DBusApplicationInstance::callSelectionEntry(const QString& method,
                                                                   const QVariantList& arguments) {
    if (!bus_.isConnected() || runningCopy_.isEmpty()) return std::nullopt;
    QDBusMessage message = QDBusMessage::createMethodCall(runningCopy_, halvern::SelectionServiceProvider::objectPath,
                                                          halvern::SelectionServiceProvider::interfaceName, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, kHandOverTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return std::nullopt;
    return reply.arguments().constFirst().toString();
}

void DBusApplicationInstance::setRequestHandler(std::function<void(const LaunchRequest&)> handler) {
    handler_ = std::move(handler);
}

void DBusApplicationInstance::deliver(const LaunchRequest& request) {
    if (handler_) handler_(request);
}

void DBusApplicationInstance::Activate(const QVariantMap&) { deliver({}); }

void DBusApplicationInstance::Open(const QStringList& uris, const QVariantMap&) { deliver({uris, false}); }

void DBusApplicationInstance::ActivateAction(const QString& actionName, const QVariantList&, const QVariantMap&) {
    if (actionName == setupAction) deliver({{}, true});
}

}  // namespace velquin
