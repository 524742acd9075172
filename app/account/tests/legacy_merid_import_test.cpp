#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/account/account_data_scope.h"
#include "app/account/tests/account_test_doubles.h"
#include "app/account/tests/history_test_support.h"
#include "tutor-engine/teacher_learning_store.h"

using namespace velquin;
using accounttest::AccountHarness;
using meridcore::TeacherLearningSession;
using meridcore::TeacherLearningStore;

namespace {

TeacherLearningSession session(const QString& title, double updatedAt, QUuid id = QUuid::createUuid()) {
    return TeacherLearningSession(0, {.id = id, .title = title, .date = base::Date{updatedAt}});
}

QStringList titles(const QList<TeacherLearningSession>& sessions) {
    QStringList list;
    for (const auto& s : sessions) list.append(s.title);
    return list;
}

}  // namespace

TEST(LegacyMeridImport, CopiesOnlyMissingSessionsAndNeverTouchesTheOlderFile) {
    AccountHarness h;
    const QString legacyPath = *AccountDataScope::legacyMeridSessions(h.dataFolder());
    const QString accountPath = *AccountDataScope::meridSessionsURL(QStringLiteral("account_A"), h.dataFolder());
    const QUuid shared = QUuid::createUuid();
    TeacherLearningStore(legacyPath)
        .save({session(QStringLiteral("old 1"), 100), session(QStringLiteral("old shared"), 300, shared),
               session(QStringLiteral("old 2"), 500)});
    TeacherLearningStore(accountPath)
        .save({session(QStringLiteral("mine"), 400), session(QStringLiteral("mine shared"), 200, shared)});
    const QByteArray legacyBytes = historytest::contents(legacyPath);

    AccountSession& s = h.confirmed(QStringLiteral("account_A"));
    QSignalSpy imported(&s, &AccountSession::meridSessionsImported);
    s.importLegacyMeridHistory();
    EXPECT_EQ(s.feedback(), QStringLiteral("已复制 2 条 MERID 会话。旧版原件仍保留。"));
    EXPECT_EQ(titles(TeacherLearningStore(accountPath).load()),
              (QStringList{QStringLiteral("old 2"), QStringLiteral("mine"), QStringLiteral("mine shared"),
                           QStringLiteral("old 1")}));
    ASSERT_EQ(imported.size(), 1);
    EXPECT_EQ(imported.first().first().toString(), QStringLiteral("account_A"));

    // Again: nothing new, no reload asked for; the older file's bytes never changed.
    s.importLegacyMeridHistory();
    EXPECT_EQ(s.feedback(), QStringLiteral("已复制 0 条 MERID 会话。旧版原件仍保留。"));
    EXPECT_EQ(imported.size(), 1);
    EXPECT_EQ(TeacherLearningStore(accountPath).load().size(), 4);
    EXPECT_EQ(historytest::contents(legacyPath), legacyBytes);
}

TEST(LegacyMeridImport, RefusesWithoutAnAccountAndKeepsUnreadableFiles) {
    AccountHarness h(QStringLiteral("token-1"));
    const QString legacyPath = *AccountDataScope::legacyMeridSessions(h.dataFolder());
    const QString accountPath = *AccountDataScope::meridSessionsURL(QStringLiteral("account_A"), h.dataFolder());

    // Pending: no confirmed account yet.
    h.session().importLegacyMeridHistory();
    EXPECT_EQ(h.session().feedback(), QStringLiteral("请先验证并登录账户"));

    // No older file: the account file is neither read nor made.
    h.stub.enqueue(testsupport::HostedStub::accountPath, accounttest::account(QStringLiteral("account_A")));
    accounttest::run(h.session().refresh());
    h.session().importLegacyMeridHistory();
    EXPECT_EQ(h.session().feedback(), QStringLiteral("没有需要导入的旧 MERID 会话"));
    EXPECT_FALSE(QFileInfo::exists(accountPath));

    // An account file that does not decode stays as it is.
    TeacherLearningStore(legacyPath).save({session(QStringLiteral("old"), 100)});
    historytest::writeFile(accountPath, "{\"formatVersion\":1,\"sessions\":[{]}");
    h.session().importLegacyMeridHistory();
    EXPECT_EQ(h.session().feedback(),
              QStringLiteral("MERID 旧历史导入失败：历史文件无法解码。为保护原数据，软件不会覆盖这个文件。"));
    EXPECT_EQ(historytest::contents(accountPath), "{\"formatVersion\":1,\"sessions\":[{]}");

    // An older file that does not decode is reported the same way and left alone.
    historytest::writeFile(legacyPath, "not json");
    h.session().importLegacyMeridHistory();
    EXPECT_EQ(h.session().feedback(),
              QStringLiteral("MERID 旧历史导入失败：历史文件无法解码。为保护原数据，软件不会覆盖这个文件。"));
    EXPECT_EQ(historytest::contents(legacyPath), "not json");
}
