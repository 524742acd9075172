#include "base/files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace base {

QString FileError::message() const {
    // "无法读取文件：<path>：没有访问权限": the string table translates the prefix and the detail,
    // and keeps the path as it stands.
    QString text;
    switch (kind_) {
    case Kind::notFound: text = QStringLiteral("找不到文件："); break;
    case Kind::tooLarge: text = QStringLiteral("文件过大："); break;
    case Kind::readFailed: text = QStringLiteral("无法读取文件："); break;
    case Kind::writeFailed: text = QStringLiteral("无法写入文件："); break;
    case Kind::folderFailed: text = QStringLiteral("无法创建文件夹："); break;
    }
    text += path_;
    if (detail_.isEmpty()) return text;
    if (isInterfaceText(detail_)) return text + QChar(0xFF1A) + detail_;
    return text + QStringLiteral(" (") + detail_ + u')';
}

namespace {

// What the system said about a failed operation on `file`: the interface's text for the error
// number the operation left (errno is cleared before it), Qt's words when it left none.
QString failureOf(const QFileDevice& file, int errorNumber) {
    return errorNumber != 0 ? systemErrorText(errorNumber) : file.errorString();
}

}  // namespace

namespace files {

constexpr auto kOwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr auto kOwnerOnlyFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

void ensurePrivateFolder(const QString& path) {
    if (path.isEmpty() || QDir::isRelativePath(path))
        throw FileError(FileError::Kind::folderFailed, path, QStringLiteral("不是绝对路径"));
    const QString clean = QDir::cleanPath(path);
    QFileInfo info(clean);
    if (info.isDir()) return;
    if (info.exists()) throw FileError(FileError::Kind::folderFailed, clean, QStringLiteral("不是文件夹"));
    ensurePrivateFolder(info.absolutePath());
    errno = 0;
    if (!QDir().mkdir(clean, kOwnerOnlyFolder) && !QFileInfo(clean).isDir()) {
        const int error = errno;
        throw FileError(FileError::Kind::folderFailed, clean, error != 0 ? systemErrorText(error) : QString());
    }
}

QByteArray readCapped(const QString& path, qint64 maxBytes) {
    QFile file(path);
    if (!file.exists()) throw FileError(FileError::Kind::notFound, path);
    if (file.size() > maxBytes) throw FileError(FileError::Kind::tooLarge, path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) throw FileError(FileError::Kind::readFailed, path, failureOf(file, errno));
    return readCapped(file, path, maxBytes);
}

QByteArray readCapped(QFileDevice& file, const QString& path, qint64 maxBytes) {
    if (file.size() > maxBytes) throw FileError(FileError::Kind::tooLarge, path);
    // The file may grow between the size check and the read: read on to the end, at most one byte
    // past the limit. (QIODevice::read(n) allocates n bytes up front and keeps them, so the first
    // read asks for what the file holds, not for the limit.)
    QByteArray bytes;
    qint64 want = std::min(file.size(), maxBytes) + 1;
    for (;;) {
        errno = 0;
        const QByteArray part = file.read(want);
        if (file.error() != QFileDevice::NoError)
            throw FileError(FileError::Kind::readFailed, path, failureOf(file, errno));
        if (part.isEmpty()) break;
        bytes += part;
        if (bytes.size() > maxBytes) throw FileError(FileError::Kind::tooLarge, path);
        want = std::min<qint64>(64 * 1024, maxBytes + 1 - bytes.size());
    }
    return bytes;
}

void writeAtomically(const QString& path, const QByteArray& bytes, FileAccess access) {
    const QFileInfo info(path);
    try {
        if (access == FileAccess::ownerOnly) ensurePrivateFolder(info.absolutePath());
    } catch (const FileError& error) {
        throw FileError(FileError::Kind::writeFailed, path, error.detail());
    }
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) throw FileError(FileError::Kind::writeFailed, path, failureOf(file, errno));
    if (access == FileAccess::ownerOnly && !file.setPermissions(kOwnerOnlyFile)) {
        file.cancelWriting();
        throw FileError(FileError::Kind::writeFailed, path, QStringLiteral("无法设置权限"));
    }
    // QSaveFile::commit() does not notice a failure of its final flush (a full disk, a size limit)
    // and would put a truncated file in place of the old one: flush and check before committing.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = failureOf(file, errno);
        file.cancelWriting();
        throw FileError(FileError::Kind::writeFailed, path, reason);
    }
    errno = 0;
    if (!file.commit()) throw FileError(FileError::Kind::writeFailed, path, failureOf(file, errno));
}

void makeOwnerOnly(const QString& path) {
    if (!QFile::setPermissions(path, kOwnerOnlyFile))
        throw FileError(FileError::Kind::writeFailed, path, QStringLiteral("无法设置权限"));
}

namespace {

// Renames `from` to `to` unless `to` exists. Returns 0 or an errno value.
int renameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace flag: check first.
    struct stat info {};
    if (::lstat(target.constData(), &info) == 0) return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

}  // namespace

QString setAsideUnreadable(const QString& path) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path + QStringLiteral(".unreadable-") + stamp;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString target = attempt == 1 ? base : base + u'-' + QString::number(attempt);
        const int error = renameWithoutReplacing(path, target);
        if (error == EEXIST) continue;
        if (error == ENOENT) return {};
        if (error != 0) throw FileError(FileError::Kind::writeFailed, path, systemErrorText(error));
        // Only a regular file is made owner-only: 0600 would lock its owner out of a folder.
        const QByteArray movedName = QFile::encodeName(target);
        struct stat moved {};
        if (::lstat(movedName.constData(), &moved) == 0 && S_ISREG(moved.st_mode))
            ::chmod(movedName.constData(), S_IRUSR | S_IWUSR);
        return target;
    }
    throw FileError(FileError::Kind::writeFailed, path);
}

