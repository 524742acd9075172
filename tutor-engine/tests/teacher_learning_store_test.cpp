#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/stat.h>

#include "base/files.h"
#include "base/json.h"
#include "tutor-engine/teacher_learning_store.h"
#include "tutor-engine/teacher_workspace_error.h"

using meridcore::TeacherLearningSession;
using meridcore::TeacherLearningStore;
using meridcore::TeacherMaterial;
using meridcore::TeacherWorkspaceError;
using Case = TeacherWorkspaceError::Case;

namespace {

unsigned modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 0777;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

TeacherLearningSession session(double updatedAt, const QString& title = QStringLiteral("s")) {
    TeacherLearningSession::Options options;
    options.title = title;
    options.date = base::Date{updatedAt};
    return TeacherLearningSession(0, options);
}

template <typename F>
std::optional<Case> workspaceErrorOf(F&& body) {
    try {
        body();
    } catch (const TeacherWorkspaceError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

class TeacherLearningStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(TeacherLearningStoreTest, EmptySaveWritesTheBareArchivePrivately) {
    const QString file = path(QStringLiteral("a/b/teacher_sessions.json"));
    const TeacherLearningStore store(file);
    EXPECT_EQ(store.url(), file);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("a"))));  // building touches nothing
    EXPECT_TRUE(store.load().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(file));

