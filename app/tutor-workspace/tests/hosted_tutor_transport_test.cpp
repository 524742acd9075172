#include <gtest/gtest.h>

#include <QDirIterator>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/account/account_data_scope.h"
#include "app/account/tests/account_test_doubles.h"
#include "app/shell/interface_settings.h"
#include "app/tutor-workspace/orvel_hosted_tutor_transport.h"
#include "core/consent.h"
#include "core/responses_client.h"
#include "tutor-engine/merid_v12_hosted_prompt.h"

using namespace velquin;
using accounttest::account;
using accounttest::AccountHarness;
using accounttest::run;
using meridcore::MeridTutorRequest;
using meridcore::TeacherMode;
using testsupport::HostedStub;
using testsupport::ScriptedReply;

namespace {

// A transport over the harness's session, keyring and defaults, sending to its stub.
OrvelHostedTutorTransport transportOver(AccountHarness& h) {
    OrvelHostedTutorTransport::Services services;
    services.defaults = &h.defaults;
    services.keyring = h.keyring;
    services.refreshAccount = [&h] { return h.session().refresh(); };
    tamsel::ResponsesClient::Options options;
    options.endpoint = tamsel::ResponsesClient::endpoint(h.stub.baseUrl());
    options.defaults = &h.defaults;
    services.client = std::make_shared<tamsel::ResponsesClient>(nullptr, options);
    return OrvelHostedTutorTransport(tamsel::AnswerLanguage::french, services);
}

MeridTutorRequest request(TeacherMode mode = TeacherMode::teach) {
    return MeridTutorRequest{mode,
                             {meridcore::TeacherTurn(meridcore::TeacherTurn::Role::user, QStringLiteral("讲讲极限"))}};
}

// What a reply ended with: its text, or the error it threw.
QString outcome(QCoro::Task<QString> task) {
    try {
        return base::waitForTask(std::move(task));
    } catch (const base::CancellationError&) {
        return QStringLiteral("cancelled");
    } catch (const tamsel::OrvelHostedError& error) {
        return error.errorCase() == tamsel::OrvelHostedError::Case::http
                   ? QStringLiteral("http(%1)").arg(error.status())
                   : QStringLiteral("hosted: ") + error.message();
    } catch (const base::Error& error) {
        return QStringLiteral("error: ") + error.message();
    }
}

const QString kConsentRequired = QStringLiteral("hosted: ") + tamsel::OrvelHostedError::consentRequired().message();
const QString kMissingKey =
    QStringLiteral("error: ") + tamsel::StudyError(tamsel::StudyError::Case::missingKey).message();

const QByteArray kToken = "SEEDED-token-4c1f9e27b8";

// Sends this process's standard output and error into a file while it lives.
class CapturedOutput {
public:
    explicit CapturedOutput(const QString& path) {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = dup(1);
        savedErr_ = dup(2);
        const int file = open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, 1);
        dup2(file, 2);
        close(file);
    }
    ~CapturedOutput() {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut_, 1);
        dup2(savedErr_, 2);
        close(savedOut_);
        close(savedErr_);
    }

private:
    int savedOut_;
    int savedErr_;
};

// Every file below `folder` that holds `needle`.
QStringList filesHolding(const QString& folder, const QByteArray& needle) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle)) found.append(file.fileName());
    }
    return found;
}

}  // namespace

