#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/account/account_data_scope.h"
#include "app/account/history_error.h"
#include "app/account/history_store.h"
#include "base/text.h"
#include "history_test_support.h"
#include "tests/support/file_mode.h"
#include "tests/support/manual_scheduler.h"
#include "tutor-engine/teacher_learning_session.h"

using namespace historytest;
using testsupport::fileMode;
using velquin::AccountDataScope;
using velquin::HistoryStore;
using velquin::LearningRecord;
namespace history = velquin::learning_history;

namespace {

const QString kAccount = QStringLiteral("acct_0001");
const QString kOther = QStringLiteral("acct_0002");

class HistoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    std::unique_ptr<HistoryStore> store(HistoryStore::SessionTokenLoader loader = {},
                                        std::shared_ptr<base::WorkScheduler> scheduler = {}) {
        return std::make_unique<HistoryStore>(
            HistoryStore::Options{dir_.path(), std::move(loader), std::move(scheduler)});
    }
    QString guestFile() const { return *AccountDataScope::legacyLearningHistory(dir_.path()); }
    QString accountFile(const QString& id = kAccount) const {
        return *AccountDataScope::learningHistoryURL(id, dir_.path());
    }
    QStringList files() const { return filesBelow(dir_.path()); }
    static QList<LearningRecord> read(const QString& path) { return history::decode(contents(path)); }

    QTemporaryDir dir_;
};

meridcore::TeacherLearningSession lesson(const QString& title = QStringLiteral("标题")) {
    meridcore::TeacherLearningSession::Options options;
    options.title = title;
    return meridcore::TeacherLearningSession(0, options);
}

}  // namespace

TEST_F(HistoryStoreTest, StartScopeFollowsTheSessionTokenReadOffTheMainThread) {
    writeFile(guestFile(), history::encode({record(idOf(1), 5)}));
    EXPECT_EQ(store()->records().size(), 1);

    // The keyring may block: the store is pending until the read, which runs as blocking work, ends.
    auto scheduler = std::make_shared<testsupport::ManualScheduler>();
    int reads = 0;
    auto counted = [&reads](std::optional<QString> token) {
        return [&reads, token]() -> std::optional<QString> {
            ++reads;
            if (token && *token == QStringLiteral("throw")) throw std::runtime_error("keyring locked");
            return token;
        };
    };
    for (const std::optional<QString>& none : {std::optional<QString>(), std::optional<QString>(QString()),
                                               std::optional<QString>(QStringLiteral("throw"))}) {
        const int before = reads;
        const auto guest = store(counted(none), scheduler);
        EXPECT_EQ(reads, before);
        EXPECT_FALSE(guest->hasActiveFile());
        scheduler->runNextJob();
        EXPECT_EQ(guest->records().size(), 1);
    }
    EXPECT_EQ(reads, 3);
    const auto pending = store(counted(QStringLiteral("token")), scheduler);
    scheduler->runNextJob();
    EXPECT_FALSE(pending->hasActiveFile());
    EXPECT_TRUE(pending->records().isEmpty());

    // A scope entered while the token is read stands; a store gone by then is not touched.
    const auto switched = store(counted(std::nullopt), scheduler);
    switched->switchToAccount(kAccount);
    scheduler->runNextJob();
    EXPECT_EQ(switched->accountID(), kAccount);
    store(counted(std::nullopt), scheduler).reset();
    scheduler->runNextJob();
    // Nor is anything left of one whose read never reports back (the program ended first).
    store(counted(std::nullopt), scheduler).reset();
    EXPECT_EQ(scheduler->pendingJobs(), 1);
}

