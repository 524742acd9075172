// The tutor screen's controller over a real sessions file, a tutor whose replies the test releases
// one at a time, a session token and a consent the test changes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/account/account_data_scope.h"
#include "app/account/history_error.h"
#include "app/account/history_store.h"
#include "app/shell/interface_settings.h"
#include "app/tutor-workspace/merid_formal_workspace_controller.h"
#include "app/tutor-workspace/tests/workspace_test_doubles.h"
#include "base/errors.h"
#include "platform/tests/fixtures.h"
#include "tests/support/failing_disk.h"
#include "tests/support/manual_scheduler.h"
#include "tutor-engine/merid_learning_error.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/merid_v12_reply_contract.h"
#include "tutor-engine/teacher_workspace_error.h"

using namespace velquin;
using namespace workspacetest;
using meridcore::MeridAction;
using meridcore::TeacherLearningSession;

namespace {

// The tests' tmpfs mounts stay inside this process (entered before any thread starts).
const bool privateMounts = testsupport::enterPrivateMountNamespace();

const QString kCourse = QStringList{
    QStringLiteral("[第 1 页]"), QStringLiteral("# 函数"), QStringLiteral("函数的定义。"), QString(),
    QStringLiteral("## 极限"),   QStringLiteral("极限的定义。"), QStringLiteral("[第 2 页]"),
    QStringLiteral("## 导数"),   QStringLiteral("导数的定义。"),
}.join(u'\n');

meridcore::MeridQuizRecord quiz(const QString& questionText, const QString& topicID, const QString& kind,
                                bool answered) {
    meridcore::MeridQuizRecord record(QUuid::createUuid(), questionText, QStringLiteral("函数"), QStringLiteral("s"));
    record.usedHint = false;
    record.questionKind = kind;
    record.sourceTopicID = topicID;
    if (answered) {
        record.answer = QStringLiteral("答");
        record.assessment = meridcore::MeridAssessment::correct;
    }
    return record;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class WorkspaceControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        storeFolder_ = dir_.filePath(QStringLiteral("store"));
        sessionsFile_ = storeFolder_ + QStringLiteral("/teacher_sessions.json");
        history_ = std::make_unique<HistoryStore>(HistoryStore::Options{dir_.filePath(QStringLiteral("history")), {}});
    }
    // Requests a test left unanswered fail as stopped once the screen is gone: the rounds waiting
    // for them end instead of staying suspended.
    void TearDown() override {
        controller_.reset();
        while (tutor_->unanswered() > 0) tutor_->fail(std::make_exception_ptr(base::CancellationError()));
    }

    MeridFormalWorkspaceController& make(std::shared_ptr<base::WorkScheduler> scheduler = nullptr) {
        MeridWorkspaceServices services;
        services.scheduler = std::move(scheduler);
        services.transport = tutor_;
        services.consentGranted = [this] { return consent_; };
        services.storage.emplace(sessionsFile_);
        services.sessionToken = token_;
        services.history = history_.get();
        services.incomingSource = [this] { return handedOver_; };
        services.clearIncomingSource = [this] { handedOver_.reset(); };
        controller_ = std::make_unique<MeridFormalWorkspaceController>(std::move(services));
        return *controller_;
    }

    // Reads the sessions file as the screen does when it is shown, until it is in.
    static MeridFormalWorkspaceController& load(MeridFormalWorkspaceController& screen) {
        screen.load();
        EXPECT_TRUE(QTest::qWaitFor([&] { return screen.hasLoaded(); }));
        return screen;
    }

    // Stores sessions as an earlier run of the program would have.
    void store(const QList<TeacherLearningSession>& sessions) {
        meridcore::TeacherLearningStore(sessionsFile_).save(sessions);
    }
    // The file once the screen's saves have landed.
    QList<TeacherLearningSession> stored() {
        if (controller_) controller_->finishSaving();
        return meridcore::TeacherLearningStore(sessionsFile_).load();
    }

    // Turns the sessions folder into a plain file: every write fails from now on, reads do not.
    void breakStoreFolder() {
        ASSERT_TRUE(QDir(storeFolder_).removeRecursively());
        ASSERT_TRUE(QFile(storeFolder_).open(QIODevice::WriteOnly));
    }

    // Until the tutor has received `count` requests and the last one waits for its reply.
    bool waitForCalls(int count) {
        return QTest::qWaitFor([&] { return tutor_->calls.size() == count && tutor_->unanswered() == 1; });
    }
    bool waitUntilIdle() { return QTest::qWaitFor([&] { return !controller_->busy(); }); }

