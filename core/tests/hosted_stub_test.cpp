#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>

#include "tests/support/hosted_stub.h"

using testsupport::HostedStub;
using testsupport::ScriptedReply;

// The loopback stub itself: a request whose length cannot be trusted is refused once, not read
// again as further requests.
TEST(HostedStub, RefusesARequestWithAnUnusableLength) {
    for (const QByteArray& length : {QByteArray("-5"), QByteArray("12abc")}) {
        SCOPED_TRACE(length.toStdString());
        HostedStub stub;
        stub.expect("POST", "/v1/ai/answer", &HostedStub::checkAnswerRequest);
        stub.enqueue("/v1/ai/answer", ScriptedReply::answer(QStringLiteral("x")));
        QTcpSocket socket;
        socket.connectToHost(stub.baseUrl().host(), quint16(stub.baseUrl().port()));
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write("POST /v1/ai/answer HTTP/1.1\r\nHost: x\r\nContent-Length: " + length + "\r\n\r\n{}");
        socket.flush();
        QByteArray reply;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 2000 && socket.state() == QAbstractSocket::ConnectedState) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            reply += socket.readAll();
        }
        reply += socket.readAll();
        EXPECT_TRUE(reply.startsWith("HTTP/1.1 599 ")) << reply.toStdString();
        EXPECT_EQ(stub.violations(), QStringList{QStringLiteral("invalid Content-Length")});
        EXPECT_TRUE(stub.requests().isEmpty());
    }
}
