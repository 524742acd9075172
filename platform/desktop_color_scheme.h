#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariant>

#include <optional>

class QDBusServiceWatcher;
class QDBusVariant;

namespace halvern {

// A colour scheme: what the desktop prefers, and what the application shows.
enum class ColorScheme { light, dark };

// Reads the desktop's colour-scheme preference through the desktop portal
// (org.freedesktop.portal.Settings, "org.freedesktop.appearance" "color-scheme") and follows its
// changes. Without a session bus or a portal the desktop counts as light. A portal that starts
// later (or restarts) is asked again when it appears; while it is gone the last value stays.
class DesktopColorScheme : public QObject {
    Q_OBJECT
public:
    // Over the session bus.
    explicit DesktopColorScheme(QObject* parent = nullptr);
    // Over another bus connection (tests use a private bus).
    explicit DesktopColorScheme(const QDBusConnection& bus, QObject* parent = nullptr);

    ColorScheme scheme() const { return scheme_; }
    // Asks the portal once (waiting at most a second, and only when it is running), subscribes to
    // its changes and watches for it to appear; later calls do nothing.
    void start();

    // The portal's value: 1 prefers dark; 0 (no preference), 2 (prefers light) and any other
    // number count as light, and so does a value that is not an integer. Nested variants, as the
    // older Read method returns them, are unwrapped.
    static ColorScheme schemeFromPortalValue(const QVariant& value);

Q_SIGNALS:
    void schemeChanged(halvern::ColorScheme scheme);

private Q_SLOTS:
    void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void setScheme(ColorScheme scheme);
    // A value that is no integer is ignored: the scheme stays as it was.
    void takePortalValue(const QVariant& value);
    void readWithoutWaiting(const QString& method);

    std::optional<QDBusConnection> bus_;  // none: the session bus, looked up by `start`
    QDBusServiceWatcher* portalWatcher_ = nullptr;
    quint64 readGeneration_ = 0;
    ColorScheme scheme_ = ColorScheme::light;
    bool started_ = false;
};

}  // namespace halvern
