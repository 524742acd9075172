// The central store: settings at creation and their change handlers, the answer request flow
// against the loopback stub, the hand-offs and the output actions.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>
#include <QTcpServer>

#include <sys/resource.h>
#include <csignal>

#include "app/account/account_data_scope.h"
#include "app/account/history_error.h"
#include "app/account/learning_record.h"
#include "app/shell/tests/store_test_doubles.h"
#include "net/http.h"
#include "platform/selection_service_provider.h"

using namespace storetest;
using tamsel::AnswerLanguage;
using tamsel::ModelAnswer;
using tamsel::ReasoningEffort;
using tamsel::StudyError;
using tamsel::StudyMode;
using testsupport::ScriptedReply;

namespace {

const QString kMissingKey = QStringLiteral("请先登录 Orvel 账户，再使用托管 AI。");
const QString kTimedOut = QStringLiteral("请求超时。请检查网络，或缩短输入后重试。");
const QString kNoConnection = QStringLiteral("网络连接失败，请检查网络后重试。");

ModelAnswer answerOf(const QString& text) { return ModelAnswer{text, std::nullopt, std::nullopt, std::nullopt}; }

using AppStoreSettingsTest = StoreFixture;
using AppStoreRequestTest = StoreFixture;
using AppStoreHandoffTest = StoreFixture;
using AppStoreOutputTest = StoreFixture;

}  // namespace

// ---- Settings --------------------------------------------------------------------------------

