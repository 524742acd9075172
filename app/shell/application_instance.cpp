#include "app/shell/application_instance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "app/shell/study_selection_command.h"
#include "platform/selection_service_provider.h"

namespace velquin {

namespace {

// How long a later launch waits for the running copy to take its request.
constexpr int kHandOverTimeoutMs = 10000;

const QString kImportCheckSwitch = QStringLiteral("--qa-smoke-import");
const QString kSetupSwitch = QStringLiteral("--setup");

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

DBusApplicationInstance::~DBusApplicationInstance() {
    if (!registered_) return;
    bus_.unregisterObject(halvern::SelectionServiceProvider::objectPath);
    bus_.unregisterObject(objectPath);
    bus_.unregisterService(halvern::SelectionServiceProvider::serviceName);
}

bool DBusApplicationInstance::claim() {
    // Without a session bus there is nobody to find and nobody to ask.
    if (!bus_.isConnected() || !bus_.interface()) return true;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        halvern::SelectionServiceProvider::serviceName, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) return true;
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) return false;
    registered_ = bus_.registerObject(objectPath, this, QDBusConnection::ExportAllSlots);
    return true;
}

bool DBusApplicationInstance::handOver(const LaunchRequest& request) {
    QVariantMap platformData;
    const QByteArray startupId = qgetenv("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty()) platformData.insert(QStringLiteral("desktop-startup-id"), QString::fromUtf8(startupId));

    const auto call = [this](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(halvern::SelectionServiceProvider::serviceName,
                                                              objectPath, interfaceName, method);
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
    if (!bus_.isConnected()) return std::nullopt;
    QDBusMessage message = QDBusMessage::createMethodCall(halvern::SelectionServiceProvider::serviceName,
                                                          halvern::SelectionServiceProvider::objectPath,
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
