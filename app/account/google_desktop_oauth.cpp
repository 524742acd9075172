#include "app/account/google_desktop_oauth.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRandomGenerator>

#include "app/account/account_service_client.h"
#include "net/http.h"
#include "base/json.h"
#include "base/text.h"

namespace velquin {

BrowserOpener::~BrowserOpener() = default;

namespace {

constexpr qsizetype kMinChallengeLength = 21;
constexpr qsizetype kMinIDTokenLength = 101;
constexpr qsizetype kMaxIDTokenLength = 17999;

class DesktopBrowserOpener : public BrowserOpener {
public:
    bool open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

QString configured(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable).trimmed();
    return value.isEmpty() ? fallback : value;
}

QString urlSafeBase64(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QByteArray encodedPair(const char* name, const QString& value) {
    return QByteArray(name) + '=' + QUrl::toPercentEncoding(value);
}

// A text member of at least `minimum` characters.
std::optional<QString> longText(const QJsonObject& object, const QString& key, qsizetype minimum) {
    const QJsonValue value = object.value(key);
    if (!value.isString() || base::text::graphemeCount(value.toString()) < minimum) return std::nullopt;
    return value.toString();
}

QJsonDocument parsed(const QByteArray& body) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) throw base::JsonDecodeError(error.errorString());
    return document;
}

// One JSON POST to the identity service: no token, 25 s. The reply object of a 200; for any other
// status brokerRejected with the reply's "error"."code". It never follows a redirect: the federated
// sign-in carries Google's ID token.
QCoro::Task<QJsonObject> postIdentity(std::shared_ptr<net::HttpClient> http, QString base, QString path,
                                      QJsonObject body, std::chrono::milliseconds timeout) {
    const std::optional<QUrl> url = AccountServiceClient::serviceUrl(base, path);
    if (!url) throw GoogleAuthError(GoogleAuthError::Case::invalidResponse);
    net::HttpRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    request.carriesCredentials = true;
    request.requestTimeout = timeout;
    request.totalTimeout = timeout;
    auto sending = http->send(std::move(request));
    const net::HttpResponse response = co_await std::move(sending);
    if (response.status != 200) {
        std::optional<QString> code;
        const QJsonDocument document = QJsonDocument::fromJson(response.body);
        const QJsonValue error = document.isObject() ? document.object().value(QStringLiteral("error")) : QJsonValue();
        if (error.isObject() && error.toObject().value(QStringLiteral("code")).isString())
            code = error.toObject().value(QStringLiteral("code")).toString();
        throw GoogleAuthError(GoogleAuthError::Case::brokerRejected, response.status,
                              GoogleAuthError::safeCode(code, QStringLiteral("identity_unavailable")));
    }
    const QJsonDocument document = parsed(response.body);
    if (!document.isObject()) throw GoogleAuthError(GoogleAuthError::Case::invalidResponse);
    co_return document.object();
}

}  // namespace

std::shared_ptr<BrowserOpener> desktopBrowserOpener() { return std::make_shared<DesktopBrowserOpener>(); }

GoogleOAuthConfiguration GoogleOAuthConfiguration::fromEnvironment() {
    return {AccountServiceEndpoints::fromEnvironment().identity,
            configured("ORVEL_GOOGLE_AUTHORIZATION_URL", QStringLiteral("https://accounts.google.com")),
            configured("ORVEL_GOOGLE_TOKEN_URL", QStringLiteral("https://oauth2.googleapis.com")),
            configured("ORVEL_GOOGLE_CLIENT_ID", GoogleDesktopOAuth::builtInClientID),
            qEnvironmentVariable("ORVEL_GOOGLE_CLIENT_SECRET").trimmed()};
}

GoogleDesktopOAuth::GoogleDesktopOAuth() : GoogleDesktopOAuth(Options{}, desktopBrowserOpener()) {}

GoogleDesktopOAuth::GoogleDesktopOAuth(Options options, std::shared_ptr<BrowserOpener> browser,
                                       std::shared_ptr<net::HttpClient> http)
    : options_(std::move(options)),
      browser_(std::move(browser)),
      http_(http ? std::move(http) : std::make_shared<net::HttpClient>()) {}

GoogleDesktopOAuth::~GoogleDesktopOAuth() = default;

QString GoogleDesktopOAuth::makeVerifier() {
    QByteArray bytes(48, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return urlSafeBase64(bytes);
}

QString GoogleDesktopOAuth::challengeOf(const QString& verifier) {
    return urlSafeBase64(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256));
}

