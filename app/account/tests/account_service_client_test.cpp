#include <gtest/gtest.h>

#include "app/account/account_service_error.h"
#include "app/account/tests/account_test_doubles.h"
#include "core/study.h"

using namespace velquin;
using accounttest::AccountHarness;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

TEST(AccountServiceClient, RepliesMapToErrorsAndTexts) {
    const QString code64(64, u'a');
    struct Row {
        const char* name;
        ScriptedReply reply;
        qint64 status;
        QString code;
        QString message;
    };
    const Row rows[] = {
        {"400", ScriptedReply::json(400, R"({"error":{"code":"bad_email"}})"), 400, QStringLiteral("bad_email"),
         QStringLiteral("邮箱或密码不符合要求（HTTP 400）。")},
        {"401 with a code", ScriptedReply::json(401, R"({"error":{"code":"invalid_password"}})"), 401,
         QStringLiteral("invalid_password"), QStringLiteral("密码错误或会话无效（HTTP 401）。")},
        {"409", ScriptedReply::json(409, ""), 409, QStringLiteral("service_unavailable"),
         QStringLiteral("邮箱已注册，请使用原账户登录（HTTP 409）。")},
        {"429", ScriptedReply::json(429, "{}"), 429, QStringLiteral("service_unavailable"),
         QStringLiteral("请求过于频繁，请稍后再试（HTTP 429）。")},
        {"503 empty", ScriptedReply::json(503, ""), 503, QStringLiteral("service_unavailable"),
         QStringLiteral("账户服务器暂不可用（HTTP 503，service_unavailable），请勿重复注册。")},
        {"500 code with a space", ScriptedReply::json(500, R"({"error":{"code":"bad code"}})"), 500,
         QStringLiteral("unknown"), QStringLiteral("账户服务返回 HTTP 500（unknown）。")},
        {"500 code of 64", ScriptedReply::json(500, R"({"error":{"code":")" + code64.toUtf8() + R"("}})"), 500, code64,
         QStringLiteral("账户服务返回 HTTP 500（") + code64 + QStringLiteral("）。")},
        {"500 code of 65", ScriptedReply::json(500, R"({"error":{"code":"a)" + code64.toUtf8() + R"("}})"), 500,
         QStringLiteral("unknown"), QStringLiteral("账户服务返回 HTTP 500（unknown）。")},
        {"code with a final line feed", ScriptedReply::json(502, R"({"error":{"code":"gateway\n"}})"), 502,
         QStringLiteral("unknown"), QStringLiteral("账户服务返回 HTTP 502（unknown）。")},
        {"error not an object", ScriptedReply::json(500, R"({"error":"busy"})"), 500,
         QStringLiteral("service_unavailable"), QStringLiteral("账户服务返回 HTTP 500（service_unavailable）。")},
        // A redirect is never followed: the request carries a password or a token.
        {"redirect", ScriptedReply{302, "", {{"Location", "/elsewhere"}}}, 302, QStringLiteral("service_unavailable"),
         QStringLiteral("账户服务返回 HTTP 302（service_unavailable）。")},
        // One that keeps the method rewinds the request for the new place: it is an answer all the same.
        {"redirect keeping the method", ScriptedReply{307, "", {{"Location", "/elsewhere"}}}, 307,
         QStringLiteral("service_unavailable"), QStringLiteral("账户服务返回 HTTP 307（service_unavailable）。")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h;
        h.stub.enqueue(HostedStub::accountPath, row.reply);
        AccountServiceClient client(h.clientOptions);
        try {
            base::waitForTask(client.request(AccountServiceClient::accountPath, "GET", std::nullopt,
                                             QStringLiteral("t"), QStringLiteral("native")));
            ADD_FAILURE() << "no error";
        } catch (const AccountServiceError& error) {
            EXPECT_EQ(error, AccountServiceError(row.status, row.code));
            EXPECT_EQ(error.message(), row.message);
        }
        EXPECT_EQ(h.stub.requests().size(), 1);
    }

    // Success: an object is the map; any other JSON value an empty map; a body that is no JSON
    // (nor two values, nor nothing) an unreadable reply.
    AccountHarness h;
    AccountServiceClient client(h.clientOptions);
    const auto get = [&] {
        return base::waitForTask(client.request(AccountServiceClient::accountPath, "GET", std::nullopt,
                                                QStringLiteral("t"), QStringLiteral("native")));
    };
    const QJsonObject account{{QStringLiteral("id"), QStringLiteral("x")}};
    struct Body {
        QByteArray body;
        std::optional<QJsonObject> map;  // none: unreadable
        int status = 200;
    };
    const Body bodies[] = {
        {R"({"id":"x"})", account, 201}, {"\xEF\xBB\xBF {\"id\":\"x\"}\n", account},
        {"[]", QJsonObject()},           {R"([{"id":"x"}])", QJsonObject()},
        {"null", QJsonObject()},         {" null\r\n", QJsonObject()},
        {R"("text")", QJsonObject()},    {"42", QJsonObject()},
        {"-0.5e3", QJsonObject()},       {"true", QJsonObject()},
        {"<html>", std::nullopt},        {"", std::nullopt},
        {"nul", std::nullopt},           {"null null", std::nullopt},
        {"1,2", std::nullopt},           {"[1],[2]", std::nullopt},
        {R"("x"])", std::nullopt},
    };
    for (const Body& row : bodies) {
        SCOPED_TRACE(row.body.toStdString());
        h.stub.enqueue(HostedStub::accountPath, ScriptedReply::json(row.status, row.body));
        if (row.map) {
            EXPECT_EQ(get(), *row.map);
        } else {
            EXPECT_THROW(get(), tamsel::StudyError);
        }
    }
    // A base that forms no URL is an unreadable reply too; nothing is sent.
    AccountServiceClient::Options broken = h.clientOptions;
    broken.endpoints = AccountServiceEndpoints::single(QStringLiteral("not a url"));
    AccountServiceClient nowhere(broken);
    EXPECT_THROW(base::waitForTask(nowhere.request(AccountServiceClient::accountPath, "GET", std::nullopt,
                                                   QStringLiteral("t"), QStringLiteral("native"))),
                 tamsel::StudyError);
    EXPECT_EQ(h.stub.requests().size(), qsizetype(std::size(bodies)));
}
