#include "app/account/local_google_callback.h"

#include <QCoroSignal>
#include <QPointer>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QUrl>

#include "base/errors.h"
#include "base/text.h"

namespace velquin {

namespace {

constexpr qsizetype kMinCodeLength = 11;
constexpr qsizetype kMaxCodeLength = 4095;

// One query parameter: its decoded name and, when it has an "=", its decoded value.
struct Parameter {
    QString name;
    std::optional<QString> value;
};

QString decoded(const QByteArray& part) { return QString::fromUtf8(QByteArray::fromPercentEncoding(part)); }

// The parameters of a request target in their order, split by hand: "+" stays "+" and "%2B"
// becomes "+", so a state or code holding a "+" comes back unchanged.
QList<Parameter> queryParameters(const QByteArray& target) {
    QList<Parameter> parameters;
    const qsizetype mark = target.indexOf('?');
    if (mark < 0) return parameters;
    QByteArray query = target.mid(mark + 1);
    if (const qsizetype fragment = query.indexOf('#'); fragment >= 0) query.truncate(fragment);
    for (const QByteArray& pair : query.split('&')) {
        if (pair.isEmpty()) continue;
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            parameters.append({decoded(pair), std::nullopt});
        else
            parameters.append({decoded(pair.left(equals)), decoded(pair.mid(equals + 1))});
    }
    return parameters;
}

const Parameter* first(const QList<Parameter>& parameters, QLatin1String name) {
    for (const Parameter& parameter : parameters)
        if (parameter.name == name) return &parameter;
    return nullptr;
}

}  // namespace

std::unique_ptr<LocalGoogleCallback> LocalGoogleCallback::start(const QString& expectedState, Options options) {
    std::unique_ptr<LocalGoogleCallback> callback(new LocalGoogleCallback(expectedState, options));
    // The loopback address only: nothing outside this machine can reach the port.
    if (!callback->server_.listen(QHostAddress(QHostAddress::LocalHost), 0))
        throw base::SystemError(callback->server_.errorString());
    callback->port_ = callback->server_.serverPort();
    if (callback->port_ == 0) throw GoogleAuthError(GoogleAuthError::Case::invalidResponse);
    return callback;
}

LocalGoogleCallback::LocalGoogleCallback(QString expectedState, Options options)
    : expectedState_(std::move(expectedState)), options_(options) {
    server_.setMaxPendingConnections(options_.maxConnections);
    connect(&server_, &QTcpServer::newConnection, this, &LocalGoogleCallback::accept);
    codeTimer_.setSingleShot(true);
    connect(&codeTimer_, &QTimer::timeout, this, [this] { finish(GoogleAuthError(GoogleAuthError::Case::timeout)); });
}

LocalGoogleCallback::~LocalGoogleCallback() {
    server_.close();
    for (QTcpSocket* socket : std::as_const(order_)) {
        socket->disconnect(this);
        socket->abort();
    }
}

void LocalGoogleCallback::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (int(order_.size()) >= options_.maxConnections) {
            // Make room: the oldest connection still being read goes (an answered one is only
            // waiting for its reply to leave, and goes by itself).
            QTcpSocket* oldest = nullptr;
            for (QTcpSocket* open : std::as_const(order_))
                if (!connections_.value(open).answered) {
                    oldest = open;
                    break;
                }
            if (!oldest) oldest = order_.first();
            forget(oldest);
        }
        order_.append(socket);
        connections_.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
        // A client that keeps the connection open without finishing its request line is answered
        // and closed.
        QTimer::singleShot(options_.connectionTimeout, socket, [this, socket] {
            if (!connections_.value(socket).answered) answer(socket, false);
        });
        read(socket);
    }
}

void LocalGoogleCallback::read(QTcpSocket* socket) {
    auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    if (found->answered) {
        // The rest of the request is read and dropped, so that closing sends no reset that could
        // cost the browser the reply.
        socket->readAll();
        return;
    }
    const qsizetype room = maxRequestBytes - found->received.size();
    found->received += socket->read(room);
    // The request line ends at the first CR LF; one cut by the size limit is judged as received.
    if (found->received.contains("\r\n") || found->received.size() >= maxRequestBytes) judge(socket);
}

