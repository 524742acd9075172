#include "app/account/account_session.h"

#include <QCoroSignal>
#include <QJsonDocument>
#include <QPointer>
#include <QSet>

#include "app/account/account_data_scope.h"
#include "app/account/account_service_client.h"
#include "app/account/account_service_error.h"
#include "app/account/google_desktop_oauth.h"
#include "app/account/history_store.h"
#include "app/account/session_keyring.h"
#include "app/account/study_flow_reset.h"
#include "base/defaults_store.h"
#include "base/text.h"
#include "core/study.h"
#include "net/http.h"
#include "tutor-engine/teacher_learning_store.h"

namespace velquin {

namespace {

const QString kNative = QStringLiteral("native");
const QString kSignedInUnverified = QStringLiteral("已登录。请点击“发送验证邮件”完成邮箱验证，之后即可使用 AI 功能。");

std::optional<AccountSessionServices>& sharedServices() {
    static std::optional<AccountSessionServices> services;
    return services;
}

// The text after a failed e-mail sign-in: transport failures by their class, everything else
// (service errors, a reply without a token, a keyring that refused) with its own text.
QString signInFailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const net::NetworkError& error) {
        switch (error.code()) {
            case QNetworkReply::HostNotFoundError:
            case QNetworkReply::ConnectionRefusedError:
            case QNetworkReply::ProxyNotFoundError:
            case QNetworkReply::ProxyConnectionRefusedError:
                return QStringLiteral(
                    "无法连接 Orvel 账户服务器。当前账户 API "
                    "尚未上线或域名未配置，暂时无法注册或登录。请不要反复提交密码。");
            default: break;
        }
        if (error.kind() == net::NetworkError::Kind::timedOut ||
            error.kind() == net::NetworkError::Kind::notConnected)
            return QStringLiteral("网络连接失败，请检查网络，稍后再试。");
        return QStringLiteral("账户连接失败：") + error.message();
    } catch (...) {
        return QStringLiteral("账户操作失败：") + base::messageOf(failure);
    }
}

// Without a main window there is no study flow to reset.
class NoStudyFlow : public StudyFlowReset {
public:
    void dropTutorHandoff() override {}
    void reset() override {}
};

bool isLoginKind(const QString& kind) {
    return kind == kNative || kind == QLatin1String("google") || kind == QLatin1String("apple");
}

}  // namespace

AccountSessionServices AccountSessionServices::completed() const {
    AccountSessionServices services = *this;
    if (!services.defaults) services.defaults = &base::DefaultsStore::standard();
    if (!services.history) services.history = &sharedHistoryWithKeychain();
    if (!services.keyring) services.keyring = platformSessionKeyring();
    if (!services.studyFlow) services.studyFlow = std::make_shared<NoStudyFlow>();
    if (!services.wording)
        services.wording = [](const QString& chinese, const QString&, const QString&) { return chinese; };
    if (!services.client) services.client = std::make_shared<AccountServiceClient>();
    if (!services.google) services.google = std::make_shared<GoogleDesktopOAuth>();
    return services;
}

AccountSession::AccountSession(AccountSessionServices services, QObject* parent)
    : QObject(parent), services_(services.completed()), defaults_(*services_.defaults), history_(*services_.history) {
    email_ = defaults_.string(emailKey);
    preferredName_ = defaults_.string(displayNameKey);
    loginKind_ = defaults_.stringValue(loginKindKey).value_or(kNative);
    // The session never starts confirmed: with a stored token it is pending until a refresh.
    readKeyringAtStart();
}

AccountSession::~AccountSession() = default;

QString AccountSession::feedback() const {
    if (feedback_.english.isEmpty()) return feedback_.chinese;
    return services_.wording(feedback_.chinese, feedback_.english, feedback_.french);
}

AccountSession& AccountSession::shared() {
    static AccountSession* const session = new AccountSession(sharedServices().value_or(AccountSessionServices{}));
    return *session;
}

void AccountSession::configureShared(AccountSessionServices services) { sharedServices() = std::move(services); }