    QTemporaryDir dir_;
    QString storeFolder_;
    QString sessionsFile_;
    std::shared_ptr<ManualTutor> tutor_ = std::make_shared<ManualTutor>();
    std::shared_ptr<ManualToken> token_ = std::make_shared<ManualToken>();
    bool consent_ = true;
    std::optional<QString> handedOver_;
    std::unique_ptr<HistoryStore> history_;
    std::unique_ptr<MeridFormalWorkspaceController> controller_;
};

}  // namespace

TEST_F(WorkspaceControllerTest, AnUnreadableOrOversizedFileIsShownAndNeverWritten) {
    QByteArray oversized(meridcore::TeacherLearningStore::maxBytes + 1, ' ');
    const QByteArray files[] = {QByteArray("{\"formatVersion\":1,\"sessions\":[{\"broken\""), oversized,
                                QByteArray("{\"formatVersion\":2,\"sessions\":[]}")};
    for (const QByteArray& bytes : files) {
        QDir().mkpath(storeFolder_);
        QFile file(sessionsFile_);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
        file.close();

        MeridFormalWorkspaceController& screen = make();
        load(screen);
        EXPECT_FALSE(screen.canSave());
        EXPECT_EQ(screen.errorMessage(), QStringLiteral("历史读取失败，已保护原文件并停止写入：历史文件无法解码。为保护原数据，软件不会覆盖这个文件。"));
        EXPECT_EQ(screen.active().title, QStringLiteral("新会话"));

        // Every command that would write is refused; the file's bytes stay as they were.
        handedOver_ = QStringLiteral("handed over");
        screen.acceptLessonarySource();
        screen.startNewSession();
        screen.updateActive([](TeacherLearningSession& s) { s.courseName = QStringLiteral("edited"); });
        screen.save();
        screen.action(MeridAction::continueLearning);
        screen.action(MeridAction::pause);
        screen.setFollowupDraft(QStringLiteral("问题"));
        screen.sendQuestion();
        screen.removeSession(screen.active().id);
        screen.saveToLessonary(false);
        screen.reloadSessions();
        screen.close();
        controller_.reset();
        EXPECT_TRUE(tutor_->calls.isEmpty());
        EXPECT_EQ(handedOver_, QStringLiteral("handed over"));
        EXPECT_TRUE(history_->records().isEmpty());
        EXPECT_EQ(contents(sessionsFile_), bytes);
        EXPECT_EQ(QDir(storeFolder_).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

TEST_F(WorkspaceControllerTest, LoadsSavesOpensDeletesAndTakesOverHandedInText) {
    MeridFormalWorkspaceController& screen = make();
    screen.save();  // before loading: nothing is written
    EXPECT_FALSE(QFile::exists(sessionsFile_));
    load(screen);
    EXPECT_TRUE(screen.canSave());
    EXPECT_EQ(screen.active().title, QStringLiteral("新会话"));
    EXPECT_TRUE(screen.sessions().isEmpty());

    // A session enters the list on its first save, then is replaced in place; the question box goes with it.
    screen.setFollowupDraft(QStringLiteral("第一问"));
    screen.save();
    const QUuid first = screen.active().id;
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored().first().followupDraft, QStringLiteral("第一问"));
    screen.startNewSession();
    EXPECT_TRUE(screen.followupDraft().isEmpty());
    screen.updateActive([](TeacherLearningSession& s) {
        s.draft = QStringLiteral("我的草稿");
        s.followupDraft.reset();
    });
    screen.openSession(screen.sessions().first());  // saves the new one first
    EXPECT_EQ(screen.active().id, first);
    EXPECT_EQ(screen.followupDraft(), QStringLiteral("第一问"));
    ASSERT_EQ(screen.sessions().size(), 2);
    // Without a saved question the box shows the draft, unless a question waits for its answer.
    TeacherLearningSession second = screen.sessions().last();
    second.followupDraft.reset();
    screen.openSession(second);
    EXPECT_EQ(screen.followupDraft(), QStringLiteral("我的草稿"));
    second.quizRecords->append(quiz(QStringLiteral("待答"), QString(), QStringLiteral("recognition"), false));
    second.followupDraft.reset();
    screen.openSession(second);
    EXPECT_TRUE(screen.followupDraft().isEmpty());

    // A new screen on the same file opens the newest session.
    load(make());
    EXPECT_EQ(controller_->active().id, second.id);
    MeridFormalWorkspaceController& again = *controller_;

    // Deleting: a failed write restores the list and leaves writing on; then the active one goes.
    breakStoreFolder();
    again.setDeleteCandidate(second.id);
    again.confirmDeletion();
    again.finishSaving();  // told once the write has landed
    EXPECT_FALSE(again.deleteCandidate());
    EXPECT_EQ(again.sessions().size(), 2);
    EXPECT_TRUE(again.errorMessage().startsWith(QStringLiteral("删除失败：")));
    EXPECT_TRUE(again.canSave());
    ASSERT_TRUE(QFile::remove(storeFolder_));
    again.removeSession(second.id);
    again.finishSaving();
    EXPECT_EQ(again.errorMessage(), QStringLiteral("会话已从本机删除。"));
    EXPECT_EQ(again.active().id, first);
    again.removeSession(first);
    EXPECT_EQ(again.active().title, QStringLiteral("新会话"));
    EXPECT_TRUE(stored().isEmpty());

    // Handed-in text: blank text stays where it is; real text opens a new session holding it.
    handedOver_ = QStringLiteral(" \n ");
    again.acceptLessonarySource();
    EXPECT_EQ(handedOver_, QStringLiteral(" \n "));
    handedOver_ = QStringLiteral("  光合作用  ");
    again.acceptLessonarySource();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !handedOver_; })) << "taken once it is on disk";
    EXPECT_EQ(again.followupDraft(), QStringLiteral("光合作用"));
    EXPECT_EQ(again.errorMessage(), QStringLiteral("已从 Lessonary 载入原文，尚未发送给 AI。请检查后点击发送追问。"));
    ASSERT_EQ(stored().size(), 2);  // the blank session before it, and the new one
    EXPECT_TRUE(tutor_->calls.isEmpty());

    // Another writer of the file (the legacy import) makes this screen's saves land before it reads.
    again.setFollowupDraft(QStringLiteral("光合作用？"));
    again.save();
    meridcore::TeacherLearningStore::finishPendingWrites(sessionsFile_);
    EXPECT_EQ(meridcore::TeacherLearningStore(sessionsFile_).load().first(), again.active());

    // Another part of the program adds a session to the file: it is read again off the main thread,
    // after the write in flight, the commands and the saves waiting meanwhile, only the last of two
    // reads taken. The save made meanwhile writes the list with the session added and the change.
    TeacherLearningSession imported(0, {.title = QStringLiteral("旧会话")});
    QList<TeacherLearningSession> onDisk = stored();
    onDisk.append(imported);
    auto reading = std::make_shared<testsupport::ManualScheduler>();
    MeridFormalWorkspaceController& later = make(reading);
    later.load();
    reading->runNextJob();
    const QUuid open = later.active().id;
    later.save();
    later.reloadSessions();
    ASSERT_EQ(reading->pendingJobs(), 1) << "the read waits for the write in flight";
    reading->runNextJob();
    store(onDisk);
    later.reloadSessions();
    EXPECT_TRUE(later.settling());
    later.startNewSession();
    later.setFollowupDraft(QStringLiteral("光合作用？"));
    later.save();
    ASSERT_EQ(reading->pendingJobs(), 2) << "two reads, the save waiting";
    reading->runNextJob();
    EXPECT_EQ(later.sessions().size(), 2) << "the older read is dropped";
    reading->runNextJob();
    EXPECT_EQ(later.sessions().size(), 3);
    EXPECT_FALSE(later.settling());
    ASSERT_EQ(reading->pendingJobs(), 1);
    reading->runNextJob();
    ASSERT_EQ(stored().size(), 3);
    EXPECT_EQ(stored().first().followupDraft, QStringLiteral("光合作用？"));
    EXPECT_EQ(stored().first().id, open) << "no new session while the file was read";

    // Writing that fails stops all writing, with its own text.
    breakStoreFolder();
    later.save();
    later.finishSaving();
    EXPECT_FALSE(later.canSave());
    EXPECT_TRUE(later.errorMessage().startsWith(QStringLiteral("保存失败，已停止覆盖历史：")));
}

