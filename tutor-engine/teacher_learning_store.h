#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "tutor-engine/teacher_learning_session.h"

namespace meridcore {

// All tutor sessions of one user in one JSON file, "teacher_sessions.json":
// {"formatVersion":1,"sessions":[...]}, compact with sorted keys, newest `updatedAt` first.
// The whole list is written on every save, atomically, the file 0600 in a 0700 folder.
//
// A file that failed to load is never overwritten by this process: after a failed load, saves to
// that file are refused with `corruptHistory` until a later load of it succeeds. A file that was
// put in place or replaced by someone else since this process last loaded or wrote it is loaded
// before it is replaced, with the same outcome when that fails.
class TeacherLearningStore {
public:
    static constexpr qint64 maxBytes = 26214400;  // 25 MiB, equal accepted, on loading and saving
    static constexpr int formatVersion = 1;

    static QString fileName() { return QStringLiteral("teacher_sessions.json"); }
    // The application data folder's name, where the older account-less file lies.
    static QString defaultNamespace() { return QStringLiteral("com.orvel.formac"); }

    // With `url`, that file; the namespace is then unused. Without it, "teacher_sessions.json" in the
    // folder named by the cleaned namespace inside `dataFolder` (by default the generic data
    // location, ~/.local/share). Touches no file. When no usable location results (no data folder,
    // or a namespace made only of dots), url() is empty and load() and save() throw base::FileError.
    explicit TeacherLearningStore(const std::optional<QString>& url, const QString& nameSpace = defaultNamespace(),
                                  const QString& dataFolder = QString());

    // A store on a fresh file "<prefix><UUID>.json" in this process's private temporary folder
    // (0700, made once, removed when the process ends). Throws base::FileError.
    static TeacherLearningStore temporary(const QString& prefix);

    // The archive's path; empty when the store has no usable location.
    const QString& url() const { return url_; }

    // The stored sessions, newest first (stable; a repeated id keeps only its first, newest, copy).
    // No file gives an empty list. Throws TeacherWorkspaceError(corruptHistory) for a file over
    // 25 MiB, one that does not decode or has another format version; the file system's error
    // for a file that cannot be read. Never writes, renames or deletes the file.
    QList<TeacherLearningSession> load() const;

    // Writes the sessions, newest first. Throws TeacherWorkspaceError(historyTooLarge) when the
    // encoding is over 25 MiB and (corruptHistory) when the file failed to load, now or before;
    // nothing is written then. File system failures are thrown as base::FileError.
    void save(const QList<TeacherLearningSession>& sessions) const;

    // Writes this process still has on their way to a file, for another writer that changes the
    // file (read, add, write back): it first makes them land, or it would read a file that one of
    // them then overwrites. `finish` is called by finishPendingWrites() for a file of the same name
    // as long as the returned handle lives. Main thread only.
    static std::shared_ptr<void> registerPendingWrites(const QString& url, std::function<void()> finish);
    static void finishPendingWrites(const QString& url);

    // Every code point other than ASCII letters, digits, ".", "_" and "-" becomes one "_".
    static QString cleanedNamespace(const QString& nameSpace);

private:
    QString url_;
    QString unusableReason_;
};

}  // namespace meridcore
