#pragma once

#include <QString>

#include <optional>

#include "base/errors.h"

// The hosted account's session token in the desktop's Secret Service (the user's keyring): exactly
// one item, service "com.orvel.formac.account", account "session-token", the token's UTF-8 bytes.
// No cached copy: every call goes to the keyring. Synchronous and safe from any thread; the keyring
// may show an unlock prompt, so keep the calls off the GUI thread.
namespace halvern {

// A failed keyring operation: the keyring's own code and description.
class KeychainError : public base::Error {
public:
    // The code of stored data that is not valid UTF-8.
    static constexpr int decodeStatus = -26275;

    KeychainError(int status, QString description) : status_(status), description_(std::move(description)) {}
    int status() const { return status_; }
    QString message() const override;

private:
    int status_;
    QString description_;
};

struct KeychainStore {
    static inline const QString service = QStringLiteral("com.orvel.formac.account");
    static inline const QString account = QStringLiteral("session-token");

    // The stored token; nothing when there is none. Throws KeychainError.
    static std::optional<QString> load();
    // Stores the token, replacing the stored one. Throws KeychainError (then an existing token stays).
    static void save(const QString& token);
    // Removes the token; removing an absent token is no error. Throws KeychainError.
    static void remove();
};

}  // namespace halvern
