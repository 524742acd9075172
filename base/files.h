#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

#include "base/errors.h"

class QFileDevice;

// Private files and folders: atomic writes with owner-only permissions, size-capped reads,
// and per-operation staging folders in the temporary directory.
namespace base {

class FileError : public Error {
public:
    enum class Kind { notFound, tooLarge, readFailed, writeFailed, folderFailed };
    FileError(Kind kind, QString path, QString detail = {})
        : kind_(kind), path_(std::move(path)), detail_(std::move(detail)) {}
    Kind kind() const { return kind_; }
    const QString& path() const { return path_; }
    // What the system said, when it said something.
    const QString& detail() const { return detail_; }
    QString message() const override;

private:
    Kind kind_;
    QString path_;
    QString detail_;
};

namespace files {

// Creates `path` and any missing parents; every folder this call creates gets 0700. An existing
// folder keeps its permissions. Throws FileError(folderFailed).
void ensurePrivateFolder(const QString& path);

// Reads a whole file of at most `maxBytes` bytes (a file of exactly `maxBytes` is accepted).
// Throws FileError: notFound, tooLarge (checked before reading and again while reading), readFailed.
QByteArray readCapped(const QString& path, qint64 maxBytes);
// The same from a file open for reading; `path` names it in errors.
QByteArray readCapped(QFileDevice& file, const QString& path, qint64 maxBytes);

enum class FileAccess {
    ownerOnly,    // 0600, set before the file replaces the old one
    userDefault,  // the user's usual permissions, in a folder that must exist (a file the user saves)
};

// Writes `bytes` atomically: a temporary file in the same folder that replaces `path` only once
// it is complete. For owner-only files a missing parent folder is created 0700. Throws
// FileError(writeFailed); the old file is then untouched.
void writeAtomically(const QString& path, const QByteArray& bytes, FileAccess access = FileAccess::ownerOnly);

// Sets 0600 on an existing file.
void makeOwnerOnly(const QString& path);

// Renames a file that could not be read, bytes unchanged, to "<path>.unreadable-<UTC time>" (with
// "-2", "-3", ... when that name is taken: nothing is ever replaced) and makes the moved file 0600
// when it is a regular file. Returns the new path; empty when nothing is at `path` any more. Throws
// FileError(writeFailed) with the system's text in its detail.
QString setAsideUnreadable(const QString& path);

// The path of a file URL on this machine ("localhost" names this machine too, where QUrl would keep
// it as a network share); empty for any other URL.
QString localPath(const QUrl& url);

// Whether a path names a regular file (links followed, as opening it would) and its size.
struct FileFacts {
    bool regular = false;
    qint64 size = 0;
};
// Throws FileError (notFound, readFailed) with the system's text.
FileFacts fileFacts(const QString& path);

}  // namespace files

// A private folder "<prefix><UUID>" (0700) in the temporary directory for one operation. Removed
// with its contents by remove() or the destructor, and only if it still is the folder this object
// made (a real directory, not a link, named with the prefix, directly inside the temporary folder).
class StagingFolder {
public:
    // Throws FileError(folderFailed).
    static StagingFolder create(const QString& prefix);
    // Uses `parent` instead of the system temporary directory (tests).
    static StagingFolder createIn(const QString& parent, const QString& prefix);

    StagingFolder(StagingFolder&& other) noexcept;
    StagingFolder& operator=(StagingFolder&& other) noexcept;
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    ~StagingFolder();

    const QString& path() const { return path_; }
    QString filePath(const QString& name) const;
    bool isActive() const { return !path_.isEmpty(); }

    // Removes the folder now; returns whether it is gone. Safe to call more than once.
    bool remove();
    // Stops owning the folder without removing it.
    QString release();

private:
    StagingFolder(QString parent, QString prefix, QString path)
        : parent_(std::move(parent)), prefix_(std::move(prefix)), path_(std::move(path)) {}
    QString parent_;
    QString prefix_;
    QString path_;
};

// Removes `path` recursively only when it is a real directory directly inside `parent` whose name
// begins with `prefix`. Returns whether nothing is left at `path`.
bool removeGuardedFolder(const QString& parent, const QString& prefix, const QString& path);

// Why a chosen file was not staged: it is no regular file (also one swapped for a pipe or a device
// while it was being copied), it is empty, or it holds more than the limit (also a copy that came
// out otherwise than the file looked before).
enum class StagingRefusal { notRegularFile, emptyFile, tooLarge };

// A private copy of a chosen file for one import: the file at `source` copied under its own name
// into a new StagingFolder "<prefix><UUID>", the copy 0600. Returns the copy's path, or why the
// file was refused; no folder is left behind then. The source is opened without blocking and
// checked through the open file, so a source swapped for a pipe never blocks the copy. Throws
// FileError for the file system's failures, also leaving nothing behind.
std::variant<QString, StagingRefusal> stageCopy(const QString& source, const QString& prefix, qint64 maxBytes);

// Deletes the staging folder of a copy made by stageCopy, with everything in it, only when it is a
// folder "<prefix>…" directly in the temporary directory. Never throws.
void removeStagedCopy(const QString& stagedFile, const QString& prefix);

}  // namespace base
