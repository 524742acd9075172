#include "platform/atspi_element.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMap>
#include <QMutexLocker>
#include <QRectF>

#include <atspi/atspi-constants.h>

#include <utility>

#include "platform/x11_windows.h"

namespace halvern {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString selectionInterface = QStringLiteral("org.a11y.atspi.Selection");
const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
const QString hypertextInterface = QStringLiteral("org.a11y.atspi.Hypertext");
const QString hyperlinkInterface = QStringLiteral("org.a11y.atspi.Hyperlink");
const QString collectionInterface = QStringLiteral("org.a11y.atspi.Collection");
const QString registryService = QStringLiteral("org.a11y.atspi.Registry");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");

// Elements looked at by one search for the focused element or the element under a point.
constexpr int searchLimit = 80;
// Windows of one application looked at for the active one.
constexpr int windowLimit = 16;
// Selected children fetched of one element: the reader never takes more.
constexpr int selectedChildrenLimit = 8;
// The character that stands for an embedded child object in an object's text (a web document
// holds one per paragraph), and how far one selection is followed into such objects.
constexpr char16_t embeddedObjectCharacter = 0xFFFC;
constexpr int embeddedObjectLimit = 64;
constexpr int embeddedObjectDepth = 4;
// An expanded selection is cut here: far beyond what a selection read accepts.
constexpr qsizetype expandedTextLimit = 65536;

int remainingMilliseconds(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::max<qint64>(left, 0));
}

bool failed(const QDBusMessage& reply) { return reply.type() != QDBusMessage::ReplyMessage; }

QVariant firstArgument(const QDBusMessage& reply) {
    if (reply.arguments().isEmpty()) return {};
    QVariant value = reply.arguments().constFirst();
    if (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

// An (so) reference; nothing for the null object.
std::optional<std::pair<QString, QString>> reference(const QDBusArgument& argument) {
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    if (service.isEmpty() || path.path().isEmpty() || path.path() == nullPath) return std::nullopt;
    return std::make_pair(service, path.path());
}

// A reply is read only in the shape asked for: QtDBus reads a value of another shape out of bounds,
// and any application on the accessibility bus may answer with anything.
bool hasSignature(const QDBusArgument& argument, QLatin1StringView signature) {
    return argument.currentSignature() == signature;
}

std::optional<std::pair<QString, QString>> referenceOf(const QVariant& value) {
    if (value.userType() != qMetaTypeId<QDBusArgument>()) return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (!hasSignature(argument, QLatin1StringView("(so)"))) return std::nullopt;
    return reference(argument);
}

QList<std::pair<QString, QString>> referencesOf(const QVariant& value) {
    QList<std::pair<QString, QString>> result;
    if (value.userType() != qMetaTypeId<QDBusArgument>()) return result;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (!hasSignature(argument, QLatin1StringView("a(so)"))) return result;
    argument.beginArray();
    while (!argument.atEnd())
        if (auto entry = reference(argument)) result.append(*entry);
    argument.endArray();
    return result;
}

QDBusMessage request(const std::pair<QString, QString>& object, const QString& interface, const QString& method,
                     const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(object.first, object.second, interface, method);
    message.setArguments(arguments);
    return message;
}

QDBusMessage stateRequest(const std::pair<QString, QString>& object) {
    return request(object, accessibleInterface, QStringLiteral("GetState"));
}

QDBusMessage childrenRequest(const std::pair<QString, QString>& object) {
    return request(object, accessibleInterface, QStringLiteral("GetChildren"));
}

// The state set (two 32-bit words) in a reply to GetState.
std::optional<quint64> statesIn(const QDBusMessage& reply) {
    if (failed(reply)) return std::nullopt;
    const QVariant value = firstArgument(reply);
    QList<uint> words;
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (!hasSignature(argument, QLatin1StringView("au"))) return std::nullopt;
        argument >> words;
    } else {
        words = value.value<QList<uint>>();
    }
    quint64 states = 0;
    for (int i = 0; i < words.size() && i < 2; ++i) states |= quint64(words[i]) << (32 * i);
    return states;
}

bool has(quint64 states, AtspiStateType state) { return states & (quint64(1) << int(state)); }

// The children in a reply to GetChildren.
QList<std::pair<QString, QString>> childrenIn(const QDBusMessage& reply, int* error = nullptr) {
    if (error) *error = accessibilityErrorOf(reply);
    if (failed(reply)) return {};
    return referencesOf(firstArgument(reply));
}

QList<std::pair<QString, QString>> childrenOf(AtspiSystem& system, const QString& service, const QString& path,
                                              Deadline deadline, int* error = nullptr) {
    return childrenIn(system.call(service, path, accessibleInterface, QStringLiteral("GetChildren"), {}, deadline),
                      error);
}

}  // namespace