QCoro::Task<void> AccountSession::readKeyringAtStart() {
    QPointer<AccountSession> guard(this);
    const quint64 epoch = sessionEpoch_;
    std::optional<QString> token;
    try {
        auto keyring = services_.keyring;
        auto loading = onKeyringThread([keyring] { return keyring->load(); });
        token = co_await std::move(loading);
    } catch (...) {
        // An unreadable keyring counts as no token.
    }
    if (!guard) co_return;
    // A sign-in or sign-out that ended meanwhile knows better.
    if (epoch == sessionEpoch_)
        assign(signedIn_, token.has_value() && !token->isEmpty(), &AccountSession::signedInChanged);
    started_ = true;
    Q_EMIT startedChanged();
}

QString AccountSession::displayName() const {
    if (!preferredName_.isEmpty()) return preferredName_;
    const QStringList runs = email_.split(u'@', Qt::SkipEmptyParts);
    if (!runs.isEmpty()) return runs.first();
    return QStringLiteral("我的账户");
}

QString AccountSession::initials() const { return base::text::upper(base::text::graphemePrefix(displayName(), 1)); }

void AccountSession::setPreferredName(const QString& name) {
    const QString value = base::text::graphemePrefix(base::text::trimmed(name), preferredNameLimit);
    assign(preferredName_, value, &AccountSession::preferredNameChanged);
    defaults_.setString(accountID_ ? displayNameKey + u'.' + *accountID_ : displayNameKey, value);
}

QCoro::Task<void> AccountSession::signIn(QString email, QString password) {
    if (working_) co_return;
    QPointer<AccountSession> guard(this);
    ++refreshSequence_;  // a refresh already under way is dropped
    assign(working_, true, &AccountSession::workingChanged);

    QJsonObject reply;
    std::exception_ptr failure;
    try {
        const QMap<QString, QString> body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
        auto client = services_.client;
        auto exchange = client->request(AccountServiceClient::accountsPath, "POST", body, std::nullopt, loginKind_);
        reply = co_await std::move(exchange);
        // A token that could not be sent back (empty, or with control characters) is no token.
        const QJsonValue token = reply.value(QStringLiteral("token"));
        if (!token.isString() || !usableToken(token.toString()))
            throw AccountServiceError(502, QStringLiteral("missing_session_token"));
        auto keyring = services_.keyring;
        auto saving = onKeyringThread([keyring, value = token.toString()] { keyring->save(value); });
        co_await std::move(saving);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) co_return;
    if (failure) {
        setFeedback({signInFailureText(failure)});
        assign(working_, false, &AccountSession::workingChanged);
        co_return;
    }

    const QJsonValue replyEmail = reply.value(QStringLiteral("email"));
    beginPendingSession(kNative, replyEmail.isString() ? replyEmail.toString() : base::text::lower(email));

    auto confirming = refresh();
    co_await std::move(confirming);
    if (!guard) co_return;
    if (accountID_ && !emailVerified_) setFeedback({kSignedInUnverified});
    assign(working_, false, &AccountSession::workingChanged);
}

void AccountSession::beginPendingSession(const QString& loginKind, const QString& email) {
    ++sessionEpoch_;
    ++refreshSequence_;
    services_.studyFlow->reset();
    assign(accountID_, std::optional<QString>(), &AccountSession::accountIDChanged);
    assign(preferredName_, QString(), &AccountSession::preferredNameChanged);
    history_.switchToPending();
    assign(emailVerified_, false, &AccountSession::emailVerifiedChanged);
    assign(identityVerified_, false, &AccountSession::identityVerifiedChanged);
    assign(loginKind_, loginKind, &AccountSession::loginKindChanged);
    defaults_.setString(loginKindKey, loginKind);
    assign(email_, email, &AccountSession::emailChanged);
    defaults_.setString(emailKey, email);
    assign(signedIn_, true, &AccountSession::signedInChanged);
}