// An answer that arrives while the token is read is written once the read tells which history
// it belongs to: the guest one without a token; with one, the scope is pending and nothing is kept.
TEST_F(HistoryStoreTest, AnswerAddedWhileTheTokenIsReadFollowsTheStartScope) {
    writeFile(guestFile(), history::encode({record(idOf(1), 5)}));
    auto scheduler = std::make_shared<testsupport::ManualScheduler>();
    const auto token = [](const QString& value) { return [value] { return std::optional<QString>(value); }; };

    const auto guest = store(token(QString()), scheduler);
    guest->add(QStringLiteral("first"), QStringLiteral("a1"), QStringLiteral("translate"));
    guest->add(QStringLiteral("second"), QStringLiteral("a2"), QStringLiteral("explain"));
    EXPECT_TRUE(guest->records().isEmpty());
    scheduler->runNextJob();
    QStringList sources;
    for (const LearningRecord& stored : read(guestFile())) sources.append(stored.source);
    EXPECT_EQ(sources.join(u' ').toStdString(), "second first s");
    EXPECT_EQ(guest->records().size(), 3);

    const auto pending = store(token(QStringLiteral("token")), scheduler);
    pending->add(QStringLiteral("third"), QStringLiteral("a3"), QStringLiteral("translate"));
    scheduler->runNextJob();
    const auto switched = store(token(QString()), scheduler);
    switched->add(QStringLiteral("third"), QStringLiteral("a3"), QStringLiteral("translate"));
    switched->switchToAccount(kAccount);
    scheduler->runNextJob();
    EXPECT_TRUE(pending->records().isEmpty());
    EXPECT_TRUE(switched->records().isEmpty());
    EXPECT_EQ(read(guestFile()).size(), 3);
    EXPECT_FALSE(QFileInfo::exists(accountFile()));
}

TEST_F(HistoryStoreTest, PendingScopeChangesAndWritesNothing) {
    const auto history = store([] { return std::optional<QString>(QStringLiteral("token")); });
    writeFile(guestFile(), history::encode({record(idOf(1), 5)}));
    const LearningRecord guestRecord = record(idOf(1), 5);
    history->add(QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("translate"));
    history->toggleNote(guestRecord);
    history->remove(guestRecord);
    history->deleteAll();
    meridcore::TeacherLearningSession session = lesson();
    session.latestClassroomResponse = QStringLiteral("讲解");
    EXPECT_FALSE(history->saveMeridLesson(session, true));
    EXPECT_EQ(history->importLegacyToCurrentAccount(), 0);
    EXPECT_FALSE(history->canImportLegacy());
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_EQ(files(), QStringList{QStringLiteral("com.orvel.formac/learning-history.json")});
    EXPECT_EQ(read(guestFile()).size(), 1);
}

TEST_F(HistoryStoreTest, SwitchingReloadsAndNeverWrites) {
    writeFile(guestFile(), history::encode({record(idOf(1), 5)}));
    writeFile(
        accountFile(),
        R"([{"id":"00000000-0000-4000-8000-000000000002","createdAt":1,"mode":"m","source":"s","answer":"a","isNote":false,"extra":1}])");
    const QByteArray accountBytes = contents(accountFile());
    const auto history = store();
    QSignalSpy changed(history.get(), &HistoryStore::recordsChanged);
    history->switchToAccount(kAccount);
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_EQ(history->records()[0].id, QUuid::fromString(idOf(2)));
    EXPECT_TRUE(history->canImportLegacy());
    history->switchToAccount(kOther);  // no file yet: empty, nothing created
    EXPECT_TRUE(history->hasActiveFile());
    EXPECT_TRUE(history->records().isEmpty());
    history->switchToAccount(QStringLiteral("bad id!"));  // fails the rule: pending
    EXPECT_FALSE(history->hasActiveFile());
    history->switchToGuest();
    EXPECT_EQ(history->records().size(), 1);
    EXPECT_FALSE(history->canImportLegacy());
    history->switchToGuest();  // the same scope again still reloads
    EXPECT_EQ(changed.count(), 5);
    EXPECT_EQ(files(), (QStringList{QStringLiteral("com.orvel.formac/learning-history.json"),
                                    QStringLiteral("com.orvel.formac/users/u_acct_0001/learning-history.json")}));
    EXPECT_EQ(contents(accountFile()), accountBytes);
}