TEST_F(WorkspaceControllerTest, GradingASupportedAnswerMovesOnWithinThreeRequests) {
    TeacherLearningSession session(0);
    const meridcore::TeacherMaterial course(QStringLiteral("微积分.pdf"), kCourse, QString());
    meridcore::MeridV12CourseNavigator::install(course, session);
    const QString topic1 = session.coursePlan->topics.at(0).id;
    session.quizRecords->append(quiz(QStringLiteral("函数是什么？"), topic1, QStringLiteral("explanation"), true));
    session.quizRecords->append(quiz(QStringLiteral("举一个函数的例子。"), topic1, QStringLiteral("recognition"), false));
    session.draft = QStringLiteral("y = 2x");
    store({session});

    MeridFormalWorkspaceController& screen = make();
    load(screen);
    screen.action(MeridAction::gradeAnswer);
    EXPECT_TRUE(screen.busy());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("MERID 正在带课（本轮最多 3 次 AI 请求，可随时停止）…"));

    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(tutor_->calls[0].request.mode, meridcore::TeacherMode::grade);
    tutor_->release(grading(QStringLiteral("correct")));
    // The answer is supported: the next topic is activated and explained, then checked.
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("MERID 正在安排下一教学步骤（已完成 1/3 次）…"));
    EXPECT_EQ(screen.active().coursePlan->activeTopic()->heading, QStringLiteral("极限"));
    EXPECT_TRUE(tutor_->calls[1].request.messages.last().content.contains(
        QStringLiteral("请只讲解教材章节《极限》的一个知识点，先定义、举例，不要提前出题。")));
    EXPECT_EQ(stored().first().quizRecords->at(1).assessment, meridcore::MeridAssessment::correct);
    tutor_->release(lesson(QStringLiteral("极限描述趋近。")));
    ASSERT_TRUE(waitForCalls(3));
    EXPECT_EQ(tutor_->calls[2].request.mode, meridcore::TeacherMode::quiz);
    tutor_->release(question(QStringLiteral("极限的定义是什么？")));
    ASSERT_TRUE(waitUntilIdle());

    EXPECT_EQ(tutor_->calls.size(), 3);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("本轮已完成 3 次 AI 请求，已在需要学生作答或知识点边界处停下。"));
    EXPECT_TRUE(screen.active().pendingQuizIndex());
    EXPECT_EQ(stored().first(), screen.active());
}

