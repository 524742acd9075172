#include "tests/support/hosted_stub.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>

namespace testsupport {

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    for (const auto& [n, v] : headers)
        if (n == name.toLower()) return true;
    return false;
}

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [n, v] : headers)
        if (n == name.toLower()) return v;
    return {};
}

QStringList RecordedRequest::headerNames() const {
    QStringList names;
    for (const auto& [n, v] : headers) names.append(QString::fromLatin1(n));
    return names;
}

QJsonObject RecordedRequest::json() const { return QJsonDocument::fromJson(body).object(); }

ScriptedReply ScriptedReply::answer(const QString& text) {
    QJsonObject object;
    object.insert(QStringLiteral("answer"), text);
    return json(200, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

ScriptedReply ScriptedReply::dropped(int delayMs) {
    ScriptedReply reply;
    reply.action = Action::drop;
    reply.delayMs = delayMs;
    return reply;
}

ScriptedReply ScriptedReply::held() {
    ScriptedReply reply;
    reply.action = Action::hold;
    return reply;
}

ScriptedReply ScriptedReply::raw(const QByteArray& bytes, int delayMs) {
    ScriptedReply reply;
    reply.action = Action::raw;
    reply.body = bytes;
    reply.delayMs = delayMs;
    return reply;
}

QByteArray ScriptedReply::fromJson(const QJsonObject& description, ScriptedReply& reply, QString& error) {
    static const QHash<QString, Action> actions{{QStringLiteral("respond"), Action::respond},
                                                {QStringLiteral("drop"), Action::drop},
                                                {QStringLiteral("hold"), Action::hold},
                                                {QStringLiteral("raw"), Action::raw}};
    const QString path = description.value(QStringLiteral("path")).toString();
    const QString action = description.value(QStringLiteral("action")).toString(QStringLiteral("respond"));
    if (!path.startsWith(u'/')) {
        error = QStringLiteral("a reply needs a \"path\" beginning with \"/\"");
        return {};
    }
    if (!actions.contains(action)) {
        error = QStringLiteral("unknown action: ") + action;
        return {};
    }
    reply = ScriptedReply{};
    reply.action = actions.value(action);
    reply.status = description.value(QStringLiteral("status")).toInt(200);
    reply.delayMs = description.value(QStringLiteral("delayMs")).toInt(0);
    reply.repeat = description.value(QStringLiteral("repeat")).toBool(false);
    const QJsonValue body = description.value(QStringLiteral("body"));
    if (body.isString()) {
        reply.body = body.toString().toUtf8();
    } else if (!body.isUndefined()) {
        // Any other JSON value is sent as JSON: written inside an array, then unwrapped.
        reply.body = QJsonDocument(QJsonArray{body}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
    }
    return path.toUtf8();
}

HostedStub::HostedStub() {
    connect(&server_, &QTcpServer::newConnection, this, &HostedStub::onNewConnection);
    if (!server_.listen(QHostAddress::LocalHost, 0)) qFatal("stub: cannot listen on 127.0.0.1");
}

HostedStub::~HostedStub() {
    server_.close();
    for (const auto& socket : sockets_) {
        if (!socket) continue;
        socket->disconnect(this);
        socket->abort();
        delete socket.data();
    }
}

QUrl HostedStub::baseUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(server_.serverPort()));
}

void HostedStub::expect(const QByteArray& method, const QByteArray& path, Check check) {
    routes_[path].method = method;
    routes_[path].check = std::move(check);
}

void HostedStub::enqueue(const QByteArray& path, const ScriptedReply& reply) { routes_[path].replies.append(reply); }

void HostedStub::expectHostedRoutes() {
    expect("POST", answerPath, &HostedStub::checkAnswerRequest);
    expect("POST", accountsPath, &HostedStub::checkAccountsRequest);
    expect("GET", accountPath, &HostedStub::checkAccountRequest);
    expect("POST", verificationPath, &HostedStub::checkVerificationRequest);
}

int HostedStub::openConnections() const {
    int count = 0;
    for (const auto& socket : sockets_)
        if (socket && socket->state() == QAbstractSocket::ConnectedState) ++count;
    return count;
}

void HostedStub::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        sockets_.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { buffers_.remove(socket); });
    }
}

void HostedStub::onReadyRead(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        RecordedRequest request;
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        qsizetype contentLength = 0;
        bool lengthValid = true;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name == "content-length") {
                contentLength = value.toLongLong(&lengthValid);
                lengthValid = lengthValid && contentLength >= 0;
            }
        }
        if (!lengthValid) {
            // A length that is no count leaves no way to find where the request ends: refuse it
            // and close, instead of reading the header again as the next request.
            buffer.clear();
            violations_.append(QStringLiteral("invalid Content-Length"));
            writeReply(socket, 599, "invalid Content-Length", {});
            socket->disconnectFromHost();
            return;
        }
        if (buffer.size() < headerEnd + 4 + contentLength) return;
        request.body = buffer.mid(headerEnd + 4, contentLength);
        buffer.remove(0, headerEnd + 4 + contentLength);
        handle(socket, std::move(request));
    }
}