    store.save({});
    EXPECT_EQ(contents(file), QByteArray(R"({"formatVersion":1,"sessions":[]})"));
    EXPECT_EQ(modeOf(path(QStringLiteral("a"))), 0700u);
    EXPECT_EQ(modeOf(path(QStringLiteral("a/b"))), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(QDir(path(QStringLiteral("a/b"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("teacher_sessions.json")});

    // An existing file of another mode ends 0600 too.
    QFile::setPermissions(
        file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    store.save({session(5)});
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(TeacherLearningStoreTest, SessionsRoundTripNewestFirstInStoredForms) {
    TeacherLearningSession withMaterial = session(700000000.123456789, QStringLiteral("资料"));
    withMaterial.material = TeacherMaterial(QStringLiteral("讲义"), QStringLiteral("[第 1 页] 内容"), QStringLiteral("note"));
    withMaterial.pausedAt = base::Date{-12.5};
    const TeacherLearningSession older = session(100, QStringLiteral("older"));
    const TeacherLearningSession tieA = session(300, QStringLiteral("tie A"));
    const TeacherLearningSession tieB = session(300, QStringLiteral("tie B"));

    const TeacherLearningStore store(path(QStringLiteral("teacher_sessions.json")));
    store.save({older, tieA, withMaterial, tieB});
    const QList<TeacherLearningSession> loaded = store.load();
    ASSERT_EQ(loaded.size(), 4);
    EXPECT_EQ(loaded[0], withMaterial);  // the date with all its digits, the material, the optional date
    EXPECT_EQ(loaded[1].title, QStringLiteral("tie A"));
    EXPECT_EQ(loaded[2].title, QStringLiteral("tie B"));
    EXPECT_EQ(loaded[3], older);

    const QByteArray bytes = contents(store.url());
    EXPECT_TRUE(bytes.contains(base::json::uuidString(withMaterial.id).toUtf8()));
    EXPECT_FALSE(bytes.contains(withMaterial.id.toString(QUuid::WithoutBraces).toUtf8()));
    EXPECT_FALSE(bytes.contains('\n'));
    EXPECT_TRUE(bytes.startsWith(R"({"formatVersion":1,"sessions":[{"chunkIndex":0,"createdAt":700000000.1234568)"));
}

TEST_F(TeacherLearningStoreTest, LoadSizeLimitAcceptsExactly25MiB) {
    const QString file = path(QStringLiteral("teacher_sessions.json"));
    QByteArray archive = R"({"formatVersion":1,"sessions":[]})";
    archive += QByteArray(TeacherLearningStore::maxBytes - archive.size(), ' ');
    write(file, archive);
    ASSERT_EQ(QFileInfo(file).size(), TeacherLearningStore::maxBytes);
    const TeacherLearningStore store(file);
    EXPECT_TRUE(store.load().isEmpty());

    write(file, archive + ' ');
    EXPECT_EQ(workspaceErrorOf([&] { store.load(); }), Case::corruptHistory);
    EXPECT_EQ(QFileInfo(file).size(), TeacherLearningStore::maxBytes + 1);
}

TEST_F(TeacherLearningStoreTest, UndecodableFilesAreRefusedAndNeverOverwritten) {
    const QString file = path(QStringLiteral("teacher_sessions.json"));
    const TeacherLearningStore store(file);
    QJsonObject badSession = session(1).toJson();
    badSession.remove(QStringLiteral("draft"));
    const QList<QByteArray> corrupt{
        "",
        "[]",
        R"({"formatVersion":1})",
        R"({"sessions":[]})",
        R"({"formatVersion":2,"sessions":[]})",
        R"({"formatVersion":"1","sessions":[]})",
        R"({"formatVersion":1,"sessions":{}})",
        R"({"formatVersion":1,"sessions":[1]})",
        "{\"formatVersion\":1,\"sessions\":[" + QJsonDocument(badSession).toJson(QJsonDocument::Compact) + "]}",
    };
    for (const QByteArray& bytes : corrupt) {
        write(file, bytes);
        EXPECT_EQ(workspaceErrorOf([&] { store.load(); }), Case::corruptHistory) << bytes.constData();
        // Neither this store nor another one on the same file writes over it now.
        EXPECT_EQ(workspaceErrorOf([&] { store.save({session(2)}); }), Case::corruptHistory);
        EXPECT_EQ(workspaceErrorOf([&] { TeacherLearningStore(file).save({}); }), Case::corruptHistory);
        EXPECT_EQ(contents(file), bytes);
    }

    // A broken file moved away by the user no longer blocks saving once a load finds no file.
    ASSERT_TRUE(QFile::rename(file, file + QStringLiteral(".broken")));
    EXPECT_TRUE(store.load().isEmpty());
    store.save({session(4)});
    EXPECT_EQ(store.load().size(), 1);
    write(file, "[]");
    EXPECT_EQ(workspaceErrorOf([&] { store.load(); }), Case::corruptHistory);

    // Once the file loads again, saving is allowed.
    write(file, R"({"formatVersion":1,"sessions":[],"future":true})");
    EXPECT_TRUE(store.load().isEmpty());
    store.save({session(3)});
    EXPECT_EQ(store.load().size(), 1);

    // A read failure counts as a failed load too.
    const QString folder = path(QStringLiteral("folder.json"));
    QDir().mkpath(folder);
    const TeacherLearningStore unreadable(folder);
    EXPECT_THROW(unreadable.load(), base::FileError);
}

TEST_F(TeacherLearningStoreTest, AFileReplacedSinceTheLoadIsOnlyOverwrittenWhenItLoads) {
    const QString file = path(QStringLiteral("teacher_sessions.json"));
    const TeacherLearningStore store(file);
    store.save({session(1)});
    ASSERT_EQ(store.load().size(), 1);

    // Someone else puts an unreadable file in its place: the next save keeps it and saving stays
    // refused, from every store, until it loads again.
    const QString other = path(QStringLiteral("other.json"));
    write(other, "{\"formatVersion\":1,\"sessions\":[");
    ASSERT_TRUE(::rename(QFile::encodeName(other).constData(), QFile::encodeName(file).constData()) == 0);
    EXPECT_EQ(workspaceErrorOf([&] { store.save({session(2)}); }), Case::corruptHistory);
    EXPECT_EQ(workspaceErrorOf([&] { TeacherLearningStore(file).save({}); }), Case::corruptHistory);
    EXPECT_EQ(contents(file), QByteArray("{\"formatVersion\":1,\"sessions\":["));

    // A readable replacement is overwritten as usual (the last save wins).
    write(other, R"({"formatVersion":1,"sessions":[]})");
    ASSERT_TRUE(::rename(QFile::encodeName(other).constData(), QFile::encodeName(file).constData()) == 0);
    EXPECT_TRUE(store.load().isEmpty());
    TeacherLearningStore(file).save({session(3)});  // another store: this one's next save is not checked again
    store.save({session(3), session(4)});
    EXPECT_EQ(store.load().size(), 2);

    // A file rewritten in place by someone else is checked too.
    write(file, "not json");
    EXPECT_EQ(workspaceErrorOf([&] { store.save({session(5)}); }), Case::corruptHistory);
    EXPECT_EQ(contents(file), QByteArray("not json"));
}

TEST_F(TeacherLearningStoreTest, AFailedLoadGuardsTheFileUnderEveryName) {
    const QString folder = path(QStringLiteral("real"));
    write(folder + QStringLiteral("/teacher_sessions.json"), "[]");
    ASSERT_TRUE(QFile::link(folder, path(QStringLiteral("alias"))));
    EXPECT_EQ(workspaceErrorOf([&] { TeacherLearningStore(folder + QStringLiteral("/teacher_sessions.json")).load(); }),
              Case::corruptHistory);
    for (const QString& name :
         {QStringLiteral("alias/teacher_sessions.json"), QStringLiteral("real/../alias/teacher_sessions.json")})
        EXPECT_EQ(workspaceErrorOf([&] { TeacherLearningStore(path(name)).save({}); }), Case::corruptHistory)
            << name.toStdString();
    EXPECT_EQ(contents(folder + QStringLiteral("/teacher_sessions.json")), QByteArray("[]"));
}

TEST_F(TeacherLearningStoreTest, SaveSizeLimitAcceptsExactly25MiB) {
    const QString file = path(QStringLiteral("new/teacher_sessions.json"));
    const TeacherLearningStore store(file);
    TeacherLearningSession big = session(1);
    const qsizetype frame =
        QByteArray(R"({"formatVersion":1,"sessions":[]})").size() + base::json::compact(big.toJson()).size();
    big.draft = QString(TeacherLearningStore::maxBytes - frame, u'd');

    TeacherLearningSession tooBig = big;
    tooBig.draft += u'd';
    EXPECT_EQ(workspaceErrorOf([&] { store.save({tooBig}); }), Case::historyTooLarge);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("new"))));

    store.save({big});
    EXPECT_EQ(QFileInfo(file).size(), TeacherLearningStore::maxBytes);
    const QList<TeacherLearningSession> loaded = store.load();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].draft.size(), big.draft.size());
}