int accessibilityErrorOf(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage) return accessibility_error::success;
    const QString name = reply.errorName();
    if (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.Timeout") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.TimedOut"))
        return accessibility_error::timedOut;
    if (name == QStringLiteral("org.freedesktop.DBus.Error.UnknownObject") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return accessibility_error::invalidElement;
    if (name == QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"))
        return accessibility_error::attributeUnsupported;
    return accessibility_error::failure;
}

// --- the bus

AtspiSystem& AtspiSystem::shared() {
    static AtspiSystem* system = new AtspiSystem;
    return *system;
}

AccessibilitySystem& AccessibilitySystem::standard() { return AtspiSystem::shared(); }

std::optional<QDBusConnection> AtspiSystem::bus(Deadline deadline) {
    QMutexLocker lock(&mutex_);
    if (bus_ && bus_->isConnected()) return bus_;
    if (bus_) {
        // The accessibility bus went away: forget the dead connection, or Qt hands it back by name,
        // and the processes of its bus names, which a new bus hands out again.
        bus_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("orvel-accessibility-bus"));
        processes_.clear();
    }
    // Finding the bus counts against the caller's time-out like the call itself.
    const int timeout = std::min(remainingMilliseconds(deadline), 1000);
    if (timeout <= 0) return std::nullopt;
    QDBusMessage request =
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(request, QDBus::Block, timeout);
    if (failed(reply)) return std::nullopt;
    const QString address = firstArgument(reply).toString();
    if (address.isEmpty()) return std::nullopt;
    QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("orvel-accessibility-bus"));
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(QStringLiteral("orvel-accessibility-bus"));
        return std::nullopt;
    }
    bus_ = connection;
    return bus_;
}

QDBusMessage AtspiSystem::call(const QString& service, const QString& path, const QString& interface,
                               const QString& method, const QVariantList& arguments, Deadline deadline) {
    QDBusMessage request = QDBusMessage::createMethodCall(service, path, interface, method);
    request.setArguments(arguments);
    if (service.isEmpty() || remainingMilliseconds(deadline) <= 0)
        return request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NoReply"), QString());
    const std::optional<QDBusConnection> connection = bus(deadline);
    if (!connection) return request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"), {});
    const int timeout = remainingMilliseconds(deadline);
    if (timeout <= 0) return request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NoReply"), QString());
    return connection->call(request, QDBus::Block, timeout);
}

