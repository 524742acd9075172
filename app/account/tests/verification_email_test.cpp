#include <gtest/gtest.h>

#include "app/account/tests/account_test_doubles.h"

using namespace velquin;
using accounttest::account;
using accounttest::AccountHarness;
using accounttest::run;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

TEST(VerificationEmail, EachOutcomeGivesItsText) {
    const QString failed = QStringLiteral("验证邮件发送失败，请稍后重试。");
    struct Row {
        const char* name;
        ScriptedReply reply;
        QString feedback;
    };
    ScriptedReply late = ScriptedReply::json(202, R"({"sent":true})");
    late.delayMs = 3000;
    const Row rows[] = {
        {"202 sent", ScriptedReply::json(202, R"({"sent":true})"),
         QStringLiteral("验证邮件已发送，请在 15 分钟内前往邮箱完成验证。")},
        {"202 not sent", ScriptedReply::json(202, R"({"sent":false})"), failed},
        {"202 sent as text", ScriptedReply::json(202, R"({"sent":"true"})"), failed},
        {"429", ScriptedReply::json(429, ""), QStringLiteral("请求过于频繁，请稍后重试。")},
        {"503", ScriptedReply::json(503, ""), QStringLiteral("邮件服务暂时不可用，请稍后重试。")},
        {"500", ScriptedReply::json(500, ""), failed},
        {"past the time-out", late, QStringLiteral("网络异常，尚未发送验证邮件。")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h;
        h.clientOptions.verificationTimeout = std::chrono::milliseconds(500);
        AccountSession& s = h.confirmed(QStringLiteral("account_A"));
        h.stub.enqueue(HostedStub::verificationPath, row.reply);
        run(s.sendVerificationEmail());
        EXPECT_EQ(s.feedback(), row.feedback);
        EXPECT_FALSE(s.working());
        EXPECT_EQ(h.stub.requests().size(), 2);
        EXPECT_EQ(h.stub.requests().last().header("authorization"), "Bearer token-1");
        EXPECT_TRUE(h.stub.violations().isEmpty()) << h.stub.violations().join(u'\n').toStdString();
    }
}

TEST(VerificationEmail, AlreadyVerifiedRefreshesBeforeSaying) {
    AccountHarness h;
    h.language = accounttest::Language::english;
    AccountSession& s = h.confirmed(QStringLiteral("account_A"));
    h.stub.enqueue(HostedStub::verificationPath, ScriptedReply::json(200, ""));
    h.stub.enqueue(HostedStub::accountPath,
                   account(QStringLiteral("account_A"), {{QStringLiteral("email_verified"), true}}));
    run(s.sendVerificationEmail());
    EXPECT_EQ(s.feedback(), QStringLiteral("Email already verified."));
    EXPECT_TRUE(s.emailVerified());
    ASSERT_EQ(h.stub.requests().size(), 3);
    EXPECT_EQ(h.stub.requests()[1].path, HostedStub::verificationPath);
    EXPECT_EQ(h.stub.requests()[2].path, HostedStub::accountPath);
    // A language switch words the message shown anew.
    h.language = accounttest::Language::french;
    EXPECT_EQ(s.feedback(), QStringLiteral("Adresse courriel déjà vérifiée."));

    // Verified now: no second request, and the French text.
    run(s.sendVerificationEmail());
    EXPECT_EQ(s.feedback(), QStringLiteral("Connectez-vous à un compte dont l’adresse courriel n’est pas vérifiée."));
    EXPECT_EQ(h.stub.requests().size(), 3);
    h.language = accounttest::Language::chinese;
    EXPECT_EQ(s.feedback(), QStringLiteral("请先登录尚未验证邮箱的账户。"));
}

TEST(VerificationEmail, OnlyUnverifiedEmailAccountsMayAsk) {
    const QString notEligible = QStringLiteral("请先登录尚未验证邮箱的账户。");
    // A Google session, a signed-out user, an unreadable keyring, an empty token.
    const std::function<void(AccountHarness&)> cases[] = {
        [](AccountHarness& h) { h.defaults.setString(AccountSession::loginKindKey, QStringLiteral("google")); },
        [](AccountHarness& h) { h.keyring->set(std::nullopt); },
        [](AccountHarness& h) {
            h.session();
            h.keyring->failLoad = true;
        },
        [](AccountHarness& h) {
            h.session();
            h.keyring->set(QString());
        },
    };
    for (const auto& prepare : cases) {
        AccountHarness h(QStringLiteral("token-1"));
        prepare(h);
        run(h.session().sendVerificationEmail());
        EXPECT_EQ(h.session().feedback(), notEligible);
        EXPECT_TRUE(h.stub.requests().isEmpty());
    }
    // A verification service that forms no address.
    AccountHarness h(QStringLiteral("token-1"));
    h.clientOptions.endpoints.verification = QStringLiteral("::");
    run(h.session().sendVerificationEmail());
    EXPECT_EQ(h.session().feedback(), QStringLiteral("邮箱验证服务不可用。"));
    EXPECT_FALSE(h.session().working());
}
