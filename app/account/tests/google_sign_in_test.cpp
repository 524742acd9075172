// Google sign-in: the browser flow against the stub's identity and Google routes, and the account
// session's handling of its outcome.
#include <gtest/gtest.h>

#include <QCoroTimer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include "app/account/google_desktop_oauth.h"
#include "app/account/tests/account_test_doubles.h"
#include "base/task.h"
#include "net/http.h"

using namespace velquin;
using accounttest::account;
using accounttest::AccountHarness;
using accounttest::run;
using accounttest::waitUntil;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

namespace {

const QString kState = QStringLiteral("st+/=te-0123456789abcdef");  // 24 characters, "+" and "/" included
const QString kNonce = QStringLiteral("nonce-0123456789abcdefghij");
const QString kInvalidReply = QStringLiteral("服务返回的数据无法读取，请稍后重试。");

QByteArray json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

ScriptedReply challenge(const QString& state = kState, const QString& nonce = kNonce) {
    return ScriptedReply::json(200, json({{QStringLiteral("state"), state}, {QStringLiteral("nonce"), nonce}}));
}

ScriptedReply tokens(const QString& idToken) {
    return ScriptedReply::json(200,
                               json({{QStringLiteral("id_token"), idToken}, {QStringLiteral("access_token"), "at"}}));
}

QJsonObject federatedReply(const QString& id = QStringLiteral("gid_12345")) {
    return {{QStringLiteral("token"), QStringLiteral("tok-g")},
            {QStringLiteral("kind"), QStringLiteral("google")},
            {QStringLiteral("identity_verified"), true},
            {QStringLiteral("id"), id},
            {QStringLiteral("email"), QStringLiteral("G@Example.com")}};
}

// The user's browser: it loads the authorization page from the stub and, like a browser, follows
// the 302 to the loopback listener.
class FakeBrowser : public BrowserOpener {
public:
    enum class Mode { follow, refuse, ignore };
    Mode mode = Mode::follow;
    QList<QUrl> opened;
    std::optional<net::HttpResponse> landing;  // what the listener answered

    bool open(const QUrl& url) override {
        opened.append(url);
        if (mode == Mode::refuse) return false;
        if (mode == Mode::follow) loading_.emplace(follow(url));
        return true;
    }
    // Waits until the page load and the return to the listener have ended, answered or not: the
    // flow may finish before the browser has read the listener's page, and a request still open
    // when the browser goes would never end.
    void finishLoading() {
        if (!loading_) return;
        try {
            base::waitForTask(std::move(*loading_));
        } catch (const net::NetworkError&) {
            // The listener closed before it answered; `landing` stays empty.
        }
        loading_.reset();
    }
    // The loopback port the last authorization page named.
    quint16 redirectPort() const {
        if (opened.isEmpty()) return 0;
        return QUrl(QUrlQuery(opened.last()).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded)).port();
    }

private:
    QCoro::Task<void> follow(QUrl url) {
        net::HttpRequest page;
        page.url = url;
        page.carriesCredentials = true;  // the test follows the redirect itself
        auto loading = http_->send(std::move(page));
        const net::HttpResponse authorization = co_await std::move(loading);
        QByteArray location;
        for (const auto& [name, value] : authorization.headers)
            if (name.toLower() == "location") location = value;
        if (authorization.status != 302 || location.isEmpty()) co_return;
        net::HttpRequest back;
        back.url = QUrl::fromEncoded(location, QUrl::StrictMode);
        auto returning = http_->send(std::move(back));
        landing = co_await std::move(returning);
    }

    std::shared_ptr<net::HttpClient> http_ = std::make_shared<net::HttpClient>();
    std::optional<QCoro::Task<void>> loading_;
};

GoogleDesktopOAuth::Options optionsFor(const HostedStub& stub) {
    const QString base = stub.baseUrl().toString();
    GoogleDesktopOAuth::Options options;
    options.configuration = {base, base, base, GoogleDesktopOAuth::builtInClientID, QString()};
    options.requestTimeout = std::chrono::seconds(10);
    return options;
}

