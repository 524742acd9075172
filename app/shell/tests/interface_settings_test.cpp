#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/shell/application_appearance.h"
#include "app/shell/interface_settings.h"
#include "app/shell/qt_translations.h"

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

// Qt's own texts (a file dialog's labels, an editor's menu) follow the language, also when it changes
// while the program runs, and come back to Qt's English.
TEST_F(InterfaceSettingsTest, QtTextsFollowTheLanguageAndItsChanges) {
    InterfaceSettings settings(store);
    settings.setLanguage(InterfaceLanguage::chinese);
    const QtTranslations translations(settings);
    struct Row {
        InterfaceLanguage language;
        QStringList preferred;
        const char* lookIn;
        const char* undo;
    };
    const Row rows[] = {
        {InterfaceLanguage::chinese, {}, "查找范围：", "撤消(&U)"},
        {InterfaceLanguage::french, {}, "Voir dans :", "&Annuler"},
        {InterfaceLanguage::english, {}, "Look in:", "&Undo"},
        {InterfaceLanguage::system, {"zh-Hant-TW"}, "查找范围：", "撤消(&U)"},
        {InterfaceLanguage::system, {"fr-CA"}, "Voir dans :", "&Annuler"},
        {InterfaceLanguage::system, {"de-DE"}, "Look in:", "&Undo"},
    };
    for (const Row& row : rows) {
        setPreferredLanguagesSource([preferred = row.preferred] { return preferred; });
        settings.setLanguage(row.language);
        EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QString::fromUtf8(row.lookIn))
            << base::rawValue(row.language).toStdString() << " " << row.preferred.join(u',').toStdString();
        EXPECT_EQ(QCoreApplication::translate("QWidgetTextControl", "&Undo"), QString::fromUtf8(row.undo));
    }
    EXPECT_TRUE(translations.installedFile().isEmpty());
}

}  // namespace
}  // namespace velquin

