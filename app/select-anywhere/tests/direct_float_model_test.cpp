// The answer model over a clock the test sets, a token the test changes, an in-memory clipboard
// and the hosted answer service played by the loopback stub: the cache's time limit and size, token
// changes before and during a request, superseded and stopped jobs, and the failures it shows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/account/account_data_scope.h"
#include "app/account/history_error.h"
#include "app/select-anywhere/direct_float_model.h"
#include "app/shell/tests/store_test_doubles.h"

namespace {

using namespace velquin;
using storetest::FakeClipboard;
using storetest::FakeClock;
using storetest::FakeTokenSource;
using storetest::ManualScheduler;
using testsupport::ScriptedReply;

class DirectFloatModelTest : public storetest::StoreFixture {
protected:
    DirectFloatModelTest() { scheduler->automatic = true; }

    DirectFloatModel& model() {
        if (!model_) {
            tamsel::ResponsesClient::Options options;
            options.endpoint = tamsel::ResponsesClient::endpoint(stub.baseUrl());
            options.defaults = &defaults;
            DirectFloatServices services{&defaults, history.get(), scheduler, clock, clipboard, token,
                                         std::make_shared<tamsel::ResponsesClient>(nullptr, options)};
            model_ = std::make_unique<DirectFloatModel>(services, offline);
        }
        return *model_;
    }
    // Asks about `text` and waits until the model is no longer busy.
    void ask(const QString& text) {
        model().present(text, QStringLiteral("Notes"));
        ASSERT_TRUE(waitUntil([this] { return !model().isBusy(); }));
    }
    void answerNext(const QString& text) { stub.enqueue(answerPath, ScriptedReply::answer(text)); }
    int answerRequests() const { return int(stub.requests().size()); }
    QString answerText() const { return model_->answer() ? model_->answer()->text : QStringLiteral("<none>"); }