TEST_F(HistoryStoreTest, AddKeepsTheNewest500InPrivateFiles) {
    const auto history = store();
    history->switchToAccount(kAccount);
    for (int i = 0; i < 501; ++i) history->add(QString::number(i), QStringLiteral("答案/"), QStringLiteral("translate"));
    ASSERT_EQ(history->records().size(), 500);
    EXPECT_EQ(history->records().constFirst().source, QStringLiteral("500"));
    EXPECT_EQ(history->records().constLast().source, QStringLiteral("1"));
    const QList<LearningRecord> stored = read(accountFile());
    ASSERT_EQ(stored.size(), 500);
    EXPECT_EQ(stored.constFirst().source, QStringLiteral("500"));
    EXPECT_EQ(stored.constFirst().mode, QStringLiteral("translate"));
    EXPECT_FALSE(stored.constFirst().isNote);
    EXPECT_TRUE(history->statusMessage().isEmpty());

    history->switchToGuest();
    history->add(QStringLiteral("g"), QStringLiteral("a"), QStringLiteral("explain"));
    const QString root = *AccountDataScope::root(dir_.path());
    EXPECT_EQ(fileMode(root), 0700);
    EXPECT_EQ(fileMode(root + QStringLiteral("/users")), 0700);
    EXPECT_EQ(fileMode(root + QStringLiteral("/users/u_acct_0001")), 0700);
    EXPECT_EQ(fileMode(accountFile()), 0600);
    EXPECT_EQ(fileMode(guestFile()), 0600);
    // Only the two history files: no temporary files are left behind.
    EXPECT_EQ(files().size(), 2);
}

TEST_F(HistoryStoreTest, NotesAndDeletion) {
    writeFile(guestFile(), history::encode({record(idOf(1), 5)}));
    writeFile(accountFile(), history::encode({record(idOf(2), 9), record(idOf(3), 8), record(idOf(2), 7)}));
    const QByteArray guestBytes = contents(guestFile());
    const auto history = store();
    history->switchToAccount(kAccount);

    LearningRecord stale = history->records()[1];
    stale.isNote = true;  // the stored mark is inverted, not the given one
    history->toggleNote(stale);
    EXPECT_TRUE(history->records()[1].isNote);
    EXPECT_TRUE(read(accountFile())[1].isNote);

    // A record that is gone: toggling writes nothing; removing rewrites the file unchanged.
    QFile::remove(accountFile());
    history->toggleNote(record(idOf(9), 1));
    EXPECT_FALSE(QFileInfo::exists(accountFile()));
    history->remove(record(idOf(9), 1));
    EXPECT_EQ(read(accountFile()).size(), 3);

    history->remove(record(idOf(2), 0));  // every record with that id
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_EQ(history->records()[0].id, QUuid::fromString(idOf(3)));

    history->deleteAll();
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_EQ(contents(accountFile()), QByteArray("[]"));
    EXPECT_EQ(contents(guestFile()), guestBytes);
}

TEST_F(HistoryStoreTest, ImportCopiesNewGuestRecordsOnce) {
    // Guest: one id the account has, a repeated new id, and a record as old as an account record.
    writeFile(guestFile(), history::encode({record(idOf(1), 50, QStringLiteral("guest dup")),
                                            record(idOf(4), 40, QStringLiteral("first 4")),
                                            record(idOf(4), 39, QStringLiteral("second 4")),
                                            record(idOf(5), 30, QStringLiteral("guest 30"))}));
    writeFile(accountFile(), history::encode({record(idOf(1), 60), record(idOf(2), 30, QStringLiteral("mine 30"))}));
    const QByteArray guestBytes = contents(guestFile());
    const auto history = store();
    history->switchToGuest();
    EXPECT_EQ(history->importLegacyToCurrentAccount(), 0);  // no account
    history->switchToAccount(kAccount);

    EXPECT_EQ(history->importLegacyToCurrentAccount(), 2);
    QStringList sources;
    for (const LearningRecord& r : history->records()) sources.append(r.source);
    EXPECT_EQ(sources, (QStringList{QStringLiteral("s"), QStringLiteral("first 4"), QStringLiteral("mine 30"),
                                    QStringLiteral("guest 30")}));
    EXPECT_EQ(read(accountFile()).size(), 4);
    EXPECT_EQ(history->importLegacyToCurrentAccount(), 0);
    EXPECT_EQ(history->records().size(), 4);
    EXPECT_EQ(contents(guestFile()), guestBytes);
    EXPECT_TRUE(history->canImportLegacy());
}

