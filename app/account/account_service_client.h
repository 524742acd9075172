#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <optional>

#include "net/http.h"

namespace velquin {

// Where the hosted account services are: each a base ("https://host", optionally with a port) to
// which a request path is appended as it stands.
struct AccountServiceEndpoints {
    QString account;       // e-mail sign-in and the account of other sessions
    QString identity;      // the account of a Google session
    QString verification;  // the verification e-mail

    // ORVEL_ACCOUNT_SERVICE_URL, ORVEL_IDENTITY_SERVICE_URL and ORVEL_VERIFICATION_SERVICE_URL;
    // each unset one falls back to ORVEL_SERVICE_URL, then to https://api.orvel.app.
    static AccountServiceEndpoints fromEnvironment();
    // Every service on one base.
    static AccountServiceEndpoints single(const QString& base);
};

// The HTTP exchanges of the account session with the account, identity and verification
// services. JSON in UTF-8, no cookies, no cache, and no redirects (every request carries a
// password or a token). Keeps no state between exchanges and never retries. Main thread only.
class AccountServiceClient {
public:
    static inline const QString accountsPath = QStringLiteral("/v1/accounts");
    static inline const QString accountPath = QStringLiteral("/v1/account");
    static inline const QString verificationPath = QStringLiteral("/v1/email/verification/request");

    struct Options {
        AccountServiceEndpoints endpoints = AccountServiceEndpoints::fromEnvironment();
        std::chrono::milliseconds accountTimeout{60000};
        std::chrono::milliseconds verificationTimeout{20000};
    };

    // With no HTTP session, the client makes its own. Without options: the configured services.
    AccountServiceClient();
    explicit AccountServiceClient(Options options, std::shared_ptr<net::HttpClient> http = nullptr);

    // The base of a request: the identity service for GET /v1/account of a "google" session (both
    // compared exactly), the account service for everything else.
    QString baseFor(const QString& path, const QString& loginKind) const;
    // The base followed by the path, when that is a URL with a scheme and a host.
    static std::optional<QUrl> serviceUrl(const QString& base, const QString& path);

    // One exchange with the account or identity service: `body` goes as one JSON object with its
    // "Content-Type", `token` as "Authorization: Bearer <token>". Returns the top-level JSON object
    // of a 2xx reply (an empty one when the reply is any other JSON value: array, string, number,
    // boolean or null). Throws
    // AccountServiceError for any other status, StudyError(invalidResponse) when no URL can be
    // formed or a 2xx body is not JSON, net::NetworkError when no reply came.
    // (Coroutines here take no default arguments: GCC 12 destroys such an argument twice.)
    QCoro::Task<QJsonObject> request(QString path, QByteArray method, std::optional<QMap<QString, QString>> body,
                                     std::optional<QString> token, QString loginKind);

    // The verification service's address; nothing when the configured base forms no URL.
    std::optional<QUrl> verificationUrl() const;
    // Asks for the verification e-mail: POST with the bearer token and the body "{}". Returns any
    // HTTP reply; throws net::NetworkError when none came within the verification time-out.
    QCoro::Task<net::HttpResponse> requestVerification(QUrl url, QString token);

private:
    Options options_;
    std::shared_ptr<net::HttpClient> http_;
};

}  // namespace velquin