TEST_F(AppStoreSettingsTest, FreshStoreStartsWithTheDefaultsAndWritesTheHostedProfileOnce) {
    AppStore& s = store();
    EXPECT_EQ(s.language(), AnswerLanguage::simplifiedChinese);
    EXPECT_EQ(s.model(), QStringLiteral("Orvel AI"));
    EXPECT_EQ(s.maxOutputTokens(), 400);
    EXPECT_EQ(s.reasoningEffort(), ReasoningEffort::none);
    EXPECT_EQ(s.mode(), StudyMode::explain);
    EXPECT_EQ(s.status(), QStringLiteral("准备好了"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("手动粘贴文字，或导入你要学习的图片和 PDF。"));
    EXPECT_TRUE(s.source().isEmpty());
    EXPECT_FALSE(s.answer());
    EXPECT_FALSE(s.errorMessage());
    EXPECT_FALSE(s.isBusy());
    EXPECT_FALSE(s.selectionPresentation() || s.showImporter() || s.showSettings() || s.showPrivacyConsent() ||
                 s.showAccountLogin() || s.showCaptureGuide() || s.showDirectSelectionSettings());
    EXPECT_FALSE(s.pdfChoice());
    EXPECT_EQ(defaults.string(QStringLiteral("modelID")), QStringLiteral("Orvel AI"));
    EXPECT_EQ(defaults.integer(QStringLiteral("maxOutputTokens")), 400);
    EXPECT_EQ(defaults.string(QStringLiteral("reasoningEffort")), QStringLiteral("none"));
    EXPECT_EQ(defaults.integer(QStringLiteral("orvelHostedProfileVersion")), 1);
}

TEST_F(AppStoreSettingsTest, StoredValuesOutsideTheirRangeOrVocabularyAreReplaced) {
    defaults.setInteger(QStringLiteral("orvelHostedProfileVersion"), 1);
    const auto make = [&](QJsonValue tokens, const QString& language, const QString& effort) {
        if (tokens.isDouble()) defaults.setInteger(QStringLiteral("maxOutputTokens"), tokens.toInteger());
        else if (tokens.isString()) defaults.setString(QStringLiteral("maxOutputTokens"), tokens.toString());
        else defaults.remove(QStringLiteral("maxOutputTokens"));
        defaults.setString(QStringLiteral("answerLanguage"), language);
        defaults.setString(QStringLiteral("reasoningEffort"), effort);
        defaults.setString(QStringLiteral("modelID"), QStringLiteral("another-model"));
        return std::make_unique<AppStore>(fakeServices());
    };

    auto s = make(127, QStringLiteral("zh-CN"), QStringLiteral("high"));
    EXPECT_EQ(s->maxOutputTokens(), 400);
    EXPECT_EQ(s->language(), AnswerLanguage::simplifiedChinese);  // wire codes are not case names
    EXPECT_EQ(s->reasoningEffort(), ReasoningEffort::none);
    EXPECT_EQ(s->model(), QStringLiteral("Orvel AI"));

    s = make(8193, QStringLiteral("French"), QString());
    EXPECT_EQ(s->maxOutputTokens(), 400);
    EXPECT_EQ(s->language(), AnswerLanguage::simplifiedChinese);

    s = make(128, QStringLiteral("french"), QStringLiteral("low"));
    EXPECT_EQ(s->maxOutputTokens(), 128);
    EXPECT_EQ(s->language(), AnswerLanguage::french);
    EXPECT_EQ(s->reasoningEffort(), ReasoningEffort::low);

    s = make(8192, QStringLiteral("traditionalChinese"), QStringLiteral("automatic"));
    EXPECT_EQ(s->maxOutputTokens(), 8192);
    EXPECT_EQ(s->language(), AnswerLanguage::traditionalChinese);
    EXPECT_EQ(s->reasoningEffort(), ReasoningEffort::automatic);

    s = make(QStringLiteral("800"), QStringLiteral("english"), QStringLiteral("none"));
    EXPECT_EQ(s->maxOutputTokens(), 400);  // a text is not an integer
    s = make(QJsonValue(), QStringLiteral("english"), QStringLiteral("none"));
    EXPECT_EQ(s->maxOutputTokens(), 400);
    EXPECT_EQ(s->language(), AnswerLanguage::english);
}

TEST_F(AppStoreSettingsTest, ChangeHandlersDropTheAnswerOnlyForRealChangesAndStoreSettings) {
    AppStore& s = store();
    s.setSource(QStringLiteral("Café"));
    s.setTutorHandoffSource(QStringLiteral("Café"));
    s.setAnswer(answerOf(QStringLiteral("a")));
    s.setResultDetail(QStringLiteral("detail"));
    s.setSourceNote(QStringLiteral("note"));

    // The same text, and the same text decomposed, change nothing.
    s.setSource(QStringLiteral("Café"));
    s.setSource(QStringLiteral("Cafe\u0301"));
    EXPECT_EQ(s.source(), QStringLiteral("Cafe\u0301"));
    EXPECT_TRUE(s.answer());
    EXPECT_EQ(s.sourceNote(), QStringLiteral("note"));
    EXPECT_TRUE(s.tutorHandoffSource());

    // A trailing space is a change.
    s.setSource(QStringLiteral("Café "));
    EXPECT_FALSE(s.answer());
    EXPECT_TRUE(s.resultDetail().isEmpty());
    EXPECT_FALSE(s.tutorHandoffSource());
    EXPECT_EQ(s.sourceNote(), QStringLiteral("输入已更新，请核对文字后发送。"));

    // The language is stored even when unchanged; only a change drops the answer.
    defaults.remove(QStringLiteral("answerLanguage"));
    s.setAnswer(answerOf(QStringLiteral("a")));
    s.setLanguage(AnswerLanguage::simplifiedChinese);
    EXPECT_EQ(defaults.string(QStringLiteral("answerLanguage")), QStringLiteral("simplifiedChinese"));
    EXPECT_TRUE(s.answer());
    s.setLanguage(AnswerLanguage::french);
    EXPECT_EQ(defaults.string(QStringLiteral("answerLanguage")), QStringLiteral("french"));
    EXPECT_FALSE(s.answer());

    s.setAnswer(answerOf(QStringLiteral("a")));
    s.setMode(StudyMode::explain);
    EXPECT_TRUE(s.answer());
    s.setMode(StudyMode::translate);
    EXPECT_FALSE(s.answer());

    s.setModel(QStringLiteral("m2"));
    s.setMaxOutputTokens(5);  // stored without a range check
    s.setReasoningEffort(ReasoningEffort::low);
    EXPECT_EQ(defaults.string(QStringLiteral("modelID")), QStringLiteral("m2"));
    EXPECT_EQ(defaults.integer(QStringLiteral("maxOutputTokens")), 5);
    EXPECT_EQ(defaults.type(QStringLiteral("maxOutputTokens")), base::DefaultsStore::Type::integer);
    EXPECT_EQ(defaults.string(QStringLiteral("reasoningEffort")), QStringLiteral("low"));
}

TEST_F(AppStoreSettingsTest, CanSubmitCountsCharactersOfTheUntrimmedSourceAndSubmitTitleNamesDocuments) {
    AppStore& s = store();
    s.setSource(QStringLiteral(" \n\t\u3000"));
    EXPECT_FALSE(s.canSubmit());
    s.setSource(QStringLiteral("x") + QString(1499, u' '));
    EXPECT_TRUE(s.canSubmit());
    s.setSource(QStringLiteral("x") + QString(1500, u' '));
    EXPECT_FALSE(s.canSubmit());
    // 1,500 decomposed accented letters are 3,000 UTF-16 units but 1,500 characters.
    QString decomposed;
    for (int i = 0; i < 1500; ++i) decomposed += QStringLiteral("e\u0301");
    s.setSource(decomposed);
    EXPECT_TRUE(s.canSubmit());

    EXPECT_EQ(s.submitTitle(), QStringLiteral("帮我讲明白"));
    s.setSource(QStringLiteral("/home/someone/notes.pdf"));
    EXPECT_EQ(s.submitTitle(), QStringLiteral("读取文件内容"));
    s.setSource(QStringLiteral("/home/someone/archive.zip"));
    EXPECT_EQ(s.submitTitle(), QStringLiteral("帮我讲明白"));
}

// ---- The answer request ----------------------------------------------------------------------

TEST_F(AppStoreRequestTest, AnswerShowsTheDetailLineAndIsRecordedOnceWithTheUntrimmedSource) {
    stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("熵是无序程度。")));
    AppStore& s = store();
    s.setSource(QStringLiteral("  What is entropy?\n"));
    s.setMode(StudyMode::practice);
    s.setAnswer(answerOf(QStringLiteral("old")));
    clock->time = 100.0;
    s.submit();
    EXPECT_TRUE(s.isBusy());
    EXPECT_EQ(s.status(), QStringLiteral("正在生成，请稍候…"));
    EXPECT_FALSE(s.answer());
    // Controls changed while the request runs do not change it.
    s.setMode(StudyMode::translate);
    s.setLanguage(AnswerLanguage::english);
    clock->time = 103.24;
    scheduler->runNextJob();
    ASSERT_TRUE(waitIdle());

    EXPECT_EQ(s.status(), QStringLiteral("已完成"));
    ASSERT_TRUE(s.answer());
    EXPECT_EQ(s.answer()->text, QStringLiteral("熵是无序程度。"));
    EXPECT_EQ(s.resultDetail(), QStringLiteral("Orvel AI · 3.2 秒"));
    ASSERT_EQ(stub.requests().size(), 1);
    EXPECT_TRUE(stub.violations().isEmpty()) << stub.violations().join(u'\n').toStdString();
    const QJsonObject body = stub.requests().first().json();
    EXPECT_EQ(body.value(QStringLiteral("mode")).toString(), QStringLiteral("ask"));
    EXPECT_EQ(body.value(QStringLiteral("language")).toString(), QStringLiteral("zh-CN"));
    EXPECT_EQ(stub.requests().first().header("authorization"), "Bearer session-token-1");
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_EQ(history->records().first().mode, QStringLiteral("practice"));
    EXPECT_EQ(history->records().first().source, QStringLiteral("  What is entropy?\n"));
}

