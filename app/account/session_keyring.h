#pragma once

#include <QCoroTask>
#include <QString>

#include <memory>
#include <optional>
#include <type_traits>

#include "base/task.h"

namespace velquin {

class HistoryStore;

// Where the session token of the signed-in account is kept (the desktop's keyring in the
// application). The calls may block, for instance while the keyring asks to be unlocked: they are
// made on the keyring thread (onKeyringThread), never on the main thread. Implementations are
// thread-safe; every failure is a base::Error whose message the interface shows.
class SessionKeyring {
public:
    virtual ~SessionKeyring();
    // The stored token; nothing when none is stored.
    virtual std::optional<QString> load() = 0;
    // Stores the token, replacing the stored one.
    virtual void save(const QString& token) = 0;
    // Removes the token; removing an absent token is no error.
    virtual void remove() = 0;
};

// The desktop's Secret Service through the platform's keychain store.
std::shared_ptr<SessionKeyring> platformSessionKeyring();

// The application's learning history (HistoryStore::shared()), configured (once, before its first
// use) to read the session token from the desktop's keyring, so that it starts pending while a
// token is held instead of in the guest scope.
HistoryStore& sharedHistoryWithKeychain();

// Runs keyring calls on one thread of their own: they take effect in the order they were made, so
// a sign-out's removal and a sign-in's save never overtake each other.
base::WorkScheduler& keyringScheduler();

// `co_await onKeyringThread(call)`: runs `call` on the keyring thread and resumes on the main thread
// with its result or its exception.
template <typename F>
auto onKeyringThread(F call) {
    return base::runBlocking(keyringScheduler(), std::move(call));
}

// The token when it can be sent: not empty and free of control characters (which would break or
// inject into the request header). Nothing otherwise.
std::optional<QString> usableToken(const std::optional<QString>& token);

}  // namespace velquin