TEST_F(HistoryStoreTest, ImportAppliesNoCapUntilTheNextAdd) {
    QList<LearningRecord> guest, account;
    for (int i = 0; i < 400; ++i) guest.append(record(idOf(i), i));
    for (int i = 400; i < 700; ++i) account.append(record(idOf(i), i));
    writeFile(guestFile(), history::encode(guest));
    writeFile(accountFile(), history::encode(account));
    const auto history = store();
    history->switchToAccount(kAccount);
    EXPECT_EQ(history->importLegacyToCurrentAccount(), 400);
    EXPECT_EQ(history->records().size(), 700);
    history->add(QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("explain"));
    EXPECT_EQ(history->records().size(), 500);
    EXPECT_EQ(history->records().constLast().id, QUuid::fromString(idOf(201)));
}

TEST_F(HistoryStoreTest, LessonTranscriptAndLabel) {
    const auto history = store();
    history->switchToAccount(kAccount);

    meridcore::TeacherLearningSession empty = lesson();
    EXPECT_FALSE(history->saveMeridLesson(empty, false));
    empty.latestClassroomResponse = QStringLiteral(" \n\u3000");
    EXPECT_FALSE(history->saveMeridLesson(empty, false));
    EXPECT_FALSE(QFileInfo::exists(accountFile()));

    meridcore::TeacherLearningSession turns = lesson(QStringLiteral("  会话标题 "));
    turns.courseName = QStringLiteral("   ");
    turns.topicName = QString();
    for (int i = 0; i < 20; ++i)
        turns.turns.append(meridcore::TeacherTurn(i % 2 ? meridcore::TeacherTurn::Role::assistant
                                                        : meridcore::TeacherTurn::Role::user,
                                                  QString::number(i)));
    ASSERT_TRUE(history->saveMeridLesson(turns, false));
    const LearningRecord saved = history->records()[0];
    EXPECT_EQ(saved.id, turns.id);
    EXPECT_EQ(saved.mode, QStringLiteral("MERID"));
    EXPECT_EQ(saved.source, QStringLiteral("  会话标题 "));
    EXPECT_EQ(saved.answer, QStringLiteral("学生: 12\n\n老师: 13\n\n学生: 14\n\n老师: 15\n\n学生: 16\n\n老师: 17\n\n"
                                           "学生: 18\n\n老师: 19"));

    meridcore::TeacherLearningSession quiz = lesson();
    quiz.courseName = QStringLiteral(" 物理 ");
    quiz.topicName = QStringLiteral("\n力学");
    quiz.latestClassroomResponse = QStringLiteral("最新讲解");
    meridcore::MeridQuizRecord answered(QUuid::createUuid(), QStringLiteral("何为力？"), QString(), QString());
    answered.answer = QStringLiteral("推或拉");
    answered.feedback = QStringLiteral("正确");
    meridcore::MeridQuizRecord open(QUuid::createUuid(), QStringLiteral("单位？"), QString(), QString());
    open.answer = QString();
    quiz.quizRecords = QList<meridcore::MeridQuizRecord>{answered, open};
    quiz.turns.append(meridcore::TeacherTurn(meridcore::TeacherTurn::Role::user, QStringLiteral("unused")));
    ASSERT_TRUE(history->saveMeridLesson(quiz, false));
    EXPECT_EQ(history->records()[0].source, QStringLiteral("物理 / 力学"));
    EXPECT_EQ(history->records()[0].answer,
              QStringLiteral("最新讲解\n\nQ: 何为力？\n\n学生答案: 推或拉\n\n真实批改: 正确\n\nQ: 单位？"));

    meridcore::TeacherLearningSession longOne = lesson();
    longOne.latestClassroomResponse = QString(99998, u'x') + QStringLiteral("e\u0301");
    ASSERT_TRUE(history->saveMeridLesson(longOne, false));
    EXPECT_EQ(base::text::graphemeCount(history->records()[0].answer), 80000);
    EXPECT_EQ(read(accountFile()).size(), 3);
}

