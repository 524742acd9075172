#include "core/consent.h"

namespace tamsel {

bool AIPrivacyConsent::isGranted(base::DefaultsStore& store) {
    return store.integer(versionKey) == currentVersion;
}

void AIPrivacyConsent::set(bool granted, base::DefaultsStore& store) {
    store.setInteger(versionKey, granted ? currentVersion : 0);
    if (granted)
        store.setDate(acceptedAtKey, base::Date::now());
    else
        store.remove(acceptedAtKey);
    store.remove(legacyKey);
}

}  // namespace tamsel
