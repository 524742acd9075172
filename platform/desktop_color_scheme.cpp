#include "platform/desktop_color_scheme.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace halvern {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kColorSchemeKey = QStringLiteral("color-scheme");
// A portal that does not answer quickly is treated as absent: start-up must not hang on it.
constexpr int kPortalTimeoutMs = 1000;

QVariant unwrap(QVariant value) {
    for (int depth = 0; depth < 4; ++depth) {
        if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
            value = value.value<QDBusVariant>().variant();
        } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
            const auto argument = value.value<QDBusArgument>();
            if (argument.currentType() != QDBusArgument::VariantType) break;
            QDBusVariant inner;
            argument >> inner;
            value = inner.variant();
        } else {
            break;
        }
    }
    return value;
}

// The portal sends an unsigned 32-bit integer; any integer type is taken, nothing else (a text,
// a truth value or a number with a fraction is no colour scheme).
std::optional<ColorScheme> parsePortalValue(const QVariant& value) {
    const QVariant plain = unwrap(value);
    switch (plain.metaType().id()) {
    case QMetaType::UInt:
    case QMetaType::Int:
    case QMetaType::UShort:
    case QMetaType::Short:
    case QMetaType::UChar:
    case QMetaType::SChar:
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::Long:
        return plain.toLongLong() == 1 ? ColorScheme::dark : ColorScheme::light;
    default:
        return std::nullopt;
    }
}

QDBusMessage readCall(const QString& method) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface, method);
    call << kAppearanceNamespace << kColorSchemeKey;
    // A portal that is not running is not started for this: it is picked up when it appears.
    call.setAutoStartService(false);
    return call;
}

bool isUnknownMethod(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ErrorMessage
        && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod");
}

}  // namespace

DesktopColorScheme::DesktopColorScheme(QObject* parent) : QObject(parent) {}

DesktopColorScheme::DesktopColorScheme(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {}

ColorScheme DesktopColorScheme::schemeFromPortalValue(const QVariant& value) {
    return parsePortalValue(value).value_or(ColorScheme::light);
}

void DesktopColorScheme::start() {
    if (started_) return;
    started_ = true;
    if (!bus_) bus_ = QDBusConnection::sessionBus();
    QDBusConnection& bus = *bus_;
    if (!bus.isConnected()) return;

    // Changes, from whichever process owns the portal's name now or later.
    // The slot's argument types are looked up by name: QDBusVariant must be known by then, or
    // the subscription fails without a word.
    qRegisterMetaType<QDBusVariant>();
    bus.connect(kPortalService, kPortalPath, kSettingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    // A portal that starts after us, or restarts, is asked again without blocking.
    portalWatcher_ = new QDBusServiceWatcher(kPortalService, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(portalWatcher_, &QDBusServiceWatcher::serviceRegistered, this,
            [this] { readWithoutWaiting(QStringLiteral("ReadOne")); });

    // The first value is awaited briefly, so the first window already shows it. ReadOne is the
    // current method; older portals only have Read, which wraps the value twice. A portal that
    // does not answer in time is not asked a second time.
    ++readGeneration_;
    QDBusMessage reply = bus.call(readCall(QStringLiteral("ReadOne")), QDBus::Block, kPortalTimeoutMs);
    if (isUnknownMethod(reply)) reply = bus.call(readCall(QStringLiteral("Read")), QDBus::Block, kPortalTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        takePortalValue(reply.arguments().constFirst());
}

void DesktopColorScheme::readWithoutWaiting(const QString& method) {
    if (!bus_ || !bus_->isConnected()) return;
    const quint64 generation = ++readGeneration_;
    auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(readCall(method), kPortalTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, generation, method] {
        watcher->deleteLater();
        // Only the latest read counts; an older answer may predate a change.
        if (generation != readGeneration_) return;
        const QDBusMessage reply = watcher->reply();
        if (isUnknownMethod(reply) && method != QLatin1String("Read")) {
            readWithoutWaiting(QStringLiteral("Read"));
            return;
        }
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            takePortalValue(reply.arguments().constFirst());
    });
}

void DesktopColorScheme::settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value) {
    if (nameSpace != kAppearanceNamespace || key != kColorSchemeKey) return;
    takePortalValue(value.variant());
}

void DesktopColorScheme::takePortalValue(const QVariant& value) {
    if (const auto scheme = parsePortalValue(value)) setScheme(*scheme);
}

void DesktopColorScheme::setScheme(ColorScheme scheme) {
    if (scheme_ == scheme) return;
    scheme_ = scheme;
    Q_EMIT schemeChanged(scheme);
}

}  // namespace halvern
