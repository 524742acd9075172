#pragma once

#include <QCoroTask>
#include <QString>

#include <functional>
#include <memory>

#include "base/cancellation.h"
#include "core/study.h"
#include "tutor-engine/merid_tutor_request.h"

namespace base {
class DefaultsStore;
}
namespace tamsel {
class ResponsesClient;
}

namespace velquin {

class SessionKeyring;

// The tutor's way to the hosted AI service: checks the AI consent, refreshes the account, reads
// the session token, builds the one prompt text, picks the model tier and sends everything as one
// tutor request. The reply text comes back unchanged (the caller checks it against the reply
// contract). A reply whose session token changed or disappeared while it ran is dropped with
// base::CancellationError; one whose consent was withdrawn meanwhile is refused. Keeps no state
// between replies: consent, token and tier are read afresh every time.
class OrvelHostedTutorTransport : public meridcore::MeridTutorTransport {
public:
    // "flash" or "pro", written by the coach page's tier picker.
    static inline const QString modelTierKey = QStringLiteral("orvelMERIDModelTier");

    struct Services {
        base::DefaultsStore* defaults = nullptr;            // consent and tier; null: the standard store
        std::shared_ptr<SessionKeyring> keyring;            // null: the desktop's keyring
        std::function<QCoro::Task<void>()> refreshAccount;  // null: AccountSession::shared().refresh()
        std::shared_ptr<tamsel::ResponsesClient> client;    // null: the configured service, consent from `defaults`

        Services completed() const;
    };

    // Without services: the production ones.
    explicit OrvelHostedTutorTransport(tamsel::AnswerLanguage language);
    OrvelHostedTutorTransport(tamsel::AnswerLanguage language, Services services);

    tamsel::AnswerLanguage language() const { return language_; }

    QCoro::Task<QString> reply(meridcore::MeridTutorRequest request, base::CancellationToken token) override;

    // "pro" only when the stored text is exactly "pro"; "flash" otherwise.
    static QString modelTier(const base::DefaultsStore& defaults);

private:
    tamsel::AnswerLanguage language_;
    Services services_;
};

}  // namespace velquin