bool portAnswers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    waitUntil([&] {
        return socket.state() == QAbstractSocket::ConnectedState || socket.state() == QAbstractSocket::UnconnectedState;
    });
    return socket.state() == QAbstractSocket::ConnectedState;
}

using GoogleSignInTest = ::testing::Test;

}  // namespace

// The whole road from the sign-in button's call to a confirmed Google account: the stub checks each
// request (query items, PKCE, form, federated body) and the test checks what the user and the
// session end up with.
TEST_F(GoogleSignInTest, BrowserFlowSignsInAndConfirmsTheAccount) {
    AccountHarness h;
    auto browser = std::make_shared<FakeBrowser>();
    h.google = std::make_shared<GoogleDesktopOAuth>(optionsFor(h.stub), browser);
    const QString idToken(101, u'i');  // the shortest accepted
    h.stub.enqueue(HostedStub::challengePath, challenge());
    h.stub.enqueue(HostedStub::tokenPath, tokens(idToken));
    h.stub.enqueue(HostedStub::federatedPath, ScriptedReply::json(200, json(federatedReply())));
    h.stub.enqueue(HostedStub::accountPath,
                   account(QStringLiteral("gid_12345"), {{QStringLiteral("kind"), QStringLiteral("google")},
                                                         {QStringLiteral("email_verified"), true}}));
    AccountSession& s = h.session();
    run(s.signInWithGoogle());
    browser->finishLoading();

    // The stub checked each request: the query items and form fields in their order, the
    // verifier against the challenge, the federated body against the challenge and the ID token.
    EXPECT_TRUE(h.stub.violations().isEmpty()) << h.stub.violations().join(u'\n').toStdString();
    ASSERT_EQ(h.stub.requests().size(), 5);
    const QByteArray query = h.stub.requests()[1].path.split('?').last();
    EXPECT_TRUE(query.startsWith("client_id=" + QUrl::toPercentEncoding(GoogleDesktopOAuth::builtInClientID) +
                                 "&redirect_uri=http%3A%2F%2F127.0.0.1%3A" +
                                 QByteArray::number(browser->redirectPort()) + "%2Fcallback&"));
    EXPECT_TRUE(query.contains("&scope=openid%20email%20profile&") &&
                query.endsWith("&state=st%2B%2F%3Dte-0123456789abcdef"));
    const QUrlQuery form(QString::fromLatin1(h.stub.requests()[2].body));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("code_verifier")).size(), 64);
    EXPECT_EQ(h.stub.requests()[3].json(), (QJsonObject{{"provider", "google"}, {"state", kState}, {"nonce", kNonce},
                                                        {"id_token", idToken}}));
    ASSERT_TRUE(browser->landing);
    EXPECT_EQ(browser->landing->status, 200);
    EXPECT_EQ(browser->landing->body, LocalGoogleCallback::okBody);
    EXPECT_FALSE(portAnswers(browser->redirectPort()));

    EXPECT_EQ(s.feedback(), QStringLiteral("Google 登录成功"));
    EXPECT_TRUE(s.signedIn());
    EXPECT_EQ(s.accountID(), QStringLiteral("gid_12345"));
    EXPECT_EQ(h.history->accountID(), QStringLiteral("gid_12345"));
    EXPECT_EQ(s.loginKind(), QStringLiteral("google"));
    EXPECT_EQ(h.defaults.stringValue(AccountSession::loginKindKey), QStringLiteral("google"));
    EXPECT_EQ(s.email(), QStringLiteral("G@Example.com"));
    EXPECT_EQ(h.keyring->stored(), QStringLiteral("tok-g"));
    EXPECT_EQ(h.studyFlow->calls.first(), QStringLiteral("reset"));
    EXPECT_FALSE(s.working());
}