// A full disk or a file-size limit: the answer shows, and the history's own reason stands beside it
// instead of "已完成".
TEST_F(AppStoreRequestTest, AnswerWhoseHistoryWriteFailedSaysSoBesideIt) {
    const QString historyFolder =
        QFileInfo(*velquin::AccountDataScope::legacyLearningHistory(dir.filePath(QStringLiteral("data"))))
            .absolutePath();
    struct Row {
        const char* name;
        std::function<void()> breakWrites;
        std::function<void()> repair;
    };
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const Row rows[] = {
        {"the history folder is a file",
         [&] {
             QDir(historyFolder).removeRecursively();
             QDir().mkpath(QFileInfo(historyFolder).absolutePath());
             QFile file(historyFolder);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         [&] { QFile::remove(historyFolder); }},
        {"a file-size limit (a full disk)",
         [&] {
             struct rlimit tiny = saved;
             tiny.rlim_cur = 16;
             ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
         },
         [&] { ::setrlimit(RLIMIT_FSIZE, &saved); }},
    };
    AppStore& s = store();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("熵是无序程度。")));
        s.setSource(QStringLiteral("What is entropy? ") + QString::fromUtf8(row.name));
        row.breakWrites();
        s.submit();
        scheduler->runNextJob();
        const bool idle = waitIdle();
        row.repair();
        ASSERT_TRUE(idle);
        ASSERT_TRUE(s.answer());
        EXPECT_EQ(s.status(), QStringLiteral("已完成，但未存入学习历史"));
        ASSERT_TRUE(s.errorMessage());
        EXPECT_EQ(*s.errorMessage(), history->statusMessage());
        EXPECT_TRUE(
            s.errorMessage()->startsWith(velquin::HistoryError(velquin::HistoryError::Kind::writeFailed).message()))
            << s.errorMessage()->toStdString();
        EXPECT_TRUE(history->records().isEmpty());
    }
    std::signal(SIGXFSZ, previousHandler);

    // Writable again: the next answer is stored and reported as done.
    stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("熵是无序程度。")));
    s.submit();
    scheduler->runNextJob();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(s.status(), QStringLiteral("已完成"));
    EXPECT_FALSE(s.errorMessage());
    EXPECT_EQ(history->records().size(), 1);
}

