#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

#include "app/account/google_auth_error.h"

class QTcpSocket;

namespace velquin {

// The small HTTP endpoint on 127.0.0.1 that receives the browser's redirect at the end of Google's
// authorization step. It answers every connection once, with a fixed page, and accepts only
// "GET /callback" whose first "state" equals the expected state: the first usable "code" of such a
// request is the outcome; an "error" in it ends the wait as well. Each connection is read up to the
// end of its request line (at most 8,192 bytes, within a few seconds); open connections are
// capped, the oldest one still being read giving way to a new one. Main thread only.
class LocalGoogleCallback : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype maxRequestBytes = 8192;

    struct Options {
        // How long waitForCode() waits for a usable redirect.
        std::chrono::milliseconds codeTimeout{120000};
        // How long one connection may take to deliver its request line.
        std::chrono::milliseconds connectionTimeout{5000};
        // Connections open at once.
        int maxConnections = 32;
    };

    static inline const QByteArray okBody =
        "<html><body><h3>Google authorization received by Orvel</h3><p>Return to Orvel to finish signing in. You "
        "may close this tab.</p></body></html>";
    static inline const QByteArray badRequestBody = "<html><body>Return to Orvel.</body></html>";

    // Listens on 127.0.0.1 on a port the system chooses. Throws base::SystemError when it cannot
    // listen, GoogleAuthError(invalidResponse) when it has no port.
    static std::unique_ptr<LocalGoogleCallback> start(const QString& expectedState, Options options);
    static std::unique_ptr<LocalGoogleCallback> start(const QString& expectedState) {
        return start(expectedState, Options{});
    }
    ~LocalGoogleCallback() override;

    quint16 port() const { return port_; }
    // The authorization code, as soon as a usable redirect arrived (also one that came before the
    // call). Throws GoogleAuthError: timeout when none came within the code time-out or close() was
    // called first, authorizationDenied for a redirect with "error=access_denied", invalidResponse
    // for one with another error. Called once.
    QCoro::Task<QString> waitForCode();
    // Decides the outcome as a time-out if none was decided yet, stops listening and closes every
    // connection. Later requests are refused by the system.
    void close();

    int openConnections() const { return int(connections_.size()); }

Q_SIGNALS:
    // The outcome was decided (delivered from the event loop).
    void decided();

private:
    using Outcome = std::variant<QString, GoogleAuthError>;
    struct Connection {
        QByteArray received;
        bool answered = false;
    };

    LocalGoogleCallback(QString expectedState, Options options);
    void accept();
    void read(QTcpSocket* socket);
    // Judges the request line and answers.
    void judge(QTcpSocket* socket);
    void answer(QTcpSocket* socket, bool ok);
    void forget(QTcpSocket* socket);
    void finish(Outcome outcome);

    QTcpServer server_;
    quint16 port_ = 0;
    QString expectedState_;
    Options options_;
    // In the order they were accepted.
    QList<QTcpSocket*> order_;
    QHash<QTcpSocket*, Connection> connections_;
    std::optional<Outcome> outcome_;
    QTimer codeTimer_;
};

}  // namespace velquin