TEST_F(WorkspaceControllerTest, StoppingOrFailingPutsTheSessionBack) {
    load(make());
    MeridFormalWorkspaceController& screen = *controller_;
    screen.save();
    const TeacherLearningSession before = screen.active();

    // Stopped during the first request: back to what the student saw, and the late reply changes nothing.
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_NE(screen.active().draft, before.draft);
    screen.cancel();
    EXPECT_FALSE(screen.busy());
    EXPECT_TRUE(tutor_->calls[0].token.isCancelled());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("已停止本轮；成功保存的课堂内容不会被撤销。"));
    EXPECT_EQ(screen.active().draft, before.draft);
    EXPECT_EQ(screen.active().turns, before.turns);
    const TeacherLearningSession afterStop = screen.active();
    screen.finishSaving();  // the stop's own save, on the writer's thread
    const QByteArray savedAfterStop = contents(sessionsFile_);
    tutor_->release(lesson(QStringLiteral("迟到的回复。")));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(screen.active(), afterStop);
    screen.finishSaving();
    EXPECT_EQ(contents(sessionsFile_), savedAfterStop);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("已停止本轮；成功保存的课堂内容不会被撤销。"));

    // A reply of the wrong kind is refused by the contract: the session goes back, with the contract's text.
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(2));
    tutor_->release(question(QStringLiteral("不该出题。")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(screen.errorMessage(),
              meridcore::MeridV12ReplyError::description(meridcore::MeridV12ReplyError::Case::wrongEvent));
    EXPECT_EQ(screen.active().turns, before.turns);
    EXPECT_EQ(screen.active().draft, before.draft);

    // A transport failure shows its own text; a cancellation seen by the round shows the stop text.
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(3));
    tutor_->fail(std::make_exception_ptr(base::SystemError(QStringLiteral("网络连接失败，请检查网络后重试。"))));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("网络连接失败，请检查网络后重试。"));
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(4));
    tutor_->fail(std::make_exception_ptr(base::CancellationError()));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("已停止本轮；已完成的教学记录保留，未继续自动请求。"));
    EXPECT_EQ(screen.active().turns, before.turns);
    EXPECT_EQ(stored().first().turns, before.turns);
}