QCoro::Task<void> AccountSession::signInWithGoogle() {
    if (working_) co_return;
    QPointer<AccountSession> guard(this);
    ++refreshSequence_;  // a refresh already under way is dropped
    assign(working_, true, &AccountSession::workingChanged);

    const QString invalidReply = tamsel::StudyError(tamsel::StudyError::Case::invalidResponse).message();
    QJsonObject reply;
    std::exception_ptr failure;
    try {
        auto google = services_.google;
        auto running = google->signIn();
        reply = co_await std::move(running);
        // The checks in this order; nothing of the session changes before they all hold.
        const QJsonValue token = reply.value(QStringLiteral("token"));
        const QJsonValue id = reply.value(QStringLiteral("id"));
        if (!token.isString() || !usableToken(token.toString()) ||
            reply.value(QStringLiteral("kind")) != QJsonValue(QStringLiteral("google")) ||
            reply.value(QStringLiteral("identity_verified")) != QJsonValue(true) || !id.isString() ||
            !AccountDataScope::validAccountID(id.toString()))
            throw tamsel::StudyError(tamsel::StudyError::Case::invalidResponse);
        auto keyring = services_.keyring;
        auto saving = onKeyringThread([keyring, value = token.toString()] { keyring->save(value); });
        co_await std::move(saving);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!guard) co_return;
    if (failure) {
        setGoogleFailure(base::messageOf(failure));
        co_return;
    }

    const QString expectedID = reply.value(QStringLiteral("id")).toString();
    const QJsonValue email = reply.value(QStringLiteral("email"));
    beginPendingSession(QStringLiteral("google"), email.isString() ? email.toString() : QString());

    auto confirming = refresh();
    co_await std::move(confirming);
    if (!guard) co_return;
    if (accountID_ == expectedID) {
        setFeedback({QStringLiteral("Google 登录成功"), QStringLiteral("Signed in with Google"),
                     QStringLiteral("Connexion Google réussie")});
        assign(working_, false, &AccountSession::workingChanged);
        co_return;
    }
    if (!accountID_) {
        // Not confirmed yet: the token stays, and a later refresh may still confirm it.
        setGoogleFailure(invalidReply);
        co_return;
    }
    // The token belongs to another account than the one Google's reply named: no session is kept
    // for it.
    auto removing = removeToken();
    const std::optional<QString> removal = co_await std::move(removing);
    if (!guard) co_return;
    if (!removal) endSession();
    setGoogleFailure(removal.value_or(invalidReply));
}

void AccountSession::setGoogleFailure(const QString& description) {
    setFeedback({QStringLiteral("Google 登录失败：") + description});
    assign(working_, false, &AccountSession::workingChanged);
}

QCoro::Task<void> AccountSession::refresh() {
    QPointer<AccountSession> guard(this);
    if (!started_) {
        auto starting = qCoro(this, &AccountSession::startedChanged);
        co_await std::move(starting);
        if (!guard) co_return;
    }
    if (!signedIn_) co_return;

    std::optional<QString> token;
    try {
        auto keyring = services_.keyring;
        auto loading = onKeyringThread([keyring] { return keyring->load(); });
        token = usableToken(co_await std::move(loading));
    } catch (...) {
        co_return;  // an unreadable keyring changes nothing and says nothing
    }
    if (!guard || !token) co_return;

    const quint64 sequence = ++refreshSequence_;
    const quint64 epoch = sessionEpoch_;
    QJsonObject reply;
    std::exception_ptr failure;
    try {
        auto client = services_.client;
        auto exchange = client->request(AccountServiceClient::accountPath, "GET", std::nullopt, token, loginKind_);
        reply = co_await std::move(exchange);
    } catch (...) {
        failure = std::current_exception();
    }
    // A newer refresh, a sign-in or a sign-out happened meanwhile: the result is stale.
    if (!guard || sequence != refreshSequence_ || epoch != sessionEpoch_ || !signedIn_) co_return;
    if (failure) {
        applyRefreshFailure(base::messageOf(failure));
        co_return;
    }
    applyAccount(reply);
}

