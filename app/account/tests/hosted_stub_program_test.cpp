#include <gtest/gtest.h>

#include <QJsonArray>
#include <QProcess>

#include "app/account/account_data_scope.h"
#include "app/account/account_service_error.h"
#include "app/account/tests/account_test_doubles.h"

using namespace velquin;

namespace {

QJsonDocument control(net::HttpClient& http, const QUrl& base, const QByteArray& method, const QString& path,
                      const QByteArray& body = {}) {
    net::HttpRequest request;
    request.method = method;
    request.url = QUrl(base.toString() + path);
    request.body = body;
    return QJsonDocument::fromJson(base::waitForTask(http.send(request)).body);
}

}  // namespace

// The stub as a program of its own, as the tests of the real application start it.
TEST(HostedStubProgram, ServesScriptedRepliesAndReportsWhatArrived) {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.json"));
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"([{"path":"/v1/account","status":200,"body":{"id":"abcdefgh"},"repeat":true}])");
    file.close();

    QProcess stub;
    stub.start(QStringLiteral(ORVEL_HOSTED_STUB), {QStringLiteral("--script"), script});
    ASSERT_TRUE(stub.waitForStarted());
    ASSERT_TRUE(accounttest::waitUntil([&] { return stub.canReadLine(); }));
    const QUrl base(QString::fromUtf8(stub.readLine().trimmed()));
    ASSERT_TRUE(base.toString().startsWith(QStringLiteral("http://127.0.0.1:"))) << base.toString().toStdString();

    AccountServiceClient::Options options;
    options.endpoints = AccountServiceEndpoints::single(base.toString());
    AccountServiceClient client(options);
    const auto get = [&] {
        return base::waitForTask(client.request(AccountServiceClient::accountPath, "GET", std::nullopt,
                                                QStringLiteral("tok"), QStringLiteral("native")));
    };
    // The repeating reply serves every request until a later one takes over.
    EXPECT_EQ(get().value(QStringLiteral("id")).toString(), QStringLiteral("abcdefgh"));
    EXPECT_EQ(get().value(QStringLiteral("id")).toString(), QStringLiteral("abcdefgh"));
    net::HttpClient http;
    EXPECT_EQ(control(http, base, "POST", QStringLiteral("/stub/replies"),
                      R"({"path":"/v1/account","status":401,"body":{"error":{"code":"expired"}}})")
                  .object()
                  .value(QStringLiteral("queued")),
              QJsonValue(1));
    EXPECT_THROW(get(), AccountServiceError);
    // Nothing queued any more: the contract's status 599 and a violation.
    EXPECT_THROW(get(), AccountServiceError);

    const QJsonArray requests = control(http, base, "GET", QStringLiteral("/stub/requests")).array();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].toObject().value(QStringLiteral("path")).toString(), QStringLiteral("/v1/account"));
    EXPECT_EQ(requests[0].toObject().value(QStringLiteral("headers")).toObject().value(QStringLiteral("authorization")),
              QJsonValue(QStringLiteral("Bearer tok")));
    EXPECT_EQ(control(http, base, "GET", QStringLiteral("/stub/violations")).array(),
              QJsonArray{QStringLiteral("no reply scripted for /v1/account")});

    stub.terminate();
    EXPECT_TRUE(stub.waitForFinished());
}

// The stand-in of scripts/run --local-service, through the program's own account client: any e-mail
// signs in, its account reads back as a valid one of that e-mail, a token it did not issue does not.
TEST(HostedStubProgram, LocalServiceSignsInAnyEmailAndReadsItsAccountBack) {
    QProcess stub;
    stub.start(QStringLiteral(ORVEL_HOSTED_STUB), {QStringLiteral("--local-service")});
    ASSERT_TRUE(stub.waitForStarted());
    ASSERT_TRUE(accounttest::waitUntil([&] { return stub.canReadLine(); }));
    const QUrl base(QString::fromUtf8(stub.readLine().trimmed()));

    AccountServiceClient::Options options;
    options.endpoints = AccountServiceEndpoints::single(base.toString());
    AccountServiceClient client(options);
    QStringList ids;
    for (const QString& email : {QStringLiteral("ann@example.org"), QStringLiteral(" Bo@Example.org ")}) {
        SCOPED_TRACE(email.toStdString());
        const QJsonObject signedIn = base::waitForTask(client.request(
            AccountServiceClient::accountsPath, "POST",
            QMap<QString, QString>{{QStringLiteral("email"), email}, {QStringLiteral("password"), QStringLiteral("x")}},
            std::nullopt, QStringLiteral("native")));
        const QString token = signedIn.value(QStringLiteral("token")).toString();
        ASSERT_FALSE(token.isEmpty());
        const QJsonObject account = base::waitForTask(
            client.request(AccountServiceClient::accountPath, "GET", std::nullopt, token, QStringLiteral("native")));
        EXPECT_TRUE(AccountDataScope::validAccountID(account.value(QStringLiteral("id")).toString()));
        EXPECT_EQ(account.value(QStringLiteral("email")).toString(), email);
        EXPECT_EQ(account.value(QStringLiteral("kind")).toString(), QStringLiteral("native"));
        ids.append(account.value(QStringLiteral("id")).toString());
    }
    EXPECT_NE(ids[0], ids[1]);
    try {
        base::waitForTask(client.request(AccountServiceClient::accountPath, "GET", std::nullopt,
                                         QStringLiteral("a-real-service-token"), QStringLiteral("native")));
        ADD_FAILURE() << "a token the stand-in did not issue was accepted";
    } catch (const AccountServiceError& error) {
        EXPECT_EQ(error.status(), 401);
    }

    stub.terminate();
    EXPECT_TRUE(stub.waitForFinished());
}