TEST_F(WorkspaceControllerTest, AutomaticRequestsNeedTheSameAccountAndTheConsent) {
    load(make());
    MeridFormalWorkspaceController& screen = *controller_;
    QSignalSpy consentAsked(&screen, &MeridFormalWorkspaceController::consentRequested);

    // Without consent nothing is sent at all.
    consent_ = false;
    screen.action(MeridAction::continueLearning);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("请先阅读并同意 AI 内容处理。"));
    EXPECT_EQ(consentAsked.size(), 1);
    EXPECT_FALSE(screen.busy());
    consent_ = true;

    // The token changes after the first reply: the lesson is kept, the automatic check question is not asked.
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(1));
    token_->set(QStringLiteral("token-B"));
    tutor_->release(lesson(QStringLiteral("第一课。")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(tutor_->calls.size(), 1);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("账户已变更，已安全停止自动教学；旧课堂不会发送到新账户。"));
    EXPECT_EQ(screen.active().latestClassroomResponse, QStringLiteral("第一课。"));
    EXPECT_EQ(stored().first().latestClassroomResponse, QStringLiteral("第一课。"));
    EXPECT_EQ(screen.active().lastPedagogicalAction, MeridAction::continueLearning);

    // The consent is withdrawn while a request runs: the next one is not sent and the sheet is asked for.
    screen.action(MeridAction::explainDifferently);
    ASSERT_TRUE(waitForCalls(2));
    consent_ = false;
    tutor_->release(lesson(QStringLiteral("换个方式。")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(tutor_->calls.size(), 2);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("请先阅读并同意 AI 内容处理。"));
    EXPECT_EQ(consentAsked.size(), 2);
    EXPECT_EQ(screen.active().latestClassroomResponse, QStringLiteral("换个方式。"));

    // With neither change the lesson goes straight on to its check question.
    consent_ = true;
    token_->set(QStringLiteral("token-B"));
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(3));
    tutor_->release(lesson(QStringLiteral("第二课。")));
    ASSERT_TRUE(waitForCalls(4));
    tutor_->release(question(QStringLiteral("请解释第二课。")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("本轮已完成 2 次 AI 请求，已在需要学生作答或知识点边界处停下。"));

    // Without any token the round stops before its first automatic request, in the same way.
    token_->set(std::nullopt);
    screen.setFollowupDraft(QString());
    screen.updateActive([](TeacherLearningSession& s) { s.draft = QStringLiteral("我的回答"); });
    screen.action(MeridAction::gradeAnswer);
    ASSERT_TRUE(waitForCalls(5));
    tutor_->release(grading(QStringLiteral("incorrect")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(tutor_->calls.size(), 5);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("账户已变更，已安全停止自动教学；旧课堂不会发送到新账户。"));
}

TEST_F(WorkspaceControllerTest, FollowUpsSaveFailuresAndRefusedCommands) {
    load(make());
    MeridFormalWorkspaceController& screen = *controller_;

    // A follow-up question is one request; the box is emptied only if it still holds the question.
    screen.setFollowupDraft(QStringLiteral("  什么是 ATP？ "));
    screen.sendQuestion();
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("MERID 正在带课（本轮最多 1 次 AI 请求，可随时停止）…"));
    tutor_->release(lesson(QStringLiteral("ATP 是能量货币。")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("追问已回答；课堂进度和作答内容没有改变。"));
    EXPECT_TRUE(screen.followupDraft().isEmpty());
    EXPECT_EQ(screen.active().lastFollowupQuestion, QStringLiteral("什么是 ATP？"));
    screen.setFollowupDraft(QStringLiteral("第二问"));
    screen.sendQuestion();
    ASSERT_TRUE(waitForCalls(2));
    screen.setFollowupDraft(QStringLiteral("改过的问题"));
    tutor_->release(lesson(QStringLiteral("回答。")));
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(screen.followupDraft(), QStringLiteral("改过的问题"));

    // Refusals before anything is sent.
    screen.setFollowupDraft(QString(5000, u'问'));
    screen.sendQuestion();
    EXPECT_FALSE(screen.busy());
    EXPECT_EQ(screen.errorMessage(), meridcore::TeacherWorkspaceError::description(
                                         meridcore::TeacherWorkspaceError::Case::messageTooLong));
    screen.updateActive([](TeacherLearningSession& s) { s.draft = QStringLiteral("   "); });
    screen.action(MeridAction::gradeAnswer);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("请先填写自己的答案，再点击批改。"));
    screen.updateActive([](TeacherLearningSession& s) { s.draft = QStringLiteral("答案"); });
    screen.action(MeridAction::gradeAnswer);
    EXPECT_EQ(screen.errorMessage(),
              meridcore::MeridLearningError::description(meridcore::MeridLearningError::Case::missingQuestion));
    screen.changeChunk(1);  // no material
    EXPECT_EQ(tutor_->calls.size(), 2);

    // While a round runs only the chunk change answers, with its refusal.
    screen.setFollowupDraft(QStringLiteral("第三问"));
    screen.sendQuestion();
    ASSERT_TRUE(waitForCalls(3));
    const QUuid running = screen.active().id;
    screen.startNewSession();
    screen.action(MeridAction::continueLearning);
    screen.transmit(std::nullopt, std::nullopt);
    screen.changeChunk(1);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("请先完成当前题目，再切换资料段落。"));
    EXPECT_EQ(screen.active().id, running);

    // The save after a reply fails: the round ends with the save failure text and writing stops.
    breakStoreFolder();
    tutor_->release(lesson(QStringLiteral("第三答。")));
    ASSERT_TRUE(waitUntilIdle());
    screen.finishSaving();
    EXPECT_FALSE(screen.canSave());
    EXPECT_TRUE(screen.errorMessage().startsWith(QStringLiteral("保存失败，已停止覆盖历史：")));
    screen.action(MeridAction::continueLearning);
    screen.sendQuestion();
    EXPECT_EQ(tutor_->calls.size(), 3);
}