// An unreadable settings file, a file set aside and a failed write each reach the banner once.
TEST_F(AppStoreSettingsTest, SettingsFileNoticesReachTheBannerOnce) {
    const QString path = dir.filePath(QStringLiteral("config/defaults.json"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"orvelAIConsentPolicyVersion":{"type":"int","value":1},)");  // cut short
    }
    base::DefaultsStore settings(path);
    AppStoreServices services = fakeServices();
    services.defaults = &settings;
    AppStore s(services);
    // Made at start: the hosted profile's first write moved the file aside.
    ASSERT_TRUE(s.errorMessage());
    const QString setAside = settings.fileStatus().setAsidePath;
    ASSERT_FALSE(setAside.isEmpty());
    EXPECT_EQ(*s.errorMessage(), QStringLiteral("无法读取的设置文件已原样另存为 ") + QFileInfo(setAside).fileName() +
                                     QStringLiteral("。"));
    s.setErrorMessage(std::nullopt);
    s.setLanguage(AnswerLanguage::english);  // a stored change: nothing new to say
    EXPECT_FALSE(s.errorMessage());
    // Spoiled by hand while in use: the settings in use stay, and the person hears so.
    ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_EQ(settings.string(QStringLiteral("answerLanguage")), QStringLiteral("english"));
    EXPECT_EQ(
        s.errorMessage(),
        QStringLiteral("设置文件已无法读取，当前设置保持不变；原文件已保留，不会被覆盖，下次保存前会将它原样另存。"));

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    s.setLanguage(AnswerLanguage::french);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(waitUntil([&] { return s.errorMessage().has_value(); }));
    EXPECT_TRUE(s.errorMessage()->contains(QStringLiteral("设置保存失败，更改只在本次运行中有效。")))
        << s.errorMessage()->toStdString();
    EXPECT_EQ(s.language(), AnswerLanguage::french);  // kept for this run
}

TEST_F(AppStoreRequestTest, DetailLineAddsTokenCountsOnlyWhenBothAreKnown) {
    EXPECT_EQ(AppStore::detailLine(QStringLiteral("Orvel AI"), 3.24, ModelAnswer{QStringLiteral("a"), {}, 120, 340}),
              QStringLiteral("Orvel AI · 3.2 秒 · tokens：输入 120 / 输出 340"));
    EXPECT_EQ(AppStore::detailLine(QStringLiteral("Orvel AI"), 3.24, ModelAnswer{QStringLiteral("a"), {}, 120, {}}),
              QStringLiteral("Orvel AI · 3.2 秒"));
    EXPECT_EQ(AppStore::detailLine(QStringLiteral("Orvel AI"), 12.0,
                                   ModelAnswer{QStringLiteral("a"), QStringLiteral("warn"), {}, {}}),
              QStringLiteral("Orvel AI · 12.0 秒"));
    // Rounded as "%.1f" rounds the exact binary value: 3.25 is exactly representable and goes to 3.2.
    EXPECT_EQ(AppStore::detailLine(QStringLiteral("Orvel AI"), 3.25, ModelAnswer{QStringLiteral("a"), {}, {}, {}}),
              QStringLiteral("Orvel AI · 3.2 秒"));
}

TEST_F(AppStoreRequestTest, CancelThenSubmitShowsOnlyTheSecondAnswerAndAddsOneRecord) {
    // The first request is already on the wire when it is stopped.
    stub.enqueue(answerPath, ScriptedReply::held());
    stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("second")));
    AppStore& s = store();
    s.setSource(QStringLiteral("first question"));
    s.submit();
    scheduler->runNextJob();
    ASSERT_TRUE(waitUntil([&] { return stub.requests().size() == 1; }));
    s.cancel();
    EXPECT_FALSE(s.isBusy());
    EXPECT_EQ(s.status(), QStringLiteral("已停止"));

    s.setSource(QStringLiteral("second question"));
    s.submit();
    scheduler->runNextJob();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(waitUntil([&] { return history->records().size() == 1; }));
    ASSERT_TRUE(s.answer());
    EXPECT_EQ(s.answer()->text, QStringLiteral("second"));
    EXPECT_EQ(s.status(), QStringLiteral("已完成"));
    EXPECT_FALSE(s.errorMessage());
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_EQ(history->records().first().answer, QStringLiteral("second"));
}

TEST_F(AppStoreRequestTest, ASupersededRequestThatResumesLateSendsNothingAndChangesNothing) {
    // Stopped while its token was being read; the read ends only after the next request started.
    stub.enqueue(answerPath, ScriptedReply::answer(QStringLiteral("second")));
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    s.cancel();
    s.submit();
    ASSERT_EQ(scheduler->pendingJobs(), 2);
    scheduler->runNextJob();  // the stopped request's token read
    EXPECT_TRUE(s.isBusy());
    EXPECT_EQ(s.status(), QStringLiteral("正在生成，请稍候…"));
    scheduler->runNextJob();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(stub.requests().size(), 1);
    EXPECT_EQ(s.answer()->text, QStringLiteral("second"));
    EXPECT_EQ(history->records().size(), 1);
}