    bool offline = false;
    std::unique_ptr<DirectFloatModel> model_;
};

TEST_F(DirectFloatModelTest, CachedAnswerServesFor119SecondsNotFor120AndRetryAlwaysAsks) {
    answerNext(QStringLiteral("first"));
    ask(QStringLiteral("  opportunity cost \n"));
    EXPECT_EQ(answerText(), QStringLiteral("first"));
    EXPECT_EQ(model().detail(), QStringLiteral("Orvel AI · 0.0 秒"));
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_EQ(history->records().first().source, QStringLiteral("opportunity cost"));
    EXPECT_EQ(history->records().first().mode, QStringLiteral("translate"));

    clock->time += 119;
    ask(QStringLiteral("opportunity cost"));
    EXPECT_EQ(answerText(), QStringLiteral("first"));
    EXPECT_EQ(model().detail(), QStringLiteral("使用刚才的结果 · 未重复请求"));
    EXPECT_EQ(model().networkRequestCount(), 1);
    EXPECT_EQ(history->records().size(), 1) << "a cached answer is not recorded again";

    clock->time += 1;  // 120 s after the answer was stored
    answerNext(QStringLiteral("second"));
    ask(QStringLiteral("opportunity cost"));
    EXPECT_EQ(answerText(), QStringLiteral("second"));
    EXPECT_EQ(model().networkRequestCount(), 2);

    answerNext(QStringLiteral("third"));
    model().request(true);
    ASSERT_TRUE(waitUntil([this] { return !model().isBusy(); }));
    EXPECT_EQ(answerText(), QStringLiteral("third"));
    EXPECT_EQ(answerRequests(), 3);
    EXPECT_EQ(history->records().size(), 3);
}

TEST_F(DirectFloatModelTest, TheThirtyFirstAnswerEvictsTheEarliest) {
    for (int i = 0; i <= 30; ++i) {
        clock->time += 1;
        answerNext(QStringLiteral("answer %1").arg(i));
        ask(QStringLiteral("text %1").arg(i));
    }
    EXPECT_EQ(model().networkRequestCount(), 31);
    ask(QStringLiteral("text 1"));
    EXPECT_EQ(model().detail(), QStringLiteral("使用刚才的结果 · 未重复请求"));
    answerNext(QStringLiteral("again"));
    ask(QStringLiteral("text 0"));
    EXPECT_EQ(answerText(), QStringLiteral("again")) << "the earliest entry was evicted";
    EXPECT_EQ(model().networkRequestCount(), 32);
}

TEST_F(DirectFloatModelTest, AnotherTokenEmptiesTheCache) {
    answerNext(QStringLiteral("for the first account"));
    ask(QStringLiteral("marginal utility"));
    token->token = QStringLiteral("session-token-2");
    answerNext(QStringLiteral("for the second account"));
    ask(QStringLiteral("marginal utility"));
    EXPECT_EQ(answerText(), QStringLiteral("for the second account"));
    EXPECT_EQ(model().networkRequestCount(), 2);
    EXPECT_EQ(stub.requests().last().header("authorization"), QByteArray("Bearer session-token-2"));
}

// The token read again after the answer differs (another account) or is gone (signed out): the
// answer is not this user's, so it is neither shown, cached nor recorded.
TEST_F(DirectFloatModelTest, ATokenChangedWhileTheAnswerTravelsDropsIt) {
    for (const std::optional<QString>& later : {std::optional<QString>(QStringLiteral("session-token-2")),
                                                std::optional<QString>()}) {
        SCOPED_TRACE(later.value_or(QStringLiteral("signed out")).toStdString());
        token->token = QStringLiteral("session-token-1");
        const int held = stub.heldCount();
        stub.enqueue(answerPath, ScriptedReply::held());
        model().present(QStringLiteral("elasticity"), QStringLiteral("Notes"));
        ASSERT_TRUE(waitUntil([&] { return stub.heldCount() == held + 1; }));
        token->token = later;
        stub.release(held, ScriptedReply::answer(QStringLiteral("stale")));
        ASSERT_TRUE(waitUntil([this] { return !model().isBusy(); }));
        EXPECT_FALSE(model().answer().has_value());
        EXPECT_EQ(model().error(), QStringLiteral("账户已变化，请重新划词。"));
        EXPECT_EQ(model().detail(), QStringLiteral("已停止"));
        EXPECT_TRUE(history->records().isEmpty());
    }
    token->token = QStringLiteral("session-token-1");
    answerNext(QStringLiteral("fresh"));
    ask(QStringLiteral("elasticity"));
    EXPECT_EQ(answerText(), QStringLiteral("fresh")) << "nothing was cached";
}

// A newer selection or the stop button supersedes a running job: its request is dropped, and
// nothing of it is shown or recorded.
TEST_F(DirectFloatModelTest, SupersededAndStoppedJobsStaySilent) {
    stub.enqueue(answerPath, ScriptedReply::held());
    stub.enqueue(answerPath, ScriptedReply::held());
    model().present(QStringLiteral("first selection"), QStringLiteral("Notes"));
    ASSERT_TRUE(waitUntil([this] { return stub.heldCount() == 1; }));
    model().present(QStringLiteral("second selection"), QStringLiteral("Notes"));
    ASSERT_TRUE(waitUntil([this] { return stub.heldCount() == 2 && stub.openConnections() == 1; }));
    stub.release(1, ScriptedReply::answer(QStringLiteral("second answer")));
    ASSERT_TRUE(waitUntil([this] { return !model().isBusy(); }));
    EXPECT_EQ(answerText(), QStringLiteral("second answer"));
    EXPECT_FALSE(model().error().has_value());
    ASSERT_EQ(history->records().size(), 1);

    stub.enqueue(answerPath, ScriptedReply::held());
    model().present(QStringLiteral("third selection"), QStringLiteral("Notes"));
    ASSERT_TRUE(waitUntil([this] { return stub.heldCount() == 3; }));
    model().cancel();
    EXPECT_EQ(model().detail(), QStringLiteral("已停止"));
    EXPECT_FALSE(model().isBusy());
    ASSERT_TRUE(waitUntil([this] { return stub.openConnections() == 0; }));
    EXPECT_FALSE(model().answer().has_value());
    EXPECT_FALSE(model().error().has_value());
    EXPECT_EQ(model().detail(), QStringLiteral("已停止"));
    EXPECT_EQ(history->records().size(), 1);
}

// The history cannot write (its folder is a file): the answer shows with the history's reason.
TEST_F(DirectFloatModelTest, AnswerWhoseHistoryWriteFailedShowsWhy) {
    const QString folder =
        QFileInfo(*AccountDataScope::legacyLearningHistory(dir.filePath(QStringLiteral("data")))).absolutePath();
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    answerNext(QStringLiteral("first"));
    ask(QStringLiteral("opportunity cost"));
    EXPECT_EQ(answerText(), QStringLiteral("first"));
    ASSERT_TRUE(model().error());
    EXPECT_EQ(*model().error(), history->statusMessage());
    EXPECT_TRUE(model().error()->startsWith(HistoryError(HistoryError::Kind::writeFailed).message()));

    // Stored again once the folder can be made: nothing to say.
    QFile::remove(folder);
    answerNext(QStringLiteral("second"));
    ask(QStringLiteral("sunk cost"));
    EXPECT_EQ(answerText(), QStringLiteral("second"));
    EXPECT_FALSE(model().error());
    EXPECT_EQ(history->records().size(), 1);
}

TEST_F(DirectFloatModelTest, FailuresShowTheirMessageAndStatus) {
    struct Row {
        const char* name;
        std::function<void()> arrange;
        QString text;
        QString error;
        QString detail;
        int requests;  // that reached the service
    };
    const QString notSent = QStringLiteral("未发送文字");
    const QString failed = QStringLiteral("未完成");
    const QList<Row> rows{
        {"blank text", [] {}, QStringLiteral(" \n "), QStringLiteral("未读到选中文字。请先在文档中选中一段文字。"), notSent, 0},
        {"no consent", [this] { tamsel::AIPrivacyConsent::set(false, defaults); }, QStringLiteral("x1"),
         QStringLiteral("请先在设置中同意：所选文字会发送至第三方 AI 服务处理。"), notSent, 0},
        {"no token", [this] { token->token = QString(); }, QStringLiteral("x2"),
         QStringLiteral("请先登录 Orvel 账户，再使用托管 AI。"), failed, 0},
        {"keyring failure", [this] { token->failure = QStringLiteral("keyring locked"); }, QStringLiteral("x3"),
         QStringLiteral("keyring locked"), failed, 0},
        {"connection lost", [this] { stub.enqueue(answerPath, ScriptedReply::dropped()); }, QStringLiteral("x4"),
         QStringLiteral("网络请求未完成，请检查网络后重试。"), failed, 1},
        {"service error", [this] { stub.enqueue(answerPath, ScriptedReply::json(503, "{}")); }, QStringLiteral("x5"),
         QStringLiteral("Orvel AI 服务暂时不可用，请稍后再试。"), failed, 1},
        {"too long for the service", [] {}, QString(1501, u'a'), QStringLiteral("输入文字过长，请缩短或分段；单次 AI 解释最多 1,500 个字符。"),
         failed, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        tamsel::AIPrivacyConsent::set(true, defaults);
        token->token = QStringLiteral("session-token-1");
        token->failure.reset();
        row.arrange();
        const int before = answerRequests();
        ask(row.text);
        EXPECT_EQ(model().error(), row.error);
        EXPECT_EQ(model().detail(), row.detail);
        EXPECT_FALSE(model().answer().has_value());
        EXPECT_EQ(answerRequests() - before, row.requests);
    }
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_TRUE(stub.violations().isEmpty()) << stub.violations().join(u'\n').toStdString();
}

TEST_F(DirectFloatModelTest, ModesPreviewsCopyAndTheOfflineFixture) {
    defaults.setString(DirectFloatModel::modeKey, QStringLiteral("explain"));
    answerNext(QStringLiteral("explained"));
    ask(QStringLiteral("sunk cost"));
    EXPECT_EQ(model().mode(), tamsel::StudyMode::explain);
    EXPECT_EQ(stub.requests().last().json().value(QStringLiteral("mode")).toString(), QStringLiteral("explain"));
    model().changeMode(tamsel::StudyMode::explain);
    EXPECT_EQ(model().requestCount(), 1) << "the current mode asks nothing";
    answerNext(QStringLiteral("translated"));
    model().changeMode(tamsel::StudyMode::translate);
    ASSERT_TRUE(waitUntil([this] { return !model().isBusy(); }));
    EXPECT_EQ(answerText(), QStringLiteral("translated"));
    model().changeMode(tamsel::StudyMode::explain);
    ASSERT_TRUE(waitUntil([this] { return !model().isBusy(); }));
    EXPECT_EQ(model().detail(), QStringLiteral("使用刚才的结果 · 未重复请求"));

    model().copy();
    EXPECT_EQ(clipboard->text, QStringLiteral("explained"));
    EXPECT_EQ(model().detail(), QStringLiteral("已复制答案"));

    model().preview(QStringLiteral("local only"), QStringLiteral("Test"));
    const int counted = model().requestCount();
    model().request(true);
    model().changeMode(tamsel::StudyMode::practice);
    EXPECT_EQ(model().requestCount(), counted);
    EXPECT_EQ(model().detail(), QStringLiteral("仅本机显示 · 未调用 Orvel AI"));
    model().copy();
    EXPECT_EQ(model().detail(), QStringLiteral("仅本机显示 · 未调用 Orvel AI")) << "no answer, nothing copied";

    model().showError(QStringLiteral("读取失败"), QStringLiteral("选区读取提示"));
    EXPECT_TRUE(model().text().isEmpty());
    EXPECT_EQ(model().detail(), QStringLiteral("未发送文字"));
    EXPECT_EQ(model().mode(), tamsel::StudyMode::practice) << "no mode asked: the one shown stays";
    model().showError(QStringLiteral("读取失败"), QStringLiteral("系统文本服务"), tamsel::StudyMode::explain);
    EXPECT_EQ(model().mode(), tamsel::StudyMode::explain);
    EXPECT_EQ(model().requestCount(), counted) << "a refusal asks nothing";

    model_.reset();
    offline = true;
    ask(QStringLiteral("any text"));
    EXPECT_EQ(answerText(), QStringLiteral("离线窗口回归测试结果"));
    EXPECT_EQ(model().networkRequestCount(), 0);
    EXPECT_EQ(model().requestCount(), 1);
}

}  // namespace
