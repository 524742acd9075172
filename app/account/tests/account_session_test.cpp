#include <gtest/gtest.h>

#include <QTcpServer>

#include "app/account/tests/account_test_doubles.h"

using namespace velquin;
using accounttest::account;
using accounttest::AccountHarness;
using accounttest::run;
using accounttest::waitUntil;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

namespace {

const QString kNetworkFailed = QStringLiteral("网络连接失败，请检查网络，稍后再试。");

using AccountSessionTest = ::testing::Test;

// The port of a listener that was closed again: connecting to it is refused at once.
QString closedPortBase() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return QStringLiteral("http://127.0.0.1:") + QString::number(port);
}

}  // namespace

TEST_F(AccountSessionTest, SignInStoresTheTokenMovesTheHistoryAndConfirmsTheAccount) {
    AccountHarness h;
    h.defaults.setString(AccountSession::displayNameKey + QStringLiteral(".acct_12345"), QStringLiteral("Ada"));
    h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::json(200, R"({"token":"tok-1"})"));
    h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("acct_12345")));
    AccountSession& s = h.session();
    ASSERT_FALSE(s.signedIn());
    run(s.signIn(QStringLiteral(" Ada@Example.ORG "), QStringLiteral(" pass word ")));

    EXPECT_TRUE(h.stub.violations().isEmpty()) << h.stub.violations().join(u'\n').toStdString();
    ASSERT_EQ(h.stub.requests().size(), 2);
    const auto& signIn = h.stub.requests()[0];
    EXPECT_EQ(signIn.method + ' ' + signIn.path, "POST /v1/accounts");
    EXPECT_EQ(signIn.header("content-type"), "application/json");
    EXPECT_FALSE(signIn.hasHeader("authorization"));
    // Exactly as typed: spaces and capitals stay.
    EXPECT_EQ(signIn.json(), (QJsonObject{{QStringLiteral("email"), QStringLiteral(" Ada@Example.ORG ")},
                                          {QStringLiteral("password"), QStringLiteral(" pass word ")}}));
    const auto& refresh = h.stub.requests()[1];
    EXPECT_EQ(refresh.method + ' ' + refresh.path, "GET /v1/account");
    EXPECT_EQ(refresh.header("authorization"), "Bearer tok-1");
    EXPECT_FALSE(refresh.hasHeader("content-type"));

    EXPECT_EQ(h.keyring->stored(), QStringLiteral("tok-1"));
    EXPECT_TRUE(s.signedIn());
    EXPECT_EQ(s.accountID(), QStringLiteral("acct_12345"));
    EXPECT_EQ(h.history->accountID(), QStringLiteral("acct_12345"));
    EXPECT_EQ(s.loginKind(), QStringLiteral("native"));
    EXPECT_EQ(h.defaults.stringValue(AccountSession::loginKindKey), QStringLiteral("native"));
    // Without an e-mail in the reply the typed one is kept, lower-cased.
    EXPECT_EQ(s.email(), QStringLiteral(" ada@example.org "));
    EXPECT_EQ(h.defaults.stringValue(AccountSession::emailKey), QStringLiteral(" ada@example.org "));
    EXPECT_EQ(s.preferredName(), QStringLiteral("Ada"));
    EXPECT_EQ(h.studyFlow->calls, (QStringList{QStringLiteral("reset"), QStringLiteral("dropTutorHandoff")}));
    EXPECT_TRUE(s.feedback().contains(QStringLiteral("发送验证邮件"))) << s.feedback().toStdString();
    EXPECT_FALSE(s.working());

    // A later refresh for the same account keeps name and history, and takes the e-mail unchanged.
    h.defaults.setString(AccountSession::displayNameKey + QStringLiteral(".acct_12345"), QStringLiteral("Other"));
    h.stub.enqueue(HostedStub::accountPath,
                   account(QStringLiteral("acct_12345"), {{QStringLiteral("email"), QStringLiteral("Ada@Example.ORG")},
                                                          {QStringLiteral("email_verified"), true},
                                                          {QStringLiteral("identity_verified"), false}}));
    run(s.refresh());
    EXPECT_EQ(s.email(), QStringLiteral("Ada@Example.ORG"));
    EXPECT_TRUE(s.emailVerified());
    EXPECT_TRUE(s.identityVerified());
    EXPECT_EQ(s.preferredName(), QStringLiteral("Ada"));
    EXPECT_EQ(s.feedback(), QString());
    EXPECT_EQ(h.studyFlow->calls.size(), 2);
}

