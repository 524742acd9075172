#include "app/account/account_service_client.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include "app/account/account_service_error.h"
#include "core/study.h"

namespace velquin {

namespace {

const QString kDefaultService = QStringLiteral("https://api.orvel.app");

QString configuredBase(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable).trimmed();
    return value.isEmpty() ? fallback : value;
}

// The top-level object of a JSON text, and an empty object for any other JSON value (array,
// string, number, boolean, null). Throws StudyError(invalidResponse) when the text is not JSON.
// QJsonDocument reads only an array or an object at the top, so the text is read as the single
// element of an array.
QJsonObject topLevelObject(QByteArray body) {
    if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson('[' + body + ']', &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1)
        throw tamsel::StudyError(tamsel::StudyError::Case::invalidResponse);
    return document.array().first().toObject();
}

}  // namespace

AccountServiceEndpoints AccountServiceEndpoints::fromEnvironment() {
    const QString service = configuredBase("ORVEL_SERVICE_URL", kDefaultService);
    return {configuredBase("ORVEL_ACCOUNT_SERVICE_URL", service), configuredBase("ORVEL_IDENTITY_SERVICE_URL", service),
            configuredBase("ORVEL_VERIFICATION_SERVICE_URL", service)};
}

AccountServiceEndpoints AccountServiceEndpoints::single(const QString& base) { return {base, base, base}; }

AccountServiceClient::AccountServiceClient() : AccountServiceClient(Options{}) {}

AccountServiceClient::AccountServiceClient(Options options, std::shared_ptr<net::HttpClient> http)
    : options_(std::move(options)), http_(http ? std::move(http) : std::make_shared<net::HttpClient>()) {}

QString AccountServiceClient::baseFor(const QString& path, const QString& loginKind) const {
    const bool identity = path == accountPath && loginKind == QLatin1String("google");
    return identity ? options_.endpoints.identity : options_.endpoints.account;
}

std::optional<QUrl> AccountServiceClient::serviceUrl(const QString& base, const QString& path) {
    QString origin = base;
    while (origin.endsWith(u'/')) origin.chop(1);
    const QUrl url(origin + path, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) return std::nullopt;
    return url;
}

QCoro::Task<QJsonObject> AccountServiceClient::request(QString path, QByteArray method,
                                                       std::optional<QMap<QString, QString>> body,
                                                       std::optional<QString> token, QString loginKind) {
    const std::optional<QUrl> url = serviceUrl(baseFor(path, loginKind), path);
    if (!url) throw tamsel::StudyError(tamsel::StudyError::Case::invalidResponse);

    net::HttpRequest request;
    request.method = method;
    request.url = *url;
    request.requestTimeout = options_.accountTimeout;
    request.totalTimeout = options_.accountTimeout;
    request.carriesCredentials = body.has_value() || token.has_value();
    if (body) {
        QJsonObject object;
        for (auto it = body->cbegin(); it != body->cend(); ++it) object.insert(it.key(), it.value());
        request.headers.append({QByteArray("Content-Type"), QByteArray("application/json")});
        request.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
    if (token) request.headers.append({QByteArray("Authorization"), "Bearer " + token->toUtf8()});

    // Keep the HTTP session alive for the whole exchange, even if this client goes away meanwhile.
    const std::shared_ptr<net::HttpClient> http = http_;
    auto sending = http->send(std::move(request));
    const net::HttpResponse response = co_await std::move(sending);

    if (response.status < 200 || response.status > 299)
        throw AccountServiceError(response.status, AccountServiceError::codeFromBody(response.body));
    co_return topLevelObject(response.body);
}

std::optional<QUrl> AccountServiceClient::verificationUrl() const {
    return serviceUrl(options_.endpoints.verification, verificationPath);
}

QCoro::Task<net::HttpResponse> AccountServiceClient::requestVerification(QUrl url, QString token) {
    net::HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.requestTimeout = options_.verificationTimeout;
    request.totalTimeout = options_.verificationTimeout;
    request.carriesCredentials = true;
    request.headers = {{"Authorization", "Bearer " + token.toUtf8()}, {"Content-Type", "application/json"}};
    request.body = "{}";
    const std::shared_ptr<net::HttpClient> http = http_;
    auto sending = http->send(std::move(request));
    co_return co_await std::move(sending);
}

}  // namespace velquin
