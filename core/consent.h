#pragma once

#include <QString>

#include "base/defaults_store.h"

namespace tamsel {

// The user's agreement that selected text is sent to an outside AI service. Kept only in the
// defaults store: every check reads the store afresh, so a change holds at once everywhere.
struct AIPrivacyConsent {
    // The version of the consent text in force.
    static constexpr qint64 currentVersion = 1;
    // Integer: the version the user accepted; 0 or absent when not accepted.
    static inline const QString versionKey = QStringLiteral("orvelAIConsentPolicyVersion");
    // Date of the acceptance; absent when not accepted.
    static inline const QString acceptedAtKey = QStringLiteral("orvelAIConsentAcceptedAt");
    // The older consent flag: never read, removed by every recorded decision.
    static inline const QString legacyKey = QStringLiteral("orvelThirdPartyConsent");

    // True exactly when the stored version equals `currentVersion`.
    static bool isGranted(base::DefaultsStore& store = base::DefaultsStore::standard());
    // Records the decision: version (or 0), acceptance date (or removed), older key removed.
    static void set(bool granted, base::DefaultsStore& store = base::DefaultsStore::standard());
};

}  // namespace tamsel
