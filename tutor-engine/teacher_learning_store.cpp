#include "tutor-engine/teacher_learning_store.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <list>

#include <sys/stat.h>

#include "base/files.h"
#include "base/json.h"
#include "tutor-engine/teacher_workspace_error.h"

namespace meridcore {

namespace {

using Error = TeacherWorkspaceError;

// What identifies one version of a file on disk: a replacement (a new inode) or a rewrite in place
// changes it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return FileStamp{info.st_dev, info.st_ino, info.st_size,
                     qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                     qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec};
}

// Per file, in this process: whether its last load failed (no store writes over it until one
// loads again), and the version of it that was last loaded or written here. A file found in
// another version when saving was put there by someone else and is checked before it is replaced.
class KnownFiles {
public:
    void failed(const QString& path) {
        QMutexLocker lock(&mutex_);
        failed_.insert(path);
        stamps_.remove(path);
    }
    void loaded(const QString& path, const std::optional<FileStamp>& stamp) {
        QMutexLocker lock(&mutex_);
        failed_.remove(path);
        if (stamp)
            stamps_.insert(path, *stamp);
        else
            stamps_.remove(path);
    }
    bool hasFailed(const QString& path) {
        QMutexLocker lock(&mutex_);
        return failed_.contains(path);
    }
    bool isKnown(const QString& path, const FileStamp& stamp) {
        QMutexLocker lock(&mutex_);
        const auto it = stamps_.constFind(path);
        return it != stamps_.constEnd() && *it == stamp;
    }

private:
    QMutex mutex_;
    QSet<QString> failed_;
    QHash<QString, FileStamp> stamps_;
};

KnownFiles& knownFiles() {
    static KnownFiles registry;
    return registry;
}

// One key per file however it is named (a linked folder, "..", a link to the file).
QString canonical(const QString& path) {
    const QFileInfo info(path);
    const QString resolved = info.canonicalFilePath();
    if (!resolved.isEmpty()) return resolved;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty()) return folder + u'/' + info.fileName();
    return QDir::cleanPath(info.absoluteFilePath());
}

// The writers registered with registerPendingWrites(), by canonical file name. Main thread only.
struct PendingWriter {
    QString path;
    std::function<void()> finish;
};
std::list<PendingWriter>& pendingWriters() {
    static std::list<PendingWriter> writers;
    return writers;
}

bool onlyDots(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u'.'; });
}

void sortNewestFirst(QList<TeacherLearningSession>& sessions) {
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const TeacherLearningSession& a, const TeacherLearningSession& b) {
                         return a.updatedAt > b.updatedAt;
                     });
}

QList<TeacherLearningSession> decodeArchive(const QByteArray& bytes) {
    try {
        const QJsonObject archive = base::json::parseObject(bytes);
        const qint64 version = base::json::requireInteger(archive, QStringLiteral("formatVersion"));
        const QJsonArray stored = base::json::requireArray(archive, QStringLiteral("sessions"));
        if (version != TeacherLearningStore::formatVersion) throw Error(Error::Case::corruptHistory);
        QList<TeacherLearningSession> sessions;
        sessions.reserve(stored.size());
        for (const QJsonValue& value : stored) {
            if (!value.isObject()) throw Error(Error::Case::corruptHistory);
            sessions.append(TeacherLearningSession::fromJson(value.toObject()));
        }
        return sessions;
    } catch (const Error&) {
        throw;
    } catch (const std::exception&) {
        throw Error(Error::Case::corruptHistory);
    }
}

}  // namespace

TeacherLearningStore::TeacherLearningStore(const std::optional<QString>& url, const QString& nameSpace,
                                           const QString& dataFolder) {
    if (url) {
        if (url->isEmpty() || QDir::isRelativePath(*url))
            unusableReason_ = QStringLiteral("not an absolute file path");
        else
            url_ = QDir::cleanPath(*url);
        return;
    }
    const QString base =
        dataFolder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) : dataFolder;
    const QString folder = cleanedNamespace(nameSpace);
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        unusableReason_ = QStringLiteral("no data folder");
    } else if (onlyDots(folder)) {
        // "", "." or ".." would put the file into the data folder itself or above it.
        unusableReason_ = QStringLiteral("invalid namespace");
    } else {
        url_ = QDir::cleanPath(base) + u'/' + folder + u'/' + fileName();
    }
}

TeacherLearningStore TeacherLearningStore::temporary(const QString& prefix) {
    // One private folder per process, made on first use and removed when the process ends.
    static const base::StagingFolder folder = base::StagingFolder::create(QStringLiteral("OrvelMeridStores-"));
    const QString name = prefix + base::json::uuidString(QUuid::createUuid()) + QStringLiteral(".json");
    return TeacherLearningStore(folder.filePath(name));
}