TEST_F(HistoryStoreTest, SavingALessonAgainReplacesItsRecord) {
    const auto history = store();
    history->switchToAccount(kAccount);
    meridcore::TeacherLearningSession session = lesson();
    session.latestClassroomResponse = QStringLiteral("第一次");
    ASSERT_TRUE(history->saveMeridLesson(session, true));
    const base::Date firstSaved = history->records()[0].createdAt;
    history->add(QStringLiteral("later"), QStringLiteral("a"), QStringLiteral("explain"));

    session.latestClassroomResponse = QStringLiteral("第二次");
    session.courseName = QStringLiteral("课程");
    ASSERT_TRUE(history->saveMeridLesson(session, false));
    ASSERT_EQ(history->records().size(), 2);
    // Sorted by creation: the lesson keeps its first time, so the later study answer stays first.
    EXPECT_EQ(history->records()[0].source, QStringLiteral("later"));
    const LearningRecord saved = history->records()[1];
    EXPECT_EQ(saved.createdAt, firstSaved);
    EXPECT_EQ(saved.answer, QStringLiteral("第二次"));
    EXPECT_EQ(saved.source, QStringLiteral("课程"));
    EXPECT_TRUE(saved.isNote);
}

// A history file that cannot be used is moved aside unchanged before the next write, never replaced.
TEST_F(HistoryStoreTest, UnreadableFileIsMovedAsideBeforeTheNextWrite) {
    QByteArray missingMember = history::encode({record(idOf(1), 5), record(idOf(2), 4)});
    missingMember.replace(R"(,"isNote":false}])", "}]");
    QByteArray oversized = history::encode({record(idOf(1), 5)});
    oversized.insert(oversized.indexOf(R"("answer":"a)") + 10,
                     QByteArray(history::maxFileBytes + 1 - oversized.size(), 'p'));
    ASSERT_EQ(oversized.size(), history::maxFileBytes + 1);

    for (const QByteArray& bad : {QByteArray("[{\"id\":"), missingMember, oversized, QByteArray()}) {
        QDir(dir_.path()).removeRecursively();
        writeFile(accountFile(), bad);
        const auto history = store();
        history->switchToAccount(kAccount);
        EXPECT_TRUE(history->records().isEmpty());
        EXPECT_FALSE(history->statusMessage().isEmpty());
        EXPECT_EQ(contents(accountFile()), bad);  // loading and switching leave it alone

        history->add(QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("explain"));
        const QString folder = QFileInfo(accountFile()).absolutePath();
        const QStringList aside =
            QDir(folder).entryList({QStringLiteral("learning-history.json.unreadable-*")}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(contents(folder + u'/' + aside[0]), bad);
        EXPECT_EQ(fileMode(folder + u'/' + aside[0]), 0600);
        EXPECT_TRUE(history->statusMessage().contains(aside[0]));
        ASSERT_EQ(read(accountFile()).size(), 1);
        EXPECT_EQ(history->records().size(), 1);

        // Once moved aside, later writes go on normally and move nothing else.
        history->add(QStringLiteral("next"), QStringLiteral("a"), QStringLiteral("explain"));
        EXPECT_EQ(read(accountFile()).size(), 2);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    }
}

// A folder in the place of the history file is moved aside as it is, its permissions kept.
TEST_F(HistoryStoreTest, FolderInThePlaceOfTheFileIsMovedAsideIntact) {
    writeFile(accountFile() + QStringLiteral("/kept.txt"), "kept");
    ASSERT_TRUE(QFile::setPermissions(accountFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                         QFileDevice::ExeGroup));
    const auto history = store();
    history->switchToAccount(kAccount);
    EXPECT_FALSE(history->statusMessage().isEmpty());
    history->add(QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("explain"));
    ASSERT_EQ(read(accountFile()).size(), 1);
    const QString folder = QFileInfo(accountFile()).absolutePath();
    const QStringList aside =
        QDir(folder).entryList({QStringLiteral("learning-history.json.unreadable-*")}, QDir::Dirs);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(fileMode(folder + u'/' + aside[0]), 0750);
    EXPECT_EQ(contents(folder + u'/' + aside[0] + QStringLiteral("/kept.txt")), QByteArray("kept"));
}

TEST_F(HistoryStoreTest, FileSizeLimitOnLoadingAndWriting) {
    QByteArray exact = history::encode({record(idOf(1), 5)});
    exact.insert(exact.indexOf(R"("answer":"a)") + 10, QByteArray(history::maxFileBytes - exact.size(), 'p'));
    ASSERT_EQ(exact.size(), history::maxFileBytes);
    writeFile(accountFile(), exact);
    const auto history = store();
    history->switchToAccount(kAccount);
    ASSERT_EQ(history->records().size(), 1);
    EXPECT_TRUE(history->statusMessage().isEmpty());

    // One more record would pass the limit: refused, nothing changes, the user is told.
    QSignalSpy changed(history.get(), &HistoryStore::recordsChanged);
    history->add(QStringLiteral("one more"), QStringLiteral("a"), QStringLiteral("explain"));
    EXPECT_EQ(history->records().size(), 1);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(history->statusMessage(), velquin::HistoryError(velquin::HistoryError::Kind::tooLarge).message());
    EXPECT_EQ(contents(accountFile()), exact);
    meridcore::TeacherLearningSession session = lesson();
    session.latestClassroomResponse = QStringLiteral("讲解");
    EXPECT_FALSE(history->saveMeridLesson(session, false));
    EXPECT_EQ(history->records().size(), 1);

    // A write that shrinks the file is stored and ends the notice.
    history->remove(history->records()[0]);
    EXPECT_TRUE(history->statusMessage().isEmpty());
    EXPECT_EQ(contents(accountFile()), QByteArray("[]"));
}

TEST_F(HistoryStoreTest, ImportThatWouldPassTheLimitIsRefused) {
    QByteArray big = history::encode({record(idOf(1), 5)});
    big.insert(big.indexOf(R"("answer":"a)") + 10, QByteArray(history::maxFileBytes - big.size() - 10, 'p'));
    writeFile(guestFile(), big);
    writeFile(accountFile(), history::encode({record(idOf(2), 5)}));
    const QByteArray accountBytes = contents(accountFile());
    const auto history = store();
    history->switchToAccount(kAccount);
    EXPECT_THROW(history->importLegacyToCurrentAccount(), velquin::HistoryError);
    EXPECT_EQ(history->records().size(), 1);
    EXPECT_EQ(contents(accountFile()), accountBytes);
}

// Tests run as root, where folder permissions stop nothing: the account folder is replaced by a
// regular file, which makes every write fail.
TEST_F(HistoryStoreTest, FailedWritesAreReportedAndRolledBack) {
    writeFile(accountFile(), history::encode({record(idOf(1), 9), record(idOf(2), 8)}));
    const auto history = store();
    history->switchToAccount(kAccount);
    const QString folder = QFileInfo(accountFile()).absolutePath();
    ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".moved")));
    writeFile(folder, "not a folder");

    QSignalSpy changed(history.get(), &HistoryStore::recordsChanged);
    const auto expectUnchanged = [&](const char* what) {
        SCOPED_TRACE(what);
        ASSERT_EQ(history->records().size(), 2);
        EXPECT_EQ(history->records()[0].id, QUuid::fromString(idOf(1)));
        EXPECT_FALSE(history->records()[0].isNote);
        EXPECT_TRUE(history->statusMessage().startsWith(
            velquin::HistoryError(velquin::HistoryError::Kind::writeFailed).message()));
        EXPECT_EQ(changed.count(), 0);
    };
    history->add(QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("explain"));
    expectUnchanged("add");
    history->toggleNote(history->records()[0]);
    expectUnchanged("toggleNote");
    history->remove(history->records()[0]);
    expectUnchanged("remove");
    history->deleteAll();
    expectUnchanged("deleteAll");
    meridcore::TeacherLearningSession session = lesson();
    session.latestClassroomResponse = QStringLiteral("讲解");
    EXPECT_FALSE(history->saveMeridLesson(session, false));
    expectUnchanged("saveMeridLesson");
    writeFile(guestFile(), history::encode({record(idOf(3), 1)}));
    EXPECT_THROW(history->importLegacyToCurrentAccount(), velquin::HistoryError);
    expectUnchanged("import");
    EXPECT_EQ(contents(folder), QByteArray("not a folder"));

    // Once writing works again, the next change is stored and the notice goes away.
    ASSERT_TRUE(QFile::remove(folder));
    history->add(QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("explain"));
    EXPECT_EQ(history->records().size(), 3);
    EXPECT_EQ(read(accountFile()).size(), 3);
    EXPECT_TRUE(history->statusMessage().isEmpty());
}