TEST_F(AccountSessionTest, FailedSignInsChangeNothingButTheirText) {
    struct Row {
        const char* name;
        std::function<void(AccountHarness&)> prepare;
        QString feedback;
        int sent = 1;  // requests that reach the service: one per press at most
    };
    const auto reply = [](ScriptedReply r) {
        return [r](AccountHarness& h) { h.stub.enqueue(HostedStub::accountsPath, r); };
    };
    const QString missingToken = QStringLiteral("账户操作失败：账户服务返回 HTTP 502（missing_session_token）。");
    const Row rows[] = {
        {"401", reply(ScriptedReply::json(401, R"({"error":{"code":"wrong"}})")),
         QStringLiteral("账户操作失败：密码错误或会话无效（HTTP 401）。")},
        {"empty token", reply(ScriptedReply::json(200, R"({"token":""})")), missingToken},
        {"[] is an empty map", reply(ScriptedReply::json(200, "[]")), missingToken},
        {"token with a line break", reply(ScriptedReply::json(200, R"({"token":"a\r\nX-Injected: 1"})")), missingToken},
        {"not JSON", reply(ScriptedReply::json(200, "<html>")),
         QStringLiteral("账户操作失败：服务返回的数据无法读取，请稍后重试。")},
        // Qt's HTTP layer cannot tell a reply that is not HTTP from a connection closed early.
        {"not HTTP", reply(ScriptedReply::raw("SSH-2.0-OpenSSH\r\n\r\n")), kNetworkFailed},
        // A connection closed without a reply: the password is not sent a second time.
        {"closed before the request is read", reply(ScriptedReply::droppedUnread()), kNetworkFailed},
        {"closed after it is read", reply(ScriptedReply::dropped()), kNetworkFailed},
        {"closed in the reply's header", reply(ScriptedReply::raw("HTTP/1.1 200 Stub\r\nContent-Le")), kNetworkFailed},
        {"time-out",
         [](AccountHarness& h) {
             h.clientOptions.accountTimeout = std::chrono::milliseconds(300);
             h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::held());
         },
         kNetworkFailed},
        {"refused",
         [](AccountHarness& h) { h.clientOptions.endpoints = AccountServiceEndpoints::single(closedPortBase()); },
         QStringLiteral(
             "无法连接 Orvel 账户服务器。当前账户 API 尚未上线或域名未配置，暂时无法注册或登录。请不要反复提交密码。"),
         0},
        {"insecure",
         [](AccountHarness& h) {
             h.clientOptions.endpoints = AccountServiceEndpoints::single(QStringLiteral("http://example.org"));
         },
         QStringLiteral("账户连接失败：拒绝连接不安全的地址：http://example.org/v1/accounts"), 0},
        {"keyring refuses",
         [](AccountHarness& h) {
             h.keyring->failSave = true;
             h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::json(200, R"({"token":"tok"})"));
         },
         QStringLiteral("账户操作失败：无法访问系统密钥环：locked")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h(QStringLiteral("old-token"));
        row.prepare(h);
        AccountSession& s = h.session();
        run(s.signIn(QStringLiteral("a@b.c"), QStringLiteral("password")));
        EXPECT_EQ(s.feedback(), row.feedback);
        EXPECT_EQ(h.keyring->stored(), QStringLiteral("old-token"));
        EXPECT_TRUE(s.signedIn());
        EXPECT_FALSE(s.working());
        EXPECT_TRUE(h.studyFlow->calls.isEmpty());
        EXPECT_FALSE(h.defaults.contains(AccountSession::emailKey));
        EXPECT_EQ(h.stub.requests().size(), row.sent);
        for (const auto& request : h.stub.requests()) EXPECT_NE(request.path, HostedStub::accountPath);
    }
}