TEST_F(TeacherLearningStoreTest, RepeatedIdsKeepTheNewestCopy) {
    TeacherLearningSession first = session(10, QStringLiteral("old copy"));
    TeacherLearningSession second = first;
    second.title = QStringLiteral("new copy");
    second.updatedAt = base::Date{20};
    const TeacherLearningSession other = session(15, QStringLiteral("other"));
    const QJsonArray stored{first.toJson(), other.toJson(), second.toJson()};
    const QString file = path(QStringLiteral("teacher_sessions.json"));
    write(file, base::json::compact(QJsonObject{{"formatVersion", 1}, {"sessions", stored}}));

    const QList<TeacherLearningSession> loaded = TeacherLearningStore(file).load();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0].title, QStringLiteral("new copy"));
    EXPECT_EQ(loaded[1].title, QStringLiteral("other"));
}

TEST_F(TeacherLearningStoreTest, LocationsFromTheNamespace) {
    const QString data = path(QStringLiteral("data"));
    EXPECT_EQ(TeacherLearningStore(std::nullopt, QStringLiteral("com.orvel.formac"), data).url(),
              data + QStringLiteral("/com.orvel.formac/teacher_sessions.json"));
    EXPECT_EQ(TeacherLearningStore(std::nullopt, QStringLiteral("a/b c"), data).url(),
              data + QStringLiteral("/a_b_c/teacher_sessions.json"));
    EXPECT_EQ(TeacherLearningStore(path(QStringLiteral("x.json")), QStringLiteral("ignored/ns"), data).url(),
              path(QStringLiteral("x.json")));

    EXPECT_EQ(TeacherLearningStore::cleanedNamespace(QStringLiteral("Az09._-")), QStringLiteral("Az09._-"));
    EXPECT_EQ(TeacherLearningStore::cleanedNamespace(QStringLiteral("e\u0301")), QStringLiteral("e_"));
    EXPECT_EQ(TeacherLearningStore::cleanedNamespace(QStringLiteral("\U0001F600x/")), QStringLiteral("_x_"));

    // The default is the application data folder in the user's data location.
    EXPECT_EQ(TeacherLearningStore(std::nullopt).url(),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/com.orvel.formac/teacher_sessions.json"));

    // Namespaces that would name the data folder itself or its parent have no location.
    for (const QString& dots : {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("...")}) {
        const TeacherLearningStore store(std::nullopt, dots, data);
        EXPECT_TRUE(store.url().isEmpty()) << dots.toStdString();
        EXPECT_THROW(store.load(), base::FileError);
        EXPECT_THROW(store.save({}), base::FileError);
    }
    EXPECT_FALSE(QFileInfo::exists(data));
    EXPECT_TRUE(TeacherLearningStore(QStringLiteral("relative.json")).url().isEmpty());
}

TEST_F(TeacherLearningStoreTest, TemporaryStoresLiveInOnePrivateFolder) {
    const TeacherLearningStore first = TeacherLearningStore::temporary(QStringLiteral("orvel-merid-pending-"));
    const TeacherLearningStore second = TeacherLearningStore::temporary(QStringLiteral("orvel-merid-smoke-"));
    const QFileInfo info(first.url());
    EXPECT_TRUE(info.fileName().startsWith(QStringLiteral("orvel-merid-pending-")));
    EXPECT_TRUE(info.fileName().endsWith(QStringLiteral(".json")));
    EXPECT_EQ(info.absolutePath(), QFileInfo(second.url()).absolutePath());
    EXPECT_NE(first.url(), second.url());
    EXPECT_EQ(QFileInfo(info.absolutePath()).absolutePath(), QDir::cleanPath(QDir::tempPath()));
    EXPECT_EQ(modeOf(info.absolutePath()), 0700u);
    first.save({session(1)});
    EXPECT_EQ(first.load().size(), 1);
}
