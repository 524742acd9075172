// The desktop's colour-scheme preference read from the settings portal, over a private message bus.
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/desktop_color_scheme.h"

namespace halvern {
namespace {

TEST(DesktopColorScheme, ReadsThePortalValue) {
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant::fromValue(1u)), ColorScheme::dark);
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant::fromValue(0u)), ColorScheme::light);
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant::fromValue(2u)), ColorScheme::light);
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant()), ColorScheme::light);
    // The older Read method wraps the value in a variant of a variant.
    const QVariant nested = QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant::fromValue(1u)))));
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(nested), ColorScheme::dark);
}

TEST(DesktopColorScheme, TakesOnlyIntegersAsThePortalValue) {
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant::fromValue(1)), ColorScheme::dark);
    // Texts, truth values and fractions are no colour scheme.
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant(QStringLiteral("1"))), ColorScheme::light);
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant(true)), ColorScheme::light);
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant(1.4)), ColorScheme::light);
    EXPECT_EQ(DesktopColorScheme::schemeFromPortalValue(QVariant::fromValue(QDBusVariant(QVariant(true)))),
              ColorScheme::light);
}

const QString kPortalName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInterface = QStringLiteral("org.freedesktop.portal.Settings");

// A stand-in for the desktop portal's settings interface, served from a thread of its own so that
// a blocking call from the main thread gets its answer.
class FakePortalSettings : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    std::atomic<int> readOneCalls{0};
    std::atomic<int> readCalls{0};
    std::atomic<bool> hasReadOne{true};
    std::atomic<bool> hangs{false};

    void setValue(const QVariant& value) {
        QMutexLocker lock(&mutex_);
        value_ = value;
    }

public Q_SLOTS:
    QDBusVariant ReadOne(const QString& nameSpace, const QString& key) {
        ++readOneCalls;
        if (!hasReadOne) {
            sendErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method"));
            return {};
        }
        return answer(nameSpace, key, false);
    }
    QDBusVariant Read(const QString& nameSpace, const QString& key) {
        ++readCalls;
        return answer(nameSpace, key, true);
    }

private:
    QDBusVariant answer(const QString& nameSpace, const QString& key, bool wrapTwice) {
        if (hangs) {
            setDelayedReply(true);  // never answered
            return {};
        }
        if (nameSpace != QLatin1String("org.freedesktop.appearance") || key != QLatin1String("color-scheme")) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("no such key"));
            return {};
        }
        QMutexLocker lock(&mutex_);
        return wrapTwice ? QDBusVariant(QVariant::fromValue(QDBusVariant(value_))) : QDBusVariant(value_);
    }

    QMutex mutex_;
    QVariant value_ = QVariant::fromValue(0u);
};

// A private message bus with a portal that can appear, change its setting and vanish.
class PortalBus : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
        daemon_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForStarted(5000));
        QByteArray address;
        while (!address.contains('\n') && daemon_.waitForReadyRead(5000)) address += daemon_.readAllStandardOutput();
        address = address.trimmed();
        ASSERT_FALSE(address.isEmpty());
        client_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(QString::fromUtf8(address), kClientName));
        portalBus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(QString::fromUtf8(address), kPortalName + "-test"));
        ASSERT_TRUE(client_->isConnected());
        ASSERT_TRUE(portalBus_->isConnected());
        portal_ = new FakePortalSettings();
        portalThread_.start();
        portal_->moveToThread(&portalThread_);
        ASSERT_TRUE(portalBus_->registerObject(kPortalPath, portal_, QDBusConnection::ExportAllSlots));
    }
    void TearDown() override {
        if (portalBus_) portalBus_->unregisterObject(kPortalPath);
        if (portal_) portal_->deleteLater();
        portalThread_.quit();
        portalThread_.wait();
        client_.reset();
        portalBus_.reset();
        QDBusConnection::disconnectFromBus(kClientName);
        QDBusConnection::disconnectFromBus(kPortalName + "-test");
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            daemon_.waitForFinished(5000);
        }
    }
    bool appear() { return portalBus_->registerService(kPortalName); }
    bool vanish() { return portalBus_->unregisterService(kPortalName); }
    void emitChange(const QVariant& value) {
        QDBusMessage signal = QDBusMessage::createSignal(kPortalPath, kPortalInterface, QStringLiteral("SettingChanged"));
        signal << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
               << QVariant::fromValue(QDBusVariant(value));
        ASSERT_TRUE(portalBus_->send(signal));
    }

    const QString kClientName = QStringLiteral("orvel-appearance-test-client");
    QProcess daemon_;
    std::unique_ptr<QDBusConnection> client_;
    std::unique_ptr<QDBusConnection> portalBus_;
    FakePortalSettings* portal_ = nullptr;
    QThread portalThread_;
};

TEST_F(PortalBus, FollowsAPortalThatAppearsLaterChangesAndComesBack) {
    DesktopColorScheme desktop(*client_);
    QSignalSpy changes(&desktop, &DesktopColorScheme::schemeChanged);
    desktop.start();
    EXPECT_EQ(desktop.scheme(), ColorScheme::light);
    EXPECT_EQ(portal_->readOneCalls, 0);

    // The portal starts after the application: it is asked once it appears.
    portal_->setValue(QVariant::fromValue(1u));
    ASSERT_TRUE(appear());
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(desktop.scheme(), ColorScheme::dark);
    EXPECT_EQ(changes.count(), 1);

    emitChange(QVariant::fromValue(0u));
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(desktop.scheme(), ColorScheme::light);

    // Gone, the last value stays; back with another value, it is asked again.
    ASSERT_TRUE(vanish());
    portal_->setValue(QVariant::fromValue(1u));
    ASSERT_TRUE(appear());
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(desktop.scheme(), ColorScheme::dark);
    EXPECT_EQ(changes.count(), 3);
}

TEST_F(PortalBus, IgnoresValuesOfAnotherShapeAndFallsBackToTheOlderMethod) {
    ASSERT_TRUE(appear());
    portal_->setValue(QVariant(true));
    DesktopColorScheme desktop(*client_);
    QSignalSpy changes(&desktop, &DesktopColorScheme::schemeChanged);
    desktop.start();
    EXPECT_EQ(desktop.scheme(), ColorScheme::light);

    // A change of another shape leaves the scheme alone; the next proper one counts.
    emitChange(QVariant(QStringLiteral("1")));
    emitChange(QVariant::fromValue(1u));
    ASSERT_TRUE(changes.wait(5000));
    EXPECT_EQ(desktop.scheme(), ColorScheme::dark);
    EXPECT_EQ(changes.count(), 1);

    // An older portal without ReadOne answers through Read, with the value wrapped twice.
    portal_->hasReadOne = false;
    portal_->setValue(QVariant::fromValue(1u));
    DesktopColorScheme older(*client_);
    older.start();
    EXPECT_EQ(older.scheme(), ColorScheme::dark);
    EXPECT_EQ(portal_->readCalls, 1);
}

TEST_F(PortalBus, APortalThatDoesNotAnswerIsAskedOnlyOnce) {
    ASSERT_TRUE(appear());
    portal_->hangs = true;
    DesktopColorScheme desktop(*client_);
    desktop.start();
    EXPECT_EQ(desktop.scheme(), ColorScheme::light);
    EXPECT_EQ(portal_->readOneCalls, 1);
    EXPECT_EQ(portal_->readCalls, 0);
}

}  // namespace
}  // namespace halvern

#include "desktop_color_scheme_test.moc"