TEST_F(AccountSessionTest, ConcurrentOperationsApplyOnlyTheCurrentResult) {
    AccountHarness h(QStringLiteral("token-1"));
    AccountSession& s = h.session();
    ASSERT_TRUE(s.signedIn());
    ASSERT_FALSE(s.accountID());

    // A second sign-in while the first runs sends nothing.
    h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::held());
    auto first = s.signIn(QStringLiteral("a@b.c"), QStringLiteral("password"));
    auto second = s.signIn(QStringLiteral("a@b.c"), QStringLiteral("password"));
    EXPECT_TRUE(second.isReady());
    ASSERT_TRUE(waitUntil([&] { return h.stub.heldCount() == 1; }));
    h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("account_A")));
    h.stub.release(0, ScriptedReply::json(200, R"({"token":"token-2"})"));
    run(std::move(first));
    EXPECT_EQ(s.accountID(), QStringLiteral("account_A"));
    EXPECT_EQ(h.stub.requests().size(), 2);

    // Two refreshes answered in reverse order: only the later one counts.
    h.stub.enqueue(HostedStub::accountPath, ScriptedReply::held());
    h.stub.enqueue(HostedStub::accountPath, ScriptedReply::held());
    auto older = s.refresh();
    ASSERT_TRUE(waitUntil([&] { return h.stub.heldCount() == 2; }));
    auto newer = s.refresh();
    ASSERT_TRUE(waitUntil([&] { return h.stub.heldCount() == 3; }));
    h.stub.release(2, account(QStringLiteral("account_B")));
    run(std::move(newer));
    h.stub.release(1, account(QStringLiteral("account_C")));
    run(std::move(older));
    EXPECT_EQ(s.accountID(), QStringLiteral("account_B"));
    EXPECT_EQ(h.history->accountID(), QStringLiteral("account_B"));

    // A refresh answered after sign-out changes nothing, even a successful one.
    h.stub.enqueue(HostedStub::accountPath, ScriptedReply::held());
    auto late = s.refresh();
    ASSERT_TRUE(waitUntil([&] { return h.stub.heldCount() == 4; }));
    run(s.signOut());
    h.stub.release(3, account(QStringLiteral("account_D")));
    run(std::move(late));
    EXPECT_FALSE(s.signedIn());
    EXPECT_FALSE(s.accountID());
    EXPECT_FALSE(h.history->accountID());
    EXPECT_TRUE(h.history->hasActiveFile());
    EXPECT_EQ(s.feedback(), QStringLiteral("已退出登录"));
    EXPECT_TRUE(h.stub.violations().isEmpty()) << h.stub.violations().join(u'\n').toStdString();
}

