#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"

namespace velquin {
namespace {

const QString kLanguageKey = QStringLiteral("orvelInterfaceLanguage");
const QString kAppearanceKey = QStringLiteral("orvelAppearanceMode");
const QString kMigrationKey = QStringLiteral("orvelInterfaceLocaleMigrationRC56");

class InterfaceSettingsTest : public ::testing::Test {
protected:
    void TearDown() override {
        setPreferredLanguagesSource({});
        ApplicationAppearance::shared().apply(InterfaceAppearance::light);
    }
    base::DefaultsStore store{QString()};
};

TEST_F(InterfaceSettingsTest, FirstStartReadsSystemAndMarksTheMigration) {
    InterfaceSettings settings(store);
    EXPECT_EQ(settings.appearance(), InterfaceAppearance::system);
    EXPECT_EQ(settings.language(), InterfaceLanguage::system);
    EXPECT_EQ(store.boolValue(kMigrationKey), true);
    EXPECT_FALSE(store.contains(kLanguageKey));
    EXPECT_FALSE(store.contains(kAppearanceKey));
    EXPECT_EQ(InterfaceSettings::didChange(), "OrvelInterfaceLanguageDidChange");
}

TEST_F(InterfaceSettingsTest, LanguageMigrationRunsOnce) {
    store.setString(kLanguageKey, QStringLiteral("zh-Hans"));
    EXPECT_EQ(InterfaceSettings(store).language(), InterfaceLanguage::system);
    EXPECT_EQ(store.stringValue(kLanguageKey), QStringLiteral("system"));
    EXPECT_EQ(store.boolValue(kMigrationKey), true);

    // A user who chooses Simplified Chinese afterwards keeps it.
    InterfaceSettings(store).setLanguage(InterfaceLanguage::chinese);
    EXPECT_EQ(InterfaceSettings(store).language(), InterfaceLanguage::chinese);
    EXPECT_EQ(store.stringValue(kLanguageKey), QStringLiteral("zh-Hans"));

    base::DefaultsStore other{QString()};
    other.setString(kLanguageKey, QStringLiteral("fr"));
    other.setBool(kMigrationKey, false);
    EXPECT_EQ(InterfaceSettings(other).language(), InterfaceLanguage::french);
    EXPECT_EQ(other.stringValue(kLanguageKey), QStringLiteral("fr"));
    EXPECT_EQ(other.boolValue(kMigrationKey), true);
}

TEST_F(InterfaceSettingsTest, UnknownStoredValuesReadAsSystem) {
    for (const QString& raw : {QStringLiteral("Dark"), QStringLiteral("LIGHT"), QStringLiteral("sepia"),
                               QStringLiteral(" dark"), QString()}) {
        store.setString(kAppearanceKey, raw);
        EXPECT_EQ(InterfaceSettings(store).appearance(), InterfaceAppearance::system) << raw.toStdString();
    }
    store.setBool(kAppearanceKey, true);
    EXPECT_EQ(InterfaceSettings(store).appearance(), InterfaceAppearance::system);
    store.setString(kAppearanceKey, QStringLiteral("dark"));
    EXPECT_EQ(InterfaceSettings(store).appearance(), InterfaceAppearance::dark);

    store.setString(kLanguageKey, QStringLiteral("EN"));
    EXPECT_EQ(InterfaceSettings(store).language(), InterfaceLanguage::system);
    store.setInteger(kLanguageKey, 3);
    EXPECT_EQ(InterfaceSettings(store).language(), InterfaceLanguage::system);
    EXPECT_EQ(base::fromRawValue<InterfaceLanguage>(QStringLiteral("zh-Hans")), InterfaceLanguage::chinese);
    EXPECT_EQ(base::fromRawValue<InterfaceLanguage>(QStringLiteral("zh-hans")), std::nullopt);
}

TEST_F(InterfaceSettingsTest, EffectiveLanguageTakesOnlyTheFirstPreference) {
    const auto system = InterfaceLanguage::system;
    EXPECT_EQ(effectiveLanguage(system, {"fr-CA", "en-US"}), InterfaceLanguage::french);
    EXPECT_EQ(effectiveLanguage(system, {"zh-Hant-TW"}), InterfaceLanguage::chinese);
    EXPECT_EQ(effectiveLanguage(system, {"ZH-TW"}), InterfaceLanguage::chinese);
    EXPECT_EQ(effectiveLanguage(system, {"de-DE"}), InterfaceLanguage::english);
    EXPECT_EQ(effectiveLanguage(system, {}), InterfaceLanguage::english);
    EXPECT_EQ(effectiveLanguage(system, {"de-DE", "fr-FR"}), InterfaceLanguage::english);
    EXPECT_EQ(effectiveLanguage(InterfaceLanguage::french, {"zh-CN"}), InterfaceLanguage::french);

    setPreferredLanguagesSource([] { return QStringList{"fr-CA"}; });
    EXPECT_EQ(effectiveLanguage(system), InterfaceLanguage::french);
    EXPECT_EQ(locale(system).name(), QLocale(QStringLiteral("fr")).name());
    setPreferredLanguagesSource([] { return QStringList{}; });
    EXPECT_EQ(effectiveLanguage(system), InterfaceLanguage::english);
    EXPECT_EQ(locale(InterfaceLanguage::chinese).script(), QLocale::SimplifiedHanScript);
}

TEST_F(InterfaceSettingsTest, TitlesFollowTheSharedLanguage) {
    auto& shared = InterfaceSettings::shared();
    const struct {
        InterfaceLanguage language;
        const char* system;
        const char* dark;
    } cases[] = {{InterfaceLanguage::chinese, "跟随系统", "深色"},
                 {InterfaceLanguage::english, "Follow System", "Dark"},
                 {InterfaceLanguage::french, "Selon le système", "Sombre"}};
    for (const auto& c : cases) {
        shared.setLanguage(c.language);
        EXPECT_EQ(title(InterfaceLanguage::system), QString::fromUtf8(c.system));
        EXPECT_EQ(title(InterfaceAppearance::dark), QString::fromUtf8(c.dark));
        EXPECT_EQ(title(InterfaceLanguage::chinese), QStringLiteral("简体中文"));
        EXPECT_EQ(title(InterfaceLanguage::english), QStringLiteral("English"));
        EXPECT_EQ(title(InterfaceLanguage::french), QStringLiteral("Français"));
    }
    shared.setLanguage(InterfaceLanguage::system);
}

TEST_F(InterfaceSettingsTest, EveryLanguageAssignmentStoresAndNotifiesOnce) {
    store.setString(QStringLiteral("answerLanguage"), QStringLiteral("english"));
    store.setString(QStringLiteral("modelID"), QStringLiteral("m"));
    InterfaceSettings settings(store);
    QSignalSpy own(&settings, &InterfaceSettings::interfaceLanguageDidChange);
    QSignalSpy any(&InterfaceSettingsCenter::shared(), &InterfaceSettingsCenter::interfaceLanguageDidChange);

    settings.setLanguage(InterfaceLanguage::french);
    ASSERT_EQ(own.count(), 1);
    EXPECT_EQ(own.at(0).at(0).value<InterfaceSettings*>(), &settings);
    EXPECT_EQ(any.count(), 1);
    EXPECT_EQ(store.stringValue(kLanguageKey), QStringLiteral("fr"));

    // The same value again is still stored and announced, once.
    store.remove(kLanguageKey);
    settings.setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(own.count(), 2);
    EXPECT_EQ(any.count(), 2);
    EXPECT_EQ(store.stringValue(kLanguageKey), QStringLiteral("fr"));

    EXPECT_EQ(store.stringValue(QStringLiteral("answerLanguage")), QStringLiteral("english"));
    EXPECT_EQ(store.stringValue(QStringLiteral("modelID")), QStringLiteral("m"));
}

TEST_F(InterfaceSettingsTest, AppearanceIsStoredAndAppliedToTheWholeApplication) {
    InterfaceSettings settings(store);
    settings.setAppearance(InterfaceAppearance::dark);
    EXPECT_EQ(store.stringValue(kAppearanceKey), QStringLiteral("dark"));
    EXPECT_EQ(ApplicationAppearance::shared().colorScheme(), ColorScheme::dark);
    EXPECT_EQ(QGuiApplication::palette().color(QPalette::Window),
              ApplicationAppearance::palette(ColorScheme::dark).color(QPalette::Window));

    settings.setAppearance(InterfaceAppearance::light);
    EXPECT_EQ(store.stringValue(kAppearanceKey), QStringLiteral("light"));
    EXPECT_EQ(ApplicationAppearance::shared().colorScheme(), ColorScheme::light);
    EXPECT_EQ(QGuiApplication::palette().color(QPalette::Window),
              ApplicationAppearance::palette(ColorScheme::light).color(QPalette::Window));

    // Without a desktop portal (no session bus here) following the system means light.
    settings.setAppearance(InterfaceAppearance::system);
    EXPECT_EQ(store.stringValue(kAppearanceKey), QStringLiteral("system"));
    EXPECT_EQ(ApplicationAppearance::shared().colorScheme(), ColorScheme::light);
}

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
}  // namespace velquin

#include "interface_settings_test.moc"