void AccountSession::applyAccount(const QJsonObject& reply) {
    const QJsonValue id = reply.value(QStringLiteral("id"));
    const QJsonValue kindValue = reply.value(QStringLiteral("kind"));
    const QString kind = kindValue.isString() ? kindValue.toString() : kNative;
    if (!id.isString() || !AccountDataScope::validAccountID(id.toString()) || !isLoginKind(kind)) {
        applyRefreshFailure(tamsel::StudyError(tamsel::StudyError::Case::invalidResponse).message());
        return;
    }
    const QString accountID = id.toString();
    if (accountID_ != accountID || loginKind_ != kind) {
        services_.studyFlow->dropTutorHandoff();
        assign(accountID_, std::optional<QString>(accountID), &AccountSession::accountIDChanged);
        assign(loginKind_, kind, &AccountSession::loginKindChanged);
        defaults_.setString(loginKindKey, kind);
        assign(preferredName_, defaults_.string(displayNameKey + u'.' + accountID),
               &AccountSession::preferredNameChanged);
        history_.switchToAccount(accountID);
    }
    const QJsonValue email = reply.value(QStringLiteral("email"));
    if (email.isString()) {
        assign(email_, email.toString(), &AccountSession::emailChanged);
        defaults_.setString(emailKey, email.toString());
    }
    const QJsonValue emailVerified = reply.value(QStringLiteral("email_verified"));
    const QJsonValue identityVerified = reply.value(QStringLiteral("identity_verified"));
    const bool verified = emailVerified.isBool() && emailVerified.toBool();
    assign(emailVerified_, verified, &AccountSession::emailVerifiedChanged);
    assign(identityVerified_, verified || (identityVerified.isBool() && identityVerified.toBool()),
           &AccountSession::identityVerifiedChanged);
    setFeedback({QString()});
}

void AccountSession::applyRefreshFailure(const QString& description) {
    assign(accountID_, std::optional<QString>(), &AccountSession::accountIDChanged);
    assign(preferredName_, QString(), &AccountSession::preferredNameChanged);
    history_.switchToPending();
    assign(emailVerified_, false, &AccountSession::emailVerifiedChanged);
    assign(identityVerified_, false, &AccountSession::identityVerifiedChanged);
    setFeedback({QStringLiteral("账户信息刷新失败：") + description});
}

QCoro::Task<void> AccountSession::sendVerificationEmail() {
    QPointer<AccountSession> guard(this);
    const auto eligible = [this] { return signedIn_ && loginKind_ == kNative && !emailVerified_; };
    std::optional<QString> token;
    if (eligible()) {
        try {
            auto keyring = services_.keyring;
            auto loading = onKeyringThread([keyring] { return keyring->load(); });
            token = usableToken(co_await std::move(loading));
        } catch (...) {
            // An unreadable keyring counts as no token.
        }
        if (!guard) co_return;
    }
    if (!eligible() || !token) {
        setFeedback({QStringLiteral("请先登录尚未验证邮箱的账户。"),
                     QStringLiteral("Sign in to an unverified email account first."),
                     QStringLiteral("Connectez-vous à un compte dont l’adresse courriel n’est pas vérifiée.")});
        co_return;
    }
    const std::optional<QUrl> url = services_.client->verificationUrl();
    if (!url) {
        setFeedback({QStringLiteral("邮箱验证服务不可用。"), QStringLiteral("Email verification is unavailable."),
                     QStringLiteral("La vérification par courriel est indisponible.")});
        co_return;
    }

    assign(working_, true, &AccountSession::workingChanged);
    const Feedback failed{QStringLiteral("验证邮件发送失败，请稍后重试。"),
                          QStringLiteral("Could not send verification email. Please try again."),
                          QStringLiteral("Impossible d’envoyer le courriel de vérification. Réessayez.")};
    Feedback message;
    std::optional<net::HttpResponse> response;
    try {
        auto client = services_.client;
        auto sending = client->requestVerification(*url, *token);
        response = co_await std::move(sending);
    } catch (...) {
        message = {QStringLiteral("网络异常，尚未发送验证邮件。"),
                   QStringLiteral("Network error. Verification email was not sent."),
                   QStringLiteral("Erreur réseau. Le courriel de vérification n’a pas été envoyé.")};
    }
    if (!guard) co_return;
    if (response) {
        if (response->status == 200) {
            // Already verified: the refresh picks the flag up before the message is shown.
            auto refreshing = refresh();
            co_await std::move(refreshing);
            if (!guard) co_return;
            message = {QStringLiteral("邮箱已验证。"), QStringLiteral("Email already verified."),
                       QStringLiteral("Adresse courriel déjà vérifiée.")};
        } else if (response->status == 202) {
            const QJsonDocument document = QJsonDocument::fromJson(response->body);
            const bool sent =
                document.isObject() && document.object().value(QStringLiteral("sent")) == QJsonValue(true);
            message = sent ? Feedback{QStringLiteral("验证邮件已发送，请在 15 分钟内前往邮箱完成验证。"),
                                      QStringLiteral("Verification email sent. Check your inbox within 15 minutes."),
                                      QStringLiteral("Courriel de vérification envoyé. Consultez votre boîte de "
                                                     "réception dans les 15 minutes.")}
                           : failed;
        } else if (response->status == 503) {
            message = {QStringLiteral("邮件服务暂时不可用，请稍后重试。"),
                       QStringLiteral("Email service is temporarily unavailable."),
                       QStringLiteral("Le service courriel est temporairement indisponible.")};
        } else if (response->status == 429) {
            message = {QStringLiteral("请求过于频繁，请稍后重试。"),
                       QStringLiteral("Too many requests. Please try again later."),
                       QStringLiteral("Trop de demandes. Réessayez plus tard.")};
        } else {
            message = failed;
        }
    }
    setFeedback(message);
    assign(working_, false, &AccountSession::workingChanged);
}