TEST_F(AccountSessionTest, RefreshRepliesAreCheckedFieldByField) {
    const QString invalid = QStringLiteral("账户信息刷新失败：服务返回的数据无法读取，请稍后重试。");
    const QString closed = QStringLiteral("账户信息刷新失败：Connection closed");
    struct Row {
        const char* name;
        ScriptedReply reply;
        bool confirmed;
        bool emailVerified;
        bool identityVerified;
        QString feedback;
    };
    const Row rows[] = {
        {"id of 7", ScriptedReply::json(200, R"({"id":"abcdefg"})"), false, false, false, invalid},
        {"id with a line feed", ScriptedReply::json(200, R"({"id":"abcdefgh\n"})"), false, false, false, invalid},
        {"kind in other case", ScriptedReply::json(200, R"({"id":"abcdefgh","kind":"Google"})"), false, false, false,
         invalid},
        {"kind not a string", ScriptedReply::json(200, R"({"id":"abcdefgh","kind":5})"), true, false, false, QString()},
        {"verified e-mail",
         ScriptedReply::json(200, R"({"id":"abcdefgh","email_verified":true,"identity_verified":false})"), true, true,
         true, QString()},
        {"flag as text",
         ScriptedReply::json(200, R"({"id":"abcdefgh","email_verified":"true","identity_verified":true})"), true, false,
         true, QString()},
        {"401", ScriptedReply::json(401, ""), false, false, false,
         QStringLiteral("账户信息刷新失败：密码错误或会话无效（HTTP 401）。")},
        {"closed before the request is read", ScriptedReply::droppedUnread(), false, false, false, closed},
        {"closed after it is read", ScriptedReply::dropped(), false, false, false, closed},
        {"closed in the reply's status line", ScriptedReply::raw("HTTP/1.1 2"), false, false, false, closed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h;
        AccountSession& s = h.confirmed(QStringLiteral("earlier_account"));
        s.setPreferredName(QStringLiteral("  Earlier name  "));
        ASSERT_EQ(h.defaults.stringValue(AccountSession::displayNameKey + QStringLiteral(".earlier_account")),
                  QStringLiteral("Earlier name"));
        h.stub.enqueue(HostedStub::accountPath, row.reply);
        run(s.refresh());
        EXPECT_EQ(s.accountID().has_value(), row.confirmed);
        EXPECT_EQ(h.history->accountID().has_value(), row.confirmed);
        EXPECT_EQ(s.emailVerified(), row.emailVerified);
        EXPECT_EQ(s.identityVerified(), row.identityVerified);
        EXPECT_EQ(s.feedback(), row.feedback);
        // A failure leaves the session pending: token, sign-in and kind stay.
        EXPECT_TRUE(s.signedIn());
        EXPECT_EQ(s.loginKind(), QStringLiteral("native"));
        EXPECT_EQ(h.keyring->stored(), QStringLiteral("token-1"));
        // The confirming refresh and this one, each sent once.
        EXPECT_EQ(h.stub.requests().size(), 2);
        if (!row.confirmed) {
            EXPECT_FALSE(h.history->hasActiveFile());
        }
    }
}

TEST_F(AccountSessionTest, OnlyGoogleSessionsAskTheIdentityService) {
    for (const QString& kind : {QStringLiteral("google"), QStringLiteral("apple")}) {
        SCOPED_TRACE(kind.toStdString());
        AccountHarness h(QStringLiteral("token-1"));
        HostedStub identity;
        identity.expectHostedRoutes();
        h.clientOptions.endpoints.identity = identity.baseUrl().toString();
        h.defaults.setString(AccountSession::loginKindKey, kind);
        HostedStub& asked = kind == QLatin1String("google") ? identity : h.stub;
        asked.enqueue(HostedStub::accountPath, account(QStringLiteral("abcdefgh"), {{QStringLiteral("kind"), kind}}));
        run(h.session().refresh());
        EXPECT_EQ(asked.requests().size(), 1);
        EXPECT_EQ(h.stub.requests().size() + identity.requests().size(), 1);
        EXPECT_EQ(h.session().accountID(), QStringLiteral("abcdefgh"));
    }
}

TEST_F(AccountSessionTest, SignOutRemovesTheTokenUnlessTheKeyringRefuses) {
    AccountHarness h;
    h.defaults.setString(AccountSession::displayNameKey, QStringLiteral("Global name"));
    h.defaults.setString(AccountSession::displayNameKey + QStringLiteral(".account_A"), QStringLiteral("Account name"));
    AccountSession& s = h.confirmed(QStringLiteral("account_A"), {{QStringLiteral("email"), QStringLiteral("a@b.c")}});
    ASSERT_EQ(s.preferredName(), QStringLiteral("Account name"));

    h.keyring->failRemove = true;
    run(s.signOut());
    EXPECT_EQ(s.feedback(), QStringLiteral("无法访问系统密钥环：locked"));
    EXPECT_TRUE(s.signedIn());
    EXPECT_EQ(s.accountID(), QStringLiteral("account_A"));
    EXPECT_EQ(h.history->accountID(), QStringLiteral("account_A"));
    EXPECT_EQ(h.keyring->stored(), QStringLiteral("token-1"));
    EXPECT_EQ(h.studyFlow->calls, QStringList{QStringLiteral("dropTutorHandoff")});

    h.keyring->failRemove = false;
    run(s.signOut());
    EXPECT_EQ(s.feedback(), QStringLiteral("已退出登录"));
    EXPECT_FALSE(h.keyring->stored());
    EXPECT_FALSE(s.signedIn());
    EXPECT_FALSE(s.accountID());
    EXPECT_EQ(s.email(), QString());
    EXPECT_EQ(s.loginKind(), QStringLiteral("native"));
    EXPECT_EQ(s.preferredName(), QStringLiteral("Global name"));
    EXPECT_EQ(s.displayName(), QStringLiteral("Global name"));
    EXPECT_EQ(s.initials(), QStringLiteral("G"));
    EXPECT_FALSE(h.defaults.contains(AccountSession::emailKey));
    EXPECT_FALSE(h.defaults.contains(AccountSession::loginKindKey));
    EXPECT_FALSE(h.history->accountID());
    EXPECT_TRUE(h.history->hasActiveFile());
    EXPECT_EQ(h.studyFlow->calls.last(), QStringLiteral("reset"));
}
