#include "platform/atspi_element.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMutexLocker>
#include <QRectF>

#include <atspi/atspi-constants.h>

namespace halvern {

namespace {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString textInterface = QStringLiteral("org.a11y.atspi.Text");
const QString selectionInterface = QStringLiteral("org.a11y.atspi.Selection");
const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
const QString registryService = QStringLiteral("org.a11y.atspi.Registry");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");

// Elements looked at by one search for the focused element or the element under a point.
constexpr int searchLimit = 80;
// Windows of one application looked at for the active one.
constexpr int windowLimit = 16;
// Selected children fetched of one element: the reader never takes more.
constexpr int selectedChildrenLimit = 8;

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

// The state set (two 32-bit words) of an object.
std::optional<quint64> statesOf(AtspiSystem& system, const QString& service, const QString& path, Deadline deadline) {
    const QDBusMessage reply = system.call(service, path, accessibleInterface, QStringLiteral("GetState"), {}, deadline);
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

QList<std::pair<QString, QString>> childrenOf(AtspiSystem& system, const QString& service, const QString& path,
                                              Deadline deadline, int* error = nullptr) {
    const QDBusMessage reply =
        system.call(service, path, accessibleInterface, QStringLiteral("GetChildren"), {}, deadline);
    if (error) *error = accessibilityErrorOf(reply);
    if (failed(reply)) return {};
    return referencesOf(firstArgument(reply));
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
    QDBusMessage request = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
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
    const QDBusMessage reply = call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                    QStringLiteral("org.freedesktop.DBus"),
                                    QStringLiteral("GetConnectionUnixProcessID"), {service}, deadline);
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
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    request.setArguments({QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(request, QDBus::Block, 500);
    return !failed(reply) && firstArgument(reply).toBool();
}

bool AtspiSystem::requestTrust() {
    // The desktop keeps the switch; turning it on is the whole of the request.
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Set"));
    request.setArguments({QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                          QVariant::fromValue(QDBusVariant(true))});
    QDBusConnection::sessionBus().call(request, QDBus::Block, 500);
    return isProcessTrusted();
}

AccessibilityElementPtr AtspiSystem::applicationElement(qint32 processIdentifier) {
    const Deadline deadline = Clock::now() + std::chrono::milliseconds(120);
    for (const auto& [service, path] : applications(deadline)) {
        const std::optional<qint32> pid = processOf(service, deadline);
        if (pid && *pid == processIdentifier)
            return std::make_shared<AtspiElement>(*this, service, path, AtspiElement::Kind::application);
    }
    // Not on the bus: every request to it fails.
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
    case AccessibilityAttribute::role: {
        const QDBusMessage reply =
            system_.call(service_, path_, accessibleInterface, QStringLiteral("GetRole"), {}, deadline);
        if (failed(reply)) return AccessibilityReply::failed(accessibilityErrorOf(reply));
        const uint role = firstArgument(reply).toUInt();
        // A password field is the one role the reader looks for.
        if (role == ATSPI_ROLE_PASSWORD_TEXT) return AccessibilityReply::ok(secureTextFieldRole);
        return AccessibilityReply::ok(QStringLiteral("atspi-role-%1").arg(role));
    }
    case AccessibilityAttribute::subrole:
        return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
    case AccessibilityAttribute::parent: {
        const QDBusMessage reply = system_.property(service_, path_, accessibleInterface, QStringLiteral("Parent"), deadline);
        if (failed(reply)) return AccessibilityReply::failed(accessibilityErrorOf(reply));
        const auto parent = referenceOf(firstArgument(reply));
        if (!parent) return AccessibilityReply::failed(accessibility_error::noValue);
        return AccessibilityReply::ok(AccessibilityElementPtr(
            std::make_shared<AtspiElement>(system_, parent->first, parent->second)));
    }
    case AccessibilityAttribute::children: {
        int error = 0;
        const auto children = childrenOf(system_, service_, path_, deadline, &error);
        if (error) return AccessibilityReply::failed(error);
        AccessibilityElementList list;
        for (const auto& [service, path] : children) list.append(std::make_shared<AtspiElement>(system_, service, path));
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

AccessibilityReply AtspiElement::selectedTextRange(Deadline deadline) {
    const QDBusMessage count = system_.call(service_, path_, textInterface, QStringLiteral("GetNSelections"), {}, deadline);
    if (failed(count)) return AccessibilityReply::failed(accessibilityErrorOf(count));
    if (firstArgument(count).toInt() <= 0) return AccessibilityReply::ok(AccessibilityRange{0, 0});
    const QDBusMessage reply = system_.call(service_, path_, textInterface, QStringLiteral("GetSelection"), {0}, deadline);
    if (failed(reply) || reply.arguments().size() < 2) return AccessibilityReply::failed(accessibilityErrorOf(reply));
    const qint64 start = reply.arguments()[0].toInt();
    const qint64 end = reply.arguments()[1].toInt();
    return AccessibilityReply::ok(AccessibilityRange{std::min(start, end), std::abs(end - start)});
}

AccessibilityReply AtspiElement::selectedText(Deadline deadline) {
    const AccessibilityReply range = selectedTextRange(deadline);
    const auto value = range.as<AccessibilityRange>();
    if (!value) return range;
    if (value->length == 0) return AccessibilityReply::ok(QString());
    return parameterizedAttribute(AccessibilityParameterizedAttribute::stringForRange, *value);
}

AccessibilityReply AtspiElement::selectedChildren(Deadline deadline) {
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

AccessibilityReply AtspiElement::activeWindow(Deadline deadline) {
    int error = 0;
    const auto windows = childrenOf(system_, service_, path_, deadline, &error);
    if (error) return AccessibilityReply::failed(error);
    for (const auto& [service, path] : windows.mid(0, windowLimit)) {
        const std::optional<quint64> states = statesOf(system_, service, path, deadline);
        if (states && has(*states, ATSPI_STATE_ACTIVE))
            return AccessibilityReply::ok(AccessibilityElementPtr(std::make_shared<AtspiElement>(system_, service, path)));
    }
    return AccessibilityReply::failed(accessibility_error::noValue);
}

// AT-SPI has no focused-element query: the focused element is looked for breadth first below the
// active window (below this element, when it is not an application), within the time-out and
// at most `searchLimit` elements; the deepest focused element found wins.
AccessibilityReply AtspiElement::focusedDescendant(Deadline deadline) {
    std::pair<QString, QString> start{service_, path_};
    if (kind_ == Kind::application) {
        const AccessibilityReply window = activeWindow(deadline);
        const auto element = std::dynamic_pointer_cast<AtspiElement>(window.element());
        if (!element) return window;
        start = {element->service_, element->path_};
    }
    QList<std::pair<QString, QString>> queue{start};
    std::optional<std::pair<QString, QString>> focused;
    int looked = 0;
    while (!queue.isEmpty() && looked < searchLimit && Clock::now() < deadline) {
        const auto current = queue.takeFirst();
        ++looked;
        const std::optional<quint64> states = statesOf(system_, current.first, current.second, deadline);
        if (!states) continue;
        if (has(*states, ATSPI_STATE_FOCUSED)) focused = current;
        if (!has(*states, ATSPI_STATE_SHOWING) && current != start) continue;
        queue.append(childrenOf(system_, current.first, current.second, deadline));
    }
    if (!focused) return AccessibilityReply::failed(Clock::now() < deadline ? accessibility_error::noValue
                                                                             : accessibility_error::timedOut);
    return AccessibilityReply::ok(
        AccessibilityElementPtr(std::make_shared<AtspiElement>(system_, focused->first, focused->second)));
}

AccessibilityReply AtspiElement::focusedApplication(Deadline deadline) {
    for (const auto& [service, path] : system_.applications(deadline)) {
        AtspiElement application(system_, service, path, Kind::application);
        if (application.activeWindow(deadline).element())
            return AccessibilityReply::ok(AccessibilityElementPtr(
                std::make_shared<AtspiElement>(system_, service, path, Kind::application)));
        if (Clock::now() >= deadline) return AccessibilityReply::failed(accessibility_error::timedOut);
    }
    return AccessibilityReply::failed(accessibility_error::noValue);
}

// The deepest element under a point, descending from the application's showing windows.
AccessibilityReply AtspiElement::elementAtPosition(float x, float y) {
    const Deadline deadline = deadlineFromNow();
    if (kind_ != Kind::application) return AccessibilityReply::failed(accessibility_error::attributeUnsupported);
    int error = 0;
    const auto windows = childrenOf(system_, service_, path_, deadline, &error);
    if (error) return AccessibilityReply::failed(error);
    for (const auto& window : windows.mid(0, windowLimit)) {
        const QDBusMessage extents = system_.call(window.first, window.second, componentInterface,
                                                  QStringLiteral("GetExtents"), {uint(ATSPI_COORD_TYPE_SCREEN)}, deadline);
        if (failed(extents)) continue;
        int left = 0, top = 0, width = 0, height = 0;
        const QVariant boxValue = firstArgument(extents);
        if (boxValue.userType() != qMetaTypeId<QDBusArgument>()) continue;
        const QDBusArgument box = boxValue.value<QDBusArgument>();
        if (!hasSignature(box, QLatin1StringView("(iiii)"))) continue;
        box.beginStructure();
        box >> left >> top >> width >> height;
        box.endStructure();
        if (!QRectF(left, top, width, height).contains(x, y)) continue;
        std::pair<QString, QString> current = window;
        for (int depth = 0; depth < searchLimit; ++depth) {
            const QDBusMessage reply =
                system_.call(current.first, current.second, componentInterface, QStringLiteral("GetAccessibleAtPoint"),
                             {int(x), int(y), uint(ATSPI_COORD_TYPE_SCREEN)}, deadline);
            if (failed(reply)) break;
            const auto child = referenceOf(firstArgument(reply));
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