void LocalGoogleCallback::judge(QTcpSocket* socket) {
    const QByteArray received = connections_.value(socket).received;
    // Bytes that are not UTF-8 count as an empty request.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(received);
    if (utf8.hasError()) text.clear();
    const QString line = text.left(text.indexOf(QStringLiteral("\r\n")));

    const QStringList pieces = line.split(u' ', Qt::SkipEmptyParts);
    if (pieces.size() != 3 || pieces[0] != QLatin1String("GET") || !pieces[2].startsWith(QLatin1String("HTTP/"))) {
        answer(socket, false);
        return;
    }
    const QUrl url(QStringLiteral("http://127.0.0.1") + pieces[1], QUrl::StrictMode);
    if (!url.isValid() || url.path(QUrl::FullyDecoded) != QLatin1String("/callback")) {
        answer(socket, false);
        return;
    }
    const QList<Parameter> parameters = queryParameters(pieces[1].toUtf8());
    const Parameter* state = first(parameters, QLatin1String("state"));
    if (!state || state->value != expectedState_) {
        answer(socket, false);  // not ours: the wait goes on
        return;
    }
    const Parameter* code = first(parameters, QLatin1String("code"));
    if (code && code->value && !outcome_) {
        const qsizetype length = base::text::graphemeCount(*code->value);
        if (length >= kMinCodeLength && length <= kMaxCodeLength) {
            finish(*code->value);
            answer(socket, true);
            return;
        }
    }
    if (const Parameter* error = first(parameters, QLatin1String("error"))) {
        // The user refused in the browser; any other error is a redirect that cannot be used.
        const bool denied = error->value == QLatin1String("access_denied");
        finish(GoogleAuthError(denied ? GoogleAuthError::Case::authorizationDenied
                                      : GoogleAuthError::Case::invalidResponse));
    }
    answer(socket, false);
}

void LocalGoogleCallback::answer(QTcpSocket* socket, bool ok) {
    auto found = connections_.find(socket);
    if (found == connections_.end() || found->answered) return;
    found->answered = true;
    socket->readAll();
    const QByteArray& body = ok ? okBody : badRequestBody;
    QByteArray reply = ok ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 400 Bad Request\r\n";
    reply += "Content-Type: text/html; charset=utf-8\r\n"
             "Cache-Control: no-store\r\n"
             "Content-Length: " +
             QByteArray::number(body.size()) +
             "\r\n"
             "Connection: close\r\n"
             "\r\n" +
             body;
    socket->write(reply);
    // Closes once the reply has left.
    socket->disconnectFromHost();
}

void LocalGoogleCallback::forget(QTcpSocket* socket) {
    if (!connections_.remove(socket)) return;
    order_.removeOne(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void LocalGoogleCallback::finish(Outcome outcome) {
    if (outcome_) return;  // the first outcome stands
    outcome_ = std::move(outcome);
    codeTimer_.stop();
    // From the event loop: the waiter may end this object's life when it resumes.
    QMetaObject::invokeMethod(this, &LocalGoogleCallback::decided, Qt::QueuedConnection);
}

QCoro::Task<QString> LocalGoogleCallback::waitForCode() {
    if (!outcome_) {
        codeTimer_.start(options_.codeTimeout);
        auto deciding = qCoro(this, &LocalGoogleCallback::decided);
        co_await std::move(deciding);
    }
    if (const auto* error = std::get_if<GoogleAuthError>(&*outcome_)) throw *error;
    co_return std::get<QString>(*outcome_);
}

void LocalGoogleCallback::close() {
    finish(GoogleAuthError(GoogleAuthError::Case::timeout));
    server_.close();
    for (QTcpSocket* socket : QList<QTcpSocket*>(order_)) forget(socket);
}

}  // namespace velquin
