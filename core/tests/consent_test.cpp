#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/consent.h"

using namespace tamsel;

TEST(AIPrivacyConsent, GrantedOnlyForTheCurrentVersion) {
    EXPECT_EQ(AIPrivacyConsent::versionKey, QStringLiteral("orvelAIConsentPolicyVersion"));
    EXPECT_EQ(AIPrivacyConsent::acceptedAtKey, QStringLiteral("orvelAIConsentAcceptedAt"));
    EXPECT_EQ(AIPrivacyConsent::currentVersion, 1);

    base::DefaultsStore fresh{QString()};
    EXPECT_FALSE(AIPrivacyConsent::isGranted(fresh));

    for (qint64 version : {0, 2, -1}) {
        base::DefaultsStore store{QString()};
        store.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), version);
        EXPECT_FALSE(AIPrivacyConsent::isGranted(store)) << version;
    }

    base::DefaultsStore wrongType{QString()};
    wrongType.setString(QStringLiteral("orvelAIConsentPolicyVersion"), QStringLiteral("1"));
    EXPECT_FALSE(AIPrivacyConsent::isGranted(wrongType));

    base::DefaultsStore legacyOnly{QString()};
    legacyOnly.setBool(QStringLiteral("orvelThirdPartyConsent"), true);
    EXPECT_FALSE(AIPrivacyConsent::isGranted(legacyOnly));
}

TEST(AIPrivacyConsent, RecordsBothDecisionsAndDropsTheOlderKey) {
    base::DefaultsStore store{QString()};
    store.setBool(QStringLiteral("orvelThirdPartyConsent"), true);
    const base::Date before = base::Date::now();
    AIPrivacyConsent::set(true, store);
    EXPECT_TRUE(AIPrivacyConsent::isGranted(store));
    EXPECT_EQ(store.integerValue(QStringLiteral("orvelAIConsentPolicyVersion")), 1);
    const auto acceptedAt = store.dateValue(QStringLiteral("orvelAIConsentAcceptedAt"));
    ASSERT_TRUE(acceptedAt);
    EXPECT_GE(*acceptedAt, before);
    EXPECT_FALSE(store.contains(QStringLiteral("orvelThirdPartyConsent")));

    store.setString(QStringLiteral("orvelThirdPartyConsent"), QStringLiteral("yes"));
    AIPrivacyConsent::set(false, store);
    EXPECT_FALSE(AIPrivacyConsent::isGranted(store));
    EXPECT_EQ(store.integerValue(QStringLiteral("orvelAIConsentPolicyVersion")), 0);
    EXPECT_FALSE(store.contains(QStringLiteral("orvelAIConsentAcceptedAt")));
    EXPECT_FALSE(store.contains(QStringLiteral("orvelThirdPartyConsent")));
}

TEST(AIPrivacyConsent, EveryCheckReadsTheStoredFileAfresh) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("defaults.json"));
    base::DefaultsStore writer{path};
    base::DefaultsStore reader{path};
    EXPECT_FALSE(AIPrivacyConsent::isGranted(reader));
    AIPrivacyConsent::set(true, writer);
    EXPECT_TRUE(AIPrivacyConsent::isGranted(reader));
    AIPrivacyConsent::set(false, writer);
    EXPECT_FALSE(AIPrivacyConsent::isGranted(reader));
}