// What depends on a save waits for its outcome, through the real writes: when the save is made the
// sessions folder is a full tmpfs, or an immutable folder. Afterwards room is made again, and the
// next save lands, clears the failure and lets the commands work again.
TEST_F(WorkspaceControllerTest, WhatDependsOnASaveWaitsForItToLand) {
    if (!privateMounts) GTEST_SKIP() << "needs the super-user for a mount namespace of its own";
    const QString notes = dir_.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(fixtures::writeFile(notes, "## 供给\n供给曲线向上倾斜。\n"));
    const QString filler = storeFolder_ + QStringLiteral("/filler");
    // Each way makes the sessions folder fail (true) or work again (false).
    const std::pair<const char*, std::function<bool(bool)>> ways[] = {
        {"full disk", [&](bool fail) { return fail ? testsupport::fillUp(filler) : QFile::remove(filler); }},
        {"immutable folder", [&](bool fail) { return testsupport::setImmutable(storeFolder_, fail); }},
    };
    // The status texts shown while `command` runs and its save settles.
    const auto shownWhile = [](MeridFormalWorkspaceController& screen, const std::function<void()>& command) {
        QStringList shown;
        const QMetaObject::Connection watching =
            QObject::connect(&screen, &MeridFormalWorkspaceController::errorMessageChanged,
                             [&] { shown.append(screen.errorMessage()); });
        command();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !screen.settling(); }));
        QObject::disconnect(watching);
        return shown;
    };
    const auto withMaterial = [](MeridFormalWorkspaceController& screen, bool outlined) {
        screen.updateActive([outlined](TeacherLearningSession& s) {
            meridcore::MeridV12CourseNavigator::install(
                meridcore::TeacherMaterial(QStringLiteral("微积分.pdf"), kCourse, QString()), s);
            if (!outlined) s.coursePlan.reset();
        });
    };
    // Each makes the folder fail at its moment, runs to its end and checks what it left.
    using Dependent = std::function<void(MeridFormalWorkspaceController&, const std::function<bool(bool)>& fail)>;
    const std::pair<const char*, Dependent> dependents[] = {
        {"the next automatic request",
         [&](MeridFormalWorkspaceController& screen, const auto& fail) {
             screen.action(MeridAction::continueLearning);
             ASSERT_TRUE(waitForCalls(1));
             ASSERT_TRUE(fail(true));
             tutor_->release(lesson(QStringLiteral("第一课。")));
             ASSERT_TRUE(waitUntilIdle());
             EXPECT_EQ(tutor_->calls.size(), 1) << "no check question after a lesson that was not saved";
             EXPECT_EQ(screen.active().latestClassroomResponse, QStringLiteral("第一课。")) << "kept in memory";
         }},
        {"the import's notice",
         [&](MeridFormalWorkspaceController& screen, const auto& fail) {
             ASSERT_TRUE(fail(true));
             screen.receiveSelectedFile(QUrl::fromLocalFile(notes));
             ASSERT_TRUE(QTest::qWaitFor([&] { return !screen.importing(); }));
             EXPECT_FALSE(screen.active().material || screen.sessions().first().material);
             EXPECT_FALSE(screen.importSucceeded());
         }},
        {"leaving the page after a pause",
         [&](MeridFormalWorkspaceController& screen, const auto& fail) {
             QSignalSpy closeAsked(&screen, &MeridFormalWorkspaceController::closeRequested);
             ASSERT_TRUE(fail(true));
             screen.action(MeridAction::pause);
             ASSERT_TRUE(QTest::qWaitFor([&] { return !screen.settling(); }));
             EXPECT_EQ(closeAsked.size(), 0);
             EXPECT_FALSE(screen.active().pausedAt || screen.sessions().first().pausedAt) << "not shown as paused";
         }},
        {"the outline's notice",
         [&](MeridFormalWorkspaceController& screen, const auto& fail) {
             withMaterial(screen, false);
             ASSERT_TRUE(fail(true));
             const QStringList shown = shownWhile(screen, [&] { screen.indexExistingCourse(); });
             EXPECT_FALSE(
                 shown.contains(QStringLiteral("课程目录已建立，历史答题保留；旧答题不自动算作新章节的掌握证据。")));
             EXPECT_TRUE(screen.active().coursePlan) << "kept in memory";
         }},
        {"the topic choice's notice",
         [&](MeridFormalWorkspaceController& screen, const auto& fail) {
             withMaterial(screen, true);
             ASSERT_TRUE(fail(true));
             const QString topic = screen.active().coursePlan->topics.at(1).id;
             const QStringList shown = shownWhile(screen, [&] { screen.selectCourseTopic(topic); });
             EXPECT_FALSE(shown.contains(QStringLiteral("已切换到真实教材章节；未发送 AI 请求。")));
             EXPECT_EQ(screen.active().topicName, QStringLiteral("极限")) << "kept in memory";
         }},
        {"taking over handed-in text",
         [&](MeridFormalWorkspaceController& screen, const auto& fail) {
             const QUuid open = screen.active().id;
             ASSERT_TRUE(fail(true));
             handedOver_ = QStringLiteral("光合作用");
             shownWhile(screen, [&] { screen.acceptLessonarySource(); });
             EXPECT_EQ(handedOver_, QStringLiteral("光合作用")) << "the text stays in the main window";
             EXPECT_EQ(screen.active().id, open) << "no new session";
             EXPECT_EQ(screen.sessions().size(), 1);
             EXPECT_TRUE(screen.followupDraft().isEmpty());
             handedOver_.reset();
         }},
    };
    for (const auto& [way, breakFolder] : ways) {
        for (const auto& [name, dependent] : dependents) {
            SCOPED_TRACE(std::string(way) + ", " + name);
            ASSERT_TRUE(QDir().mkpath(storeFolder_));
            ASSERT_TRUE(testsupport::mountTmpfs(storeFolder_, 1 << 20));
            store({TeacherLearningSession(0)});
            tutor_ = std::make_shared<ManualTutor>();
            MeridFormalWorkspaceController& screen = load(make());
            const QByteArray before = contents(sessionsFile_);
            dependent(screen, breakFolder);
            EXPECT_TRUE(screen.errorMessage().startsWith(MeridFormalWorkspaceController::saveFailurePrefix));
            EXPECT_EQ(contents(sessionsFile_), before);

            // Room again: the next save (a course renamed) lands with everything held in memory.
            ASSERT_TRUE(breakFolder(false));
            screen.updateActive([](TeacherLearningSession& s) { s.courseName = QStringLiteral("ECO 101"); });
            screen.save();
            ASSERT_TRUE(QTest::qWaitFor([&] { return screen.canSave(); }));
            EXPECT_EQ(screen.errorMessage(), QString());
            EXPECT_EQ(stored(), screen.sessions());
            controller_.reset();
            ASSERT_TRUE(testsupport::unmount(storeFolder_));
        }
    }
}