// What each failure of the flow reports, and that the loopback port is free again afterwards.
TEST_F(GoogleSignInTest, FlowFailuresCarryTheirOwnMessages) {
    const auto reply = [](const QByteArray& path, ScriptedReply r) {
        return [path, r](HostedStub& stub, FakeBrowser&, GoogleDesktopOAuth::Options&) { stub.enqueue(path, r); };
    };
    const auto upToToken = [](ScriptedReply r) {
        return [r](HostedStub& stub, FakeBrowser&, GoogleDesktopOAuth::Options&) {
            stub.enqueue(HostedStub::challengePath, challenge());
            stub.enqueue(HostedStub::tokenPath, r);
        };
    };
    const auto federated = [](ScriptedReply r) {
        return [r](HostedStub& stub, FakeBrowser&, GoogleDesktopOAuth::Options&) {
            stub.enqueue(HostedStub::challengePath, challenge());
            stub.enqueue(HostedStub::tokenPath, tokens(QString(17999, u't')));
            stub.enqueue(HostedStub::federatedPath, r);
        };
    };
    const QString invalid = QStringLiteral("身份服务返回内容无效。");
    struct Row {
        const char* name;
        std::function<void(HostedStub&, FakeBrowser&, GoogleDesktopOAuth::Options&)> prepare;
        QString outcome;  // the error's message, or "ok"
        bool browserOpened;
    };
    const Row rows[] = {
        {"state of 20", reply(HostedStub::challengePath, challenge(QString(20, u's'))), invalid, false},
        {"nonce of 20", reply(HostedStub::challengePath, challenge(QString(21, u's'), QString(20, u'n'))), invalid,
         false},
        {"state not text",
         reply(HostedStub::challengePath,
               ScriptedReply::json(200, R"({"state":123456789012345678901,"nonce":"nnnnnnnnnnnnnnnnnnnnnnnn"})")),
         invalid, false},
        {"challenge refused",
         reply(HostedStub::challengePath, ScriptedReply::json(403, R"({"error":{"code":"blocked_user"}})")),
         QStringLiteral("Orvel 身份验证失败（HTTP 403，blocked_user）。"), false},
        {"error as text", reply(HostedStub::challengePath, ScriptedReply::json(403, R"({"error":"blocked"})")),
         QStringLiteral("Orvel 身份验证失败（HTTP 403，identity_unavailable）。"), false},
        {"201 is no success",
         reply(HostedStub::challengePath, ScriptedReply::json(201, json({{"state", kState}, {"nonce", kNonce}}))),
         QStringLiteral("Orvel 身份验证失败（HTTP 201，identity_unavailable）。"), false},
        {"challenge not an object", reply(HostedStub::challengePath, ScriptedReply::json(200, "[]")), invalid, false},
        {"challenge not JSON", reply(HostedStub::challengePath, ScriptedReply::json(200, "<html>")),
         QStringLiteral("illegal value"), false},
        {"challenge unanswered",
         [](HostedStub& stub, FakeBrowser&, GoogleDesktopOAuth::Options& options) {
             options.requestTimeout = std::chrono::milliseconds(300);
             stub.enqueue(HostedStub::challengePath, ScriptedReply::held());
         },
         QStringLiteral("请求超时。"), false},
        {"browser refuses",
         [](HostedStub& stub, FakeBrowser& browser, GoogleDesktopOAuth::Options&) {
             stub.enqueue(HostedStub::challengePath, challenge());
             browser.mode = FakeBrowser::Mode::refuse;
         },
         QStringLiteral("无法启动系统浏览器。"), true},
        {"user denies",
         [](HostedStub& stub, FakeBrowser&, GoogleDesktopOAuth::Options&) {
             stub.enqueue(HostedStub::challengePath, challenge());
             stub.enqueue(HostedStub::authorizationPath, ScriptedReply::json(200, R"({"error":"access_denied"})"));
         },
         QStringLiteral("Google 授权已被拒绝或取消。"), true},
        {"user never returns",
         [](HostedStub& stub, FakeBrowser& browser, GoogleDesktopOAuth::Options& options) {
             stub.enqueue(HostedStub::challengePath, challenge());
             browser.mode = FakeBrowser::Mode::ignore;
             options.listener.codeTimeout = std::chrono::milliseconds(300);
         },
         QStringLiteral("授权等待超时，请重试。"), true},
        {"invalid_grant", upToToken(ScriptedReply::json(400, R"({"error":"invalid_grant"})")),
         QStringLiteral("Google 令牌交换失败（HTTP 400，invalid_grant）。请检查 OAuth 客户端类型与回调。"), true},
        {"token page in HTML", upToToken(ScriptedReply::json(500, "<html>oops</html>")),
         QStringLiteral("Google 令牌交换失败（HTTP 500，google_unavailable）。请检查 OAuth 客户端类型与回调。"), true},
        {"code with a space", upToToken(ScriptedReply::json(400, R"({"error":"bad code"})")),
         QStringLiteral("Google 令牌交换失败（HTTP 400，unknown）。请检查 OAuth 客户端类型与回调。"), true},
        {"code of 65", upToToken(ScriptedReply::json(400, json({{"error", QString(65, u'e')}}))),
         QStringLiteral("Google 令牌交换失败（HTTP 400，unknown）。请检查 OAuth 客户端类型与回调。"), true},
        {"id_token of 100", upToToken(tokens(QString(100, u't'))), invalid, true},
        {"id_token of 18000", upToToken(tokens(QString(18000, u't'))), invalid, true},
        {"id_token missing", upToToken(ScriptedReply::json(200, R"({"access_token":"x"})")), invalid, true},
        {"federated refused", federated(ScriptedReply::json(403, R"({"error":{"code":"expired_state"}})")),
         QStringLiteral("Orvel 身份验证失败（HTTP 403，expired_state）。"), true},
        // The ID token never follows a redirect.
        {"federated redirected", federated(ScriptedReply{307, "", {{"Location", "/elsewhere"}}}),
         QStringLiteral("Orvel 身份验证失败（HTTP 307，identity_unavailable）。"), true},
        {"id_token of 17999 and a client secret",
         [](HostedStub& stub, FakeBrowser&, GoogleDesktopOAuth::Options& options) {
             options.configuration.clientSecret = QStringLiteral("secret+value");
             stub.enqueue(HostedStub::challengePath, challenge());
             stub.enqueue(HostedStub::tokenPath, tokens(QString(17999, u't')));
             stub.enqueue(HostedStub::federatedPath, ScriptedReply::json(200, R"({"anything":1})"));
         },
         QStringLiteral("ok"), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostedStub stub;
        stub.expectHostedRoutes();
        auto browser = std::make_shared<FakeBrowser>();
        GoogleDesktopOAuth::Options options = optionsFor(stub);
        row.prepare(stub, *browser, options);
        GoogleDesktopOAuth oauth(options, browser);
        QString outcome;
        try {
            const QJsonObject result = base::waitForTask(oauth.signIn());
            outcome = result == QJsonObject{{"anything", 1}} ? QStringLiteral("ok") : QStringLiteral("other result");
        } catch (const base::Error& error) {
            outcome = error.message();
        }
        browser->finishLoading();
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_TRUE(stub.violations().isEmpty()) << stub.violations().join(u'\n').toStdString();
        EXPECT_EQ(browser->opened.size(), row.browserOpened ? 1 : 0);
        if (row.browserOpened) {
            EXPECT_FALSE(portAnswers(browser->redirectPort()));
        }
        if (QString(row.name).contains(QStringLiteral("secret"))) {
            EXPECT_TRUE(stub.requests()[2].body.endsWith("&client_secret=secret%2Bvalue"));
        }
    }
}

namespace {

// A Google flow that hands back a reply the test chose, or fails as it chose; with a gate (a timer
// the test keeps running), only once the gate fires. The timer's own awaiter takes the timeout
// without its private-signal tag, which Qt hands a functor connection as a null reference.
class ScriptedGoogle : public GoogleDesktopOAuth {
public:
    ScriptedGoogle() : GoogleDesktopOAuth(Options{}, nullptr) {}
    std::function<QJsonObject()> outcome;
    QTimer* gate = nullptr;
    int runs = 0;

    QCoro::Task<QJsonObject> signIn() override {
        ++runs;
        if (gate) {
            auto opening = qCoro(gate).waitForTimeout();
            co_await std::move(opening);
        }
        co_return outcome();
    }
};

}  // namespace

// Federated replies that fail a check change nothing but the message and never reach the keyring.
TEST_F(GoogleSignInTest, UnusableRepliesLeaveTheSessionAsItWas) {
    const auto with = [](const char* key, const QJsonValue& v) {
        QJsonObject reply = federatedReply();
        if (v.isUndefined())
            reply.remove(QString::fromLatin1(key));
        else
            reply.insert(QString::fromLatin1(key), v);
        return reply;
    };
    const QString invalid = QStringLiteral("Google 登录失败：") + kInvalidReply;
    const struct {
        const char* name;
        std::function<QJsonObject()> outcome;
        bool keyringRefuses;
        QString feedback;
    } rows[] = {
        {"kind Google", [&] { return with("kind", QStringLiteral("Google")); }, false, invalid},
        {"kind native", [&] { return with("kind", QStringLiteral("native")); }, false, invalid},
        {"unverified", [&] { return with("identity_verified", false); }, false, invalid},
        {"verified as text", [&] { return with("identity_verified", QStringLiteral("true")); }, false, invalid},
        {"id of 7", [&] { return with("id", QStringLiteral("abcdefg")); }, false, invalid},
        {"id with a dot", [&] { return with("id", QStringLiteral("abc.defgh")); }, false, invalid},
        {"id with a space", [&] { return with("id", QStringLiteral("abcd efgh")); }, false, invalid},
        {"id with a line feed", [&] { return with("id", QStringLiteral("abcdefgh\n")); }, false, invalid},
        {"empty token", [&] { return with("token", QString()); }, false, invalid},
        {"no token", [&] { return with("token", QJsonValue::Undefined); }, false, invalid},
        {"token with a line break", [&] { return with("token", QStringLiteral("a\r\nX: 1")); }, false, invalid},
        {"flow fails", []() -> QJsonObject { throw GoogleAuthError(GoogleAuthError::Case::timeout); }, false,
         QStringLiteral("Google 登录失败：授权等待超时，请重试。")},
        {"keyring refuses", [] { return federatedReply(); }, true,
         QStringLiteral("Google 登录失败：无法访问系统密钥环：locked")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h;
        auto google = std::make_shared<ScriptedGoogle>();
        google->outcome = row.outcome;
        h.google = google;
        h.keyring->failSave = row.keyringRefuses;
        AccountSession& s = h.session();
        run(s.signInWithGoogle());
        EXPECT_EQ(s.feedback(), row.feedback);
        EXPECT_FALSE(s.signedIn());
        EXPECT_FALSE(s.working());
        EXPECT_EQ(s.loginKind(), QStringLiteral("native"));
        EXPECT_FALSE(h.defaults.contains(AccountSession::loginKindKey));
        EXPECT_EQ(h.keyring->saves, row.keyringRefuses ? 1 : 0);
        EXPECT_FALSE(h.keyring->stored());
        EXPECT_TRUE(h.studyFlow->calls.isEmpty());
        EXPECT_TRUE(h.stub.requests().isEmpty());
    }
}

// After the token is saved, the refresh decides: the same account signs in, another account signs
// out again, no answer leaves the session pending; a reply without e-mail stores an empty one.
TEST_F(GoogleSignInTest, TheRefreshDecidesWhatTheSessionKeeps) {
    const struct {
        const char* name;
        accounttest::Language language;
        ScriptedReply refresh;
        bool withEmail;
        bool signedIn;
        std::optional<QString> accountID;
        std::optional<QString> token;
        QString feedback;
        QString feedbackInChinese;  // after a switch to Chinese
    } rows[] = {
        {"same account, English", accounttest::Language::english,
         account(QStringLiteral("gid_12345"), {{QStringLiteral("kind"), QStringLiteral("google")}}), false, true,
         QStringLiteral("gid_12345"), QStringLiteral("tok-g"), QStringLiteral("Signed in with Google"),
         QStringLiteral("Google 登录成功")},
        {"another account", accounttest::Language::chinese,
         account(QStringLiteral("gid_99999"), {{QStringLiteral("kind"), QStringLiteral("google")}}), true, false,
         std::nullopt, std::nullopt, QStringLiteral("Google 登录失败：") + kInvalidReply,
         QStringLiteral("Google 登录失败：") + kInvalidReply},
        // A failure is kept in Chinese in every language: the account view shows it translated.
        {"refresh refused, French", accounttest::Language::french, ScriptedReply::json(401, "{}"), true, true,
         std::nullopt, QStringLiteral("tok-g"), QStringLiteral("Google 登录失败：") + kInvalidReply,
         QStringLiteral("Google 登录失败：") + kInvalidReply},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h;
        h.language = row.language;
        auto google = std::make_shared<ScriptedGoogle>();
        QJsonObject reply = federatedReply();
        if (!row.withEmail) reply.remove(QStringLiteral("email"));
        google->outcome = [reply] { return reply; };
        h.google = google;
        h.stub.enqueue(HostedStub::accountPath, row.refresh);
        AccountSession& s = h.session();
        run(s.signInWithGoogle());
        EXPECT_EQ(s.feedback(), row.feedback);
        h.language = accounttest::Language::chinese;
        EXPECT_EQ(s.feedback(), row.feedbackInChinese);
        EXPECT_EQ(s.signedIn(), row.signedIn);
        EXPECT_EQ(s.accountID(), row.accountID);
        EXPECT_EQ(h.history->accountID(), row.accountID);
        EXPECT_EQ(h.keyring->stored(), row.token);
        EXPECT_FALSE(s.working());
        if (!row.withEmail) {
            EXPECT_EQ(s.email(), QString());
            EXPECT_EQ(h.defaults.stringValue(AccountSession::emailKey), QString());
        }
        if (!row.signedIn) {
            // Back to the guest: the guest history, no login kind or e-mail kept.
            EXPECT_TRUE(h.history->hasActiveFile());
            EXPECT_FALSE(h.defaults.contains(AccountSession::loginKindKey));
            EXPECT_FALSE(h.defaults.contains(AccountSession::emailKey));
        }
    }
}

TEST_F(GoogleSignInTest, ASecondPressWhileOneRunsDoesNothing) {
    AccountHarness h;
    auto google = std::make_shared<ScriptedGoogle>();
    QTimer gate;
    gate.setSingleShot(true);
    gate.start(std::chrono::hours(1));
    google->gate = &gate;
    google->outcome = [] { return federatedReply(); };
    h.google = google;
    h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("gid_12345")));
    AccountSession& s = h.session();
    auto first = s.signInWithGoogle();
    EXPECT_TRUE(s.working());
    auto second = s.signInWithGoogle();
    EXPECT_TRUE(second.isReady());
    EXPECT_EQ(s.feedback(), QString());
    gate.start(0);
    run(std::move(first));
    EXPECT_EQ(google->runs, 1);
    EXPECT_EQ(s.feedback(), QStringLiteral("Google 登录成功"));
}