void HostedStub::handle(QTcpSocket* socket, RecordedRequest request) {
    if (controlRoutes_ && request.path.startsWith("/stub/")) {
        handleControl(socket, request);
        return;
    }
    requests_.append(request);
    const QByteArray path = request.path;
    auto route = routes_.find(path);
    QString problem;
    if (route == routes_.end() || !route->check)
        problem = QStringLiteral("no route for ") + QString::fromLatin1(request.method + ' ' + path);
    else if (request.method != route->method)
        problem = QStringLiteral("method ") + QString::fromLatin1(request.method) + QStringLiteral(" on ") + QString::fromLatin1(path);
    else
        problem = route->check(request);
    if (problem.isEmpty() && route->replies.isEmpty()) problem = QStringLiteral("no reply scripted for ") + QString::fromLatin1(path);
    if (!problem.isEmpty()) {
        violation(socket, problem);
        return;
    }
    while (route->replies.size() > 1 && route->replies.first().repeat) route->replies.removeFirst();
    const ScriptedReply reply = route->replies.first().repeat ? route->replies.first() : route->replies.takeFirst();
    Q_EMIT requestReceived();
    play(socket, reply);
}

void HostedStub::violation(QTcpSocket* socket, const QString& problem) {
    violations_.append(problem);
    Q_EMIT violationRecorded(problem);
    writeReply(socket, 599, problem.toUtf8(), {});
}

void HostedStub::release(int index, const ScriptedReply& reply) {
    if (index < 0 || index >= held_.size()) return;
    if (QTcpSocket* socket = held_[index]) play(socket, reply);
}

