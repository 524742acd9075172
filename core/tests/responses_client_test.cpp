#include <gtest/gtest.h>

#include <QCoroTask>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>

#include "net/http.h"
#include "base/task.h"
#include "core/consent.h"
#include "core/responses_client.h"
#include "tests/support/hosted_stub.h"

using namespace tamsel;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

namespace {

const QByteArray kPath = "/v1/ai/answer";

class ResponsesClientTest : public ::testing::Test {
protected:
    ResponsesClientTest() : defaults(dir.filePath(QStringLiteral("defaults.json"))) {
        stub.expect("POST", kPath, &HostedStub::checkAnswerRequest);
        AIPrivacyConsent::set(true, defaults);
    }

    ResponsesClient client(std::chrono::milliseconds requestTimeout = std::chrono::seconds(50),
                           std::chrono::milliseconds resourceTimeout = std::chrono::seconds(55)) {
        ResponsesClient::Options options;
        options.endpoint = ResponsesClient::endpoint(stub.baseUrl());
        options.requestTimeout = requestTimeout;
        options.resourceTimeout = resourceTimeout;
        options.defaults = &defaults;
        return ResponsesClient(nullptr, options);
    }

    ModelAnswer study(const QString& text, StudyMode mode = StudyMode::explain,
                      AnswerLanguage language = AnswerLanguage::simplifiedChinese,
                      const QString& token = QStringLiteral("token-1"), base::CancellationToken cancel = {}) {
        return base::waitForTask(client().answer(text, mode, language, token, QStringLiteral("Orvel AI"), 400,
                                              ReasoningEffort::none, cancel));
    }

    ModelAnswer tutor(const QString& text, const QString& mode = QStringLiteral("teach"),
                      const QString& tier = QStringLiteral("flash"), const QString& token = QStringLiteral("tok")) {
        return base::waitForTask(client().proAnswer(text, mode, AnswerLanguage::english, token, tier));
    }

    template <typename E, typename F>
    E expectThrows(F&& call) {
        try {
            call();
        } catch (const E& error) {
            return error;
        } catch (const std::exception& other) {
            ADD_FAILURE() << "unexpected error: " << other.what();
            throw;
        }
        ADD_FAILURE() << "nothing was thrown";
        throw std::logic_error("nothing thrown");
    }

    QTemporaryDir dir;
    base::DefaultsStore defaults;
    HostedStub stub;
};

}  // namespace

TEST_F(ResponsesClientTest, StudyRequestCarriesExactHeadersAndMembers) {
    stub.enqueue(kPath, ScriptedReply::answer(QStringLiteral("好的")));
    const ModelAnswer answer = study(QStringLiteral("  What is entropy?\n"), StudyMode::practice,
                                     AnswerLanguage::french, QStringLiteral("  secret-token \n"));
    EXPECT_EQ(answer, (ModelAnswer{QStringLiteral("好的"), std::nullopt, std::nullopt, std::nullopt}));
    ASSERT_EQ(stub.requests().size(), 1);
    EXPECT_TRUE(stub.violations().isEmpty()) << stub.violations().join(u'\n').toStdString();
    const auto& request = stub.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, kPath);
    EXPECT_EQ(request.header("authorization"), "Bearer secret-token");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.header("accept"), "application/json");
    EXPECT_FALSE(request.hasHeader("cookie"));
    const QJsonObject body = request.json();
    EXPECT_EQ(body.size(), 4);
    EXPECT_EQ(body.value(QStringLiteral("text")).toString(), QStringLiteral("What is entropy?"));
    EXPECT_EQ(body.value(QStringLiteral("mode")).toString(), QStringLiteral("ask"));
    EXPECT_EQ(body.value(QStringLiteral("language")).toString(), QStringLiteral("fr"));
    EXPECT_EQ(body.value(QStringLiteral("privacy_consent")), QJsonValue(true));

    // The request built on its own carries the service's time-outs too.
    const net::HttpRequest built =
        ResponsesClient::makeRequest(QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english,
                                     QStringLiteral("t"), QString(), 400, ReasoningEffort::none, defaults);
    EXPECT_EQ(built.requestTimeout, std::chrono::seconds(50));
    EXPECT_EQ(built.totalTimeout, std::chrono::seconds(55));
}