TEST_F(HistoryStoreTest, WithoutADataFolderNothingIsStored) {
    const QByteArray home = qgetenv("HOME");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qunsetenv("HOME");
    qunsetenv("XDG_DATA_HOME");
    const QString previousDirectory = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    {
        HistoryStore history;
        EXPECT_FALSE(history.hasActiveFile());
        EXPECT_FALSE(history.statusMessage().isEmpty());
        history.add(QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("explain"));
        history.switchToAccount(kAccount);
        EXPECT_FALSE(history.hasActiveFile());
        EXPECT_FALSE(history.statusMessage().isEmpty());
        history.add(QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("explain"));
        EXPECT_TRUE(history.records().isEmpty());
    }
    QDir::setCurrent(previousDirectory);
    qputenv("HOME", home);
    qputenv("XDG_DATA_HOME", dataHome);
    EXPECT_TRUE(files().isEmpty());
}

// Receivers of the store's signals may change it (switch scope, add): the signals go out only once
// the write is done and the store is consistent, so a write never lands in another scope's file
// and a nested change is not undone.
TEST_F(HistoryStoreTest, ReceiversThatChangeTheStoreDoNotDisturbAWrite) {
    writeFile(accountFile(), "not json");
    writeFile(accountFile(kOther), history::encode({record(idOf(7), 70), record(idOf(8), 60)}));
    const QByteArray otherBytes = contents(accountFile(kOther));
    const auto history = store();
    history->switchToAccount(kAccount);
    bool switched = false;
    auto switcher = QObject::connect(history.get(), &HistoryStore::statusMessageChanged, [&] {
        if (switched) return;
        switched = true;
        history->switchToAccount(kOther);
    });
    history->add(QStringLiteral("mine"), QStringLiteral("a"), QStringLiteral("explain"));
    QObject::disconnect(switcher);
    EXPECT_TRUE(switched);
    EXPECT_EQ(contents(accountFile(kOther)), otherBytes);
    const QList<LearningRecord> mine = read(accountFile());
    ASSERT_EQ(mine.size(), 1);
    EXPECT_EQ(mine[0].source, QStringLiteral("mine"));
    EXPECT_EQ(history->records().size(), 2);  // the other account, as the receiver asked

    // After a failed write, the next stored change clears the notice; a receiver that adds then
    // builds on that change.
    const QString folder = QFileInfo(accountFile(kOther)).absolutePath();
    ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".moved")));
    writeFile(folder, "not a folder");
    history->add(QStringLiteral("lost"), QStringLiteral("a"), QStringLiteral("explain"));
    ASSERT_FALSE(history->statusMessage().isEmpty());
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(folder + QStringLiteral(".moved"), folder));
    bool added = false;
    auto adder = QObject::connect(history.get(), &HistoryStore::statusMessageChanged, [&] {
        if (added) return;
        added = true;
        history->add(QStringLiteral("nested"), QStringLiteral("a"), QStringLiteral("explain"));
    });
    history->add(QStringLiteral("outer"), QStringLiteral("a"), QStringLiteral("explain"));
    QObject::disconnect(adder);
    ASSERT_TRUE(added);
    QStringList inMemory, onDisk;
    for (const LearningRecord& r : history->records()) inMemory.append(r.source);
    for (const LearningRecord& r : read(accountFile(kOther))) onDisk.append(r.source);
    EXPECT_EQ(inMemory.mid(0, 2), (QStringList{QStringLiteral("nested"), QStringLiteral("outer")}));
    EXPECT_EQ(onDisk, inMemory);
}

