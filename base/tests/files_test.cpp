#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

#include "base/files.h"
#include "tests/support/file_mode.h"

using namespace base;

namespace {
using testsupport::fileMode;

void writeBytes(const QString& path, qint64 size) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
}
}  // namespace

TEST(Files, AtomicWriteIsPrivateAndCreatesPrivateFolders) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a/b/file.json"));
    files::writeAtomically(path, "{}");
    EXPECT_EQ(fileMode(path), 0600);
    EXPECT_EQ(fileMode(dir.filePath(QStringLiteral("a"))), 0700);
    EXPECT_EQ(fileMode(dir.filePath(QStringLiteral("a/b"))), 0700);
    // Replacing a file that had looser permissions leaves it private too.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    files::writeAtomically(path, "[]");
    EXPECT_EQ(fileMode(path), 0600);
    EXPECT_EQ(files::readCapped(path, 2), QByteArray("[]"));
    // Nothing but the file is left in the folder.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("a/b"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("file.json")});
}

TEST(Files, FailedWriteKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    files::writeAtomically(path, "old");
    // A file-size limit makes the write fail for every user, root included.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    EXPECT_THROW(files::writeAtomically(path, QByteArray(4096, 'n')), FileError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(files::readCapped(path, 10), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("f")});
}

TEST(Files, CappedReadAcceptsTheLimitItself) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    writeBytes(path, 1000);
    EXPECT_EQ(files::readCapped(path, 1000).size(), 1000);
    // A small file read under a large limit holds about its own size, not the limit.
    const QByteArray small = files::readCapped(path, 256 * 1024 * 1024);
    EXPECT_EQ(small.size(), 1000);
    EXPECT_LT(small.capacity(), 1024 * 1024);
    // A file whose size is not known beforehand is still read whole, and still capped.
    const QString status = QStringLiteral("/proc/self/status");
    EXPECT_TRUE(files::readCapped(status, 1024 * 1024).contains("Pid:"));
    EXPECT_THROW(files::readCapped(status, 10), FileError);
    try {
        files::readCapped(path, 999);
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(error.kind(), FileError::Kind::tooLarge);
    }
    try {
        files::readCapped(dir.filePath(QStringLiteral("missing")), 10);
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(error.kind(), FileError::Kind::notFound);
    }
    EXPECT_THROW(files::ensurePrivateFolder(QStringLiteral("relative/path")), FileError);
}

TEST(Files, StagingFolderIsPrivateAndRemovedOnEveryPath) {
    QTemporaryDir dir;
    QString path;
    {
        StagingFolder folder = StagingFolder::createIn(dir.path(), QStringLiteral("OrvelTest-"));
        path = folder.path();
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("OrvelTest-")));
        EXPECT_EQ(QFileInfo(path).fileName().size(), 10 + 36);
        EXPECT_EQ(QFileInfo(path).fileName().mid(10), QFileInfo(path).fileName().mid(10).toUpper());
        EXPECT_EQ(fileMode(path), 0700);
        writeBytes(folder.filePath(QStringLiteral("copy.pdf")), 10);
        StagingFolder moved = std::move(folder);
        EXPECT_FALSE(folder.isActive());
        EXPECT_TRUE(QFileInfo::exists(path));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(Files, GuardedRemovalRefusesWhatItDidNotMake) {
    QTemporaryDir dir;
    QTemporaryDir victim;
    writeBytes(victim.filePath(QStringLiteral("keep")), 1);
    // A link in place of the folder is not followed.
    const QString link = dir.filePath(QStringLiteral("OrvelTest-link"));
    ASSERT_TRUE(QFile::link(victim.path(), link));
    EXPECT_FALSE(removeGuardedFolder(dir.path(), QStringLiteral("OrvelTest-"), link));
    EXPECT_TRUE(QFileInfo::exists(victim.filePath(QStringLiteral("keep"))));
    // A folder with another prefix, or outside the parent, stays.
    EXPECT_FALSE(removeGuardedFolder(dir.path(), QStringLiteral("Other-"), victim.path()));
    EXPECT_FALSE(removeGuardedFolder(dir.path(), QStringLiteral("tmp"), victim.path()));
    EXPECT_TRUE(QFileInfo::exists(victim.filePath(QStringLiteral("keep"))));
    EXPECT_TRUE(
        removeGuardedFolder(dir.path(), QStringLiteral("OrvelTest-"), dir.filePath(QStringLiteral("OrvelTest-gone"))));
}