QString TeacherLearningStore::cleanedNamespace(const QString& nameSpace) {
    QString cleaned;
    cleaned.reserve(nameSpace.size());
    for (const char32_t codePoint : nameSpace.toUcs4()) {
        const bool kept = (codePoint >= U'A' && codePoint <= U'Z') || (codePoint >= U'a' && codePoint <= U'z') ||
                          (codePoint >= U'0' && codePoint <= U'9') || codePoint == U'.' || codePoint == U'_' ||
                          codePoint == U'-';
        cleaned += kept ? QChar(char16_t(codePoint)) : QChar(u'_');
    }
    return cleaned;
}

namespace {

// Reads and decodes the file at `path`; nullopt when there is none. Records the outcome.
std::optional<QList<TeacherLearningSession>> loadRecorded(const QString& path) {
    const QString key = canonical(path);
    // No file is a successful load of nothing: a file that failed before and was moved away since
    // no longer blocks saving.
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        knownFiles().loaded(key, std::nullopt);
        return std::nullopt;
    }
    // Taken before reading: a file replaced during the read then differs when saving.
    const std::optional<FileStamp> stamp = stampOf(path);
    QList<TeacherLearningSession> sessions;
    try {
        QByteArray bytes;
        try {
            bytes = base::files::readCapped(path, TeacherLearningStore::maxBytes);
        } catch (const base::FileError& error) {
            if (error.kind() == base::FileError::Kind::notFound) {
                knownFiles().loaded(key, std::nullopt);
                return std::nullopt;
            }
            if (error.kind() == base::FileError::Kind::tooLarge) throw Error(Error::Case::corruptHistory);
            throw;
        }
        sessions = decodeArchive(bytes);
    } catch (...) {
        knownFiles().failed(key);
        throw;
    }
    knownFiles().loaded(key, stamp);
    return sessions;
}

}  // namespace

QList<TeacherLearningSession> TeacherLearningStore::load() const {
    if (url_.isEmpty()) throw base::FileError(base::FileError::Kind::notFound, url_, unusableReason_);
    std::optional<QList<TeacherLearningSession>> loaded = loadRecorded(url_);
    if (!loaded) return {};
    QList<TeacherLearningSession> sessions = std::move(*loaded);

    sortNewestFirst(sessions);
    // The same session twice (an old import, a hand-merged file) would show and save twice: keep
    // the first, newest copy.
    QSet<QUuid> seen;
    QList<TeacherLearningSession> unique;
    unique.reserve(sessions.size());
    for (TeacherLearningSession& session : sessions) {
        if (seen.contains(session.id)) continue;
        seen.insert(session.id);
        unique.append(std::move(session));
    }
    return unique;
}

void TeacherLearningStore::save(const QList<TeacherLearningSession>& sessions) const {
    if (url_.isEmpty()) throw base::FileError(base::FileError::Kind::writeFailed, url_, unusableReason_);

    QList<TeacherLearningSession> sorted = sessions;
    sortNewestFirst(sorted);
    QJsonArray stored;
    for (const TeacherLearningSession& session : sorted) stored.append(session.toJson());
    QJsonObject archive;
    archive.insert(QStringLiteral("formatVersion"), formatVersion);
    archive.insert(QStringLiteral("sessions"), stored);
    const QByteArray bytes = base::json::compact(archive);
    if (bytes.size() > maxBytes) throw Error(Error::Case::historyTooLarge);

    const QString key = canonical(url_);
    if (knownFiles().hasFailed(key)) throw Error(Error::Case::corruptHistory);
    // A file that this process neither loaded nor wrote in its present version (put there or
    // replaced by someone else since) is replaced only when it loads: an unreadable one is kept,
    // and saving stays refused as after a failed load.
    if (const std::optional<FileStamp> stamp = stampOf(url_); stamp && !knownFiles().isKnown(key, *stamp))
        loadRecorded(url_);
    base::files::writeAtomically(url_, bytes);
    knownFiles().loaded(key, stampOf(url_));
    base::files::makeOwnerOnly(url_);
    knownFiles().loaded(key, stampOf(url_));  // the mode change moved the change time
}

std::shared_ptr<void> TeacherLearningStore::registerPendingWrites(const QString& url, std::function<void()> finish) {
    auto& writers = pendingWriters();
    const auto entry = writers.insert(writers.end(), PendingWriter{canonical(url), std::move(finish)});
    return std::shared_ptr<void>(nullptr, [entry](void*) { pendingWriters().erase(entry); });
}

void TeacherLearningStore::finishPendingWrites(const QString& url) {
    const QString path = canonical(url);
    // Copied: a finishing writer may register or drop others.
    QList<std::function<void()>> finishing;
    for (const PendingWriter& writer : pendingWriters())
        if (writer.path == path) finishing.append(writer.finish);
    for (const auto& finish : finishing) finish();
}

}  // namespace meridcore
