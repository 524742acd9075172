#include "tutor-engine/teacher_learning_store.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

#include "base/files.h"
#include "base/json.h"
#include "tutor-engine/teacher_workspace_error.h"

namespace meridcore {

namespace {

using Error = TeacherWorkspaceError;

// Files that failed to load in this process; no store writes over them until one loads again.
class FailedLoads {
public:
    void add(const QString& path) {
        QMutexLocker lock(&mutex_);
        paths_.insert(path);
    }
    void remove(const QString& path) {
        QMutexLocker lock(&mutex_);
        paths_.remove(path);
    }
    bool contains(const QString& path) {
        QMutexLocker lock(&mutex_);
        return paths_.contains(path);
    }

private:
    QMutex mutex_;
    QSet<QString> paths_;
};

FailedLoads& failedLoads() {
    static FailedLoads registry;
    return registry;
}

QString canonical(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

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

QList<TeacherLearningSession> TeacherLearningStore::load() const {
    if (url_.isEmpty()) throw base::FileError(base::FileError::Kind::notFound, url_, unusableReason_);
    // No file is a successful load of nothing: a file that failed before and was moved away since
    // no longer blocks saving.
    const QFileInfo info(url_);
    if (!info.exists() && !info.isSymLink()) {
        failedLoads().remove(canonical(url_));
        return {};
    }

    QList<TeacherLearningSession> sessions;
    try {
        QByteArray bytes;
        try {
            bytes = base::files::readCapped(url_, maxBytes);
        } catch (const base::FileError& error) {
            if (error.kind() == base::FileError::Kind::notFound) {
                failedLoads().remove(canonical(url_));
                return {};
            }
            if (error.kind() == base::FileError::Kind::tooLarge) throw Error(Error::Case::corruptHistory);
            throw;
        }
        sessions = decodeArchive(bytes);
    } catch (...) {
        failedLoads().add(canonical(url_));
        throw;
    }
    failedLoads().remove(canonical(url_));

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

    if (failedLoads().contains(canonical(url_))) throw Error(Error::Case::corruptHistory);
    base::files::writeAtomically(url_, bytes);
    base::files::makeOwnerOnly(url_);
}

}  // namespace meridcore