QList<QDBusMessage> AtspiSystem::callAll(const QList<QDBusMessage>& requests, Deadline deadline) {
    const std::optional<QDBusConnection> connection =
        remainingMilliseconds(deadline) > 0 ? bus(deadline) : std::optional<QDBusConnection>();
    QList<QDBusPendingCall> pending;
    pending.reserve(requests.size());
    for (const QDBusMessage& request : requests) {
        const int timeout = remainingMilliseconds(deadline);
        if (request.service().isEmpty() || timeout <= 0)
            pending.append(QDBusPendingCall::fromCompletedCall(
                request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NoReply"), QString())));
        else if (!connection)
            pending.append(QDBusPendingCall::fromCompletedCall(
                request.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"), QString())));
        else
            pending.append(connection->asyncCall(request, timeout));
    }
    QList<QDBusMessage> replies;
    replies.reserve(pending.size());
    for (QDBusPendingCall& call : pending) {
        call.waitForFinished();
        replies.append(call.reply());
    }
    return replies;
}

QDBusMessage AtspiSystem::property(const QString& service, const QString& path, const QString& interface,
                                   const QString& name, Deadline deadline) {
    return call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                {interface, name}, deadline);
}

std::optional<qint32> AtspiSystem::processOf(const QString& service, Deadline deadline) {
    if (service.isEmpty()) return std::nullopt;
    {
        QMutexLocker lock(&mutex_);
        if (const auto found = processes_.constFind(service); found != processes_.constEnd()) return *found;
    }
    const QDBusMessage reply =
        call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"), {service}, deadline);
    if (failed(reply)) return std::nullopt;
    const quint32 pid = firstArgument(reply).toUInt();
    if (pid == 0 || pid > 0x7fffffffU) return std::nullopt;
    QMutexLocker lock(&mutex_);
    if (service.startsWith(QLatin1Char(':'))) processes_.insert(service, qint32(pid));
    return qint32(pid);
}

QList<std::pair<QString, QString>> AtspiSystem::applications(Deadline deadline) {
    return childrenOf(*this, registryService, rootPath, deadline);
}

bool AtspiSystem::isProcessTrusted() {
    QDBusMessage request =
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    request.setArguments({QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(request, QDBus::Block, 500);
    return !failed(reply) && firstArgument(reply).toBool();
}

bool AtspiSystem::requestTrust() {
    // The desktop keeps the switch; turning it on is the whole of the request.
    QDBusMessage request =
        QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    request.setArguments(
        {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"), QVariant::fromValue(QDBusVariant(true))});
    QDBusConnection::sessionBus().call(request, QDBus::Block, 500);
    return isProcessTrusted();
}

AccessibilityElementPtr AtspiSystem::applicationElement(qint32 processIdentifier) {
    const Deadline deadline = Clock::now() + std::chrono::milliseconds(120);
    int error = 0;
    const auto registered = childrenOf(*this, registryService, rootPath, deadline, &error);
    bool everyProcessKnown = error == accessibility_error::success;
    for (const auto& [service, path] : registered) {
        const std::optional<qint32> pid = processOf(service, deadline);
        if (!pid) everyProcessKnown = false;
        if (pid && *pid == processIdentifier)
            return std::make_shared<AtspiElement>(*this, service, path, AtspiElement::Kind::application);
    }
    // Every application on the bus is known and none is this process: it is not on the bus at all
    // (a program without an accessibility bridge), and no later request will find it.
    if (everyProcessKnown) return nullptr;
    // The bus did not answer in time: every request to this element fails.
    return std::make_shared<AtspiElement>(*this, QString(), rootPath, AtspiElement::Kind::application);
}

AccessibilityElementPtr AtspiSystem::systemWideElement() {
    return std::make_shared<AtspiElement>(*this, registryService, rootPath, AtspiElement::Kind::desktop);
}

// --- one element

AtspiElement::AtspiElement(AtspiSystem& system, QString service, QString path, Kind kind)
    : system_(system), service_(std::move(service)), path_(std::move(path)), kind_(kind) {}

std::optional<qint32> AtspiElement::processIdentifier() const {
    if (kind_ == Kind::desktop) return std::nullopt;
    return system_.processOf(service_, deadlineFromNow());
}

bool AtspiElement::isSameElement(const AccessibilityElement& other) const {
    const auto* element = dynamic_cast<const AtspiElement*>(&other);
    return element && element->service_ == service_ && element->path_ == path_;
}

AccessibilityReply AtspiElement::attribute(AccessibilityAttribute attribute) {
    const Deadline deadline = deadlineFromNow();
    switch (attribute) {
    case AccessibilityAttribute::role: return role(deadline);
    case AccessibilityAttribute::subrole: return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
    case AccessibilityAttribute::parent: return parent(deadline);
    case AccessibilityAttribute::children: {
        int error = 0;
        const auto children = childrenOf(system_, service_, path_, deadline, &error);
        if (error) return AccessibilityReply::failed(error);
        AccessibilityElementList list;
        for (const auto& [service, path] : children)
            list.append(std::make_shared<AtspiElement>(system_, service, path));
        return AccessibilityReply::ok(list);
    }
    case AccessibilityAttribute::selectedChildren: return selectedChildren(deadline);
    case AccessibilityAttribute::selectedText: return selectedText(deadline);
    case AccessibilityAttribute::selectedTextRange: return selectedTextRange(deadline);
    case AccessibilityAttribute::selectedTextMarkerRange:
        // AT-SPI knows character offsets only; there are no text markers to ask for.
        return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
    case AccessibilityAttribute::focusedUIElement: return focusedDescendant(deadline);
    case AccessibilityAttribute::focusedWindow: return activeWindow(deadline);
    case AccessibilityAttribute::focusedApplication: return focusedApplication(deadline);
    }
    return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
}

AccessibilityReply AtspiElement::parameterizedAttribute(AccessibilityParameterizedAttribute attribute,
                                                        const AccessibilityValue& parameter) {
    if (attribute != AccessibilityParameterizedAttribute::stringForRange)
        return AccessibilityReply::failed(accessibility_error::attributeUnsupported);  // no text markers on AT-SPI
    const auto* range = std::get_if<AccessibilityRange>(&parameter);
    if (!range) return AccessibilityReply::failed(accessibility_error::failure);
    const QDBusMessage reply =
        system_.call(service_, path_, textInterface, QStringLiteral("GetText"),
                     {int(range->location), int(range->location + range->length)}, deadlineFromNow());
    if (failed(reply)) return AccessibilityReply::failed(accessibilityErrorOf(reply));
    return AccessibilityReply::ok(firstArgument(reply).toString());
}

void AtspiElement::refresh() {
    activeWindow_.reset();
    focused_.reset();
    childrenReply_.reset();
    parentReply_.reset();
    selectedRange_.reset();
}

// Whoever asks for the role walks up to the parent next (looking for a password field): both are
// asked at once.
AccessibilityReply AtspiElement::role(Deadline deadline) {
    const std::pair<QString, QString> self{service_, path_};
    QList<QDBusMessage> requests{request(self, accessibleInterface, QStringLiteral("GetRole"))};
    if (kind_ == Kind::object && !parentReply_)
        requests.append(request(self, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                {accessibleInterface, QStringLiteral("Parent")}));
    const QList<QDBusMessage> replies = system_.callAll(requests, deadline);
    if (replies.size() > 1 && !failed(replies[1])) parentReply_ = replies[1];
    const QDBusMessage& reply = replies[0];
    if (failed(reply)) return AccessibilityReply::failed(accessibilityErrorOf(reply));
    const uint role = firstArgument(reply).toUInt();
    // A password field is the one role the reader looks for.
    if (role == ATSPI_ROLE_PASSWORD_TEXT) return AccessibilityReply::ok(secureTextFieldRole);
    return AccessibilityReply::ok(QStringLiteral("atspi-role-%1").arg(role));
}

AccessibilityReply AtspiElement::parent(Deadline deadline) {
    const QDBusMessage reply =
        parentReply_ ? *parentReply_
                     : system_.property(service_, path_, accessibleInterface, QStringLiteral("Parent"), deadline);
    if (failed(reply)) return AccessibilityReply::failed(accessibilityErrorOf(reply));
    const auto parent = referenceOf(firstArgument(reply));
    if (!parent) return AccessibilityReply::failed(accessibility_error::noValue);
    return AccessibilityReply::ok(
        AccessibilityElementPtr(std::make_shared<AtspiElement>(system_, parent->first, parent->second)));
}

AccessibilityReply AtspiElement::selectedTextRange(Deadline deadline) {
    // The first selection is asked for together with the count; its answer counts only when there is one.
    const std::pair<QString, QString> self{service_, path_};
    const QList<QDBusMessage> replies =
        system_.callAll({request(self, textInterface, QStringLiteral("GetNSelections")),
                         request(self, textInterface, QStringLiteral("GetSelection"), {0})},
                        deadline);
    const QDBusMessage& count = replies[0];
    const QDBusMessage& reply = replies[1];
    if (failed(count)) {
        selectedRange_ = AccessibilityReply::failed(accessibilityErrorOf(count));
    } else if (firstArgument(count).toInt() <= 0) {
        selectedRange_ = AccessibilityReply::ok(AccessibilityRange{0, 0});
    } else if (failed(reply) || reply.arguments().size() < 2) {
        selectedRange_ = AccessibilityReply::failed(accessibilityErrorOf(reply));
    } else {
        const qint64 start = reply.arguments()[0].toInt();
        const qint64 end = reply.arguments()[1].toInt();
        selectedRange_ = AccessibilityReply::ok(AccessibilityRange{std::min(start, end), std::abs(end - start)});
    }
    return *selectedRange_;
}

// The selected text, with each embedded-object character in it replaced by the selected text of
// the object it stands for, as screen readers read it: the selection of a web document is one such
// character per paragraph, and the paragraphs hold the words.
AccessibilityReply AtspiElement::selectedText(Deadline deadline) {
    // The range just asked for, when it was: the text read is the one of that range.
    const AccessibilityReply range = selectedRange_ ? *selectedRange_ : selectedTextRange(deadline);
    const auto value = range.as<AccessibilityRange>();
    if (!value) return range;
    if (value->length == 0) return AccessibilityReply::ok(QString());
    const AccessibilityReply text = parameterizedAttribute(AccessibilityParameterizedAttribute::stringForRange, *value);
    const std::optional<QString> raw = text.as<QString>();
    if (!raw || !raw->contains(QChar(embeddedObjectCharacter))) return text;
    int budget = embeddedObjectLimit;
    return AccessibilityReply::ok(expandEmbeddedObjects(*raw, value->location, deadline, 1, budget));
}

QString AtspiElement::expandEmbeddedObjects(const QString& text, qint64 start, Deadline deadline, int depth,
                                            int& budget) {
    QString result;
    bool afterObject = false;  // the last piece added is an object's text
    qint64 offset = start;     // in characters (code points), as the object counts them
    for (qsizetype index = 0; index < text.size() && result.size() < expandedTextLimit; ++offset) {
        const qsizetype width =
            text[index].isHighSurrogate() && index + 1 < text.size() && text[index + 1].isLowSurrogate() ? 2 : 1;
        if (text[index] != QChar(embeddedObjectCharacter)) {
            result += QStringView(text).mid(index, width);
            afterObject = false;
            index += width;
            continue;
        }
        index += width;
        if (depth > embeddedObjectDepth || budget <= 0 || Clock::now() >= deadline) continue;
        --budget;
        const std::shared_ptr<AtspiElement> object = embeddedObject(offset, deadline);
        if (!object) continue;
        // A password field inside the selection (a web form's) gives nothing of its text; an object
        // whose role cannot be had is left out the same way.
        const std::optional<QString> objectRole = object->role(deadline).as<QString>();
        if (!objectRole || *objectRole == secureTextFieldRole) continue;
        const auto range = object->selectedTextRange(deadline).as<AccessibilityRange>();
        if (!range || range->length <= 0) continue;
        const QDBusMessage reply =
            system_.call(object->service_, object->path_, textInterface, QStringLiteral("GetText"),
                         {int(range->location), int(range->location + range->length)}, deadline);
        if (failed(reply)) continue;
        QString inner = firstArgument(reply).toString();
        if (inner.contains(QChar(embeddedObjectCharacter)))
            inner = object->expandEmbeddedObjects(inner, range->location, deadline, depth + 1, budget);
        if (inner.isEmpty()) continue;
        // Objects next to each other are blocks (paragraphs): one per line.
        if (afterObject) result += QLatin1Char('\n');
        result += inner;
        afterObject = true;
    }
    return result;
}

std::shared_ptr<AtspiElement> AtspiElement::embeddedObject(qint64 offset, Deadline deadline) {
    if (implements(hypertextInterface, deadline) != true) return nullptr;
    const QDBusMessage index =
        system_.call(service_, path_, hypertextInterface, QStringLiteral("GetLinkIndex"), {int(offset)}, deadline);
    if (failed(index) || firstArgument(index).toInt() < 0) return nullptr;
    const QDBusMessage link = system_.call(service_, path_, hypertextInterface, QStringLiteral("GetLink"),
                                           {firstArgument(index).toInt()}, deadline);
    const auto linkObject = failed(link) ? std::nullopt : referenceOf(firstArgument(link));
    if (!linkObject) return nullptr;
    const QDBusMessage target = system_.call(linkObject->first, linkObject->second, hyperlinkInterface,
                                             QStringLiteral("GetObject"), {0}, deadline);
    const auto object = failed(target) ? std::nullopt : referenceOf(firstArgument(target));
    // Only objects of the same application stand for its text.
    if (!object || object->first != service_) return nullptr;
    return std::make_shared<AtspiElement>(system_, object->first, object->second);
}

std::optional<bool> AtspiElement::implements(const QString& interface, Deadline deadline) {
    if (!interfaces_) {
        const QDBusMessage reply =
            system_.call(service_, path_, accessibleInterface, QStringLiteral("GetInterfaces"), {}, deadline);
        if (failed(reply)) return std::nullopt;
        const QVariant value = firstArgument(reply);
        QStringList names;
        if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            const QDBusArgument argument = value.value<QDBusArgument>();
            if (!hasSignature(argument, QLatin1StringView("as"))) return std::nullopt;
            argument >> names;
        } else if (value.userType() == QMetaType::QStringList) {
            names = value.toStringList();
        } else {
            return std::nullopt;
        }
        interfaces_ = names;
    }
    return interfaces_->contains(interface);
}

AccessibilityReply AtspiElement::selectedChildren(Deadline deadline) {
    // Toolkits complain (GTK prints a critical warning) when an object without the interface is
    // asked for its selected children.
    if (implements(selectionInterface, deadline) != true)
        return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
    const QDBusMessage count =
        system_.property(service_, path_, selectionInterface, QStringLiteral("NSelectedChildren"), deadline);
    if (failed(count)) return AccessibilityReply::failed(accessibilityErrorOf(count));
    const int selected = std::min(firstArgument(count).toInt(), selectedChildrenLimit);
    AccessibilityElementList list;
    for (int index = 0; index < selected; ++index) {
        const QDBusMessage reply =
            system_.call(service_, path_, selectionInterface, QStringLiteral("GetSelectedChild"), {index}, deadline);
        if (failed(reply)) break;
        if (const auto child = referenceOf(firstArgument(reply)))
            list.append(std::make_shared<AtspiElement>(system_, child->first, child->second));
    }
    return AccessibilityReply::ok(list);
}

QList<std::pair<QString, QString>> AtspiElement::windows(Deadline deadline, int& error) {
    if (!childrenReply_ || failed(*childrenReply_))
        childrenReply_ =
            system_.call(service_, path_, accessibleInterface, QStringLiteral("GetChildren"), {}, deadline);
    return childrenIn(*childrenReply_, &error).mid(0, windowLimit);
}

AccessibilityReply AtspiElement::activeWindow(Deadline deadline) {
    if (activeWindow_) return AccessibilityReply::ok(AccessibilityElementPtr(activeWindow_));
    int error = 0;
    const auto windows = this->windows(deadline, error);
    if (error) return AccessibilityReply::failed(error);
    QList<QDBusMessage> requests;
    for (const auto& window : windows) requests.append(stateRequest(window));
    const QList<QDBusMessage> states = system_.callAll(requests, deadline);
    for (qsizetype index = 0; index < windows.size(); ++index) {
        const std::optional<quint64> state = statesIn(states[index]);
        if (!state || !has(*state, ATSPI_STATE_ACTIVE)) continue;
        activeWindow_ = std::make_shared<AtspiElement>(system_, windows[index].first, windows[index].second);
        return AccessibilityReply::ok(AccessibilityElementPtr(activeWindow_));
    }
    return AccessibilityReply::failed(accessibility_error::noValue);
}

// The focused elements below this one, in the order of the tree, found by the application itself
// in one call where its bridge offers the Collection interface (GTK's, Chromium's and LibreOffice's
// do): a walk over the bus stops long before the fields of a page or a document. Nothing when it
// cannot be asked.
std::optional<QList<std::pair<QString, QString>>> AtspiElement::focusedMatches(Deadline deadline) {
    if (implements(collectionInterface, deadline) != true) return std::nullopt;
    // The rule: every element whose states include the focused one, whatever its attributes, role
    // and interfaces.
    QDBusArgument rule;
    rule.beginStructure();
    rule << QList<int>{int(1U << ATSPI_STATE_FOCUSED), 0} << int(ATSPI_Collection_MATCH_ALL) << QMap<QString, QString>()
         << int(ATSPI_Collection_MATCH_NONE) << QList<int>() << int(ATSPI_Collection_MATCH_NONE) << QStringList()
         << int(ATSPI_Collection_MATCH_NONE) << false;
    rule.endStructure();
    const QDBusMessage reply =
        system_.call(service_, path_, collectionInterface, QStringLiteral("GetMatches"),
                     {QVariant::fromValue(rule), uint(ATSPI_Collection_SORT_ORDER_CANONICAL), 0, true}, deadline);
    if (failed(reply)) return std::nullopt;
    return referencesOf(firstArgument(reply));
}

// AT-SPI has no focused-element query: the focused element is looked for below the active window
// (below this element, when it is not an application): by the application where it can search
// itself, else breadth first over the bus, within the time-out and at most `searchLimit` elements.
// The deepest focused element found wins. The states and children of one level are asked for at once.
// The search goes below elements that are shown first, then below those that are visible but not
// shown: GTK 4 marks only its windows as shown, and its entries hold the keyboard below them. A
// focused element that is shown wins over one that is not.
AccessibilityReply AtspiElement::focusedDescendant(Deadline deadline) {
    if (focused_) return AccessibilityReply::ok(AccessibilityElementPtr(focused_));
    const auto matched = [this](const std::optional<QList<std::pair<QString, QString>>>& matches) {
        if (!matches || matches->isEmpty()) return false;
        // In the order of the tree a focused element comes after the focused elements that hold it.
        focused_ = std::make_shared<AtspiElement>(system_, matches->last().first, matches->last().second);
        return true;
    };
    if (kind_ == Kind::application) {
        const AccessibilityReply window = activeWindow(deadline);
        const auto element = std::dynamic_pointer_cast<AtspiElement>(window.element());
        // Chromium at times marks none of its windows active; its own search still finds the focused
        // elements, one in each window. The one that matters most is a password field.
        if (!element) {
            std::optional<QList<std::pair<QString, QString>>> matches = focusedMatches(deadline);
            if (matches && matches->size() > 1) {
                QList<QDBusMessage> requests;
                for (const auto& match : *matches)
                    requests.append(request(match, accessibleInterface, QStringLiteral("GetRole")));
                const QList<QDBusMessage> roles = system_.callAll(requests, deadline);
                for (qsizetype index = 0; index < roles.size(); ++index)
                    if (!failed(roles[index]) && firstArgument(roles[index]).toUInt() == ATSPI_ROLE_PASSWORD_TEXT)
                        matches = QList<std::pair<QString, QString>>{matches->at(index)};
            }
            return matched(matches) ? AccessibilityReply::ok(AccessibilityElementPtr(focused_)) : window;
        }
        const AccessibilityReply found = element->focusedDescendant(deadline);
        focused_ = element->focused_;
        return found;
    }
    if (matched(focusedMatches(deadline))) return AccessibilityReply::ok(AccessibilityElementPtr(focused_));
    std::optional<std::pair<QString, QString>> focused, focusedUnshown;
    const std::pair<QString, QString> start{service_, path_};
    QList<std::pair<QString, QString>> level{start};
    int looked = 0;
    while (!level.isEmpty() && looked < searchLimit && Clock::now() < deadline) {
        level = level.mid(0, searchLimit - looked);
        looked += int(level.size());
        QList<QDBusMessage> requests;
        for (const auto& element : level) requests << stateRequest(element) << childrenRequest(element);
        const QList<QDBusMessage> replies = system_.callAll(requests, deadline);
        QList<std::pair<QString, QString>> next, belowUnshown;
        for (qsizetype index = 0; index < level.size(); ++index) {
            const std::optional<quint64> states = statesIn(replies[2 * index]);
            if (!states) continue;
            const bool shown = has(*states, ATSPI_STATE_SHOWING) || level[index] == start;
            if (has(*states, ATSPI_STATE_FOCUSED)) (shown ? focused : focusedUnshown) = level[index];
            if (shown)
                next.append(childrenIn(replies[2 * index + 1]));
            else if (has(*states, ATSPI_STATE_VISIBLE))
                belowUnshown.append(childrenIn(replies[2 * index + 1]));
        }
        level = std::move(next) + std::move(belowUnshown);
    }
    if (!focused) focused = focusedUnshown;
    if (!focused)
        return AccessibilityReply::failed(Clock::now() < deadline ? accessibility_error::noValue
                                                                  : accessibility_error::timedOut);
    focused_ = std::make_shared<AtspiElement>(system_, focused->first, focused->second);
    return AccessibilityReply::ok(AccessibilityElementPtr(focused_));
}

AccessibilityReply AtspiElement::focusedApplication(Deadline deadline) {
    for (const auto& [service, path] : system_.applications(deadline)) {
        AtspiElement application(system_, service, path, Kind::application);
        if (application.activeWindow(deadline).element())
            return AccessibilityReply::ok(
                AccessibilityElementPtr(std::make_shared<AtspiElement>(system_, service, path, Kind::application)));
        if (Clock::now() >= deadline) return AccessibilityReply::failed(accessibility_error::timedOut);
    }
    return AccessibilityReply::failed(accessibility_error::noValue);
}

namespace {

// The box of a reply to GetExtents.
std::optional<QRect> boxIn(const QDBusMessage& reply) {
    if (failed(reply)) return std::nullopt;
    const QVariant value = firstArgument(reply);
    if (value.userType() != qMetaTypeId<QDBusArgument>()) return std::nullopt;
    const QDBusArgument box = value.value<QDBusArgument>();
    if (!hasSignature(box, QLatin1StringView("(iiii)"))) return std::nullopt;
    int left = 0, top = 0, width = 0, height = 0;
    box.beginStructure();
    box >> left >> top >> width >> height;
    box.endStructure();
    return QRect(left, top, width, height);
}

QDBusMessage extentsRequest(const std::pair<QString, QString>& object, uint coordinates) {
    return request(object, componentInterface, QStringLiteral("GetExtents"), {coordinates});
}

}  // namespace

// The deepest element under a point, descending from the application's showing windows. Where an
// element does not name its child there (GTK 4 names none over a widget it keeps off the bus, such
// as a password entry's text), the child is the last of its first children whose box holds the point.
// A toolkit that gives its elements' places from its window's corner whatever is asked (GTK 4) tells
// that its window is at 0,0 wherever it is: where the program's window under the point shows a
// content of that size elsewhere on the screen, the point is asked in that window's own coordinates.
AccessibilityReply AtspiElement::elementAtPosition(float x, float y) {
    const Deadline deadline = deadlineFromNow();
    if (kind_ != Kind::application) return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
    int error = 0;
    const auto windows = this->windows(deadline, error);
    if (error) return AccessibilityReply::failed(error);
    QList<QDBusMessage> requests;
    for (const auto& window : windows) requests.append(extentsRequest(window, ATSPI_COORD_TYPE_SCREEN));
    const QList<QDBusMessage> boxes = system_.callAll(requests, deadline);
    std::optional<QRect> content;  // of the program's X11 window under the point, asked once
    bool contentAsked = false;
    for (qsizetype index = 0; index < windows.size(); ++index) {
        const std::optional<QRect> box = boxIn(boxes[index]);
        if (!box) continue;
        QPoint point{int(x), int(y)};
        uint coordinates = ATSPI_COORD_TYPE_SCREEN;
        if (box->topLeft() == QPoint(0, 0)) {
            if (!std::exchange(contentAsked, true))
                if (const std::optional<qint32> process = processIdentifier())
                    content = x11::contentAreaAt(*process, point);
            if (content && content->topLeft() != QPoint(0, 0) && content->size() == box->size()) {
                point -= content->topLeft();
                coordinates = ATSPI_COORD_TYPE_WINDOW;
            }
        }
        if (!box->contains(point)) continue;
        std::pair<QString, QString> current = windows[index];
        for (int depth = 0; depth < searchLimit && Clock::now() < deadline; ++depth) {
            const QDBusMessage reply =
                system_.call(current.first, current.second, componentInterface, QStringLiteral("GetAccessibleAtPoint"),
                             {point.x(), point.y(), coordinates}, deadline);
            std::optional<std::pair<QString, QString>> child =
                failed(reply) ? std::nullopt : referenceOf(firstArgument(reply));
            if (!child || *child == current) {
                const auto children = childrenOf(system_, current.first, current.second, deadline).mid(0, searchLimit);
                QList<QDBusMessage> asked;
                for (const auto& candidate : children) asked.append(extentsRequest(candidate, coordinates));
                const QList<QDBusMessage> places = system_.callAll(asked, deadline);
                child.reset();
                for (qsizetype at = 0; at < children.size(); ++at)
                    if (const std::optional<QRect> place = boxIn(places[at]); place && place->contains(point))
                        child = children[at];
            }
            if (!child || *child == current) break;
            current = *child;
        }
        return AccessibilityReply::ok(
            AccessibilityElementPtr(std::make_shared<AtspiElement>(system_, current.first, current.second)));
    }
    return AccessibilityReply::failed(Clock::now() < deadline ? accessibility_error::noValue
                                                              : accessibility_error::timedOut);
}

}  // namespace halvern
