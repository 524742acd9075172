#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "base/errors.h"

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

// Copies the regular file `source` into the new file `destination` (created 0600; an existing file
// is never replaced) and returns the number of bytes copied. The source is opened without
// blocking and checked through the open file, so that a source swapped for a pipe or a device
// after an earlier check neither blocks nor gets copied: that gives nothing, and no destination.
// A source that grows while it is copied is copied up to `maxBytes` + 1 bytes, so that the caller
// sees it is over its limit. Throws FileError(readFailed, writeFailed); a partial destination may
// then be left for the caller to remove with its folder.
std::optional<qint64> copyRegularFile(const QString& source, const QString& destination, qint64 maxBytes);

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

}  // namespace base