TEST_F(AppStoreRequestTest, SubmitWhileARequestRunsChangesNothing) {
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    s.setStatus(QStringLiteral("marker"));
    s.submit();
    EXPECT_EQ(scheduler->pendingJobs(), 1);
    EXPECT_EQ(s.status(), QStringLiteral("marker"));
    EXPECT_EQ(token->loads, 0);
}

TEST_F(AppStoreRequestTest, NoTokenOpensTheAccountSheetWithItsBannerAndSendsNothing) {
    for (const std::optional<QString>& missing : {std::optional<QString>(), std::optional<QString>(QString())}) {
        token->token = missing;
        AppStore& s = store();
        s.setShowAccountLogin(false);
        s.setSource(QStringLiteral("question"));
        s.submit();
        scheduler->runNextJob();
        EXPECT_TRUE(s.showAccountLogin());
        EXPECT_FALSE(s.isBusy());
        EXPECT_EQ(s.status(), QStringLiteral("未完成"));
        EXPECT_EQ(s.errorMessage(), kMissingKey);
    }
    EXPECT_TRUE(stub.requests().isEmpty());
}

TEST_F(AppStoreRequestTest, AStoppedOrReplacedRequestNeverOpensTheAccountSheet) {
    token->token.reset();
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    s.cancel();
    scheduler->runNextJob();
    EXPECT_FALSE(s.showAccountLogin());
    EXPECT_EQ(s.status(), QStringLiteral("已停止"));
    EXPECT_FALSE(s.errorMessage());

    // Replaced by a hand-off before the token was read.
    s.submit();
    s.stageInLessonary(QStringLiteral("other"), StudyMode::translate, std::nullopt, QStringLiteral("from elsewhere"));
    scheduler->runNextJob();
    EXPECT_FALSE(s.showAccountLogin());
    EXPECT_EQ(s.status(), QStringLiteral("已载入原文，请选择学习方式后开始"));
}

TEST_F(AppStoreRequestTest, TimeOutNoConnectionAndCancellationEachEndTheirOwnWay) {
    scheduler->automatic = true;
    // Time-out.
    requestTimeout = std::chrono::milliseconds(300);
    stub.enqueue(answerPath, ScriptedReply::held());
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), kTimedOut);

    // Cancellation by the user while the reply is awaited: stopped, no banner, nothing recorded.
    stub.enqueue(answerPath, ScriptedReply{200, R"({"answer":"late"})", {{"Content-Type", "application/json"}}, 400});
    s.submit();
    ASSERT_TRUE(waitUntil([&] { return stub.requests().size() == 2; }));
    s.cancel();
    // The stopped request's connection is closed: its late reply can no longer arrive.
    ASSERT_TRUE(waitUntil([&] { return stub.openConnections() == 0; }));
    EXPECT_EQ(s.status(), QStringLiteral("已停止"));
    EXPECT_FALSE(s.errorMessage());
    EXPECT_FALSE(s.answer());
    EXPECT_TRUE(history->records().isEmpty());
}

TEST_F(AppStoreRequestTest, NoConnectionShowsTheConnectionMessage) {
    scheduler->automatic = true;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    endpointBase = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort()));
    closed.close();
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), kNoConnection);
    // The fixed messages stand for every network failure without a response.
    s.report(net::NetworkError(net::NetworkError::Kind::other, QStringLiteral("tls")));
    EXPECT_EQ(s.errorMessage(), kNoConnection);
    s.report(base::CancellationError());
    EXPECT_FALSE(s.errorMessage());
}

TEST_F(AppStoreRequestTest, ChecksBeforeTheRequestRefuseImportOrAskForConsent) {
    scheduler->automatic = true;
    AppStore& s = store();
    s.setStatus(QStringLiteral("marker"));
    s.setSource(QStringLiteral(" \n "));
    s.submit();
    EXPECT_EQ(s.errorMessage(), StudyError(StudyError::Case::emptyInput).message());
    EXPECT_EQ(s.status(), QStringLiteral("marker"));
    s.setSource(QString(25000, u'a'));
    s.submit();
    EXPECT_EQ(s.errorMessage(), StudyError(StudyError::Case::inputTooLong).message());
    EXPECT_FALSE(s.isBusy());

    // Accepted by the text check, refused by the answer client.
    s.setSource(QString(1600, u'a'));
    s.submit();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), StudyError(StudyError::Case::inputTooLong).message());
    EXPECT_TRUE(stub.requests().isEmpty());

    // Without consent a named document is still imported; a text opens the consent sheet.
    tamsel::AIPrivacyConsent::set(false, defaults);
    s.setSource(QStringLiteral("/home/someone/notes.txt"));
    s.submit();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(importer->staged, 1);
    EXPECT_FALSE(s.showPrivacyConsent());
    s.setSource(QStringLiteral("question"));
    s.submit();
    EXPECT_TRUE(s.showPrivacyConsent());
    EXPECT_EQ(s.status(), QStringLiteral("同意 AI 数据处理后，再点击发送"));
    EXPECT_FALSE(s.isBusy());
    EXPECT_EQ(token->loads, 1);
}

