#include "app/shell/interface_settings.h"

#include <QMutex>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>

#include "app/shell/application_appearance.h"
#include "app/shell/ui_strings.h"
#include "base/json.h"

namespace velquin {

namespace {

QMutex& preferredSourceMutex() {
    static QMutex mutex;
    return mutex;
}

std::function<QStringList()>& preferredSource() {
    static std::function<QStringList()> source;
    return source;
}

// The title in the effective language of the shared settings: Chinese, English or French.
QString inCurrentLanguage(const char* chinese, const char* english, const char* french) {
    switch (effectiveLanguage(InterfaceSettings::shared().language())) {
    case InterfaceLanguage::chinese: return QString::fromUtf8(chinese);
    case InterfaceLanguage::french: return QString::fromUtf8(french);
    default: return QString::fromUtf8(english);
    }
}

}  // namespace

QString title(InterfaceLanguage language) {
    switch (language) {
    case InterfaceLanguage::system: return inCurrentLanguage("跟随系统", "Follow System", "Selon le système");
    case InterfaceLanguage::chinese: return QStringLiteral("简体中文");
    case InterfaceLanguage::english: return QStringLiteral("English");
    case InterfaceLanguage::french: return QStringLiteral("Français");
    }
    return {};
}

InterfaceLanguage effectiveLanguage(InterfaceLanguage language) {
    if (language != InterfaceLanguage::system) return language;
    return effectiveLanguage(language, preferredLanguages());
}

InterfaceLanguage effectiveLanguage(InterfaceLanguage language, const QStringList& preferred) {
    if (language != InterfaceLanguage::system) return language;
    if (preferred.isEmpty()) return InterfaceLanguage::english;
    const QString first = preferred.constFirst().toLower();
    if (first.startsWith(QLatin1String("zh"))) return InterfaceLanguage::chinese;
    if (first.startsWith(QLatin1String("fr"))) return InterfaceLanguage::french;
    return InterfaceLanguage::english;
}

QLocale locale(InterfaceLanguage language) {
    switch (effectiveLanguage(language)) {
    case InterfaceLanguage::chinese: return QLocale(QStringLiteral("zh-Hans"));
    case InterfaceLanguage::french: return QLocale(QStringLiteral("fr"));
    default: return QLocale(QStringLiteral("en"));
    }
}

QString title(InterfaceAppearance appearance) {
    switch (appearance) {
    case InterfaceAppearance::system: return inCurrentLanguage("跟随系统", "Follow System", "Selon le système");
    case InterfaceAppearance::light: return inCurrentLanguage("浅色", "Light", "Clair");
    case InterfaceAppearance::dark: return inCurrentLanguage("深色", "Dark", "Sombre");
    }
    return {};
}

QStringList preferredLanguages() {
    std::function<QStringList()> source;
    {
        QMutexLocker lock(&preferredSourceMutex());
        source = preferredSource();
    }
    if (source) return source();
    // The UI languages of the system locale, from LANGUAGE, LC_ALL, LC_MESSAGES and LANG.
    return QLocale::system().uiLanguages();
}

void setPreferredLanguagesSource(std::function<QStringList()> source) {
    QMutexLocker lock(&preferredSourceMutex());
    preferredSource() = std::move(source);
}

InterfaceSettingsCenter& InterfaceSettingsCenter::shared() {
    static InterfaceSettingsCenter* center = new InterfaceSettingsCenter();
    return *center;
}

QString InterfaceSettings::preferenceKey() { return QStringLiteral("orvelInterfaceLanguage"); }
QString InterfaceSettings::appearanceKey() { return QStringLiteral("orvelAppearanceMode"); }
QString InterfaceSettings::migrationKey() { return QStringLiteral("orvelInterfaceLocaleMigrationRC56"); }
QString InterfaceSettings::didChange() { return QStringLiteral("OrvelInterfaceLanguageDidChange"); }

InterfaceSettings& InterfaceSettings::shared() {
    // A function-local static is initialised exactly once, also under concurrent first use.
    static InterfaceSettings* settings = new InterfaceSettings(base::DefaultsStore::standard());
    return *settings;
}

InterfaceSettings::InterfaceSettings(base::DefaultsStore& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    const QString storedAppearance = defaults_.string(appearanceKey());
    if (storedAppearance == QLatin1String("light"))
        appearance_ = InterfaceAppearance::light;
    else if (storedAppearance == QLatin1String("dark"))
        appearance_ = InterfaceAppearance::dark;
    else
        appearance_ = InterfaceAppearance::system;

    // Earlier versions stored Simplified Chinese for everyone; once, that becomes "follow the system".
    if (!defaults_.boolean(migrationKey())) {
        if (defaults_.stringValue(preferenceKey()) == QStringLiteral("zh-Hans"))
            defaults_.setString(preferenceKey(), base::rawValue(InterfaceLanguage::system));
        defaults_.setBool(migrationKey(), true);
    }

    language_ =
        base::fromRawValue<InterfaceLanguage>(defaults_.string(preferenceKey())).value_or(InterfaceLanguage::system);
    applyAppearance();
}

void InterfaceSettings::setAppearance(InterfaceAppearance appearance) {
    appearance_ = appearance;
    defaults_.setString(appearanceKey(), base::rawValue(appearance));
    applyAppearance();
    Q_EMIT appearanceChanged(appearance);
}

void InterfaceSettings::setLanguage(InterfaceLanguage language) {
    language_ = language;
    defaults_.setString(preferenceKey(), base::rawValue(language));
    Q_EMIT languageChanged(language);
    Q_EMIT interfaceLanguageDidChange(this);
    Q_EMIT InterfaceSettingsCenter::shared().interfaceLanguageDidChange(this);
}

void InterfaceSettings::applyAppearance() { ApplicationAppearance::shared().apply(appearance_); }

QHash<QString, bool> InterfaceSettings::performRegressionChecks() {
    // A private scratch store; its folder and file go away when the check returns.
    QTemporaryDir folder;
    if (!folder.isValid()) return {};
    const QString suiteName =
        QStringLiteral("Orvel.InterfaceFixture.") + base::json::uuidString(QUuid::createUuid());
    auto store = std::make_unique<base::DefaultsStore>(folder.filePath(suiteName + QStringLiteral(".json")));

    // The application's appearance is process-wide: put back what was shown before the check.
    const std::optional<InterfaceAppearance> shownBefore = ApplicationAppearance::shared().applied();

    QHash<QString, bool> result;
    store->setString(QStringLiteral("answerLanguage"), QStringLiteral("french"));
    store->setString(QStringLiteral("modelID"), QStringLiteral("fixture-model"));

    {
        InterfaceSettings fixture(*store);
        result.insert(QStringLiteral("interface_language_defaults_to_system"),
                      base::rawValue(fixture.language()) == QLatin1String("system"));
        result.insert(QStringLiteral("appearance_defaults_to_system"),
                      fixture.appearance() == InterfaceAppearance::system);

        fixture.setAppearance(InterfaceAppearance::dark);
        result.insert(QStringLiteral("appearance_dark_persists"),
                      InterfaceSettings(*store).appearance() == InterfaceAppearance::dark);

        fixture.setAppearance(InterfaceAppearance::light);
        result.insert(QStringLiteral("appearance_light_persists"),
                      InterfaceSettings(*store).appearance() == InterfaceAppearance::light);

        fixture.setAppearance(InterfaceAppearance::system);

        fixture.setLanguage(InterfaceLanguage::english);
        result.insert(QStringLiteral("interface_language_persists_english"),
                      base::rawValue(InterfaceSettings(*store).language()) == QLatin1String("en"));

        fixture.setLanguage(InterfaceLanguage::chinese);

        result.insert(QStringLiteral("appearance_system_restores"),
                      InterfaceSettings(*store).appearance() == InterfaceAppearance::system);

        const auto answerLanguage = store->stringValue(QStringLiteral("answerLanguage"));
        const auto modelID = store->stringValue(QStringLiteral("modelID"));
        result.insert(QStringLiteral("interface_language_keeps_answer_and_model"),
                      answerLanguage == QStringLiteral("french") && modelID == QStringLiteral("fixture-model"));

        const QString mouseDown = QStringLiteral("微信：已收到鼠标按下，等待拖选完成。");
        result.insert(QStringLiteral("interface_language_round_trip"),
                      UIStrings::translated(QStringLiteral("保存"), InterfaceLanguage::english) == QLatin1String("Save")
                          && UIStrings::translated(QStringLiteral("保存"), InterfaceLanguage::chinese)
                                 == QStringLiteral("保存")
                          && base::rawValue(fixture.language()) == QLatin1String("zh-Hans")
                          && UIStrings::translated(mouseDown, InterfaceLanguage::english)
                                 == QStringLiteral("微信: mouse down received; waiting for selection."));
        result.insert(QStringLiteral("interface_language_french_round_trip"),
                      UIStrings::translated(QStringLiteral("保存"), InterfaceLanguage::french)
                              == QLatin1String("Enregistrer")
                          && UIStrings::translated(mouseDown, InterfaceLanguage::french)
                                 == QStringLiteral("微信 : clic de souris reçu ; en attente de la sélection."));
    }

    store.reset();
    folder.remove();
    ApplicationAppearance::shared().restore(shownBefore);
    return result;
}

}  // namespace velquin
