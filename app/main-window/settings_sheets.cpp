#include "app/main-window/settings_sheets.h"

#include "app/main-window/application_parts.h"
#include "app/main-window/privacy_consent_view.h"
#include "app/main-window/settings_view.h"
#include "base/defaults_store.h"

namespace velquin {

void addSettingsSheets(ApplicationParts& parts) {
    parts.settingsSheet = [](AppStore& store, QWidget* parent) {
        return new SettingsView(store, base::DefaultsStore::standard(), parent);
    };
    parts.privacyConsentSheet = [](AppStore&, QWidget* parent) {
        return new PrivacyConsentView(base::DefaultsStore::standard(), parent);
    };
}

}  // namespace velquin