TEST_F(WorkspaceControllerTest, CourseCommandsPauseAndLessonarySaves) {
    TeacherLearningSession session(0);
    meridcore::MeridV12CourseNavigator::install(meridcore::TeacherMaterial(QStringLiteral("微积分.pdf"),
                                                                           kCourse + QString(6000, u'文'), QString()),
                                                session);
    session.coursePlan.reset();
    store({session});
    InterfaceSettings::shared().setLanguage(InterfaceLanguage::chinese);
    MeridFormalWorkspaceController& screen = make();
    QSignalSpy closeAsked(&screen, &MeridFormalWorkspaceController::closeRequested);
    load(screen);

    // Chunks move one step at a time and never past either end.
    screen.changeChunk(-1);
    EXPECT_EQ(screen.active().chunkIndex, 0);
    screen.changeChunk(1);
    EXPECT_EQ(screen.active().chunkIndex, 1);
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("已切换资料段落；未发送新 AI 请求。"));
    screen.changeChunk(1);
    screen.changeChunk(1);
    EXPECT_EQ(screen.active().chunkIndex, 2);
    EXPECT_EQ(stored().first().chunkIndex, 2);

    // An outline for the material already held; then a topic of it.
    const auto toldOnceSaved = [&](const QString& told) {
        return QTest::qWaitFor([&] { return !screen.settling(); }) && screen.errorMessage() == told;
    };
    screen.indexExistingCourse();
    ASSERT_TRUE(screen.active().coursePlan);
    EXPECT_TRUE(toldOnceSaved(QStringLiteral("课程目录已建立，历史答题保留；旧答题不自动算作新章节的掌握证据。")));
    screen.selectCourseTopic(screen.active().coursePlan->topics.at(2).id);
    EXPECT_EQ(screen.active().topicName, QStringLiteral("导数"));
    EXPECT_TRUE(toldOnceSaved(QStringLiteral("已切换到真实教材章节；未发送 AI 请求。")));
    screen.selectCourseTopic(QStringLiteral("nowhere"));
    EXPECT_EQ(screen.errorMessage(), meridcore::MeridV12CourseNavigationError::description(
                                         meridcore::MeridV12CourseNavigationError::Case::missingTopic));

    // continueLearning on a topic asks about that topic only.
    screen.action(MeridAction::continueLearning);
    ASSERT_TRUE(waitForCalls(1));
    EXPECT_TRUE(tutor_->calls[0].request.messages.last().content.contains(QStringLiteral(
        "请严格围绕教材中的《导数》讲一个小知识点，英文关键词+中文解释+例子，不要讲其他章节；等我独立回答题目后再继续。")));
    screen.cancel();

    // The learning history: nothing to save yet, then a saved lesson, then a note.
    const auto savedToHistory = [&](bool asNote, const QString& told) {
        screen.saveToLessonary(asNote);
        return QTest::qWaitFor([&] { return screen.errorMessage() == told; });
    };
    EXPECT_TRUE(savedToHistory(false, QStringLiteral("课堂没有可保存的内容，或者账户历史尚未就绪。")));
    screen.updateActive([](TeacherLearningSession& s) {
        s.addExchange(QStringLiteral("讲讲导数"), QStringLiteral("导数是变化率。"));
        s.latestClassroomResponse = QStringLiteral("导数是变化率。");
    });
    EXPECT_TRUE(savedToHistory(false, QStringLiteral("已保存到学习历史。")));
    EXPECT_TRUE(savedToHistory(true, QStringLiteral("已加入学习笔记。")));
    EXPECT_EQ(history_->records().size(), 1);
    // A history that cannot write gives its own reason, not "nothing to save".
    {
        const QString folder =
            QFileInfo(*velquin::AccountDataScope::legacyLearningHistory(dir_.filePath(QStringLiteral("history"))))
                .absolutePath();
        const QString moved = folder + QStringLiteral(".moved");
        ASSERT_TRUE(QDir().rename(folder, moved));
        ASSERT_TRUE(QFile(folder).open(QIODevice::WriteOnly));
        EXPECT_TRUE(savedToHistory(false, history_->statusMessage()));
        EXPECT_TRUE(screen.errorMessage().startsWith(
            velquin::HistoryError(velquin::HistoryError::Kind::writeFailed).message()));
        ASSERT_TRUE(QFile::remove(folder));
        ASSERT_TRUE(QDir().rename(moved, folder));
    }

    // Pause sends nothing, saves and asks to leave the page.
    screen.action(MeridAction::pause);
    EXPECT_TRUE(closeAsked.wait());
    EXPECT_EQ(screen.errorMessage(), QStringLiteral("学习状态已保存，可以稍后从历史继续。"));
    EXPECT_EQ(closeAsked.size(), 1);
    EXPECT_TRUE(stored().first().pausedAt);
    EXPECT_EQ(tutor_->calls.size(), 1);

    // A choice whose save fails reports the failure, never the choice.
    breakStoreFolder();
    QStringList shown;
    QObject::connect(&screen, &MeridFormalWorkspaceController::errorMessageChanged,
                     [&] { shown.append(screen.errorMessage()); });
    screen.selectCourseTopic(screen.active().coursePlan->topics.at(0).id);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !screen.settling(); }));
    EXPECT_TRUE(screen.errorMessage().startsWith(QStringLiteral("保存失败，已停止覆盖历史：")));
    EXPECT_FALSE(shown.contains(QStringLiteral("已切换到真实教材章节；未发送 AI 请求。")));
}