TEST_F(ResponsesClientTest, WireCodesOfEveryModeAndLanguage) {
    const std::pair<StudyMode, const char*> modes[] = {
        {StudyMode::translate, "translate"}, {StudyMode::explain, "explain"}, {StudyMode::practice, "ask"}};
    const std::pair<AnswerLanguage, const char*> languages[] = {{AnswerLanguage::simplifiedChinese, "zh-CN"},
                                                                {AnswerLanguage::traditionalChinese, "zh-TW"},
                                                                {AnswerLanguage::english, "en"},
                                                                {AnswerLanguage::french, "fr"}};
    for (const auto& [mode, code] : modes) EXPECT_EQ(ResponsesClient::wireMode(mode), QLatin1String(code));
    for (const auto& [language, code] : languages)
        EXPECT_EQ(ResponsesClient::wireLanguage(language), QLatin1String(code));
}

TEST_F(ResponsesClientTest, StudyChecksRunInOrderAndSendNothing) {
    // Empty text comes before the token is looked at.
    EXPECT_EQ(expectThrows<StudyError>([&] { study(QStringLiteral(" \n\t "), StudyMode::explain,
                                                   AnswerLanguage::english, QString()); }).errorCase(),
              StudyError::Case::emptyInput);
    // More than 20,000 and more than 1,500 characters both give inputTooLong.
    EXPECT_EQ(expectThrows<StudyError>([&] { study(QString(20001, u'a')); }).errorCase(),
              StudyError::Case::inputTooLong);
    EXPECT_EQ(expectThrows<StudyError>([&] { study(QString(1501, u'字')); }).errorCase(),
              StudyError::Case::inputTooLong);
    // A token of white space only.
    EXPECT_EQ(expectThrows<StudyError>([&] { study(QStringLiteral("text"), StudyMode::explain,
                                                   AnswerLanguage::english, QStringLiteral(" \n")); }).errorCase(),
              StudyError::Case::missingKey);
    // A control character inside the token would split the header: refused the same way.
    EXPECT_EQ(expectThrows<StudyError>([&] { study(QStringLiteral("text"), StudyMode::explain,
                                                   AnswerLanguage::english, QStringLiteral("a\r\nX-Evil: 1")); })
                  .errorCase(),
              StudyError::Case::missingKey);
    // Consent last.
    AIPrivacyConsent::set(false, defaults);
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { study(QStringLiteral("text")); }).errorCase(),
              OrvelHostedError::Case::consentRequired);
    EXPECT_TRUE(stub.requests().isEmpty());
}

TEST_F(ResponsesClientTest, StudyLengthCountsUserPerceivedCharacters) {
    // 1,500 family emoji (7 code points, 11 UTF-16 units each) plus surrounding white space.
    QString family;
    for (int i = 0; i < 1500; ++i) family += QStringLiteral("👨‍👩‍👧‍👦");
    stub.enqueue(kPath, ScriptedReply::answer(QStringLiteral("ok")));
    EXPECT_EQ(study(QStringLiteral("\n ") + family + QStringLiteral(" \n")).text, QStringLiteral("ok"));
    EXPECT_EQ(stub.requests().first().json().value(QStringLiteral("text")).toString(), family);
    EXPECT_THROW(study(family + QStringLiteral("x")), StudyError);
}

TEST_F(ResponsesClientTest, TutorRequestCarriesTierAndNoAccept) {
    stub.enqueue(kPath, ScriptedReply::answer(QStringLiteral("{\"schema_version\":1}")));
    const QString prompt = QStringLiteral("  prompt with spaces\n");
    tutor(prompt, QStringLiteral("quiz"), QStringLiteral("pro"), QStringLiteral(" raw token"));
    ASSERT_EQ(stub.requests().size(), 1);
    EXPECT_TRUE(stub.violations().isEmpty()) << stub.violations().join(u'\n').toStdString();
    const auto& request = stub.requests().first();
    EXPECT_FALSE(request.hasHeader("accept"));
    EXPECT_EQ(request.header("authorization"), "Bearer  raw token");
    const QJsonObject body = request.json();
    EXPECT_EQ(body.size(), 5);
    EXPECT_EQ(body.value(QStringLiteral("text")).toString(), prompt);
    EXPECT_EQ(body.value(QStringLiteral("mode")).toString(), QStringLiteral("quiz"));
    EXPECT_EQ(body.value(QStringLiteral("language")).toString(), QStringLiteral("en"));
    EXPECT_EQ(body.value(QStringLiteral("model_tier")).toString(), QStringLiteral("pro"));
    EXPECT_EQ(body.value(QStringLiteral("privacy_consent")), QJsonValue(true));
}

