#pragma once

#include <QHash>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "base/defaults_store.h"
#include "base/raw_value.h"

namespace velquin {

// The language the interface is shown in. `system` follows the user's preferred languages. Its raw
// value (base/raw_value.h) is stored and is also the identifier; `title(E)` is the name shown in pickers.
enum class InterfaceLanguage { system, chinese, english, french };

// The appearance of the whole application. `system` follows the desktop's colour scheme.
enum class InterfaceAppearance { system, light, dark };

constexpr auto rawValueTable(InterfaceLanguage) {
    using enum InterfaceLanguage;
    return base::rawValues<InterfaceLanguage>({{system, u"system"}, {chinese, u"zh-Hans"}, {english, u"en"},
        {french, u"fr"}});
}

// "简体中文", "English" and "Français" are the languages' own names; the title of `system` is
// in the effective language of the shared settings.
QString title(InterfaceLanguage language);

// The language actually shown, never `system`: for `system`, the first of the user's preferred
// languages decides ("zh…" Chinese, "fr…" French, anything else or none English).
InterfaceLanguage effectiveLanguage(InterfaceLanguage language);
InterfaceLanguage effectiveLanguage(InterfaceLanguage language, const QStringList& preferredLanguages);
// The locale of the effective language: "zh-Hans", "en" or "fr".
QLocale locale(InterfaceLanguage language);

constexpr auto rawValueTable(InterfaceAppearance) {
    using enum InterfaceAppearance;
    return base::rawValues<InterfaceAppearance>({{system, u"system"}, {light, u"light"}, {dark, u"dark"}});
}

// In the effective language of the shared settings at the moment of the call.
QString title(InterfaceAppearance appearance);

// The user's preferred interface languages, most preferred first, as the desktop lists them
// (the system locale's UI languages). Tests replace the source with `setPreferredLanguagesSource`;
// an empty function restores the system's.
QStringList preferredLanguages();
void setPreferredLanguagesSource(std::function<QStringList()> source);

class InterfaceSettings;

// Relays the language-change signal of every settings object, for observers that listen to
// language changes whatever object made them (the status menu rebuilds on each one).
class InterfaceSettingsCenter : public QObject {
    Q_OBJECT
public:
    static InterfaceSettingsCenter& shared();

Q_SIGNALS:
    void interfaceLanguageDidChange(velquin::InterfaceSettings* settings);
};

// The interface language and appearance, kept in the defaults store. One shared instance serves
// the application; further instances over other stores can be made (the self-check does).
// Building an instance runs the one-time language migration and applies the stored appearance.
class InterfaceSettings : public QObject {
    Q_OBJECT
public:
    // "orvelInterfaceLanguage": the language's raw value.
    static QString preferenceKey();
    // "orvelAppearanceMode": the appearance's raw value.
    static QString appearanceKey();
    // "orvelInterfaceLocaleMigrationRC56": true once the one-time migration has run.
    static QString migrationKey();
    // "OrvelInterfaceLanguageDidChange": the name of the language-change notification.
    static QString didChange();

    // The application's instance over the standard defaults store, created once on first use.
    static InterfaceSettings& shared();

    explicit InterfaceSettings(base::DefaultsStore& defaults = base::DefaultsStore::standard(),
                               QObject* parent = nullptr);

    base::DefaultsStore& defaults() const { return defaults_; }

    InterfaceAppearance appearance() const { return appearance_; }
    // Stores the value (also when unchanged) and applies it to the whole application.
    void setAppearance(InterfaceAppearance appearance);

    InterfaceLanguage language() const { return language_; }
    // Stores the value (also when unchanged) and emits `interfaceLanguageDidChange` once.
    void setLanguage(InterfaceLanguage language);

    // The built-in check of the settings and the string table over a scratch store: one flag per
    // named check, true when it held. Leaves the user's settings and the shared instance alone and
    // puts back the appearance the application showed before. Main thread only.
    static QHash<QString, bool> performRegressionChecks();

Q_SIGNALS:
    void appearanceChanged(velquin::InterfaceAppearance appearance);
    void languageChanged(velquin::InterfaceLanguage language);
    // Emitted after every assignment of the language, with this object.
    void interfaceLanguageDidChange(velquin::InterfaceSettings* settings);

private:
    void applyAppearance();

    base::DefaultsStore& defaults_;
    InterfaceAppearance appearance_ = InterfaceAppearance::system;
    InterfaceLanguage language_ = InterfaceLanguage::system;
};

}  // namespace velquin
