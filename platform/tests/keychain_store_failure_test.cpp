#include <gtest/gtest.h>

#include "platform/keychain_store.h"

using namespace halvern;

// Without a session bus there is no keyring: a write must fail visibly, never pass for success.
TEST(KeychainStoreWithoutKeyring, SaveFailsWithTheKeyringMessage) {
    const QByteArray previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvel-test-bus");
    try {
        KeychainStore::save(QStringLiteral("token"));
        ADD_FAILURE() << "save succeeded without a keyring";
    } catch (const KeychainError& error) {
        EXPECT_TRUE(error.message().startsWith(QStringLiteral("无法访问系统密钥环："))) << error.message().toStdString();
        EXPECT_GT(error.message().size(), QStringLiteral("无法访问系统密钥环：").size());
    }
    EXPECT_THROW(KeychainStore::remove(), KeychainError);
    qputenv("DBUS_SESSION_BUS_ADDRESS", previous);
}

TEST(KeychainStoreWithoutKeyring, MessageFallsBackToTheCode) {
    EXPECT_EQ(KeychainError(-25308, {}).message(), QStringLiteral("无法访问系统密钥环：错误代码 -25308"));
    EXPECT_EQ(KeychainError(2, QStringLiteral("Cannot create an item")).message(), QStringLiteral("无法访问系统密钥环：Cannot create an item"));
}
