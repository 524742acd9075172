#pragma once

#include <QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include "base/cancellation.h"
#include "base/defaults_store.h"
#include "base/errors.h"
#include "net/http.h"
#include "core/study.h"

namespace tamsel {

// One answer of the hosted AI service.
struct ModelAnswer {
    QString text;
    std::optional<QString> warning;     // never sent by the hosted service
    std::optional<int> inputTokens;     // never sent by the hosted service
    std::optional<int> outputTokens;    // never sent by the hosted service
    bool operator==(const ModelAnswer&) const = default;
};

class OrvelHostedError : public base::Error {
public:
    enum class Case { http, invalidMode, consentRequired };

    static OrvelHostedError http(int status) { return OrvelHostedError(Case::http, status); }
    static OrvelHostedError invalidMode() { return OrvelHostedError(Case::invalidMode); }
    static OrvelHostedError consentRequired() { return OrvelHostedError(Case::consentRequired); }

    Case errorCase() const { return case_; }
    int status() const { return status_; }
    QString message() const override;
    bool operator==(const OrvelHostedError& other) const { return case_ == other.case_ && status_ == other.status_; }

private:
    explicit OrvelHostedError(Case c, int status = 0) : case_(c), status_(status) {}
    Case case_;
    int status_;
};

// The client of the hosted AI answer service: study answers (`answer`) and tutor turns
// (`proAnswer`) on one endpoint with one reply format. Keeps no state between requests and never
// retries. Copies share one HTTP session.
class ResponsesClient {
public:
    static inline const QString defaultModel = QStringLiteral("Orvel AI");
    static constexpr int defaultOutputTokens = 400;
    static constexpr int minOutputTokens = 128;
    static constexpr int maxOutputTokens = 8192;
    static bool isValidOutputLimit(qint64 limit) { return limit >= minOutputTokens && limit <= maxOutputTokens; }

    // The service host comes from ORVEL_SERVICE_URL (scheme and host, optionally a port), read on
    // first use; the endpoint is that host with the path "/v1/ai/answer".
    static QUrl endpoint();
    static QUrl endpoint(const QUrl& serviceBase);

    struct Options {
        QUrl endpoint;                                 // empty: endpoint()
        std::chrono::milliseconds requestTimeout{50000};
        std::chrono::milliseconds resourceTimeout{55000};
        qint64 maxResponseBytes = 8 * 1024 * 1024;     // a longer reply is unreadable (invalidResponse)
        base::DefaultsStore* defaults = nullptr;       // where the consent is read; null: the standard store
    };

    // With no session, the client makes its own (no cookies, no cache).
    explicit ResponsesClient(std::shared_ptr<net::HttpClient> session = nullptr);
    ResponsesClient(std::shared_ptr<net::HttpClient> session, Options options);

    // Validates and builds the study request (time-outs 50 s per request, 55 s in all). `model`,
    // `maxOutputTokens` and `reasoningEffort` are accepted and not sent. A token that is blank or
    // holds a control character gives missingKey.
    static net::HttpRequest makeRequest(const QString& text, StudyMode mode, AnswerLanguage language,
                                         const QString& apiKey, const QString& model, int maxOutputTokens,
                                         ReasoningEffort reasoningEffort,
                                         base::DefaultsStore& defaults = base::DefaultsStore::standard(),
                                         const QUrl& endpoint = {});

    // (The coroutines take no default arguments: GCC 12 destroys such an argument twice. The
    // overloads without a cancellation token forward to them.)
    QCoro::Task<ModelAnswer> answer(QString text, StudyMode mode, AnswerLanguage language, QString apiKey,
                                    QString model, int maxOutputTokens, ReasoningEffort reasoningEffort,
                                    base::CancellationToken cancellation) const;
    QCoro::Task<ModelAnswer> answer(QString text, StudyMode mode, AnswerLanguage language, QString apiKey,
                                    QString model, int maxOutputTokens, ReasoningEffort reasoningEffort) const {
        return answer(std::move(text), mode, language, std::move(apiKey), std::move(model), maxOutputTokens,
                      reasoningEffort, base::CancellationToken());
    }

    // The tutor variant: `text` is the whole tutor prompt, sent as given.
    QCoro::Task<ModelAnswer> proAnswer(QString text, QString mode, AnswerLanguage language, QString sessionToken,
                                       QString modelTier, base::CancellationToken cancellation) const;
    QCoro::Task<ModelAnswer> proAnswer(QString text, QString mode, AnswerLanguage language, QString sessionToken,
                                       QString modelTier) const {
        return proAnswer(std::move(text), std::move(mode), language, std::move(sessionToken), std::move(modelTier),
                         base::CancellationToken());
    }

    // Maps one reply of the service.
    static ModelAnswer decode(const QByteArray& data, int statusCode);

    // Wire codes of the request members.
    static QString wireMode(StudyMode mode);
    static QString wireLanguage(AnswerLanguage language);
    static const QStringList& tutorModes();
    static const QStringList& tutorModelTiers();

private:
    net::HttpRequest prepare(net::HttpRequest request) const;
    QCoro::Task<ModelAnswer> execute(net::HttpRequest request, base::CancellationToken cancellation) const;
    base::DefaultsStore& defaults() const;

    std::shared_ptr<net::HttpClient> session_;
    Options options_;
};

}  // namespace tamsel