TEST_F(ResponsesClientTest, TutorChecksRunInOrder) {
    const QString tooLong(12001, u'x');
    // Mode and tier come before the length check.
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { tutor(tooLong, QStringLiteral("explain")); }).errorCase(),
              OrvelHostedError::Case::invalidMode);
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { tutor(tooLong, QStringLiteral("teach"), QStringLiteral("Pro")); })
                  .errorCase(),
              OrvelHostedError::Case::invalidMode);
    EXPECT_EQ(expectThrows<StudyError>([&] { tutor(tooLong); }).errorCase(), StudyError::Case::inputTooLong);
    EXPECT_EQ(expectThrows<StudyError>([&] { tutor(QStringLiteral(" \t \t")); }).errorCase(),
              StudyError::Case::emptyInput);
    // The token is refused when empty or holding a control character, before sending.
    EXPECT_EQ(expectThrows<StudyError>([&] {
                  tutor(QStringLiteral("p"), QStringLiteral("teach"), QStringLiteral("flash"), QString());
              }).errorCase(),
              StudyError::Case::missingKey);
    EXPECT_EQ(expectThrows<StudyError>([&] {
                  tutor(QStringLiteral("p"), QStringLiteral("teach"), QStringLiteral("flash"),
                        QStringLiteral("a\r\nX-Evil: 1"));
              }).errorCase(),
              StudyError::Case::missingKey);
    AIPrivacyConsent::set(false, defaults);
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { tutor(QStringLiteral("p")); }).errorCase(),
              OrvelHostedError::Case::consentRequired);
    EXPECT_TRUE(stub.requests().isEmpty());
}

TEST_F(ResponsesClientTest, TutorTextKeepsLineBreaksAndAllowsTheLimit) {
    stub.enqueue(kPath, ScriptedReply::answer(QStringLiteral("a")));
    stub.enqueue(kPath, ScriptedReply::answer(QStringLiteral("b")));
    // Only spaces and tabs are removed for the emptiness test: a line break is content.
    EXPECT_EQ(tutor(QStringLiteral(" \n ")).text, QStringLiteral("a"));
    EXPECT_EQ(tutor(QString(12000, u'x')).text, QStringLiteral("b"));
    EXPECT_EQ(stub.requests().first().json().value(QStringLiteral("text")).toString(), QStringLiteral(" \n "));
}

TEST_F(ResponsesClientTest, StatusRangeAndBodies) {
    struct Case {
        int status;
        QByteArray body;
        std::optional<QString> answer;  // absent: an error
    };
    const Case cases[] = {
        {200, R"({"answer":" both sides "})", QStringLiteral(" both sides ")},
        {299, R"({"answer":"x","other":1})", QStringLiteral("x")},
        {199, R"({"answer":"x"})", std::nullopt},
        {300, R"({"answer":"x"})", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        if (c.answer) {
            EXPECT_EQ(ResponsesClient::decode(c.body, c.status).text, *c.answer);
        } else {
            const auto error = expectThrows<OrvelHostedError>([&] { ResponsesClient::decode(c.body, c.status); });
            EXPECT_EQ(error, OrvelHostedError::http(c.status));
        }
    }
    for (const QByteArray& body : {QByteArray("{}"), QByteArray("[]"), QByteArray(R"(["answer"])"),
                                  QByteArray(R"({"answer":5})"), QByteArray(R"({"answer":""})"),
                                  QByteArray(R"({"answer":null})"), QByteArray("not json"), QByteArray(""),
                                  QByteArray(R"({"answer":"x")")}) {
        SCOPED_TRACE(body.toStdString());
        EXPECT_EQ(expectThrows<StudyError>([&] { ResponsesClient::decode(body, 200); }).errorCase(),
                  StudyError::Case::invalidResponse);
    }
}

TEST_F(ResponsesClientTest, StatusesOverTheWire) {
    stub.enqueue(kPath, ScriptedReply::json(199, R"({"answer":"x"})"));
    stub.enqueue(kPath, ScriptedReply::json(300, R"({"answer":"x"})"));
    stub.enqueue(kPath, ScriptedReply::json(503, "Service down"));
    stub.enqueue(kPath, ScriptedReply::json(200, R"({"answer":"  spaced  "})"));
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { study(QStringLiteral("a")); }).status(), 199);
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { study(QStringLiteral("a")); }).status(), 300);
    EXPECT_EQ(expectThrows<OrvelHostedError>([&] { study(QStringLiteral("a")); }).status(), 503);
    EXPECT_EQ(study(QStringLiteral("a")).text, QStringLiteral("  spaced  "));
}