TEST(HostedTutorTransport, RefreshesTheAccountThenAsksTheTutor) {
    struct Row {
        TeacherMode mode;
        std::optional<QString> storedTier;
        const char* tier;
    };
    const Row rows[] = {
        {TeacherMode::teach, std::nullopt, "flash"},
        {TeacherMode::quiz, QStringLiteral("pro"), "pro"},
        {TeacherMode::grade, QStringLiteral("Pro"), "flash"},
        {TeacherMode::summary, QStringLiteral(" pro"), "flash"},
        {TeacherMode::sprint, QStringLiteral("flash"), "flash"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(base::rawValue(row.mode).toStdString());
        AccountHarness h(QStringLiteral("token-1"));
        tamsel::AIPrivacyConsent::set(true, h.defaults);
        if (row.storedTier) h.defaults.setString(OrvelHostedTutorTransport::modelTierKey, *row.storedTier);
        h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("account_A")));
        h.stub.enqueue(HostedStub::answerPath, ScriptedReply::answer(QStringLiteral("{\"schema_version\":1}")));
        OrvelHostedTutorTransport transport = transportOver(h);
        EXPECT_EQ(outcome(transport.reply(request(row.mode), {})), QStringLiteral("{\"schema_version\":1}"));

        EXPECT_TRUE(h.stub.violations().isEmpty()) << h.stub.violations().join(u'\n').toStdString();
        ASSERT_EQ(h.stub.requests().size(), 2);
        EXPECT_EQ(h.stub.requests()[0].path, HostedStub::accountPath);
        const auto& tutor = h.stub.requests()[1];
        EXPECT_EQ(tutor.path, HostedStub::answerPath);
        EXPECT_EQ(tutor.header("authorization"), "Bearer token-1");
        const QJsonObject body = tutor.json();
        EXPECT_EQ(body.value(QStringLiteral("text")).toString(),
                  meridcore::MeridV12HostedPrompt::make(request(row.mode)));
        EXPECT_EQ(body.value(QStringLiteral("mode")).toString(), base::rawValue(row.mode));
        EXPECT_EQ(body.value(QStringLiteral("model_tier")).toString(), QLatin1String(row.tier));
        EXPECT_EQ(body.value(QStringLiteral("language")).toString(), QStringLiteral("fr"));
        EXPECT_EQ(h.session().accountID(), QStringLiteral("account_A"));
    }
}

TEST(HostedTutorTransport, RefusalsAndFailuresReachTheCaller) {
    struct Row {
        const char* name;
        std::function<void(AccountHarness&)> prepare;
        QString outcome;
        int requests;
    };
    const Row rows[] = {
        {"no consent", [](AccountHarness& h) { tamsel::AIPrivacyConsent::set(false, h.defaults); }, kConsentRequired,
         0},
        {"empty token", [](AccountHarness& h) { h.keyring->set(QString()); }, kMissingKey, 0},
        {"unreadable keyring",
         [](AccountHarness& h) {
             h.session();
             h.keyring->failLoad = true;
         },
         kMissingKey, 0},
        {"401 from the tutor",
         [](AccountHarness& h) {
             h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("account_A")));
             h.stub.enqueue(HostedStub::answerPath, ScriptedReply::json(401, ""));
         },
         QStringLiteral("http(401)"), 2},
        // A failed refresh is the session's to show; the request goes on.
        {"refresh fails",
         [](AccountHarness& h) {
             h.stub.enqueue(HostedStub::accountPath, ScriptedReply::json(503, ""));
             h.stub.enqueue(HostedStub::answerPath, ScriptedReply::answer(QStringLiteral("ok")));
         },
         QStringLiteral("ok"), 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h(QStringLiteral("token-1"));
        tamsel::AIPrivacyConsent::set(true, h.defaults);
        row.prepare(h);
        OrvelHostedTutorTransport transport = transportOver(h);
        EXPECT_EQ(outcome(transport.reply(request(), {})), row.outcome);
        EXPECT_EQ(h.stub.requests().size(), row.requests);
    }

    // Cancelled before it starts: nothing is asked.
    AccountHarness h(QStringLiteral("token-1"));
    tamsel::AIPrivacyConsent::set(true, h.defaults);
    base::CancellationSource cancel;
    cancel.cancel();
    OrvelHostedTutorTransport transport = transportOver(h);
    EXPECT_EQ(outcome(transport.reply(request(), cancel.token())), QStringLiteral("cancelled"));
    EXPECT_TRUE(h.stub.requests().isEmpty());
}

TEST(HostedTutorTransport, AnAnswerThatOutlivedItsSessionOrConsentIsDropped) {
    struct Row {
        const char* name;
        std::function<void(AccountHarness&)> duringReply;
        QString outcome;
    };
    const Row rows[] = {
        {"token swapped", [](AccountHarness& h) { h.keyring->set(QStringLiteral("token-2")); },
         QStringLiteral("cancelled")},
        {"signed out", [](AccountHarness& h) { run(h.session().signOut()); }, QStringLiteral("cancelled")},
        {"consent withdrawn", [](AccountHarness& h) { tamsel::AIPrivacyConsent::set(false, h.defaults); },
         kConsentRequired},
        {"nothing changed", [](AccountHarness&) {}, QStringLiteral("answer")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AccountHarness h(QStringLiteral("token-1"));
        tamsel::AIPrivacyConsent::set(true, h.defaults);
        h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("account_A")));
        h.stub.enqueue(HostedStub::answerPath, ScriptedReply::held());
        OrvelHostedTutorTransport transport = transportOver(h);
        auto replying = transport.reply(request(), {});
        ASSERT_TRUE(accounttest::waitUntil([&] { return h.stub.heldCount() == 1; }));
        row.duringReply(h);
        h.stub.release(0, ScriptedReply::answer(QStringLiteral("answer")));
        EXPECT_EQ(outcome(std::move(replying)), row.outcome);
    }
}

