#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/account/account_data_scope.h"

using velquin::AccountDataScope;

namespace {

// Gives HOME and XDG_DATA_HOME the values of one case (null: unset) and restores them afterwards.
struct DataHome {
    DataHome(const char* home, const char* dataHome) {
        home ? qputenv("HOME", home) : qunsetenv("HOME");
        dataHome ? qputenv("XDG_DATA_HOME", dataHome) : qunsetenv("XDG_DATA_HOME");
    }
    ~DataHome() {
        qputenv("HOME", savedHome);
        qputenv("XDG_DATA_HOME", savedDataHome);
    }
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
};

}  // namespace

TEST(AccountDataScope, AccountIdRuleCoversTheWholeText) {
    EXPECT_TRUE(AccountDataScope::validAccountID(QStringLiteral("abcd1234")));
    EXPECT_FALSE(AccountDataScope::validAccountID(QStringLiteral("abc1234")));
    EXPECT_TRUE(AccountDataScope::validAccountID(QString(128, u'a')));
    EXPECT_FALSE(AccountDataScope::validAccountID(QString(129, u'a')));
    EXPECT_TRUE(AccountDataScope::validAccountID(QStringLiteral("Ab_-09zZ")));
    for (const QString& bad :
         {QString(), QStringLiteral("abcd.1234"), QStringLiteral("abcd 1234"), QStringLiteral("abcd/1234"),
          QStringLiteral("abcdé1234"), QStringLiteral("abcd1234\n"), QStringLiteral("\nabcd1234"),
          QStringLiteral("../abcd1234"), QStringLiteral("abcd１２３４")}) {
        EXPECT_FALSE(AccountDataScope::validAccountID(bad)) << bad.toStdString();
        EXPECT_FALSE(AccountDataScope::accountDirectory(bad, QStringLiteral("/data")));
        EXPECT_FALSE(AccountDataScope::learningHistoryURL(bad, QStringLiteral("/data")));
        EXPECT_FALSE(AccountDataScope::meridSessionsURL(bad, QStringLiteral("/data")));
    }
}

TEST(AccountDataScope, LocationsUnderTheDataFolder) {
    const QString data = QStringLiteral("/data");
    EXPECT_EQ(AccountDataScope::root(data), QStringLiteral("/data/com.orvel.formac"));
    EXPECT_EQ(AccountDataScope::accountDirectory(QStringLiteral("AbCd_-12"), data),
              QStringLiteral("/data/com.orvel.formac/users/u_AbCd_-12"));
    EXPECT_EQ(AccountDataScope::learningHistoryURL(QStringLiteral("AbCd_-12"), data),
              QStringLiteral("/data/com.orvel.formac/users/u_AbCd_-12/learning-history.json"));
    EXPECT_EQ(AccountDataScope::meridSessionsURL(QStringLiteral("AbCd_-12"), data),
              QStringLiteral("/data/com.orvel.formac/users/u_AbCd_-12/teacher_sessions.json"));
    EXPECT_EQ(AccountDataScope::legacyLearningHistory(data),
              QStringLiteral("/data/com.orvel.formac/learning-history.json"));
    EXPECT_EQ(AccountDataScope::legacyMeridSessions(data),
              QStringLiteral("/data/com.orvel.formac/teacher_sessions.json"));
    // The test main points XDG_DATA_HOME at a private folder.
    EXPECT_EQ(AccountDataScope::root(),
              QDir::cleanPath(qEnvironmentVariable("XDG_DATA_HOME")) + QStringLiteral("/com.orvel.formac"));
    // A relative folder is never used.
    EXPECT_FALSE(AccountDataScope::root(QStringLiteral("relative/data")));
    EXPECT_FALSE(AccountDataScope::legacyLearningHistory(QStringLiteral("relative")));
}

TEST(AccountDataScope, NoHomeMeansNoDataFolder) {
    {
        const DataHome environment(nullptr, nullptr);
        EXPECT_FALSE(AccountDataScope::dataLocation());
        EXPECT_FALSE(AccountDataScope::legacyLearningHistory());
        EXPECT_FALSE(AccountDataScope::learningHistoryURL(QStringLiteral("abcd1234")));
    }
    {
        const DataHome environment(nullptr, "relative/share");
        EXPECT_FALSE(AccountDataScope::root());
    }
    {
        // An absolute XDG_DATA_HOME is a data folder even without HOME.
        const DataHome environment(nullptr, "/srv/share");
        EXPECT_EQ(AccountDataScope::root(), QStringLiteral("/srv/share/com.orvel.formac"));
    }
    EXPECT_TRUE(AccountDataScope::root());
}
