#include "tests/support/hosted_stub.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

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

ScriptedReply ScriptedReply::droppedUnread() {
    ScriptedReply reply;
    reply.action = Action::dropUnread;
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

void HostedStub::respondWith(const QByteArray& path, Respond respond) { routes_[path].respond = std::move(respond); }

void HostedStub::expectHostedRoutes() {
    expect("POST", answerPath, &HostedStub::checkAnswerRequest);
    expect("POST", accountsPath, &HostedStub::checkAccountsRequest);
    expect("GET", accountPath, &HostedStub::checkAccountRequest);
    expect("POST", verificationPath, &HostedStub::checkVerificationRequest);
    expectGoogleRoutes();
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
        const qsizetype lineEnd = buffer.indexOf("\r\n");
        if (lineEnd >= 0 && dropsUnread(socket, buffer.left(lineEnd))) return;
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
    // Routes are named by their path; a query belongs to the request.
    const QByteArray path = request.path.split('?').first();
    auto route = routes_.find(path);
    QString problem;
    if (route == routes_.end() || !route->check)
        problem = QStringLiteral("no route for ") + QString::fromLatin1(request.method + ' ' + path);
    else if (request.method != route->method)
        problem = QStringLiteral("method ") + QString::fromLatin1(request.method) + QStringLiteral(" on ") + QString::fromLatin1(path);
    else
        problem = route->check(request);
    if (problem.isEmpty() && route->replies.isEmpty() && !route->respond)
        problem = QStringLiteral("no reply scripted for ") + QString::fromLatin1(path);
    if (!problem.isEmpty()) {
        violation(socket, problem);
        return;
    }
    const std::optional<ScriptedReply> queued = route->take();
    const ScriptedReply reply = route->respond ? route->respond(request, queued ? &*queued : nullptr) : *queued;
    rememberReply(path, reply);
    Q_EMIT requestReceived();
    play(socket, reply);
}

const ScriptedReply* HostedStub::Route::next() {
    while (replies.size() > 1 && replies.first().repeat) replies.removeFirst();
    return replies.isEmpty() ? nullptr : &replies.first();
}

std::optional<ScriptedReply> HostedStub::Route::take() {
    if (!next()) return std::nullopt;
    return replies.first().repeat ? replies.first() : replies.takeFirst();
}

bool HostedStub::dropsUnread(QTcpSocket* socket, const QByteArray& requestLine) {
    const QList<QByteArray> parts = requestLine.trimmed().split(' ');
    RecordedRequest request;
    request.method = parts.value(0);
    request.path = parts.value(1);
    const auto route = routes_.find(request.path.split('?').first());
    if (route == routes_.end() || route->method != request.method) return false;
    const ScriptedReply* due = route->next();
    if (!due || due->action != ScriptedReply::Action::dropUnread) return false;
    route->take();
    // Counted as it arrived: the method and path, nothing more.
    requests_.append(request);
    Q_EMIT requestReceived();
    socket->abort();
    return true;
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
        if (reply.action == ScriptedReply::Action::drop || reply.action == ScriptedReply::Action::dropUnread) {
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

namespace {

// The parameters of a query or a form in their order, decoded; "+" stays "+".
QList<QPair<QString, QString>> formFields(const QByteArray& encoded) {
    QList<QPair<QString, QString>> fields;
    for (const QByteArray& pair : encoded.split('&')) {
        if (pair.isEmpty()) continue;
        const qsizetype equals = pair.indexOf('=');
        const QByteArray name = equals < 0 ? pair : pair.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : pair.mid(equals + 1);
        fields.append({QString::fromUtf8(QByteArray::fromPercentEncoding(name)),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(value))});
    }
    return fields;
}

QStringList namesOf(const QList<QPair<QString, QString>>& fields) {
    QStringList names;
    for (const auto& [name, value] : fields) names.append(name);
    return names;
}

QString valueOf(const QList<QPair<QString, QString>>& fields, const QString& name) {
    for (const auto& [n, value] : fields)
        if (n == name) return value;
    return {};
}

QString s256(const QString& verifier) {
    return QString::fromLatin1(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool isUrlSafeBase64(const QString& text) {
    for (const QChar c : text)
        if (!c.isLetterOrNumber() || c.unicode() > 127)
            if (c != u'-' && c != u'_') return false;
    return true;
}

// Common to the identity service's two routes: JSON without a token or a cookie.
QString checkIdentityJson(const RecordedRequest& request, const QStringList& members) {
    if (request.hasHeader("authorization")) return QStringLiteral("an identity request carries Authorization");
    if (request.hasHeader("cookie")) return QStringLiteral("a cookie was sent");
    if (request.header("content-type") != "application/json")
        return QStringLiteral("Content-Type is not application/json");
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QStringLiteral("body is not a JSON object");
    const QJsonObject body = document.object();
    QStringList keys = body.keys();
    QStringList expected = members;
    keys.sort();
    expected.sort();
    if (keys != expected) return QStringLiteral("unexpected members: ") + keys.join(u',');
    for (const QString& key : keys)
        if (!body.value(key).isString()) return key + QStringLiteral(" is not a string");
    if (body.value(QStringLiteral("provider")).toString() != QLatin1String("google"))
        return QStringLiteral("provider is not google");
    return {};
}

}  // namespace

void HostedStub::expectGoogleRoutes() {
    expect("POST", challengePath, [](const RecordedRequest& request) {
        return checkIdentityJson(request, {QStringLiteral("provider")});
    });
    expect("GET", authorizationPath, [this](const RecordedRequest& request) { return checkAuthorization(request); });
    routes_[authorizationPath].respond = [this](const RecordedRequest& request, const ScriptedReply* queued) {
        return authorize(request, queued);
    };
    expect("POST", tokenPath, [this](const RecordedRequest& request) { return checkToken(request); });
    expect("POST", federatedPath, [this](const RecordedRequest& request) { return checkFederated(request); });
}

QString HostedStub::checkAuthorization(const RecordedRequest& request) const {
    if (!request.body.isEmpty()) return QStringLiteral("the authorization request carries a body");
    const qsizetype mark = request.path.indexOf('?');
    const QByteArray query = mark < 0 ? QByteArray() : request.path.mid(mark + 1);
    // Every value strictly encoded: a raw "+" would come back as a space at Google.
    if (query.contains('+') || query.contains(' ')) return QStringLiteral("a query value is not percent-encoded");
    const auto fields = formFields(query);
    const QStringList order{QStringLiteral("client_id"),      QStringLiteral("redirect_uri"),
                            QStringLiteral("response_type"),  QStringLiteral("scope"),
                            QStringLiteral("code_challenge"), QStringLiteral("code_challenge_method"),
                            QStringLiteral("nonce"),          QStringLiteral("state")};
    if (namesOf(fields) != order) return QStringLiteral("query items: ") + namesOf(fields).join(u',');
    if (valueOf(fields, QStringLiteral("client_id")).isEmpty()) return QStringLiteral("no client_id");
    const QString redirect = valueOf(fields, QStringLiteral("redirect_uri"));
    if (!redirect.startsWith(QLatin1String("http://127.0.0.1:")) || !redirect.endsWith(QLatin1String("/callback")))
        return QStringLiteral("redirect_uri is not the loopback callback: ") + redirect;
    if (valueOf(fields, QStringLiteral("response_type")) != QLatin1String("code"))
        return QStringLiteral("response_type is not code");
    if (valueOf(fields, QStringLiteral("scope")) != QLatin1String("openid email profile"))
        return QStringLiteral("wrong scope");
    const QString challenge = valueOf(fields, QStringLiteral("code_challenge"));
    if (challenge.size() != 43 || !isUrlSafeBase64(challenge)) return QStringLiteral("code_challenge is not S256");
    if (valueOf(fields, QStringLiteral("code_challenge_method")) != QLatin1String("S256"))
        return QStringLiteral("code_challenge_method is not S256");
    if (!challengeState_.isEmpty() && (valueOf(fields, QStringLiteral("state")) != challengeState_ ||
                                       valueOf(fields, QStringLiteral("nonce")) != challengeNonce_))
        return QStringLiteral("state or nonce is not the challenge's");
    return {};
}

ScriptedReply HostedStub::authorize(const RecordedRequest& request, const ScriptedReply* queued) {
    if (queued && queued->action != ScriptedReply::Action::respond) return *queued;
    const auto fields = formFields(request.path.mid(request.path.indexOf('?') + 1));
    QJsonObject parameters;
    if (queued) {
        parameters = QJsonDocument::fromJson(queued->body).object();
    } else {
        const QString code =
            QStringLiteral("stub-code-") + QString::number(QRandomGenerator::global()->generate64(), 16);
        parameters.insert(QStringLiteral("code"), code);
        issuedCodes_.insert(code, {valueOf(fields, QStringLiteral("code_challenge")),
                                   valueOf(fields, QStringLiteral("redirect_uri")),
                                   valueOf(fields, QStringLiteral("client_id"))});
    }
    if (!parameters.contains(QStringLiteral("state")))
        parameters.insert(QStringLiteral("state"), valueOf(fields, QStringLiteral("state")));
    QByteArray location = valueOf(fields, QStringLiteral("redirect_uri")).toUtf8() + '?';
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (!location.endsWith('?')) location += '&';
        location += QUrl::toPercentEncoding(it.key()) + '=' + QUrl::toPercentEncoding(it.value().toString());
    }
    ScriptedReply reply;
    reply.status = 302;
    reply.headers = {{"Location", location}};
    return reply;
}

QString HostedStub::checkToken(const RecordedRequest& request) {
    if (request.hasHeader("authorization")) return QStringLiteral("the token request carries Authorization");
    if (request.hasHeader("cookie")) return QStringLiteral("a cookie was sent");
    if (request.header("content-type") != "application/x-www-form-urlencoded")
        return QStringLiteral("Content-Type is not a form");
    const auto fields = formFields(request.body);
    QStringList order{QStringLiteral("client_id"), QStringLiteral("code"), QStringLiteral("code_verifier"),
                      QStringLiteral("redirect_uri"), QStringLiteral("grant_type")};
    if (namesOf(fields).size() == 6) order.append(QStringLiteral("client_secret"));
    if (namesOf(fields) != order) return QStringLiteral("form fields: ") + namesOf(fields).join(u',');
    if (valueOf(fields, QStringLiteral("grant_type")) != QLatin1String("authorization_code"))
        return QStringLiteral("grant_type is not authorization_code");
    const QString verifier = valueOf(fields, QStringLiteral("code_verifier"));
    if (verifier.size() < 43 || verifier.size() > 128 || !isUrlSafeBase64(verifier))
        return QStringLiteral("code_verifier is not 43 to 128 URL-safe characters");
    const auto issued = issuedCodes_.constFind(valueOf(fields, QStringLiteral("code")));
    if (issued == issuedCodes_.cend())
        return QStringLiteral("a code the authorization page did not issue (or used twice)");
    const IssuedCode code = *issued;
    issuedCodes_.erase(issued);
    if (s256(verifier) != code.challenge) return QStringLiteral("the verifier does not match the code challenge");
    if (valueOf(fields, QStringLiteral("redirect_uri")) != code.redirectURI)
        return QStringLiteral("redirect_uri differs from the authorization request's");
    if (valueOf(fields, QStringLiteral("client_id")) != code.clientID)
        return QStringLiteral("client_id differs from the authorization request's");
    return {};
}

QString HostedStub::checkFederated(const RecordedRequest& request) const {
    const QString problem = checkIdentityJson(request, {QStringLiteral("provider"), QStringLiteral("state"),
                                                        QStringLiteral("nonce"), QStringLiteral("id_token")});
    if (!problem.isEmpty()) return problem;
    const QJsonObject body = request.json();
    if (!challengeState_.isEmpty() && (body.value(QStringLiteral("state")).toString() != challengeState_ ||
                                       body.value(QStringLiteral("nonce")).toString() != challengeNonce_))
        return QStringLiteral("state or nonce is not the challenge's");
    if (!idToken_.isEmpty() && body.value(QStringLiteral("id_token")).toString() != idToken_)
        return QStringLiteral("id_token is not the one Google issued");
    return {};
}

void HostedStub::rememberReply(const QByteArray& path, const ScriptedReply& reply) {
    const QJsonObject body = QJsonDocument::fromJson(reply.body).object();
    if (path == challengePath) {
        challengeState_ = body.value(QStringLiteral("state")).toString();
        challengeNonce_ = body.value(QStringLiteral("nonce")).toString();
    } else if (path == tokenPath) {
        idToken_ = body.value(QStringLiteral("id_token")).toString();
    }
}

}  // namespace testsupport
