#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <optional>

#include "app/account/google_auth_error.h"
#include "app/account/local_google_callback.h"

namespace net {
class HttpClient;
}

namespace velquin {

// Hands a URL to the user's web browser.
class BrowserOpener {
public:
    virtual ~BrowserOpener();
    // Whether the desktop took the URL.
    virtual bool open(const QUrl& url) = 0;
};

// The desktop's default handler for web pages.
std::shared_ptr<BrowserOpener> desktopBrowserOpener();

// Where the Google sign-in goes, and as which application.
struct GoogleOAuthConfiguration {
    QString identity;       // base of the identity service (challenge and federated sign-in)
    QString authorization;  // base of Google's authorization page
    QString token;          // base of Google's token endpoint
    QString clientID;       // the desktop client's identifier
    QString clientSecret;   // empty when the client has none

    // ORVEL_GOOGLE_CLIENT_ID, ORVEL_GOOGLE_CLIENT_SECRET, ORVEL_GOOGLE_AUTHORIZATION_URL and
    // ORVEL_GOOGLE_TOKEN_URL, with Google's hosts and the built-in client when unset; the identity
    // service as the account session finds it (ORVEL_IDENTITY_SERVICE_URL, ORVEL_SERVICE_URL).
    static GoogleOAuthConfiguration fromEnvironment();
};

// One Google sign-in of this desktop application, up to the identity service's answer: a login
// challenge (state and nonce) from the identity service, Google's authorization page in the
// browser with a PKCE S256 challenge and a redirect to the loopback listener, the code exchanged
// for Google's ID token, and that token presented to the identity service's federated sign-in.
// Keeps nothing between runs; two runs share only the HTTP client. Main thread only.
class GoogleDesktopOAuth {
public:
    using AuthError = GoogleAuthError;

    static inline const QString challengePath = QStringLiteral("/v1/identity/challenge");
    static inline const QString federatedPath = QStringLiteral("/v1/identity/federated");
    static inline const QString authorizationPath = QStringLiteral("/o/oauth2/v2/auth");
    static inline const QString tokenPath = QStringLiteral("/token");
    static inline const QString builtInClientID =
        QStringLiteral("5093174628301-w8k2m4p6r1t3v5x7z9b0d2f4h6j8l1n3.apps.googleusercontent.com");

    struct Options {
        GoogleOAuthConfiguration configuration = GoogleOAuthConfiguration::fromEnvironment();
        std::chrono::milliseconds requestTimeout{25000};
        LocalGoogleCallback::Options listener;
    };

    // The configured services, the desktop's browser and an HTTP client of its own.
    GoogleDesktopOAuth();
    GoogleDesktopOAuth(Options options, std::shared_ptr<BrowserOpener> browser,
                       std::shared_ptr<net::HttpClient> http = nullptr);
    virtual ~GoogleDesktopOAuth();

    // The identity service's federated sign-in reply, unread. Throws GoogleAuthError, the
    // listener's failure to listen, net::NetworkError for a request that got no reply and
    // base::JsonDecodeError for a 200 reply that is not JSON. The listener is closed on every way
    // out.
    virtual QCoro::Task<QJsonObject> signIn();

    // 48 random bytes from the system's secure source in URL-safe Base64 without padding: 64
    // characters.
    static QString makeVerifier();
    // The S256 challenge of a verifier: SHA-256 of its bytes in URL-safe Base64 without padding.
    static QString challengeOf(const QString& verifier);
    // Google's authorization page with the eight query items in their order, every value
    // percent-encoded; nothing when the base forms no URL.
    static std::optional<QUrl> authorizationUrl(const QString& base, const QString& clientID,
                                                const QString& redirectURI, const QString& challenge,
                                                const QString& nonce, const QString& state);
    // The token request's form: client_id, code, code_verifier, redirect_uri, grant_type, and
    // client_secret last when the client has one.
    static QByteArray tokenForm(const QString& clientID, const QString& code, const QString& verifier,
                                const QString& redirectURI, const QString& clientSecret);

private:
    Options options_;
    std::shared_ptr<BrowserOpener> browser_;
    std::shared_ptr<net::HttpClient> http_;
};

}  // namespace velquin
