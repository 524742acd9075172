#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <csignal>
#include <functional>

#include "base/defaults_store.h"
#include "tests/support/file_mode.h"

using base::DefaultsStore;

namespace {

// While it lives, this thread obeys file permissions even as root: the capabilities that pass
// over them are taken out of its effective set (and put back at the end).
class PermissionsApply {
public:
    PermissionsApply() {
        ::syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &header_, reduced);
    }
    ~PermissionsApply() { ::syscall(SYS_capset, &header_, saved_); }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList setAsideFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("d.json.unreadable-*")}, QDir::AllEntries | QDir::Hidden);
}

}  // namespace

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
    // Even when the new file has the size and the time of the one read here.
    const QDateTime modified = QFileInfo(path).lastModified();
    other.setInteger(QStringLiteral("count"), 11);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadWrite) && written.setFileTime(modified, QFileDevice::FileModificationTime));
    written.close();
    EXPECT_EQ(store.integerValue(QStringLiteral("count")), 11);

    // Held changes stay over the other's and reach the file only once released.
    store.holdWrites();
    store.remove(QStringLiteral("name"));
    other.setInteger(QStringLiteral("count"), 13);
    EXPECT_TRUE(DefaultsStore(path).contains(QStringLiteral("name")));
    EXPECT_TRUE(!store.contains(QStringLiteral("name")) && store.integer(QStringLiteral("count")) == 13);
    store.releaseWrites();
    EXPECT_EQ(DefaultsStore(path).keys(), (QStringList{"count", "flag", "ratio"}));
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

// A file that cannot be used reads as empty (or, when it turns so while the store is in use, as
// what was read before), is never overwritten, and is moved aside unchanged (0600) by the first
// write; the person hears both.
TEST(DefaultsStore, UnreadableFileIsSetAsideBeforeTheFirstWrite) {
    const QByteArray consent = R"({"orvelAIConsentPolicyVersion":{"type":"int","value":1}})";
    struct Row {
        const char* name;
        QByteArray bytes;
        int mode;
        bool spoiledInUse = false;  // the store read `consent` before
    };
    const Row rows[] = {
        {"not JSON", consent.left(consent.size() - 3), 0600},
        {"an array at the top", "[" + consent + "]", 0600},
        {"a string at the top", R"("orvelAIConsentPolicyVersion")", 0644},
        {"no read permission", consent, 0200},
        {"not JSON, while in use", consent.left(consent.size() - 3), 0600, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.json"));
        const QStringList held = row.spoiledInUse ? QStringList{"orvelAIConsentPolicyVersion"} : QStringList{};
        std::optional<DefaultsStore> store;
        if (row.spoiledInUse) {
            writeBytes(path, consent);
            store.emplace(path);
        }
        writeBytes(path, row.bytes);
        ASSERT_TRUE(QFile::setPermissions(
            path, QFileDevice::Permissions((row.mode & 0400 ? QFileDevice::ReadOwner : 0) |
                                           (row.mode & 0200 ? QFileDevice::WriteOwner : 0) |
                                           (row.mode & 0044 ? QFileDevice::ReadGroup | QFileDevice::ReadOther : 0))));
        {
            PermissionsApply permissions;
            if (!store) store.emplace(path);
        }
        EXPECT_EQ(store->keys(), held);
        EXPECT_TRUE(store->fileStatus().unreadable);
        EXPECT_EQ(store->fileStatus().earlierValuesKept, row.spoiledInUse);
        // Reading leaves it alone. A file its owner may not read, the test may not read either (as an
        // ordinary user): its bytes are compared where it is set aside below.
        if (row.mode & 0400) {
            EXPECT_EQ(contents(path), row.bytes);
        }

        QSignalSpy notices(&*store, &DefaultsStore::fileStatusChanged);
        store->setBool(QStringLiteral("k"), true);
        const QStringList moved = setAsideFiles(dir.path());
        ASSERT_EQ(moved.size(), 1);
        EXPECT_EQ(contents(dir.filePath(moved.first())), row.bytes);
        EXPECT_EQ(testsupport::fileMode(dir.filePath(moved.first())), 0600);
        const DefaultsStore::FileStatus status = store->fileStatus();
        EXPECT_EQ(status.setAsidePath, dir.filePath(moved.first()));
        EXPECT_FALSE(status.unreadable);
        EXPECT_FALSE(status.writeFailure);
        EXPECT_EQ(notices.count(), 1);
        EXPECT_EQ(DefaultsStore(path).boolValue(QStringLiteral("k")), true);
        EXPECT_EQ(DefaultsStore(path).keys(), QStringList{"k"} + held);

        // Later writes move nothing more and say nothing new.
        store->setBool(QStringLiteral("k"), false);
        EXPECT_EQ(setAsideFiles(dir.path()).size(), 1);
        EXPECT_EQ(notices.count(), 1);
    }
}

TEST(DefaultsStore, FailedWritesAreReportedAndNeverReplaceAnUnreadableFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.json"));
    {
        DefaultsStore store(path);
        store.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    }
    const QByteArray stored = contents(path);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct Row {
        const char* name;
        QByteArray bytes;  // the file before the write
        std::function<void()> breakWrites;
        std::function<void()> repair;
    };
    const Row rows[] = {
        {"a file-size limit (a full disk)", stored,
         [&] {
             struct rlimit tiny = saved;
             tiny.rlim_cur = 16;
             ::setrlimit(RLIMIT_FSIZE, &tiny);
         },
         [&] { ::setrlimit(RLIMIT_FSIZE, &saved); }},
        {"an unreadable file in a read-only folder", "{cut short",
         [&] { QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner); },
         [&] {
             QFile::setPermissions(dir.path(),
                                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeBytes(path, row.bytes);
        DefaultsStore store(path);
        QSignalSpy notices(&store, &DefaultsStore::fileStatusChanged);
        row.breakWrites();
        {
            PermissionsApply permissions;
            store.setBool(QStringLiteral("k"), true);
        }
        row.repair();
        EXPECT_TRUE(store.lastWriteFailed());
        EXPECT_TRUE(store.fileStatus().writeFailure.has_value());
        EXPECT_EQ(notices.count(), 1);
        EXPECT_EQ(store.boolValue(QStringLiteral("k")), true);  // held for this run
        EXPECT_EQ(contents(path), row.bytes);
        EXPECT_TRUE(setAsideFiles(dir.path()).isEmpty());

        // Writable again: the next change is stored and the failure is over.
        store.setBool(QStringLiteral("k"), false);
        EXPECT_FALSE(store.fileStatus().writeFailure);
        EXPECT_EQ(DefaultsStore(path).boolValue(QStringLiteral("k")), false);
        EXPECT_EQ(notices.count(), 2);
        for (const QString& name : setAsideFiles(dir.path())) QFile::remove(dir.filePath(name));
    }
    std::signal(SIGXFSZ, previousHandler);
}