// With records dated after now (a clock set back since they were made), a new lesson sorts last;
// the cap then drops the oldest other record, not the lesson that the save reports as stored.
TEST_F(HistoryStoreTest, LessonDatedBeforeAllOthersSurvivesTheCap) {
    const double ahead = base::Date::now().secondsSinceReference + 86400;
    QList<LearningRecord> full;
    for (int i = 0; i < 500; ++i) full.append(record(idOf(i), ahead + 500 - i));
    writeFile(accountFile(), history::encode(full));
    const auto history = store();
    history->switchToAccount(kAccount);
    meridcore::TeacherLearningSession session = lesson();
    session.latestClassroomResponse = QStringLiteral("讲解");
    ASSERT_TRUE(history->saveMeridLesson(session, false));
    ASSERT_EQ(history->records().size(), 500);
    EXPECT_EQ(history->records().constLast().id, session.id);
    EXPECT_EQ(history->records().at(498).id, QUuid::fromString(idOf(498)));
    const QList<LearningRecord> stored = read(accountFile());
    ASSERT_EQ(stored.size(), 500);
    EXPECT_EQ(stored.constLast().id, session.id);
}

// A named pipe in the place of the history file is not opened (that would block until something
// writes to it): it counts as unreadable and is moved aside before the next write.
TEST_F(HistoryStoreTest, NamedPipeInThePlaceOfTheFileDoesNotBlock) {
    QDir().mkpath(QFileInfo(accountFile()).absolutePath());
    const QByteArray pipe = QFile::encodeName(accountFile());
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    const auto history = store();
    auto switching = std::async(std::launch::async, [&] { history->switchToAccount(kAccount); });
    if (switching.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        const int writer = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        switching.wait();
        FAIL() << "loading blocked on the pipe";
    }
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_FALSE(history->statusMessage().isEmpty());
    history->add(QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("explain"));
    EXPECT_EQ(read(accountFile()).size(), 1);
    const QStringList aside = QDir(QFileInfo(accountFile()).absolutePath())
                                  .entryList({QStringLiteral("learning-history.json.unreadable-*")}, QDir::System);
    EXPECT_EQ(aside.size(), 1);
}

