#include "app/account/session_keyring.h"

#include <QThreadPool>

#include "app/account/history_store.h"
#include "base/text.h"
#include "platform/keychain_store.h"

namespace velquin {

SessionKeyring::~SessionKeyring() = default;

namespace {

class PlatformSessionKeyring : public SessionKeyring {
public:
    std::optional<QString> load() override { return halvern::KeychainStore::load(); }
    void save(const QString& token) override { halvern::KeychainStore::save(token); }
    void remove() override { halvern::KeychainStore::remove(); }
};

}  // namespace

std::shared_ptr<SessionKeyring> platformSessionKeyring() { return std::make_shared<PlatformSessionKeyring>(); }

HistoryStore& sharedHistoryWithKeychain() {
    static const bool configured = [] {
        HistoryStore::configureShared(HistoryStore::Options{{}, [] { return halvern::KeychainStore::load(); }});
        return true;
    }();
    (void)configured;
    return HistoryStore::shared();
}

base::WorkScheduler& keyringScheduler() {
    static base::QtWorkScheduler* const scheduler = [] {
        auto* thread = new QThreadPool;
        thread->setMaxThreadCount(1);
        return new base::QtWorkScheduler(thread);
    }();
    return *scheduler;
}

std::optional<QString> usableToken(const std::optional<QString>& token) {
    if (!token || token->isEmpty() || base::text::containsControlCharacter(*token)) return std::nullopt;
    return token;
}

}  // namespace velquin