QCoro::Task<void> AccountSession::signOut() {
    QPointer<AccountSession> guard(this);
    auto removing = removeToken();
    const std::optional<QString> failure = co_await std::move(removing);
    if (!guard) co_return;
    if (failure) {
        // The token may still be there: the session stays signed in, history scope included.
        setFeedback({*failure});
        co_return;
    }
    endSession();
    setFeedback({QStringLiteral("已退出登录")});
}

QCoro::Task<std::optional<QString>> AccountSession::removeToken() {
    auto keyring = services_.keyring;
    std::optional<QString> failure;
    try {
        auto removing = onKeyringThread([keyring] { keyring->remove(); });
        co_await std::move(removing);
    } catch (...) {
        failure = base::messageOf(std::current_exception());
    }
    co_return failure;
}

void AccountSession::endSession() {
    ++sessionEpoch_;
    ++refreshSequence_;
    services_.studyFlow->reset();
    assign(email_, QString(), &AccountSession::emailChanged);
    assign(accountID_, std::optional<QString>(), &AccountSession::accountIDChanged);
    assign(loginKind_, kNative, &AccountSession::loginKindChanged);
    defaults_.remove(loginKindKey);
    assign(preferredName_, defaults_.string(displayNameKey), &AccountSession::preferredNameChanged);
    history_.switchToGuest();
    assign(signedIn_, false, &AccountSession::signedInChanged);
    assign(emailVerified_, false, &AccountSession::emailVerifiedChanged);
    assign(identityVerified_, false, &AccountSession::identityVerifiedChanged);
    defaults_.remove(emailKey);
}

void AccountSession::importLegacyMeridHistory() {
    const auto report = [this](const QString& text) { setFeedback({text}); };
    const std::optional<QString> accountFile =
        accountID_ ? AccountDataScope::meridSessionsURL(*accountID_, services_.dataFolder) : std::nullopt;
    if (!signedIn_ || !accountFile) {
        report(QStringLiteral("请先验证并登录账户"));
        return;
    }
    const QString accountID = *accountID_;
    try {
        // The older file is only ever read.
        const meridcore::TeacherLearningStore legacy(std::nullopt, AccountDataScope::appNamespace(),
                                                     services_.dataFolder);
        const QList<meridcore::TeacherLearningSession> older = legacy.load();
        if (older.isEmpty()) {
            report(QStringLiteral("没有需要导入的旧 MERID 会话"));
            return;
        }
        // An open tutor screen's saves to the account's file land first, so that none overwrites this.
        meridcore::TeacherLearningStore::finishPendingWrites(*accountFile);
        const meridcore::TeacherLearningStore store(*accountFile);
        QList<meridcore::TeacherLearningSession> sessions = store.load();
        QSet<QUuid> known;
        for (const auto& session : sessions) known.insert(session.id);
        int copied = 0;
        for (const auto& session : older) {
            // A repeated id is copied once: the first, newest copy.
            if (known.contains(session.id)) continue;
            known.insert(session.id);
            sessions.append(session);
            ++copied;
        }
        store.save(sessions);
        report(QStringLiteral("已复制 ") + QString::number(copied) +
               QStringLiteral(" 条 MERID 会话。旧版原件仍保留。"));
        if (copied > 0) Q_EMIT meridSessionsImported(accountID);
    } catch (...) {
        report(QStringLiteral("MERID 旧历史导入失败：") + base::messageOf(std::current_exception()));
    }
}

}  // namespace velquin
