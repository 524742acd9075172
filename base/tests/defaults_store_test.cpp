#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "base/defaults_store.h"
#include "tests/support/file_mode.h"

using base::DefaultsStore;

TEST(DefaultsStore, AbsentDiffersFromAnotherType) {
    QTemporaryDir dir;
    DefaultsStore store(dir.filePath(QStringLiteral("d.json")));
    EXPECT_FALSE(store.contains(QStringLiteral("k")));
    store.setString(QStringLiteral("k"), QStringLiteral("5"));
    EXPECT_TRUE(store.contains(QStringLiteral("k")));
    EXPECT_EQ(store.type(QStringLiteral("k")), DefaultsStore::Type::string);
    EXPECT_EQ(store.integerValue(QStringLiteral("k")), std::nullopt);
    EXPECT_EQ(store.integer(QStringLiteral("k"), 7), 7);
    store.setInteger(QStringLiteral("k"), 5);
    EXPECT_EQ(store.boolValue(QStringLiteral("k")), std::nullopt);
    EXPECT_EQ(store.doubleValue(QStringLiteral("k")), 5.0);
    store.remove(QStringLiteral("k"));
    EXPECT_EQ(store.type(QStringLiteral("k")), std::nullopt);
}

TEST(DefaultsStore, KeepsTypesAcrossProcessesInAPrivateFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/com.orvel.formac/defaults.json"));
    ASSERT_EQ(QProcess::execute(QStringLiteral(DEFAULTS_WRITER), {path}), 0);

    DefaultsStore store(path);
    EXPECT_EQ(store.boolValue(QStringLiteral("flag")), true);
    EXPECT_EQ(store.integerValue(QStringLiteral("count")), 400);
    EXPECT_EQ(store.type(QStringLiteral("ratio")), DefaultsStore::Type::real);
    EXPECT_EQ(store.integerValue(QStringLiteral("ratio")), std::nullopt);
    EXPECT_EQ(store.stringValue(QStringLiteral("name")), QStringLiteral("Orvel AI"));
    EXPECT_EQ(testsupport::fileMode(path), 0600);
    EXPECT_EQ(testsupport::fileMode(QFileInfo(path).absolutePath()), 0700);

    // A change made here is seen by another process, and a change there is seen here.
    store.setBool(QStringLiteral("flag"), false);
    QProcess reader;
    reader.start(QStringLiteral(DEFAULTS_WRITER), {path, QStringLiteral("--read")});
    ASSERT_TRUE(reader.waitForFinished());
    EXPECT_EQ(reader.readAllStandardOutput(), QByteArray("flag:false\ncount:400\n"));
    DefaultsStore other(path);
    other.setInteger(QStringLiteral("count"), 12);
    EXPECT_EQ(store.integerValue(QStringLiteral("count")), 12);
}

TEST(DefaultsStore, NotifiesEveryChange) {
    QTemporaryDir dir;
    DefaultsStore store(dir.filePath(QStringLiteral("d.json")));
    QSignalSpy spy(&store, &DefaultsStore::changed);
    store.setBool(QStringLiteral("a"), true);
    store.setBool(QStringLiteral("a"), true);
    store.remove(QStringLiteral("a"));
    store.remove(QStringLiteral("a"));  // nothing to remove: no notification
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("a"));
}

TEST(DefaultsStore, UnreadableFileReadsAsEmptyAndMemoryStoreWorks) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.json"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"a":{"type":"int","value":"not a number"},"b":{"type":"bool","value":true},"c":3,)"
               R"("d":{"type":"int","value":0.25},"e":{"type":"int","value":1e300},"f":{"type":"int","value":-3.0},)"
               R"("g":{"type":"int","value":9007199254740993}})");
    file.close();
    DefaultsStore store(path);
    // A value that does not fit its type is another type: nothing to read.
    EXPECT_FALSE(store.contains(QStringLiteral("a")));
    EXPECT_FALSE(store.contains(QStringLiteral("c")));
    EXPECT_EQ(store.integerValue(QStringLiteral("d")), std::nullopt);
    EXPECT_EQ(store.integerValue(QStringLiteral("e")), std::nullopt);
    EXPECT_EQ(store.integerValue(QStringLiteral("f")), -3);
    EXPECT_EQ(store.integerValue(QStringLiteral("g")), 9007199254740993);
    EXPECT_EQ(store.boolValue(QStringLiteral("b")), true);

    DefaultsStore memory(QString{});
    memory.setDate(QStringLiteral("when"), base::Date{12.5});
    EXPECT_EQ(memory.dateValue(QStringLiteral("when")), base::Date{12.5});
    EXPECT_FALSE(memory.lastWriteFailed());
}

TEST(DefaultsStore, StandardStoreLivesInTheConfigFolder) {
    // The test main points XDG_CONFIG_HOME at a private folder.
    EXPECT_EQ(DefaultsStore::standard().filePath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/com.orvel.formac/defaults.json"));
    EXPECT_EQ(&DefaultsStore::standard(), &DefaultsStore::standard());
}
