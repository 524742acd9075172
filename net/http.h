#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <memory>

#include "base/cancellation.h"
#include "base/errors.h"

class QNetworkAccessManager;

// The HTTP client of the hosted services.
namespace net {

// Words of Qt's own catalogue (qtbase): the context Qt translates them in and their English source.
struct QtText {
    const char* context;
    const char* source;
};

// A request that got no HTTP response: the kind decides what the interface says.
class NetworkError : public base::Error {
public:
    enum class Kind {
        timedOut,      // no answer within the per-request or total time-out
        notConnected,  // no route, refused, host not found, connection lost
        insecure,      // not https (plain http is allowed for 127.0.0.1 only)
        tooLarge,      // the response body is longer than the request allows
        other,         // TLS and protocol failures
    };
    NetworkError(Kind kind, QString detail, QNetworkReply::NetworkError code = QNetworkReply::NoError)
        : kind_(kind), detail_(std::move(detail)), code_(code) {}
    Kind kind() const { return kind_; }
    // The network layer's own code, where it gave one: callers that tell an unknown or refusing
    // host from a lost connection read it.
    QNetworkReply::NetworkError code() const { return code_; }
    // What went wrong, kept in words the interface can show in any of its languages whenever it
    // shows them: Qt's own words for the failure untranslated ("Connection closed"; see
    // qtFailureTexts), or a text of the interface's string table. A failure Qt words otherwise
    // keeps Qt's description as it came.
    QString message() const override { return detail_; }

private:
    Kind kind_;
    QString detail_;
    QNetworkReply::NetworkError code_;
};

// Qt's words that a NetworkError's message may be, "%1" standing for the host asked.
const QList<QtText>& qtFailureTexts();

struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // A request that carries a token or a password never follows a redirect.
    bool carriesCredentials = false;
    // Longest silence between two pieces of the exchange, and the longest whole exchange.
    std::chrono::milliseconds requestTimeout{60000};
    std::chrono::milliseconds totalTimeout{60000};
    // The largest response body accepted; a longer one ends the exchange with `tooLarge`.
    qint64 maxResponseBytes = 16 * 1024 * 1024;
};

struct HttpResponse {
    int status = 0;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

// The one way this program speaks HTTP: no cookies, no cache, https only (except 127.0.0.1).
// (Coroutines here take no default arguments: GCC 12 destroys such an argument twice.)
// Belongs to the thread that created it; copies of a client that hold the same shared pointer
// share one connection pool.
class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends the request and returns any HTTP response, whatever its status. Throws NetworkError
    // when no response came and CancellationError when `cancellation` fired (the reply is aborted
    // and a response that arrived anyway is dropped).
    QCoro::Task<HttpResponse> send(HttpRequest request, base::CancellationToken cancellation);
    QCoro::Task<HttpResponse> send(HttpRequest request) {
        return send(std::move(request), base::CancellationToken());
    }

    // True for https URLs, and for http URLs whose host is 127.0.0.1.
    static bool isAllowedUrl(const QUrl& url);

private:
    std::unique_ptr<QNetworkAccessManager> manager_;
};

}  // namespace net