TEST_F(ResponsesClientTest, HostedErrorMessages) {
    const std::pair<OrvelHostedError, const char*> cases[] = {
        {OrvelHostedError::invalidMode(), "不支持的学习模式。"},
        {OrvelHostedError::consentRequired(), "请先在设置中同意：所选文字会发送至第三方 AI 服务处理。"},
        {OrvelHostedError::http(401), "登录已失效，请在个人账户中重新登录。"},
        {OrvelHostedError::http(403), "请求被拒绝，请检查隐私同意与账户权限。"},
        {OrvelHostedError::http(429), "已达到当前套餐的公平使用限制。"},
        {OrvelHostedError::http(500), "Orvel AI 服务暂时不可用，请稍后再试。"},
        {OrvelHostedError::http(503), "Orvel AI 服务暂时不可用，请稍后再试。"},
        {OrvelHostedError::http(599), "Orvel AI 服务暂时不可用，请稍后再试。"},
        {OrvelHostedError::http(400), "Orvel AI 请求失败（HTTP 400）。"},
        {OrvelHostedError::http(404), "Orvel AI 请求失败（HTTP 404）。"},
        {OrvelHostedError::http(418), "Orvel AI 请求失败（HTTP 418）。"},
        {OrvelHostedError::http(600), "Orvel AI 请求失败（HTTP 600）。"},
        {OrvelHostedError::http(10000), "Orvel AI 请求失败（HTTP 10000）。"},
    };
    for (const auto& [error, text] : cases) EXPECT_EQ(error.message(), QString::fromUtf8(text));
}

TEST_F(ResponsesClientTest, CancelWhileTheStubHoldsTheReply) {
    stub.enqueue(kPath, ScriptedReply::held());
    base::CancellationSource cancel;
    QObject::connect(&stub, &HostedStub::requestReceived, [&] { cancel.cancel(); });
    EXPECT_THROW(study(QStringLiteral("hello"), StudyMode::explain, AnswerLanguage::english,
                       QStringLiteral("t"), cancel.token()),
                 base::CancellationError);
    EXPECT_EQ(stub.requests().size(), 1);
}

TEST_F(ResponsesClientTest, CancelAsTheReplyIsWrittenStillGivesNoAnswer) {
    // The stub writes a good reply right after the cancellation: it must not become an answer.
    stub.enqueue(kPath, ScriptedReply::answer(QStringLiteral("late")));
    base::CancellationSource cancel;
    QObject::connect(&stub, &HostedStub::requestReceived, [&] { cancel.cancel(); });
    EXPECT_THROW(study(QStringLiteral("hello"), StudyMode::explain, AnswerLanguage::english, QStringLiteral("t"),
                       cancel.token()),
                 base::CancellationError);
}

TEST_F(ResponsesClientTest, SilenceTimesOutAndRefusalIsNoConnection) {
    stub.enqueue(kPath, ScriptedReply::held());
    auto silent = client(std::chrono::milliseconds(200), std::chrono::milliseconds(5000));
    const auto timedOut = expectThrows<net::NetworkError>([&] {
        base::waitForTask(silent.answer(QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english,
                                     QStringLiteral("t"), QString(), 400, ReasoningEffort::none));
    });
    EXPECT_EQ(timedOut.kind(), net::NetworkError::Kind::timedOut);

    // The whole-exchange limit holds even while data keeps the connection alive.
    stub.enqueue(kPath, ScriptedReply::held());
    auto bounded = client(std::chrono::milliseconds(5000), std::chrono::milliseconds(300));
    EXPECT_EQ(expectThrows<net::NetworkError>([&] {
                  base::waitForTask(bounded.answer(QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english,
                                                QStringLiteral("t"), QString(), 400, ReasoningEffort::none));
              }).kind(),
              net::NetworkError::Kind::timedOut);

    // A closed port: find one by listening and closing again.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    ResponsesClient::Options options;
    options.endpoint = ResponsesClient::endpoint(QUrl(QStringLiteral("http://127.0.0.1:") + QString::number(port)));
    options.defaults = &defaults;
    ResponsesClient refused(nullptr, options);
    const auto noConnection = expectThrows<net::NetworkError>([&] {
        base::waitForTask(refused.answer(QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english,
                                      QStringLiteral("t"), QString(), 400, ReasoningEffort::none));
    });
    EXPECT_EQ(noConnection.kind(), net::NetworkError::Kind::notConnected);
}

