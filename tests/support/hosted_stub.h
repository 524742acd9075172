#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

#include <functional>
#include <optional>

namespace testsupport {

// One request as the stub received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray path;
    // Header names lower-cased, in arrival order.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    bool hasHeader(const QByteArray& name) const;
    QByteArray header(const QByteArray& name) const;
    QStringList headerNames() const;
    QJsonObject json() const;  // the body as a JSON object (empty when it is not one)
};

// What the stub does with the next request of a route.
struct ScriptedReply {
    enum class Action { respond, drop, dropUnread, hold, raw };
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "application/json"}};
    int delayMs = 0;                 // wait before answering (or before dropping)
    Action action = Action::respond; // drop: close the connection without a reply; dropUnread: close it
                                     // as soon as the request line has come, the rest of the request
                                     // unread and unchecked; hold: answer only when the test releases
                                     // it; raw: write `body` byte for byte (status line and headers
                                     // included), then close the connection
    bool repeat = false;             // stays queued: plays for every later request of the route too,
                                     // until a reply queued after it takes over

    static ScriptedReply json(int status, const QByteArray& body) { return ScriptedReply{status, body}; }
    static ScriptedReply answer(const QString& text);
    static ScriptedReply dropped(int delayMs = 0);
    static ScriptedReply droppedUnread();
    static ScriptedReply held();
    // Bytes written as they stand, then the connection is closed: replies no well-behaved server
    // would send (HTTP/1.0, a body cut short, a wrong length).
    static ScriptedReply raw(const QByteArray& bytes, int delayMs = 0);

    // A reply described as JSON (the stub program's scripts): {"path": "/v1/account", "status": 200,
    // "body": <JSON value, or a string sent as it stands>, "delayMs": 0, "action": "respond" |
    // "drop" | "hold" | "raw", "repeat": false}. Gives the route's path; an empty one and `error` set
    // when the description is unusable.
    static QByteArray fromJson(const QJsonObject& description, ScriptedReply& reply, QString& error);
};

// The hosted services on 127.0.0.1 with a free port, in this process. It checks each request
// strictly against the contract of its route (method, path, headers, body members) and plays the
// scripted replies queued for that route, in order. A request that breaks the contract, or that
// arrives with no route or no reply queued, is answered with status 599 and listed in violations().
class HostedStub : public QObject {
    Q_OBJECT
public:
    // Returns an empty string when the request keeps the contract, otherwise what is wrong.
    using Check = std::function<QString(const RecordedRequest&)>;
    // Makes the reply of a route that answers by itself, from the request and the reply queued for
    // the route (if any).
    using Respond = std::function<ScriptedReply(const RecordedRequest&, const ScriptedReply* queued)>;

    HostedStub();
    ~HostedStub() override;

    QUrl baseUrl() const;

    void expect(const QByteArray& method, const QByteArray& path, Check check);
    void enqueue(const QByteArray& path, const ScriptedReply& reply);
    // Makes a route answer by itself: `respond` builds the reply of every request that keeps the
    // route's contract, and is handed the reply queued for the route, if any.
    void respondWith(const QByteArray& path, Respond respond);
    // Expects every route of the hosted services with its contract: the AI answer, e-mail sign-in,
    // the account (on the account and the identity base alike), the verification e-mail and the
    // Google sign-in's routes (expectGoogleRoutes).
    void expectHostedRoutes();
    // The identity service's challenge and federated sign-in, and Google's authorization page and
    // token endpoint, all on this one base. The authorization page checks its eight query items
    // and answers by itself: a 302 to the request's redirect URI with a fresh code and the state;
    // a reply queued for it with a JSON object body replaces the code by that object's members
    // (for example {"error": "access_denied"}), one with another action plays as it stands. The
    // token endpoint checks the form and that the verifier's S256 challenge is the one the code
    // was issued for (each code once); the federated sign-in checks that it presents the last
    // challenge's state and nonce and the ID token of the last token reply.
    void expectGoogleRoutes();