TEST_F(AppStoreRequestTest, KeyringAndServiceErrorsShowTheirOwnMessages) {
    scheduler->automatic = true;
    token->failure = QStringLiteral("keyring locked");
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), QStringLiteral("keyring locked"));
    EXPECT_FALSE(s.showAccountLogin());

    token->failure.reset();
    stub.enqueue(answerPath, ScriptedReply::json(401, R"({"error":"unauthorized"})"));
    s.submit();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(s.status(), QStringLiteral("未完成"));
    EXPECT_EQ(s.errorMessage(), tamsel::OrvelHostedError::http(401).message());
    EXPECT_TRUE(history->records().isEmpty());
}

// ---- Hand-offs -------------------------------------------------------------------------------

TEST_F(AppStoreHandoffTest, StagingLoadsTextModeAndAnswerAfterTheChangeHandlersRan) {
    AppStore& s = store();
    s.setSource(QStringLiteral("same"));
    s.setTutorHandoffSource(QStringLiteral("same"));
    s.setShowSettings(true);
    s.stageInLessonary(QStringLiteral("same"), StudyMode::explain, std::nullopt, QStringLiteral("来自划词小窗 · 可继续编辑后学习"));
    EXPECT_EQ(s.tutorHandoffSource(), QStringLiteral("same"));
    EXPECT_FALSE(s.answer());
    EXPECT_TRUE(s.resultDetail().isEmpty());
    EXPECT_EQ(s.status(), QStringLiteral("已载入原文，请选择学习方式后开始"));
    EXPECT_TRUE(s.showSettings());

    s.setSelectionPresentation(true);
    s.stageInLessonary(QStringLiteral("different"), StudyMode::translate, answerOf(QStringLiteral("kept")),
                       QStringLiteral("desc"));
    EXPECT_FALSE(s.tutorHandoffSource());
    EXPECT_FALSE(s.selectionPresentation());
    EXPECT_EQ(s.mode(), StudyMode::translate);
    ASSERT_TRUE(s.answer());
    EXPECT_EQ(s.answer()->text, QStringLiteral("kept"));
    EXPECT_EQ(s.resultDetail(), QStringLiteral("已从现有学习结果打开 · 未再次调用 AI"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("desc"));
    EXPECT_EQ(s.status(), QStringLiteral("已载入学习结果"));

    LearningRecord record;
    record.mode = QStringLiteral("MERID");
    record.source = QStringLiteral("src");
    record.answer = QStringLiteral("ans");
    s.reopenHistoryRecord(record);
    EXPECT_EQ(s.mode(), StudyMode::explain);
    EXPECT_EQ(s.source(), QStringLiteral("src"));
    EXPECT_EQ(s.answer()->text, QStringLiteral("ans"));
    EXPECT_EQ(s.sourceNote(), QStringLiteral("从学习历史继续 · 原记录未修改"));
    EXPECT_EQ(s.status(), QStringLiteral("已载入学习结果"));
}

TEST_F(AppStoreHandoffTest, AHandOffStopsARunningRequestWhoseLateAnswerIsDropped) {
    stub.enqueue(answerPath, ScriptedReply{200, R"({"answer":"late"})", {{"Content-Type", "application/json"}}, 300});
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    scheduler->runNextJob();
    ASSERT_TRUE(waitUntil([&] { return stub.requests().size() == 1; }));
    s.stageInLessonary(QStringLiteral("panel text"), StudyMode::explain, answerOf(QStringLiteral("panel answer")),
                       QStringLiteral("desc"));
    // The stopped request's connection is closed: its late reply can no longer arrive.
    ASSERT_TRUE(waitUntil([&] { return stub.openConnections() == 0; }));
    EXPECT_EQ(s.answer()->text, QStringLiteral("panel answer"));
    EXPECT_EQ(s.status(), QStringLiteral("已载入学习结果"));
    EXPECT_TRUE(history->records().isEmpty());
}

TEST_F(AppStoreHandoffTest, TutorHandOffTakesTheTrimmedSourceOnly) {
    AppStore& s = store();
    s.setTutorHandoffSource(QStringLiteral("earlier"));
    s.setSource(QStringLiteral("   "));
    s.setTutorHandoffSource(QStringLiteral("earlier"));
    EXPECT_FALSE(s.stageCurrentSourceForTutor());
    EXPECT_EQ(s.tutorHandoffSource(), QStringLiteral("earlier"));
    s.setSource(QStringLiteral("  word\n"));
    EXPECT_TRUE(s.stageCurrentSourceForTutor());
    EXPECT_EQ(s.tutorHandoffSource(), QStringLiteral("word"));
}

TEST_F(AppStoreHandoffTest, FullWorkspaceResizesOnlyWhenLeavingTheCompactViewAndNeverBelowTheMinimum) {
    AppStore& s = store();
    // Not coming from the compact view: the window keeps the size the user gave it.
    windows->add(7, workspaceWindowIdentifier);
    s.showFullWorkspace();
    scheduler->runPosted();
    EXPECT_TRUE(windows->calls.isEmpty());

    s.setSelectionPresentation(true);
    s.showFullWorkspace();
    EXPECT_FALSE(s.selectionPresentation());
    EXPECT_TRUE(windows->calls.isEmpty());  // on a later turn of the main queue
    scheduler->runPosted();
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("size 7 820x840")});

    // Without a tagged window: the first window that can become main, panels skipped.
    windows->list.clear();
    windows->calls.clear();
    windows->add(1, QString()).isPanel = true;
    auto& plain = windows->add(2, QString());
    plain.minimumContentSize = QSizeF(420, 420);
    s.setSelectionPresentation(true);
    s.showFullWorkspace();
    scheduler->runPosted();
    EXPECT_EQ(windows->calls, QStringList{QStringLiteral("size 2 760x840")});

    // With no window at all only the flag changes.
    windows->list.clear();
    windows->calls.clear();
    s.setSelectionPresentation(true);
    s.showFullWorkspace();
    scheduler->runPosted();
    EXPECT_FALSE(s.selectionPresentation());
    EXPECT_TRUE(windows->calls.isEmpty());
}

