// The loopback listener over raw sockets, as a browser (or anything else on this machine) reaches it.
#include <gtest/gtest.h>

#include <QTcpSocket>

#include "app/account/local_google_callback.h"
#include "app/account/tests/account_test_doubles.h"
#include "base/task.h"

using namespace velquin;
using accounttest::waitUntil;

namespace {

const QString kState = QStringLiteral("state+/=ABCDEFGHIJKLMNOPQR");  // 27 characters
const QByteArray kStateQuery = "state%2B%2F%3DABCDEFGHIJKLMNOPQR";

QByteArray reply(bool ok) {
    const QByteArray& body = ok ? LocalGoogleCallback::okBody : LocalGoogleCallback::badRequestBody;
    return QByteArray(ok ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 400 Bad Request\r\n") +
           "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// A client connection on the test's own thread, which the listener shares: it never blocks.
class Client {
public:
    explicit Client(quint16 port, const QHostAddress& address = QHostAddress(QHostAddress::LocalHost)) {
        socket_.connectToHost(address, port);
        waitUntil([this] {
            return socket_.state() == QAbstractSocket::ConnectedState ||
                   socket_.state() == QAbstractSocket::UnconnectedState;
        });
    }
    bool connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray& bytes) {
        socket_.write(bytes);
        socket_.flush();
    }
    // Everything the listener sent until it closed the connection.
    QByteArray answer(int timeoutMs = 5000) {
        waitUntil([this] { return socket_.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
        return socket_.readAll();
    }
    QAbstractSocket::SocketState state() const { return socket_.state(); }

private:
    QTcpSocket socket_;
};

QByteArray request(const QByteArray& target, const QByteArray& method = "GET",
                   const QByteArray& version = " HTTP/1.1") {
    return method + ' ' + target + version + "\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n\r\n";
}

QByteArray callback(const QByteArray& query) { return "/callback?" + query; }

QString expectError(QCoro::Task<QString> task) {
    try {
        const QString code = base::waitForTask(std::move(task));
        return QStringLiteral("code ") + code;
    } catch (const GoogleAuthError& error) {
        return error.message();
    }
}

}  // namespace

// Requests the listener must refuse with the 400 page while it keeps waiting; a proper redirect
// afterwards still ends the wait with its code.
TEST(LocalGoogleCallback, RefusesWhatIsNotTheRedirectAndKeepsWaiting) {
    auto listener = LocalGoogleCallback::start(kState);
    ASSERT_NE(listener->port(), 0);
    auto waiting = listener->waitForCode();

    const QByteArray code10(10, 'c');
    const QByteArray code4096(4096, 'c');
    const struct {
        const char* name;
        QByteArray bytes;
    } refused[] = {
        {"code of 10", request(callback("state=" + kStateQuery + "&code=" + code10))},
        {"code of 4096", request(callback("state=" + kStateQuery + "&code=" + code4096))},
        {"wrong state", request(callback("state=other-state-ABCDEFGHIJKLMNO&code=abcdefghijkl"))},
        {"state with a space for its '+'",
         request(callback("state=state%20%2F%3DABCDEFGHIJKLMNOPQR&code=abcdefghijkl"))},
        {"only a later state is right", request(callback("state=wrong&state=" + kStateQuery + "&code=abcdefghijkl"))},
        {"no state", request(callback("code=abcdefghijkl"))},
        {"state without a value", request(callback("state&code=abcdefghijkl"))},
        {"right state, no code", request(callback("state=" + kStateQuery))},
        {"site icon", request("/favicon.ico")},
        {"other path", request("/callback/x?state=" + kStateQuery + "&code=abcdefghijkl")},
        {"lower-case method", request(callback("state=" + kStateQuery + "&code=abcdefghijkl"), "get")},
        {"POST", request(callback("state=" + kStateQuery + "&code=abcdefghijkl"), "POST")},
        {"two pieces", request(callback("state=" + kStateQuery + "&code=abcdefghijkl"), "GET", "")},
        {"not HTTP", request(callback("state=" + kStateQuery + "&code=abcdefghijkl"), "GET", " FTP/1.0")},
        {"not UTF-8", "GET /callback?state=\xff\xfe HTTP/1.1\r\n\r\n"},
        {"no line end within 8192 bytes", "GET /callback?state=" + kStateQuery + "&pad=" + QByteArray(9000, 'x')},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name);
        Client client(listener->port());
        ASSERT_TRUE(client.connected());
        client.send(row.bytes);
        EXPECT_EQ(client.answer(), reply(false));
    }
    EXPECT_FALSE(waiting.isReady());

    // Two spaces after the method; the longest code; "%2B" decodes to "+".
    const QByteArray code4095 = "ab%2B" + QByteArray(4092, 'z');
    Client browser(listener->port());
    browser.send(request(callback("state=" + kStateQuery + "&code=" + code4095), "GET "));
    EXPECT_EQ(browser.answer(), reply(true));
    EXPECT_EQ(base::waitForTask(std::move(waiting)), QStringLiteral("ab+") + QString(4092, u'z'));

    // Decided: a second correct redirect is refused, the first code stands.
    Client late(listener->port());
    late.send(request(callback("state=" + kStateQuery + "&code=anotherCode123")));
    EXPECT_EQ(late.answer(), reply(false));
}

// A redirect may come before the wait starts, in pieces, or among idle connections that would
// otherwise use up the listener; an error in a correct redirect ends the wait; close() and the
// time-out end it too.
TEST(LocalGoogleCallback, DeliversTheOutcomeOnceWhateverTheConnectionsDo) {
    LocalGoogleCallback::Options options;
    options.connectionTimeout = std::chrono::milliseconds(300);
    options.maxConnections = 8;

    {
        SCOPED_TRACE("early redirect, split across packets");
        auto listener = LocalGoogleCallback::start(kState, options);
        Client browser(listener->port());
        browser.send("GET /callback?state=" + kStateQuery + "&co");
        QCoreApplication::processEvents();
        EXPECT_EQ(browser.state(), QAbstractSocket::ConnectedState);
        browser.send("de=abcdefghijk HTTP/1.1\r\n");
        EXPECT_EQ(browser.answer(), reply(true));
        EXPECT_EQ(base::waitForTask(listener->waitForCode()), QStringLiteral("abcdefghijk"));
    }
    {
        SCOPED_TRACE("silent clients and 200 idle connections");
        auto listener = LocalGoogleCallback::start(kState, options);
        auto waiting = listener->waitForCode();
        Client silent(listener->port());
        EXPECT_EQ(silent.answer(), reply(false));  // answered once its time is up
        std::vector<std::unique_ptr<Client>> idle;
        for (int i = 0; i < 200; ++i) idle.push_back(std::make_unique<Client>(listener->port()));
        ASSERT_TRUE(waitUntil([&] { return listener->openConnections() <= options.maxConnections; }));
        EXPECT_FALSE(waiting.isReady());
        Client browser(listener->port());
        browser.send(request(callback("state=" + kStateQuery + "&code=abcdefghijk")));
        EXPECT_EQ(browser.answer(), reply(true));
        EXPECT_EQ(base::waitForTask(std::move(waiting)), QStringLiteral("abcdefghijk"));
        EXPECT_LE(listener->openConnections(), options.maxConnections);
    }

    const struct {
        const char* name;
        QByteArray query;  // nothing: no redirect
        bool close;
        QString message;
    } endings[] = {
        {"denied", "error=access_denied&state=" + kStateQuery, false, QStringLiteral("Google 授权已被拒绝或取消。")},
        {"other error", "state=" + kStateQuery + "&error=server_error&code=short", false,
         QStringLiteral("身份服务返回内容无效。")},
        {"closed", {}, true, QStringLiteral("授权等待超时，请重试。")},
        {"time-out", {}, false, QStringLiteral("授权等待超时，请重试。")},
    };
    for (const auto& row : endings) {
        SCOPED_TRACE(row.name);
        LocalGoogleCallback::Options timed = options;
        timed.codeTimeout = std::chrono::milliseconds(300);
        auto listener = LocalGoogleCallback::start(kState, timed);
        auto waiting = listener->waitForCode();
        Client idle(listener->port());
        if (!row.query.isEmpty()) {
            Client browser(listener->port());
            browser.send(request(callback(row.query)));
            EXPECT_EQ(browser.answer(), reply(false));
        }
        const quint16 port = listener->port();
        if (row.close) listener->close();
        EXPECT_EQ(expectError(std::move(waiting)), row.message);
        if (row.close) {
            // Every connection is closed, and the port no longer answers.
            EXPECT_EQ(idle.answer(), QByteArray());
            EXPECT_FALSE(Client(port).connected());
        }
    }
}

TEST(LocalGoogleCallback, AnswersOnlyOnTheLoopbackAddress) {
    auto listener = LocalGoogleCallback::start(kState);
    EXPECT_TRUE(Client(listener->port()).connected());
    EXPECT_FALSE(Client(listener->port(), QHostAddress(QStringLiteral("127.0.0.2"))).connected());
    EXPECT_FALSE(Client(listener->port(), QHostAddress(QHostAddress::LocalHostIPv6)).connected());
}
