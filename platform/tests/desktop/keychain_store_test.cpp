#include <libsecret/secret.h>

#include <gtest/gtest.h>

#include "platform/keychain_store.h"

using namespace halvern;

namespace {

GHashTable* tokenAttributes() {
    GHashTable* attributes = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(attributes, g_strdup("service"), g_strdup("com.orvel.formac.account"));
    g_hash_table_insert(attributes, g_strdup("account"), g_strdup("session-token"));
    return attributes;
}

const SecretSchema* looseSchema() {
    static const SecretSchema schema = {"org.example.test", SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"account", SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &schema;
}

// How many items the keyring holds under the token's two attributes.
int itemCount() {
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
    if (!service) return -1;
    GHashTable* attributes = tokenAttributes();
    GList* items = secret_service_search_sync(service, looseSchema(), attributes, SECRET_SEARCH_ALL, nullptr, nullptr);
    const int count = int(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    g_hash_table_unref(attributes);
    g_object_unref(service);
    return count;
}

}  // namespace

TEST(KeychainStore, LoadSaveAndDeleteAgainstTheSecretService) {
    KeychainStore::remove();
    EXPECT_EQ(KeychainStore::load(), std::nullopt);
    EXPECT_NO_THROW(KeychainStore::remove());

    KeychainStore::save(QString());
    const std::optional<QString> empty = KeychainStore::load();
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());

    KeychainStore::save(QStringLiteral("first-token"));
    KeychainStore::save(QStringLiteral("第二个 token ✓"));
    EXPECT_EQ(KeychainStore::load(), std::optional<QString>(QStringLiteral("第二个 token ✓")));
    EXPECT_EQ(itemCount(), 1);

    EXPECT_NO_THROW(KeychainStore::remove());
    EXPECT_NO_THROW(KeychainStore::remove());
    EXPECT_EQ(KeychainStore::load(), std::nullopt);
    EXPECT_EQ(itemCount(), 0);
}

TEST(KeychainStore, DataThatIsNotUtf8IsAnError) {
    SecretValue* value = secret_value_new("\xFF\xFE\x80", 3, "application/octet-stream");
    GHashTable* attributes = tokenAttributes();
    GError* error = nullptr;
    ASSERT_TRUE(secret_service_store_sync(nullptr, looseSchema(), attributes, SECRET_COLLECTION_DEFAULT, "test", value, nullptr, &error))
        << (error ? error->message : "");
    g_hash_table_unref(attributes);
    secret_value_unref(value);
    try {
        KeychainStore::load();
        ADD_FAILURE() << "no error";
    } catch (const KeychainError& failure) {
        EXPECT_EQ(failure.status(), KeychainError::decodeStatus);
        EXPECT_TRUE(failure.message().startsWith(QStringLiteral("无法访问系统密钥环：")));
    }
    KeychainStore::remove();
    EXPECT_EQ(itemCount(), 0);
}

// A locked keyring is no empty one: reading and removing must fail visibly, and the token stays.
TEST(KeychainStore, LockedKeyringFailsInsteadOfLookingEmpty) {
    KeychainStore::save(QStringLiteral("kept-token"));
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    SecretCollection* collection = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, nullptr);
    ASSERT_NE(collection, nullptr);
    GList* objects = g_list_append(nullptr, collection);
    // No unlock prompt can be answered in the test session, so the collection stays locked below.
    ASSERT_EQ(secret_service_lock_sync(service, objects, nullptr, nullptr, nullptr), 1);
    g_list_free_full(objects, g_object_unref);
    g_object_unref(service);

    EXPECT_THROW(KeychainStore::load(), KeychainError);
    EXPECT_THROW(KeychainStore::save(QStringLiteral("other-token")), KeychainError);
    try {
        KeychainStore::remove();
        ADD_FAILURE() << "removal reported success";
    } catch (const KeychainError& failure) {
        EXPECT_TRUE(failure.message().startsWith(QStringLiteral("无法访问系统密钥环："))) << failure.message().toStdString();
    }
    EXPECT_EQ(itemCount(), 1);
}