TEST_F(AppStoreHandoffTest, ATextServiceRequestOpensTheCompactViewAndSubmits) {
    tamsel::AIPrivacyConsent::set(false, defaults);
    AppStore& s = store();
    s.setShowSettings(true);
    s.setShowDirectSelectionSettings(true);
    s.receiveSelection(halvern::SelectionRequest{QStringLiteral("selected"), StudyMode::translate});
    EXPECT_TRUE(s.selectionPresentation());
    EXPECT_FALSE(s.showSettings());
    EXPECT_FALSE(s.showDirectSelectionSettings());
    EXPECT_EQ(s.source(), QStringLiteral("selected"));
    EXPECT_EQ(s.mode(), StudyMode::translate);
    EXPECT_EQ(s.sourceNote(), QStringLiteral("来自系统文本服务；仅在你明确同意 AI 处理后才会发送。"));
    EXPECT_TRUE(s.showPrivacyConsent());
}

// Each action that puts one sheet in place of the others closes them in its own order and opens its
// sheet last; the sheets it does not name keep their state. (The hand-offs cancel first, and the
// cancellation already drops the page-range choice.)
TEST_F(AppStoreHandoffTest, SheetSwitchesCloseInTheirOrderThenOpen) {
    tamsel::AIPrivacyConsent::set(false, defaults);
    using Action = std::function<void(AppStore&)>;
    const struct {
        const char* name;
        Action action;
        void (AppStore::*opens)(bool);  // the setter of the sheet it opens, which starts closed
        QStringList changes;
    } rows[] = {
        {"select-anywhere settings",
         [](AppStore& s) { s.openDirectSelectionSettings(); },
         &AppStore::setShowDirectSelectionSettings,
         {"settings", "captureGuide", "importer", "pdfChoice", "directSelectionSettings"}},
        {"capture guide",
         [](AppStore& s) { s.openDocumentReader(); },
         &AppStore::setShowCaptureGuide,
         {"directSelectionSettings", "settings", "importer", "pdfChoice", "captureGuide"}},
        {"staging",
         [](AppStore& s) { s.stageInLessonary(QStringLiteral("text"), StudyMode::explain, std::nullopt, {}); },
         nullptr,
         {"pdfChoice", "importer", "captureGuide"}},
        {"text service",
         [](AppStore& s) {
             s.receiveSelection(halvern::SelectionRequest{QStringLiteral("selected"), StudyMode::translate});
         },
         nullptr,
         {"pdfChoice", "importer", "settings", "captureGuide", "directSelectionSettings", "privacyConsent"}},
    };
    AppStore& s = store();
    QStringList changes;
    const std::pair<void (AppStore::*)(), const char*> flagSignals[] = {
        {&AppStore::showImporterChanged, "importer"},
        {&AppStore::showSettingsChanged, "settings"},
        {&AppStore::showPrivacyConsentChanged, "privacyConsent"},
        {&AppStore::showAccountLoginChanged, "accountLogin"},
        {&AppStore::showCaptureGuideChanged, "captureGuide"},
        {&AppStore::showDirectSelectionSettingsChanged, "directSelectionSettings"},
        {&AppStore::pdfChoiceChanged, "pdfChoice"},
    };
    for (const auto& [signal, name] : flagSignals)
        QObject::connect(&s, signal, &s, [&changes, name = QString::fromLatin1(name)] { changes.append(name); });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        s.cancel();
        s.setShowPrivacyConsent(false);
        for (auto set : {&AppStore::setShowImporter, &AppStore::setShowSettings, &AppStore::setShowCaptureGuide,
                         &AppStore::setShowDirectSelectionSettings})
            (s.*set)(true);
        s.setShowAccountLogin(true);
        s.setPdfChoice(PDFChoice(QUrl::fromLocalFile(QStringLiteral("/tmp/staged.pdf")), 3));
        if (row.opens) (s.*row.opens)(false);
        changes.clear();
        row.action(s);
        EXPECT_EQ(changes, row.changes);
        EXPECT_TRUE(s.showAccountLogin());
        EXPECT_FALSE(s.pdfChoice());
    }
}

