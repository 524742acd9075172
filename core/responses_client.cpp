#include "core/responses_client.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include "base/text.h"
#include "core/consent.h"

namespace tamsel {

QString OrvelHostedError::message() const {
    switch (case_) {
    case Case::invalidMode: return QStringLiteral("不支持的学习模式。");
    case Case::consentRequired: return QStringLiteral("请先在设置中同意：所选文字会发送至第三方 AI 服务处理。");
    case Case::http:
        if (status_ == 401) return QStringLiteral("登录已失效，请在个人账户中重新登录。");
        if (status_ == 403) return QStringLiteral("请求被拒绝，请检查隐私同意与账户权限。");
        if (status_ == 429) return QStringLiteral("已达到当前套餐的公平使用限制。");
        if (status_ >= 500 && status_ <= 599) return QStringLiteral("Orvel AI 服务暂时不可用，请稍后再试。");
        return QStringLiteral("Orvel AI 请求失败（HTTP ") + QString::number(status_) + QStringLiteral("）。");
    }
    return {};
}

namespace {

constexpr qsizetype kStudyTextLimit = 1500;
constexpr qsizetype kTutorTextLimit = 12000;
const QString kAnswerPath = QStringLiteral("/v1/ai/answer");
const QString kDefaultService = QStringLiteral("https://api.orvel.app");
constexpr std::chrono::milliseconds kRequestTimeout{50000};
constexpr std::chrono::milliseconds kResourceTimeout{55000};

QByteArray jsonBody(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

}  // namespace

QUrl ResponsesClient::endpoint(const QUrl& serviceBase) {
    QUrl url = serviceBase;
    QString path = url.path();
    while (path.endsWith(u'/')) path.chop(1);
    url.setPath(path + kAnswerPath);
    return url;
}

QUrl ResponsesClient::endpoint() {
    static const QUrl url = [] {
        const QString configured = qEnvironmentVariable("ORVEL_SERVICE_URL");
        return endpoint(QUrl(configured.isEmpty() ? kDefaultService : configured));
    }();
    return url;
}

ResponsesClient::ResponsesClient(std::shared_ptr<net::HttpClient> session)
    : ResponsesClient(std::move(session), Options{}) {}

ResponsesClient::ResponsesClient(std::shared_ptr<net::HttpClient> session, Options options)
    : session_(session ? std::move(session) : std::make_shared<net::HttpClient>()), options_(std::move(options)) {}

base::DefaultsStore& ResponsesClient::defaults() const {
    return options_.defaults ? *options_.defaults : base::DefaultsStore::standard();
}

QString ResponsesClient::wireMode(StudyMode mode) {
    switch (mode) {
    case StudyMode::translate: return QStringLiteral("translate");
    case StudyMode::explain: return QStringLiteral("explain");
    case StudyMode::practice: return QStringLiteral("ask");
    }
    return {};
}

QString ResponsesClient::wireLanguage(AnswerLanguage language) {
    switch (language) {
    case AnswerLanguage::simplifiedChinese: return QStringLiteral("zh-CN");
    case AnswerLanguage::traditionalChinese: return QStringLiteral("zh-TW");
    case AnswerLanguage::english: return QStringLiteral("en");
    case AnswerLanguage::french: return QStringLiteral("fr");
    }
    return {};
}

const QStringList& ResponsesClient::tutorModes() {
    static const QStringList modes{QStringLiteral("teach"), QStringLiteral("quiz"), QStringLiteral("grade"),
                                   QStringLiteral("summary"), QStringLiteral("sprint")};
    return modes;
}

const QStringList& ResponsesClient::tutorModelTiers() {
    static const QStringList tiers{QStringLiteral("flash"), QStringLiteral("pro")};
    return tiers;
}

net::HttpRequest ResponsesClient::makeRequest(const QString& text, StudyMode mode, AnswerLanguage language,
                                               const QString& apiKey, const QString& /*model*/,
                                               int /*maxOutputTokens*/, ReasoningEffort /*reasoningEffort*/,
                                               base::DefaultsStore& defaults, const QUrl& endpointUrl) {
    const QString source = SourceText::validated(text);
    if (base::text::graphemeCountExceeds(source, kStudyTextLimit)) throw StudyError(StudyError::Case::inputTooLong);
    const QString token = base::text::trimmed(apiKey);
    // A control character inside the token would break or inject into the header: refused as well.
    if (token.isEmpty() || base::text::containsControlCharacter(token)) throw StudyError(StudyError::Case::missingKey);
    if (!AIPrivacyConsent::isGranted(defaults)) throw OrvelHostedError::consentRequired();

    net::HttpRequest request;
    request.method = "POST";
    request.url = endpointUrl.isEmpty() ? endpoint() : endpointUrl;
    request.carriesCredentials = true;
    request.requestTimeout = kRequestTimeout;
    request.totalTimeout = kResourceTimeout;
    request.headers = {{"Authorization", "Bearer " + token.toUtf8()},
                       {"Content-Type", "application/json"},
                       {"Accept", "application/json"}};
    QJsonObject body;
    body.insert(QStringLiteral("text"), source);
    body.insert(QStringLiteral("mode"), wireMode(mode));
    body.insert(QStringLiteral("language"), wireLanguage(language));
    body.insert(QStringLiteral("privacy_consent"), true);
    request.body = jsonBody(body);
    return request;
}

net::HttpRequest ResponsesClient::prepare(net::HttpRequest request) const {
    if (!options_.endpoint.isEmpty()) request.url = options_.endpoint;
    request.requestTimeout = options_.requestTimeout;
    request.totalTimeout = options_.resourceTimeout;
    request.maxResponseBytes = options_.maxResponseBytes;
    return request;
}

QCoro::Task<ModelAnswer> ResponsesClient::answer(QString text, StudyMode mode, AnswerLanguage language,
                                                 QString apiKey, QString model, int maxOutputTokens,
                                                 ReasoningEffort reasoningEffort,
                                                 base::CancellationToken cancellation) const {
    net::HttpRequest request = makeRequest(text, mode, language, apiKey, model, maxOutputTokens, reasoningEffort,
                                            defaults(), options_.endpoint);
    // The task is a named local: GCC 12 destroys temporaries of an awaited expression twice.
    auto exchange = execute(prepare(std::move(request)), std::move(cancellation));
    co_return co_await std::move(exchange);
}

QCoro::Task<ModelAnswer> ResponsesClient::proAnswer(QString text, QString mode, AnswerLanguage language,
                                                    QString sessionToken, QString modelTier,
                                                    base::CancellationToken cancellation) const {
    if (!tutorModes().contains(mode)) throw OrvelHostedError::invalidMode();
    if (!tutorModelTiers().contains(modelTier)) throw OrvelHostedError::invalidMode();
    if (base::text::graphemeCountExceeds(text, kTutorTextLimit)) throw StudyError(StudyError::Case::inputTooLong);
    if (base::text::trimSpacesAndTabs(text).isEmpty()) throw StudyError(StudyError::Case::emptyInput);
    if (!AIPrivacyConsent::isGranted(defaults())) throw OrvelHostedError::consentRequired();
    // The token goes as given, but an empty one or one holding control characters (which would
    // break or inject into the header) is refused before anything is sent.
    if (sessionToken.isEmpty() || base::text::containsControlCharacter(sessionToken))
        throw StudyError(StudyError::Case::missingKey);

    net::HttpRequest request;
    request.method = "POST";
    request.url = endpoint();
    request.carriesCredentials = true;
    request.requestTimeout = kRequestTimeout;
    request.totalTimeout = kResourceTimeout;
    request.headers = {{"Authorization", "Bearer " + sessionToken.toUtf8()}, {"Content-Type", "application/json"}};
    QJsonObject body;
    body.insert(QStringLiteral("text"), text);
    body.insert(QStringLiteral("mode"), mode);
    body.insert(QStringLiteral("language"), wireLanguage(language));
    body.insert(QStringLiteral("privacy_consent"), true);
    body.insert(QStringLiteral("model_tier"), modelTier);
    request.body = jsonBody(body);
    // The task is a named local: GCC 12 destroys temporaries of an awaited expression twice.
    auto exchange = execute(prepare(std::move(request)), std::move(cancellation));
    co_return co_await std::move(exchange);
}

QCoro::Task<ModelAnswer> ResponsesClient::execute(net::HttpRequest request,
                                                  base::CancellationToken cancellation) const {
    // Keep the session alive for the whole exchange, even if this client is destroyed meanwhile.
    const std::shared_ptr<net::HttpClient> session = session_;
    auto sending = session->send(std::move(request), cancellation);
    net::HttpResponse response;
    try {
        response = co_await std::move(sending);
    } catch (const net::NetworkError& error) {
        // A reply too large to hold is one the service should never send: an unreadable reply.
        if (error.kind() == net::NetworkError::Kind::tooLarge) throw StudyError(StudyError::Case::invalidResponse);
        throw;
    }
    cancellation.throwIfCancelled();
    co_return decode(response.body, response.status);
}

ModelAnswer ResponsesClient::decode(const QByteArray& data, int statusCode) {
    if (statusCode < 200 || statusCode > 299) throw OrvelHostedError::http(statusCode);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw StudyError(StudyError::Case::invalidResponse);
    const QJsonValue answer = document.object().value(QStringLiteral("answer"));
    if (!answer.isString() || answer.toString().isEmpty()) throw StudyError(StudyError::Case::invalidResponse);
    return ModelAnswer{answer.toString(), std::nullopt, std::nullopt, std::nullopt};
}

}  // namespace tamsel