void HostedStub::play(QTcpSocket* socket, const ScriptedReply& reply) {
    if (reply.action == ScriptedReply::Action::hold) {
        held_.append(socket);
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(reply.delayMs, this, [guard, reply] {
        if (!guard) return;
        if (reply.action == ScriptedReply::Action::drop) {
            guard->abort();
            return;
        }
        if (reply.action == ScriptedReply::Action::raw) {
            guard->write(reply.body);
            guard->disconnectFromHost();  // sends what is buffered first
            return;
        }
        writeReply(guard, reply.status, reply.body, reply.headers);
    });
}

void HostedStub::enableControlRoutes() { controlRoutes_ = true; }

void HostedStub::handleControl(QTcpSocket* socket, const RecordedRequest& request) {
    const auto answer = [socket](int status, const QJsonValue& value) {
        const QJsonDocument document =
            value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
        const QByteArray body = document.toJson(QJsonDocument::Compact);
        writeReply(socket, status, body, {{"Content-Type", "application/json"}});
    };
    if (request.method == "POST" && request.path == "/stub/replies") {
        const QJsonDocument document = QJsonDocument::fromJson(request.body);
        QJsonArray descriptions = document.isArray() ? document.array() : QJsonArray{document.object()};
        QList<QPair<QByteArray, ScriptedReply>> parsed;
        for (const QJsonValue& description : descriptions) {
            ScriptedReply reply;
            QString error;
            const QByteArray path = ScriptedReply::fromJson(description.toObject(), reply, error);
            if (path.isEmpty()) {
                answer(400, QJsonObject{{QStringLiteral("error"), error}});
                return;
            }
            parsed.append({path, reply});
        }
        for (const auto& [path, reply] : parsed) enqueue(path, reply);
        answer(200, QJsonObject{{QStringLiteral("queued"), int(parsed.size())}});
    } else if (request.method == "GET" && request.path == "/stub/requests") {
        QJsonArray list;
        for (const RecordedRequest& recorded : requests_) {
            QJsonObject headers;
            for (const auto& [name, value] : recorded.headers)
                headers.insert(QString::fromLatin1(name), QString::fromUtf8(value));
            list.append(QJsonObject{{QStringLiteral("method"), QString::fromLatin1(recorded.method)},
                                    {QStringLiteral("path"), QString::fromUtf8(recorded.path)},
                                    {QStringLiteral("headers"), headers},
                                    {QStringLiteral("body"), QString::fromUtf8(recorded.body)}});
        }
        answer(200, list);
    } else if (request.method == "GET" && request.path == "/stub/violations") {
        answer(200, QJsonArray::fromStringList(violations_));
    } else {
        answer(404, QJsonObject{{QStringLiteral("error"), QStringLiteral("unknown control route")}});
    }
}

void HostedStub::writeReply(QTcpSocket* socket, int status, const QByteArray& body,
                            const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Stub\r\n";
    for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: keep-alive\r\n\r\n";
    out += body;
    socket->write(out);
    socket->flush();
}

QString HostedStub::checkAnswerRequest(const RecordedRequest& request) {
    if (request.header("content-type") != "application/json") return QStringLiteral("Content-Type is not application/json");
    const QByteArray authorization = request.header("authorization");
    if (!authorization.startsWith("Bearer ") || authorization.size() <= 7) return QStringLiteral("no bearer token");
    if (request.hasHeader("cookie")) return QStringLiteral("a cookie was sent");
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return QStringLiteral("body is not a JSON object");
    const QJsonObject body = document.object();
    const bool tutor = body.contains(QStringLiteral("model_tier"));
    QSet<QString> expected{QStringLiteral("text"), QStringLiteral("mode"), QStringLiteral("language"), QStringLiteral("privacy_consent")};
    if (tutor) expected.insert(QStringLiteral("model_tier"));
    const QStringList keys = body.keys();
    if (QSet<QString>(keys.begin(), keys.end()) != expected) return QStringLiteral("unexpected members: ") + keys.join(u',');
    if (!body.value(QStringLiteral("text")).isString()) return QStringLiteral("text is not a string");
    const QString mode = body.value(QStringLiteral("mode")).toString();
    const QStringList modes = tutor ? QStringList{QStringLiteral("teach"), QStringLiteral("quiz"), QStringLiteral("grade"), QStringLiteral("summary"), QStringLiteral("sprint")}
                                    : QStringList{QStringLiteral("translate"), QStringLiteral("explain"), QStringLiteral("ask")};
    if (!modes.contains(mode)) return QStringLiteral("unknown mode: ") + mode;
    const QStringList languages{QStringLiteral("zh-CN"), QStringLiteral("zh-TW"), QStringLiteral("en"), QStringLiteral("fr")};
    if (!languages.contains(body.value(QStringLiteral("language")).toString())) return QStringLiteral("unknown language");
    if (body.value(QStringLiteral("privacy_consent")) != QJsonValue(true)) return QStringLiteral("privacy_consent is not true");
    if (tutor) {
        const QString tier = body.value(QStringLiteral("model_tier")).toString();
        if (tier != QLatin1String("flash") && tier != QLatin1String("pro")) return QStringLiteral("unknown model_tier");
        if (request.hasHeader("accept")) return QStringLiteral("a tutor request carries Accept");
    } else if (request.header("accept") != "application/json") {
        return QStringLiteral("Accept is not application/json");
    }
    return {};
}

namespace {

// Common to every request that carries a session token.
QString checkBearer(const RecordedRequest& request) {
    const QByteArray authorization = request.header("authorization");
    if (!authorization.startsWith("Bearer ") || authorization.size() <= 7) return QStringLiteral("no bearer token");
    if (request.hasHeader("cookie")) return QStringLiteral("a cookie was sent");
    return {};
}

}  // namespace

QString HostedStub::checkAccountsRequest(const RecordedRequest& request) {
    if (request.hasHeader("authorization")) return QStringLiteral("sign-in carries Authorization");
    if (request.hasHeader("cookie")) return QStringLiteral("a cookie was sent");
    if (request.header("content-type") != "application/json")
        return QStringLiteral("Content-Type is not application/json");
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QStringLiteral("body is not a JSON object");
    const QJsonObject body = document.object();
    const QStringList keys = body.keys();
    if (keys != QStringList{QStringLiteral("email"), QStringLiteral("password")})
        return QStringLiteral("unexpected members: ") + keys.join(u',');
    if (!body.value(QStringLiteral("email")).isString() || !body.value(QStringLiteral("password")).isString())
        return QStringLiteral("email and password must be strings");
    return {};
}

QString HostedStub::checkAccountRequest(const RecordedRequest& request) {
    if (const QString problem = checkBearer(request); !problem.isEmpty()) return problem;
    if (request.hasHeader("content-type")) return QStringLiteral("a GET carries Content-Type");
    if (!request.body.isEmpty() || (request.hasHeader("content-length") && request.header("content-length") != "0"))
        return QStringLiteral("a GET carries a body");
    return {};
}

QString HostedStub::checkVerificationRequest(const RecordedRequest& request) {
    if (const QString problem = checkBearer(request); !problem.isEmpty()) return problem;
    if (request.header("content-type") != "application/json")
        return QStringLiteral("Content-Type is not application/json");
    if (request.body != "{}") return QStringLiteral("body is not {}: ") + QString::fromUtf8(request.body);
    return {};
}

}  // namespace testsupport
