// libsecret (through GLib) must come before any Qt header: Qt's "signals" keyword would break it.
#include <libsecret/secret.h>

#include "platform/keychain_store.h"

#include <QStringDecoder>

namespace halvern {

QString KeychainError::message() const {
    return QStringLiteral("无法访问系统密钥环：") +
           (description_.isEmpty() ? QStringLiteral("错误代码 ") + QString::number(status_) : description_);
}

namespace {

// Items are found by their two attributes alone, whatever schema name stored them.
const SecretSchema& tokenSchema() {
    static const SecretSchema schema = {
        "com.orvel.formac.account",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return schema;
}

struct GErrorHolder {
    GError* error = nullptr;
    ~GErrorHolder() {
        if (error) g_error_free(error);
    }
    [[noreturn]] void raise() const {
        throw KeychainError(error ? error->code : -1, error ? QString::fromUtf8(error->message) : QString());
    }
};

struct HashTableHolder {
    GHashTable* table;
    ~HashTableHolder() { g_hash_table_unref(table); }
};

// The query that identifies the one item.
GHashTable* tokenAttributes() {
    GHashTable* attributes = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(attributes, g_strdup("service"), g_strdup(KeychainStore::service.toUtf8().constData()));
    g_hash_table_insert(attributes, g_strdup("account"), g_strdup(KeychainStore::account.toUtf8().constData()));
    return attributes;
}

// GLib's D-Bus proxies, libsecret's service and items among them, subscribe to signals in the
// calling thread's main context and free each subscription's data from that context once they are
// released. The keyring is called from worker threads whose own contexts never run, so every call
// runs in a context of its own, run until idle once the call is done: nothing is left behind.
class CallContext {
public:
    CallContext() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
    ~CallContext() {
        g_main_context_pop_thread_default(context_);
        while (g_main_context_iteration(context_, FALSE)) {
        }
        g_main_context_unref(context_);
    }
    CallContext(const CallContext&) = delete;
    CallContext& operator=(const CallContext&) = delete;

private:
    GMainContext* context_;
};

struct ServiceHolder {
    SecretService* service;
    ~ServiceHolder() { g_object_unref(service); }
};

SecretService* connectService() {
    GErrorHolder error;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error.error);
    if (!service) error.raise();
    return service;
}

// The items that carry the token's attributes, locked ones included; unlocking them when `unlock`
// (the keyring may ask the user). Throws KeychainError.
GList* findItems(SecretService* service, GHashTable* attributes, bool unlock) {
    GErrorHolder error;
    const SecretSearchFlags flags =
        unlock ? SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK) : SECRET_SEARCH_ALL;
    GList* items = secret_service_search_sync(service, &tokenSchema(), attributes, flags, nullptr, &error.error);
    if (error.error) {
        g_list_free_full(items, g_object_unref);
        error.raise();
    }
    return items;
}

// A locked item that the keyring would not open: its data is out of reach, which is no missing token.
[[noreturn]] void raiseLocked() { throw KeychainError(SECRET_ERROR_IS_LOCKED, QString()); }

}  // namespace

std::optional<QString> KeychainStore::load() {
    const CallContext context;
    ServiceHolder service{connectService()};
    HashTableHolder attributes{tokenAttributes()};
    // A search that unlocks and loads the secrets, not secret_service_lookup_sync: that call keeps
    // about 1.3 KiB for good on every use (libsecret 0.20), and the token is read twice per answer.
    GErrorHolder error;
    GList* items = secret_service_search_sync(
        service.service, &tokenSchema(), attributes.table,
        SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
        &error.error);
    if (error.error) {
        g_list_free_full(items, g_object_unref);
        error.raise();
    }
    // The unlocked items come first; a locked one has no secret.
    SecretValue* value = nullptr;
    bool locked = false;
    for (GList* item = items; item && !value; item = item->next) {
        value = secret_item_get_secret(SECRET_ITEM(item->data));
        locked = locked || secret_item_get_locked(SECRET_ITEM(item->data));
    }
    g_list_free_full(items, g_object_unref);
    if (!value) {
        // Nothing also when the item stays locked (the unlock was refused).
        if (locked) raiseLocked();
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString token = decoder(QByteArrayView(bytes, qsizetype(length)));
    const bool valid = bytes != nullptr || length == 0;
    secret_value_unref(value);
    if (!valid || decoder.hasError()) throw KeychainError(KeychainError::decodeStatus, QStringLiteral("无法解码所提供的数据。"));
    return token.isNull() ? QString(QLatin1String("")) : token;
}

void KeychainStore::save(const QString& token) {
    const CallContext context;
    const QByteArray bytes = token.toUtf8();
    SecretService* service = connectService();
    HashTableHolder attributes{tokenAttributes()};
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");

    // Update the data of the stored item(s) first; add an item only when there is none.
    GErrorHolder error;
    GList* items =
        secret_service_search_sync(service, &tokenSchema(), attributes.table,
                                   SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, &error.error);
    bool ok = error.error == nullptr;
    if (ok && items) {
        for (GList* item = items; item && ok; item = item->next)
            ok = secret_item_set_secret_sync(SECRET_ITEM(item->data), value, nullptr, &error.error);
    } else if (ok) {
        ok = secret_service_store_sync(service, &tokenSchema(), attributes.table, SECRET_COLLECTION_DEFAULT,
                                       "Orvel session token", value, nullptr, &error.error);
    }
    g_list_free_full(items, g_object_unref);
    secret_value_unref(value);
    g_object_unref(service);
    if (!ok && !error.error) raiseLocked();
    if (!ok) error.raise();
}

void KeychainStore::remove() {
    const CallContext context;
    ServiceHolder service{connectService()};
    HashTableHolder attributes{tokenAttributes()};
    // Every matching item, locked ones too (clearing by attributes alone would skip those and still
    // report success). No item at all is no error.
    GList* items = findItems(service.service, attributes.table, true);
    GErrorHolder error;
    bool ok = true;
    for (GList* item = items; item && ok; item = item->next)
        ok = secret_item_delete_sync(SECRET_ITEM(item->data), nullptr, &error.error);
    g_list_free_full(items, g_object_unref);
    if (!ok && !error.error) raiseLocked();
    if (!ok) error.raise();
}

}  // namespace halvern
