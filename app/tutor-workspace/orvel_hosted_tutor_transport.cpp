#include "app/tutor-workspace/orvel_hosted_tutor_transport.h"

#include "app/account/account_session.h"
#include "app/account/session_keyring.h"
#include "base/defaults_store.h"
#include "core/consent.h"
#include "core/responses_client.h"
#include "tutor-engine/merid_v12_hosted_prompt.h"
#include "tutor-engine/teacher_mode.h"

namespace velquin {

namespace {

// The held token; a keyring that cannot be read counts as none.
QCoro::Task<std::optional<QString>> heldToken(std::shared_ptr<SessionKeyring> keyring) {
    try {
        auto loading = onKeyringThread([keyring] { return keyring->load(); });
        co_return co_await std::move(loading);
    } catch (...) {
        co_return std::nullopt;
    }
}

}  // namespace

OrvelHostedTutorTransport::Services OrvelHostedTutorTransport::Services::completed() const {
    Services services = *this;
    if (!services.defaults) services.defaults = &base::DefaultsStore::standard();
    if (!services.keyring) services.keyring = platformSessionKeyring();
    if (!services.refreshAccount) services.refreshAccount = [] { return AccountSession::shared().refresh(); };
    if (!services.client) {
        tamsel::ResponsesClient::Options options;
        options.defaults = services.defaults;
        services.client = std::make_shared<tamsel::ResponsesClient>(nullptr, options);
    }
    return services;
}

OrvelHostedTutorTransport::OrvelHostedTutorTransport(tamsel::AnswerLanguage language)
    : OrvelHostedTutorTransport(language, Services{}) {}

OrvelHostedTutorTransport::OrvelHostedTutorTransport(tamsel::AnswerLanguage language, Services services)
    : language_(language), services_(services.completed()) {}

QString OrvelHostedTutorTransport::modelTier(const base::DefaultsStore& defaults) {
    return defaults.stringValue(modelTierKey) == QStringLiteral("pro") ? QStringLiteral("pro")
                                                                       : QStringLiteral("flash");
}

QCoro::Task<QString> OrvelHostedTutorTransport::reply(meridcore::MeridTutorRequest request,
                                                      base::CancellationToken token) {
    // Everything the reply needs is taken now: the transport may go away while the reply runs.
    const Services services = services_;
    const tamsel::AnswerLanguage language = language_;
    base::DefaultsStore& defaults = *services.defaults;

    token.throwIfCancelled();
    if (!tamsel::AIPrivacyConsent::isGranted(defaults)) throw tamsel::OrvelHostedError::consentRequired();

    // Whatever the refresh finds, the account session shows it; it does not stop the reply.
    auto refreshing = services.refreshAccount();
    co_await std::move(refreshing);
    token.throwIfCancelled();

    auto reading = heldToken(services.keyring);
    const std::optional<QString> sent = co_await std::move(reading);
    if (!sent || sent->isEmpty()) throw tamsel::StudyError(tamsel::StudyError::Case::missingKey);

    const QString prompt = meridcore::MeridV12HostedPrompt::make(request);
    const QString tier = modelTier(defaults);
    auto answering =
        services.client->proAnswer(prompt, base::rawValue(request.mode), language, *sent, tier, token);
    const tamsel::ModelAnswer answer = co_await std::move(answering);
    token.throwIfCancelled();

    // A sign-out or another account while the request ran: the answer belongs to no one now.
    auto rereading = heldToken(services.keyring);
    const std::optional<QString> current = co_await std::move(rereading);
    if (current != sent) throw base::CancellationError();
    if (!tamsel::AIPrivacyConsent::isGranted(defaults)) throw tamsel::OrvelHostedError::consentRequired();
    co_return answer.text;
}

}  // namespace velquin
