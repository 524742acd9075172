#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "base/task.h"
#include "net/http.h"

using namespace net;
using base::waitForTask;

TEST(Http, OnlyHttpsOrLoopbackHttp) {
    EXPECT_TRUE(HttpClient::isAllowedUrl(QUrl(QStringLiteral("https://api.example.test/v1"))));
    EXPECT_TRUE(HttpClient::isAllowedUrl(QUrl(QStringLiteral("http://127.0.0.1:8080/v1"))));
    EXPECT_FALSE(HttpClient::isAllowedUrl(QUrl(QStringLiteral("http://localhost:8080/v1"))));
    EXPECT_FALSE(HttpClient::isAllowedUrl(QUrl(QStringLiteral("http://api.example.test/v1"))));
    EXPECT_FALSE(HttpClient::isAllowedUrl(QUrl(QStringLiteral("ftp://127.0.0.1/x"))));
    HttpClient client;
    HttpRequest request;
    request.url = QUrl(QStringLiteral("http://example.test/"));
    try {
        waitForTask(client.send(request));
        FAIL() << "sent";
    } catch (const NetworkError& error) {
        EXPECT_EQ(error.kind(), NetworkError::Kind::insecure);
    }
}

TEST(Http, AConnectionLostInTheBodyIsNoResponse) {
    // The server promises 100 bytes, sends the status line and a few, then closes the connection.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"answer\":");
            socket->flush();
            QTimer::singleShot(50, socket, [socket] { socket->disconnectFromHost(); });
        });
    });
    HttpClient client;
    HttpRequest request;
    request.url =
        QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(server.serverPort()) + QStringLiteral("/v1"));
    try {
        const HttpResponse response = waitForTask(client.send(request));
        FAIL() << "a cut-off body came back as status " << response.status << " body " << response.body.toStdString();
    } catch (const NetworkError& error) {
        EXPECT_EQ(error.kind(), NetworkError::Kind::notConnected);
    }
}