TEST_F(ResponsesClientTest, AReplyPastTheSizeLimitIsUnreadable) {
    // A body longer than the limit is refused while it arrives, whether or not it announces its length.
    ResponsesClient::Options options;
    options.endpoint = ResponsesClient::endpoint(stub.baseUrl());
    options.defaults = &defaults;
    options.maxResponseBytes = 4096;
    ResponsesClient limited(nullptr, options);
    const QByteArray big = "{\"answer\":\"" + QByteArray(64 * 1024, 'x') + "\"}";
    stub.enqueue(kPath, ScriptedReply::json(200, big));
    stub.enqueue(kPath, ScriptedReply::json(200, R"({"answer":"small"})"));
    const auto error = expectThrows<StudyError>([&] {
        base::waitForTask(limited.answer(QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english,
                                         QStringLiteral("t"), QString(), 400, ReasoningEffort::none));
    });
    EXPECT_EQ(error.errorCase(), StudyError::Case::invalidResponse);
    EXPECT_EQ(base::waitForTask(limited.answer(QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english,
                                               QStringLiteral("t"), QString(), 400, ReasoningEffort::none))
                  .text,
              QStringLiteral("small"));
}

TEST_F(ResponsesClientTest, DroppedConnectionIsNoConnection) {
    // Closed before or after the request is read: no answer, and the request is not sent again.
    const std::function<void()> asks[] = {[&] { study(QStringLiteral("a")); }, [&] { tutor(QStringLiteral("a")); }};
    for (const auto& ask : asks) {
        for (const ScriptedReply& drop : {ScriptedReply::droppedUnread(), ScriptedReply::dropped(20)}) {
            const qsizetype before = stub.requests().size();
            stub.enqueue(kPath, drop);
            EXPECT_EQ(expectThrows<net::NetworkError>(ask).kind(), net::NetworkError::Kind::notConnected);
            EXPECT_EQ(stub.requests().size(), before + 1);
        }
    }
}

TEST_F(ResponsesClientTest, EndpointIsTheServicePathOnTheConfiguredHost) {
    EXPECT_EQ(ResponsesClient::endpoint(QUrl(QStringLiteral("https://ai.example.test/"))).toString(),
              QStringLiteral("https://ai.example.test/v1/ai/answer"));
    EXPECT_EQ(ResponsesClient::endpoint().path(), QStringLiteral("/v1/ai/answer"));
    EXPECT_EQ(ResponsesClient::endpoint().scheme(), QStringLiteral("https"));
}

TEST_F(ResponsesClientTest, HostileRepliesOverTheWire) {
    struct Case {
        const char* what;
        QByteArray bytes;
        std::optional<QString> answer;  // absent: an error
    };
    const Case cases[] = {
        // An HTTP/1.0 reply whose body ends where the connection closes.
        {"HTTP/1.0 without length", "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n\r\n{\"answer\":\"old\"}",
         QStringLiteral("old")},
        // The content type is not looked at; a byte-order mark before the object is accepted.
        {"wrong content type",
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 15\r\n\r\n{\"answer\":\"h\"}\n",
         QStringLiteral("h")},
        {"byte-order mark", "HTTP/1.1 200 OK\r\nContent-Length: 17\r\n\r\n\xEF\xBB\xBF{\"answer\":\"b\"}",
         QStringLiteral("b")},
        // Valid JSON followed by anything else is no reply.
        {"trailing garbage", "HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\n{\"answer\":\"g\"}xx", std::nullopt},
        // Of two "answer" members the last one counts.
        {"duplicate answer", "HTTP/1.1 200 OK\r\nContent-Length: 28\r\n\r\n{\"answer\":\"a\",\"answer\":\"\"}\n\n",
         std::nullopt},
        // A body cut short of its announced length.
        {"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"answer\":\"cut\"}", std::nullopt},
        // Closed before a complete header.
        {"half a header", "HTTP/1.1 200 OK\r\nContent-Le", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A stub of its own per case: a reply the network layer did not ask for stays unplayed.
        HostedStub hostile;
        hostile.expect("POST", kPath, &HostedStub::checkAnswerRequest);
        hostile.enqueue(kPath, ScriptedReply::raw(c.bytes));
        ResponsesClient::Options options;
        options.endpoint = ResponsesClient::endpoint(hostile.baseUrl());
        options.defaults = &defaults;
        try {
            const ModelAnswer answer = base::waitForTask(ResponsesClient(nullptr, options).answer(
                QStringLiteral("a"), StudyMode::explain, AnswerLanguage::english, QStringLiteral("t"), QString(), 400,
                ReasoningEffort::none));
            EXPECT_EQ(std::optional<QString>(answer.text), c.answer);
        } catch (const base::Error& error) {
            EXPECT_FALSE(c.answer) << error.message().toStdString();
        }
        // Sent once, whatever came back.
        EXPECT_EQ(hostile.requests().size(), 1);
        EXPECT_TRUE(hostile.violations().isEmpty()) << hostile.violations().join(u'\n').toStdString();
    }
}