std::optional<QUrl> GoogleDesktopOAuth::authorizationUrl(const QString& base, const QString& clientID,
                                                         const QString& redirectURI, const QString& challenge,
                                                         const QString& nonce, const QString& state) {
    const std::optional<QUrl> page = AccountServiceClient::serviceUrl(base, authorizationPath);
    if (!page || !page->query().isEmpty()) return std::nullopt;
    const QByteArray query = encodedPair("client_id", clientID) + '&' + encodedPair("redirect_uri", redirectURI) + '&' +
                             encodedPair("response_type", QStringLiteral("code")) + '&' +
                             encodedPair("scope", QStringLiteral("openid email profile")) + '&' +
                             encodedPair("code_challenge", challenge) + '&' +
                             encodedPair("code_challenge_method", QStringLiteral("S256")) + '&' +
                             encodedPair("nonce", nonce) + '&' + encodedPair("state", state);
    // Built from encoded bytes, so that the values keep their strict encoding ("+" as %2B).
    const QUrl url = QUrl::fromEncoded(page->toEncoded() + '?' + query, QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    return url;
}

QByteArray GoogleDesktopOAuth::tokenForm(const QString& clientID, const QString& code, const QString& verifier,
                                         const QString& redirectURI, const QString& clientSecret) {
    QByteArray form = encodedPair("client_id", clientID) + '&' + encodedPair("code", code) + '&' +
                      encodedPair("code_verifier", verifier) + '&' + encodedPair("redirect_uri", redirectURI) + '&' +
                      encodedPair("grant_type", QStringLiteral("authorization_code"));
    if (!clientSecret.isEmpty()) form += '&' + encodedPair("client_secret", clientSecret);
    return form;
}

QCoro::Task<QJsonObject> GoogleDesktopOAuth::signIn() {
    // Everything the run needs, taken before its first wait.
    const GoogleOAuthConfiguration config = options_.configuration;
    const std::chrono::milliseconds timeout = options_.requestTimeout;
    const LocalGoogleCallback::Options listenerOptions = options_.listener;
    const std::shared_ptr<BrowserOpener> browser = browser_;
    const std::shared_ptr<net::HttpClient> http = http_;

    auto challenging = postIdentity(http, config.identity, challengePath,
                                    QJsonObject{{QStringLiteral("provider"), QStringLiteral("google")}}, timeout);
    const QJsonObject challenge = co_await std::move(challenging);
    const std::optional<QString> state = longText(challenge, QStringLiteral("state"), kMinChallengeLength);
    if (!state) throw AuthError(AuthError::Case::invalidResponse);
    const std::optional<QString> nonce = longText(challenge, QStringLiteral("nonce"), kMinChallengeLength);
    if (!nonce) throw AuthError(AuthError::Case::invalidResponse);

    const QString verifier = makeVerifier();
    // Owned by this run: destroying it on any way out closes the port and every connection.
    const std::unique_ptr<LocalGoogleCallback> listener = LocalGoogleCallback::start(*state, listenerOptions);
    const QString redirectURI =
        QStringLiteral("http://127.0.0.1:") + QString::number(listener->port()) + QStringLiteral("/callback");
    const std::optional<QUrl> page =
        authorizationUrl(config.authorization, config.clientID, redirectURI, challengeOf(verifier), *nonce, *state);
    if (!page || !browser->open(*page)) throw AuthError(AuthError::Case::browserUnavailable);

    auto waiting = listener->waitForCode();
    const QString code = co_await std::move(waiting);

    const std::optional<QUrl> tokenUrl = AccountServiceClient::serviceUrl(config.token, tokenPath);
    if (!tokenUrl) throw AuthError(AuthError::Case::invalidResponse);
    net::HttpRequest request;
    request.method = "POST";
    request.url = *tokenUrl;
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    request.body = tokenForm(config.clientID, code, verifier, redirectURI, config.clientSecret);
    request.requestTimeout = timeout;
    request.totalTimeout = timeout;
    request.carriesCredentials = true;  // the code and the verifier never follow a redirect
    auto exchanging = http->send(std::move(request));
    const net::HttpResponse response = co_await std::move(exchanging);
    if (response.status != 200) {
        std::optional<QString> error;
        const QJsonDocument document = QJsonDocument::fromJson(response.body);
        if (document.isObject() && document.object().value(QStringLiteral("error")).isString())
            error = document.object().value(QStringLiteral("error")).toString();
        throw AuthError(AuthError::Case::googleExchange, response.status,
                        AuthError::safeCode(error, QStringLiteral("google_unavailable")));
    }
    const QJsonDocument tokens = parsed(response.body);
    const QJsonValue idToken = tokens.isObject() ? tokens.object().value(QStringLiteral("id_token")) : QJsonValue();
    const qsizetype length = idToken.isString() ? base::text::graphemeCount(idToken.toString()) : 0;
    if (length < kMinIDTokenLength || length > kMaxIDTokenLength) throw AuthError(AuthError::Case::invalidResponse);

    auto federating = postIdentity(http, config.identity, federatedPath,
                                   QJsonObject{{QStringLiteral("provider"), QStringLiteral("google")},
                                               {QStringLiteral("state"), *state},
                                               {QStringLiteral("nonce"), *nonce},
                                               {QStringLiteral("id_token"), idToken.toString()}},
                                   timeout);
    co_return co_await std::move(federating);
}

}  // namespace velquin