QString localPath(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    QUrl local = url;
    if (local.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        local.setHost(QString());
    else if (!local.host().isEmpty())
        return {};
    return local.toLocalFile();
}

FileFacts fileFacts(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        const int error = errno;
        throw FileError(error == ENOENT ? FileError::Kind::notFound : FileError::Kind::readFailed, path,
                        error == ENOENT ? QString() : systemErrorText(error));
    }
    return {S_ISREG(info.st_mode), qint64(info.st_size)};
}

}  // namespace files

namespace {

// Copies the regular file `source` into the new file `destination` (0600, never replacing one), at
// most `maxBytes` + 1 bytes; nothing when the opened source is no regular file.
std::optional<qint64> copyRegularFile(const QString& source, const QString& destination, qint64 maxBytes) {
    const int sourceFd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (sourceFd < 0) {
        const int error = errno;
        throw FileError(FileError::Kind::readFailed, source, systemErrorText(error));
    }
    QFile in;
    errno = 0;
    if (!in.open(sourceFd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString reason = failureOf(in, errno);
        ::close(sourceFd);
        throw FileError(FileError::Kind::readFailed, source, reason);
    }
    struct stat opened {};
    if (::fstat(sourceFd, &opened) != 0 || !S_ISREG(opened.st_mode)) return std::nullopt;
    QFile out(destination);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly, files::kOwnerOnlyFile))
        throw FileError(FileError::Kind::writeFailed, destination, failureOf(out, errno));
    qint64 copied = 0;
    while (copied <= maxBytes) {
        errno = 0;
        const QByteArray chunk = in.read(std::min<qint64>(1 << 20, maxBytes + 1 - copied));
        if (in.error() != QFileDevice::NoError)
            throw FileError(FileError::Kind::readFailed, source, failureOf(in, errno));
        if (chunk.isEmpty()) break;
        errno = 0;
        if (out.write(chunk) != chunk.size())
            throw FileError(FileError::Kind::writeFailed, destination, failureOf(out, errno));
        copied += chunk.size();
    }
    errno = 0;
    if (!out.flush()) throw FileError(FileError::Kind::writeFailed, destination, failureOf(out, errno));
    return copied;
}

}  // namespace

StagingFolder StagingFolder::create(const QString& prefix) { return createIn(QDir::tempPath(), prefix); }

StagingFolder StagingFolder::createIn(const QString& parent, const QString& prefix) {
    const QString cleanParent = QDir::cleanPath(QFileInfo(parent).absoluteFilePath());
    const QString path = cleanParent + u'/' + prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    errno = 0;
    if (!QDir().mkdir(path, files::kOwnerOnlyFolder)) {
        const int error = errno;
        throw FileError(FileError::Kind::folderFailed, path, error != 0 ? systemErrorText(error) : QString());
    }
    return StagingFolder(cleanParent, prefix, path);
}

StagingFolder::StagingFolder(StagingFolder&& other) noexcept
    : parent_(std::move(other.parent_)), prefix_(std::move(other.prefix_)), path_(std::exchange(other.path_, {})) {}

StagingFolder& StagingFolder::operator=(StagingFolder&& other) noexcept {
    if (this != &other) {
        remove();
        parent_ = std::move(other.parent_);
        prefix_ = std::move(other.prefix_);
        path_ = std::exchange(other.path_, {});
    }
    return *this;
}

StagingFolder::~StagingFolder() { remove(); }

QString StagingFolder::filePath(const QString& name) const { return path_ + u'/' + name; }

bool StagingFolder::remove() {
    if (path_.isEmpty()) return true;
    const bool gone = removeGuardedFolder(parent_, prefix_, path_);
    if (gone) path_.clear();
    return gone;
}

QString StagingFolder::release() { return std::exchange(path_, {}); }

bool removeGuardedFolder(const QString& parent, const QString& prefix, const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return true;
    if (info.isSymLink() || !info.isDir()) return false;
    if (QDir::cleanPath(info.absolutePath()) != QDir::cleanPath(parent)) return false;
    if (prefix.isEmpty() || !info.fileName().startsWith(prefix)) return false;
    QDir dir(info.absoluteFilePath());
    dir.removeRecursively();
    return !QFileInfo::exists(path);
}

std::variant<QString, StagingRefusal> stageCopy(const QString& source, const QString& prefix, qint64 maxBytes) {
    const files::FileFacts facts = files::fileFacts(source);
    if (!facts.regular) return StagingRefusal::notRegularFile;
    if (facts.size <= 0) return StagingRefusal::emptyFile;
    if (facts.size > maxBytes) return StagingRefusal::tooLarge;

    // Removed with everything in it on every refusal and failure below.
    StagingFolder folder = StagingFolder::create(prefix);
    const QString copy = folder.filePath(QFileInfo(source).fileName());
    if (!copyRegularFile(source, copy, maxBytes)) return StagingRefusal::notRegularFile;
    struct stat copied {};
    if (::lstat(QFile::encodeName(copy).constData(), &copied) != 0 || !S_ISREG(copied.st_mode) || copied.st_size < 1 ||
        copied.st_size > maxBytes)
        return StagingRefusal::tooLarge;
    files::makeOwnerOnly(copy);
    folder.release();
    return copy;
}

void removeStagedCopy(const QString& stagedFile, const QString& prefix) {
    if (stagedFile.isEmpty() || QDir::isRelativePath(stagedFile)) return;
    const QString folder = QFileInfo(QDir::cleanPath(stagedFile)).absolutePath();
    removeGuardedFolder(QDir::cleanPath(QDir::tempPath()), prefix, folder);
}

}  // namespace base