// ---- Outputs ---------------------------------------------------------------------------------

TEST_F(AppStoreOutputTest, ClearDoesNothingWhileBusyAndEmptiesEverythingAfterCancel) {
    AppStore& s = store();
    s.setSource(QStringLiteral("question"));
    s.submit();
    s.setAnswer(answerOf(QStringLiteral("a")));
    s.clear();
    EXPECT_EQ(s.source(), QStringLiteral("question"));
    EXPECT_TRUE(s.isBusy());

    s.cancel();
    s.setMode(StudyMode::practice);
    s.setSelectionPresentation(true);
    s.setAnswer(answerOf(QStringLiteral("a")));
    s.setTutorHandoffSource(QStringLiteral("question"));
    s.setErrorMessage(QStringLiteral("error"));
    s.clear();
    EXPECT_TRUE(s.source().isEmpty());
    EXPECT_FALSE(s.answer());
    EXPECT_FALSE(s.tutorHandoffSource());
    EXPECT_FALSE(s.errorMessage());
    EXPECT_EQ(s.sourceNote(), AppStore::initialSourceNote);
    EXPECT_EQ(s.status(), AppStore::initialStatus);
    EXPECT_EQ(s.mode(), StudyMode::practice);
    EXPECT_TRUE(s.selectionPresentation());
}

TEST_F(AppStoreOutputTest, ExportWritesExactlyTheAnswerAsUtf8ReplacingAnExistingFile) {
    AppStore& s = store();
    s.exportAnswer();
    EXPECT_TRUE(files->requests.isEmpty());  // no answer, no dialog

    const QString text = QStringLiteral("第一行 café 😀\r\nzweite Zeile\n");
    s.setSource(QStringLiteral("source text"));
    s.setAnswer(answerOf(text));
    s.setResultDetail(QStringLiteral("detail"));
    const QString path = dir.filePath(QStringLiteral("chosen.txt"));
    {
        QFile existing(path);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write(QByteArray(4096, 'x'));
    }
    files->path = path;
    s.exportAnswer();
    ASSERT_EQ(files->requests.size(), 1);
    EXPECT_EQ(files->requests[0].fileName, QStringLiteral("Orvel-Result.txt"));
    EXPECT_EQ(files->requests[0].defaultSuffix, QStringLiteral("txt"));
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), text.toUtf8());
    written.close();
    EXPECT_EQ(s.status(), QStringLiteral("答案已导出"));

    // The dialog does not hold up the store: the answer asked for is written, not a newer one.
    files->answerLater = true;
    s.exportAnswer();
    s.setAnswer(answerOf(QStringLiteral("newer")));
    files->pending(QUrl::fromLocalFile(path));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), text.toUtf8());
    files->answerLater = false;

    // Cancelled in the dialog: nothing changes.
    s.setStatus(QStringLiteral("marker"));
    files->path.reset();
    s.exportAnswer();
    EXPECT_EQ(s.status(), QStringLiteral("marker"));

    // A write failure shows its description and keeps the status.
    files->path = dir.filePath(QStringLiteral("missing-folder/out.txt"));
    s.exportAnswer();
    EXPECT_EQ(s.status(), QStringLiteral("marker"));
    ASSERT_TRUE(s.errorMessage());
    EXPECT_FALSE(s.errorMessage()->isEmpty());
}

TEST_F(AppStoreOutputTest, CopyPutsOnlyTheAnswerOnTheClipboard) {
    AppStore& s = store();
    clipboard->files = {QUrl::fromLocalFile(QStringLiteral("/tmp/a.png"))};
    clipboard->image = QByteArray("png");
    s.copyAnswer();
    EXPECT_EQ(clipboard->replacements, 0);

    s.setSource(QStringLiteral("source"));
    s.setAnswer(answerOf(QStringLiteral("the answer")));
    s.setResultDetail(QStringLiteral("detail"));
    s.copyAnswer();
    EXPECT_EQ(clipboard->text, QStringLiteral("the answer"));
    EXPECT_TRUE(clipboard->files.isEmpty());
    EXPECT_FALSE(clipboard->image);
    EXPECT_EQ(s.status(), QStringLiteral("答案已复制"));
}