// The session token goes to the keyring and into request headers, nowhere else: not into a file
// of the data or configuration folders, not into any output, not into a text shown to the user.
TEST(HostedTutorTransport, TheTokenNeverLeavesTheKeyringAndTheHeaders) {
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::english);
    AccountHarness h;
    tamsel::AIPrivacyConsent::set(true, h.defaults);
    QStringList shown;
    const QString captured = h.dir.filePath(QStringLiteral("output.txt"));
    {
        CapturedOutput output(captured);
        qInfo() << "capturing";
        AccountSession& s = h.session();
        QObject::connect(&s, &AccountSession::feedbackChanged, [&] { shown.append(s.feedback()); });

        // Sign in, confirm, ask for the verification mail, name the account, record an answer.
        h.stub.enqueue(HostedStub::accountsPath,
                       ScriptedReply::json(200, R"({"token":")" + kToken + R"(","email":"a@b.c"})"));
        h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("account_A")));
        run(s.signIn(QStringLiteral("a@b.c"), QStringLiteral("password1")));
        h.stub.enqueue(HostedStub::verificationPath, ScriptedReply::json(503, ""));
        run(s.sendVerificationEmail());
        s.setPreferredName(QStringLiteral("Ada"));
        h.history->add(QStringLiteral("source"), QStringLiteral("answer"), QStringLiteral("explain"));

        // Tutor requests: one the tutor refuses, one after a failed refresh.
        OrvelHostedTutorTransport transport = transportOver(h);
        const auto ask = [&] { shown.append(outcome(transport.reply(request(), {}))); };
        h.stub.enqueue(HostedStub::accountPath, account(QStringLiteral("account_A")));
        h.stub.enqueue(HostedStub::answerPath, ScriptedReply::json(401, R"({"error":"bad token"})"));
        ask();
        h.stub.enqueue(HostedStub::accountPath, ScriptedReply::json(401, R"({"error":{"code":"expired"}})"));
        h.stub.enqueue(HostedStub::answerPath, ScriptedReply::answer(QStringLiteral("{}")));
        ask();

        // A failed second sign-in, then sign-out.
        h.stub.enqueue(HostedStub::accountsPath, ScriptedReply::json(409, ""));
        run(s.signIn(QStringLiteral("a@b.c"), QStringLiteral("password1")));
        run(s.signOut());
        qInfo() << "done";
    }

    // The token did travel, in headers only.
    int carried = 0;
    for (const auto& request : h.stub.requests()) {
        if (request.header("authorization") == "Bearer " + kToken) ++carried;
        EXPECT_FALSE(request.body.contains(kToken)) << request.path.toStdString();
    }
    EXPECT_EQ(carried, 6);
    EXPECT_GE(shown.size(), 6);
    for (const QString& text : shown) EXPECT_FALSE(text.contains(QString::fromLatin1(kToken))) << text.toStdString();

    const QByteArray output = accounttest::contentsOf(captured);
    EXPECT_TRUE(output.contains("capturing") && output.contains("done")) << output.toStdString();
    EXPECT_FALSE(output.contains(kToken)) << output.toStdString();
    EXPECT_EQ(filesHolding(QDir::homePath(), kToken), QStringList());
    EXPECT_EQ(filesHolding(h.dir.path(), kToken), QStringList());
    // The folders were written to: the defaults and the account's history.
    EXPECT_TRUE(accounttest::contentsOf(h.defaults.filePath()).contains("account_A"));
    EXPECT_TRUE(QFileInfo::exists(*AccountDataScope::learningHistoryURL(QStringLiteral("account_A"), h.dataFolder())));
}
