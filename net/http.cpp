#include "net/http.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <utility>

namespace net {

HttpClient::HttpClient() : manager_(std::make_unique<QNetworkAccessManager>()) {
    manager_->setCookieJar(nullptr);
    manager_->setCache(nullptr);
    manager_->setAutoDeleteReplies(false);
}

HttpClient::~HttpClient() = default;

bool HttpClient::isAllowedUrl(const QUrl& url) {
    if (!url.isValid()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https")) return !url.host().isEmpty();
    return scheme == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1");
}

namespace {

// The body of one request, as the network layer reads it. Qt's HTTP/1 channel sends a request again
// by itself (up to three times) when its connection closes before a whole reply header, whatever
// the method; before it does, it rewinds the body, and a body that will not rewind ends the reply
// with ContentReSendError instead. This one rewinds only after the server answered what it sent
// (a 307 or 308 rewinds it for the request the server asked for): a request without an answer is
// never sent twice. A request without a body gets an empty one, so that GET is held the same way.
class BodyOfOneRequest : public QIODevice {
public:
    explicit BodyOfOneRequest(QByteArray bytes) : bytes_(std::move(bytes)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    // A response header arrived for what was sent.
    void answered() { answered_ = true; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return bytes_.size(); }
    bool reset() override {
        if (!std::exchange(answered_, false)) return false;
        return QIODevice::reset();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 count = std::min(maxSize, qint64(bytes_.size()) - pos());
        if (count <= 0) return 0;
        std::memcpy(data, bytes_.constData() + pos(), size_t(count));
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray bytes_;
    bool answered_ = false;
};

// The failures Qt always words the same way, by its code. Each is kept in the untranslated words,
// so that the interface shows it in its language at the time it shows it; Qt's translation, made
// when the reply ended, would stay in the language of that moment.
struct QtWording {
    QNetworkReply::NetworkError code;
    QtText text;
};
const QtWording kQtWordings[] = {
    {QNetworkReply::ConnectionRefusedError, {"QHttp", "Connection refused"}},
    {QNetworkReply::RemoteHostClosedError, {"QHttp", "Connection closed"}},
    {QNetworkReply::HostNotFoundError, {"QHttp", "Host %1 not found"}},
    {QNetworkReply::SslHandshakeFailedError, {"QHttp", "SSL handshake failed"}},
    {QNetworkReply::ProxyAuthenticationRequiredError, {"QHttp", "Proxy requires authentication"}},
    {QNetworkReply::ProtocolFailure, {"QHttp", "Data corrupted"}},
};

// The interface's own texts for failures the network layer itself tells.
const QString kTimedOut = QStringLiteral("请求超时。");
const QString kTooLarge = QStringLiteral("服务返回的内容过大。");
const QString kInsecure = QStringLiteral("拒绝连接不安全的地址：");

QString qtWords(QNetworkReply::NetworkError code, const QString& host) {
    for (const QtWording& wording : kQtWordings)
        if (wording.code == code) return QString::fromLatin1(wording.text.source).replace(QStringLiteral("%1"), host);
    return QString();
}

NetworkError::Kind classify(QNetworkReply::NetworkError code) {
    switch (code) {
    case QNetworkReply::TimeoutError: return NetworkError::Kind::timedOut;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::UnknownNetworkError:
        return NetworkError::Kind::notConnected;
    default:
        return NetworkError::Kind::other;
    }
}

// Qt 6.4 now and then ends a reply whose connection closed early without an error: a body shorter
// than its Content-Length is cut off as well. (A decoded body has another length: not checked.)
bool shorterThanAnnounced(const QNetworkReply& reply, const QByteArray& method, int status, qsizetype bodySize) {
    if (method.toUpper() == "HEAD" || status == 204 || status == 304 || (status >= 100 && status < 200)) return false;
    if (reply.hasRawHeader("Content-Encoding")) return false;
    bool ok = false;
    const qint64 announced = reply.rawHeader("Content-Length").trimmed().toLongLong(&ok);
    return ok && bodySize < announced;
}

}  // namespace

const QList<QtText>& qtFailureTexts() {
    static const QList<QtText> texts = [] {
        QList<QtText> all;
        for (const QtWording& wording : kQtWordings) all.append(wording.text);
        return all;
    }();
    return texts;
}

QCoro::Task<HttpResponse> HttpClient::send(HttpRequest request, base::CancellationToken cancellation) {
    cancellation.throwIfCancelled();
    if (!isAllowedUrl(request.url))
        throw NetworkError(NetworkError::Kind::insecure, kInsecure + request.url.toString());

    QNetworkRequest qrequest(request.url);
    for (const auto& [name, value] : request.headers) qrequest.setRawHeader(name, value);
    qrequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    qrequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    qrequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    qrequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    qrequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                          request.carriesCredentials ? QNetworkRequest::ManualRedirectPolicy
                                                     : QNetworkRequest::NoLessSafeRedirectPolicy);
    qrequest.setTransferTimeout(int(request.requestTimeout.count()));

    // Deleted later, never at once: the reply may be inside abort() (a cancellation, a time-out)
    // when this coroutine resumes and ends.
    struct DeleteLater {
        void operator()(QNetworkReply* reply) const { reply->deleteLater(); }
    };
    auto* body = new BodyOfOneRequest(std::move(request.body));
    std::unique_ptr<QNetworkReply, DeleteLater> reply(manager_->sendCustomRequest(qrequest, request.method, body));
    body->setParent(reply.get());
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, body, [body] { body->answered(); });

    // QNetworkReply reports both a time-out and abort() as OperationCanceledError: the token tells a
    // cancellation, this flag the total time-out.
    bool totalTimeoutFired = false;
    // A body past the limit is refused while it arrives, so it never fills memory.
    bool tooLarge = false;
    const qint64 maxBytes = request.maxResponseBytes;
    QObject::connect(
        reply.get(), &QNetworkReply::downloadProgress, reply.get(),
        [&tooLarge, maxBytes, guard = QPointer<QNetworkReply>(reply.get())](qint64 received, qint64 total) {
            if (tooLarge || !guard || (received <= maxBytes && total <= maxBytes)) return;
            tooLarge = true;
            guard->abort();
        });
    QTimer total;
    total.setSingleShot(true);
    QPointer<QNetworkReply> guard(reply.get());
    QObject::connect(&total, &QTimer::timeout, reply.get(), [&totalTimeoutFired, guard] {
        totalTimeoutFired = true;
        if (guard) guard->abort();
    });
    total.start(request.totalTimeout);
    // The abort is queued to the reply's thread; it may run after this coroutine ended (the reply
    // is deleted later), so it touches nothing but the reply.
    base::CancelCallbackScope scope(cancellation, [guard] {
        if (!guard) return;
        QMetaObject::invokeMethod(guard.data(), [guard] {
            if (guard) guard->abort();
        }, Qt::QueuedConnection);
    });

    if (!reply->isFinished()) co_await reply.get();
    total.stop();

    if (cancellation.isCancelled()) throw base::CancellationError();
    if (tooLarge) throw NetworkError(NetworkError::Kind::tooLarge, kTooLarge);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError code = reply->error();
    // The connection closed before an answer and the request was not sent again.
    if (code == QNetworkReply::ContentReSendError)
        throw NetworkError(NetworkError::Kind::notConnected,
                           qtWords(QNetworkReply::RemoteHostClosedError, request.url.host()),
                           QNetworkReply::RemoteHostClosedError);
    // A connection lost after the status line leaves a cut-off body: that is no response.
    const bool cutOff = code == QNetworkReply::OperationCanceledError || code == QNetworkReply::TimeoutError ||
                        classify(code) == NetworkError::Kind::notConnected;
    if (status.isValid() && !cutOff) {
        HttpResponse response;
        response.status = status.toInt();
        response.body = reply->readAll();
        if (shorterThanAnnounced(*reply, request.method, response.status, response.body.size()))
            throw NetworkError(NetworkError::Kind::notConnected,
                               qtWords(QNetworkReply::RemoteHostClosedError, request.url.host()),
                               QNetworkReply::RemoteHostClosedError);
        for (const auto& pair : reply->rawHeaderPairs()) response.headers.append(pair);
        co_return response;
    }
    if (totalTimeoutFired || code == QNetworkReply::OperationCanceledError || code == QNetworkReply::TimeoutError)
        throw NetworkError(NetworkError::Kind::timedOut, kTimedOut, QNetworkReply::TimeoutError);
    const QString words = qtWords(code, request.url.host());
    throw NetworkError(classify(code), words.isEmpty() ? reply->errorString() : words, code);
}

}  // namespace net