    // How many requests met a `hold` reply so far (released ones included).
    int heldCount() const { return int(held_.size()); }
    // Answers the `index`-th held request (0 is the first held) with `reply`.
    void release(int index, const ScriptedReply& reply);

    // Serves the control routes of the stub program under "/stub/": POST /stub/replies queues
    // replies (one description or an array, see ScriptedReply::fromJson), GET /stub/requests lists
    // the recorded requests ({"method", "path", "headers", "body"}) and GET /stub/violations the
    // broken contracts. Control requests are not recorded.
    void enableControlRoutes();

    const QList<RecordedRequest>& requests() const { return requests_; }
    const QStringList& violations() const { return violations_; }
    int openConnections() const;

Q_SIGNALS:
    // A request arrived and was recorded; its reply (if any) is written later.
    void requestReceived();
    // A request broke its contract or found no reply.
    void violationRecorded(const QString& problem);

public:
    static inline const QByteArray answerPath = "/v1/ai/answer";
    static inline const QByteArray accountsPath = "/v1/accounts";
    static inline const QByteArray accountPath = "/v1/account";
    static inline const QByteArray verificationPath = "/v1/email/verification/request";
    static inline const QByteArray challengePath = "/v1/identity/challenge";
    static inline const QByteArray federatedPath = "/v1/identity/federated";
    static inline const QByteArray authorizationPath = "/o/oauth2/v2/auth";
    static inline const QByteArray tokenPath = "/token";

    // The contract of POST /v1/ai/answer: study and tutor requests.
    static QString checkAnswerRequest(const RecordedRequest& request);
    // POST /v1/accounts: JSON with exactly "email" and "password" (strings), no token.
    static QString checkAccountsRequest(const RecordedRequest& request);
    // GET /v1/account: a bearer token, no body, no Content-Type.
    static QString checkAccountRequest(const RecordedRequest& request);
    // POST /v1/email/verification/request: a bearer token, JSON content, the body exactly "{}".
    static QString checkVerificationRequest(const RecordedRequest& request);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handle(QTcpSocket* socket, RecordedRequest request);
    // Closes the connection when the reply due for this request line drops it unread.
    bool dropsUnread(QTcpSocket* socket, const QByteArray& requestLine);
    void handleControl(QTcpSocket* socket, const RecordedRequest& request);
    void play(QTcpSocket* socket, const ScriptedReply& reply);
    void violation(QTcpSocket* socket, const QString& problem);
    static void writeReply(QTcpSocket* socket, int status, const QByteArray& body,
                           const QList<QPair<QByteArray, QByteArray>>& headers);

    struct Route {
        QByteArray method;
        Check check;
        QList<ScriptedReply> replies;
        Respond respond;
        // The reply due next (a repeating one followed by another is passed over), if any.
        const ScriptedReply* next();
        // Takes that reply; a repeating one stays queued.
        std::optional<ScriptedReply> take();
    };
    // What the Google routes remember between requests.
    struct IssuedCode {
        QString challenge;
        QString redirectURI;
        QString clientID;
    };
    QString checkAuthorization(const RecordedRequest& request) const;
    ScriptedReply authorize(const RecordedRequest& request, const ScriptedReply* queued);
    QString checkToken(const RecordedRequest& request);
    QString checkFederated(const RecordedRequest& request) const;
    // Notes what a played reply of a Google route hands out (the challenge, the ID token).
    void rememberReply(const QByteArray& path, const ScriptedReply& reply);
    QHash<QString, IssuedCode> issuedCodes_;
    QString challengeState_;
    QString challengeNonce_;
    QString idToken_;
    QTcpServer server_;
    QHash<QByteArray, Route> routes_;
    QList<RecordedRequest> requests_;
    QStringList violations_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<QPointer<QTcpSocket>> sockets_;
    QList<QPointer<QTcpSocket>> held_;
    bool controlRoutes_ = false;
};

}  // namespace testsupport