// A file-size limit (a full disk alike) during a write: the stored history stays as it was, and an
// unreadable file moved aside before the write keeps its bytes.
TEST_F(HistoryStoreTest, SizeLimitDuringAWriteKeepsTheStoredHistory) {
    QList<LearningRecord> three = {record(idOf(1), 9), record(idOf(2), 8), record(idOf(3), 7)};
    writeFile(accountFile(), history::encode(three));
    writeFile(accountFile(kOther), "[{\"broken\"");
    const QByteArray accountBytes = contents(accountFile());
    const auto history = store();
    history->switchToAccount(kAccount);

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = accountBytes.size() + 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    history->add(QStringLiteral("s"), QString(4096, u'答'), QStringLiteral("explain"));
    const QString afterAdd = history->statusMessage();
    const qsizetype recordsAfterAdd = history->records().size();
    history->switchToAccount(kOther);
    history->add(QStringLiteral("s"), QString(4096, u'答'), QStringLiteral("explain"));
    const QString afterOtherAdd = history->statusMessage();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    const QString writeFailed = velquin::HistoryError(velquin::HistoryError::Kind::writeFailed).message();
    EXPECT_TRUE(afterAdd.startsWith(writeFailed)) << afterAdd.toStdString();
    EXPECT_EQ(recordsAfterAdd, 3);
    EXPECT_EQ(contents(accountFile()), accountBytes);
    // The unreadable file was moved aside intact; the notice says so and that the change failed.
    const QString folder = QFileInfo(accountFile(kOther)).absolutePath();
    const QStringList aside = QDir(folder).entryList({QStringLiteral("learning-history.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(contents(folder + u'/' + aside[0]), QByteArray("[{\"broken\""));
    EXPECT_TRUE(afterOtherAdd.contains(aside[0]));
    EXPECT_TRUE(afterOtherAdd.contains(writeFailed));
    EXPECT_TRUE(history->records().isEmpty());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), aside);
}

// Earlier moved-aside files are never replaced: a name already taken gets a counter.
TEST_F(HistoryStoreTest, MovedAsideNameThatIsTakenGetsACounter) {
    writeFile(accountFile(), "old unreadable");
    const auto history = store();
    history->switchToAccount(kAccount);
    writeFile(accountFile(), "newer unreadable");
    QStringList taken;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int second = 0; second < 3; ++second) {
        const QString name = accountFile() + QStringLiteral(".unreadable-") +
                             now.addSecs(second).toString(QStringLiteral("yyyyMMdd-HHmmss"));
        writeFile(name, "earlier copy");
        taken.append(name);
    }
    history->add(QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("explain"));
    for (const QString& name : taken) EXPECT_EQ(contents(name), QByteArray("earlier copy"));
    const QStringList aside = QDir(QFileInfo(accountFile()).absolutePath())
                                  .entryList({QStringLiteral("learning-history.json.unreadable-*-2")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(contents(QFileInfo(accountFile()).absolutePath() + u'/' + aside[0]), QByteArray("newer unreadable"));
    EXPECT_EQ(read(accountFile()).size(), 1);
}
