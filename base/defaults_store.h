#pragma once

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "base/json.h"

struct stat;

namespace base {

// The user's settings: typed values under plain keys, kept in a JSON file that is written
// atomically (0600) on every change. Each value remembers its type, so a bool stays a bool and
// an integer an integer across runs. Reading a key that holds another type gives nothing, the same
// as an absent key; `type()` tells the two apart. Safe to use from any thread.
//
// Data safety: a file that exists but cannot be read or is not a JSON object is never overwritten:
// before the next write it is renamed, bytes unchanged, to "<file>.unreadable-<time>" (0600), and
// when that move fails nothing is written. Such a file reads as empty when the store is made; when
// it turns so later, the values read before stay, and the next write stores them. A failed write
// keeps the change in memory for this run. `fileStatus` tells all three, for the person to hear.
class DefaultsStore : public QObject {
    Q_OBJECT
public:
    enum class Type { boolean, integer, real, string, date, array, dictionary };

    // What happened to the settings file.
    struct FileStatus {
        // The file could not be read; it is kept as it is until the next write moves it aside.
        bool unreadable = false;
        // With `unreadable`: the file turned so after values were read from it; they stay in use.
        bool earlierValuesKept = false;
        // Where a write moved an unreadable file; empty when none was moved.
        QString setAsidePath;
        // Why the last write (or the move before it) failed; nothing when it worked.
        std::optional<QString> writeFailure;

        bool operator==(const FileStatus&) const = default;
    };

    // A store over `filePath`; an empty path keeps the values in memory only.
    explicit DefaultsStore(QString filePath, QObject* parent = nullptr);

    // The one store of the user's settings: "$XDG_CONFIG_HOME/com.orvel.formac/defaults.json",
    // or the file named by ORVEL_DEFAULTS_FILE. With no usable configuration folder, in memory.
    static DefaultsStore& standard();

    QString filePath() const { return filePath_; }

    bool contains(const QString& key) const;
    std::optional<Type> type(const QString& key) const;
    QStringList keys() const;

    std::optional<bool> boolValue(const QString& key) const;
    std::optional<qint64> integerValue(const QString& key) const;
    // A stored integer also reads as a number.
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<Date> dateValue(const QString& key) const;
    std::optional<QJsonArray> arrayValue(const QString& key) const;
    std::optional<QJsonObject> dictionaryValue(const QString& key) const;

    // Reads with a fallback: absent or another type gives `fallback`.
    qint64 integer(const QString& key, qint64 fallback = 0) const { return integerValue(key).value_or(fallback); }
    bool boolean(const QString& key, bool fallback = false) const { return boolValue(key).value_or(fallback); }
    QString string(const QString& key, const QString& fallback = {}) const {
        return stringValue(key).value_or(fallback);
    }

    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setDouble(const QString& key, double value);
    void setString(const QString& key, const QString& value);
    void setDate(const QString& key, const Date& value);
    void setArray(const QString& key, const QJsonArray& value);
    void setDictionary(const QString& key, const QJsonObject& value);
    void remove(const QString& key);

    // From now on changes are kept in memory only, over what the file holds, until releaseWrites(): a
    // copy of the program that may find another copy keeping these settings writes nothing before it
    // knows it is the one (and then what it changed meanwhile).
    void holdWrites();
    // Writes the changes held, if any, and every change from now on.
    void releaseWrites();

    // Whether the last write to the file failed (the value is still held in memory).
    bool lastWriteFailed() const;
    FileStatus fileStatus() const;

Q_SIGNALS:
    // Emitted after a key was set or removed, on the thread that changed it.
    void changed(const QString& key);
    // Emitted when fileStatus() changed, on the thread that read or wrote the file.
    void fileStatusChanged();

private:
    struct Entry {
        Type type;
        QJsonValue value;
    };
    void set(const QString& key, Type type, const QJsonValue& value);
    std::optional<Entry> entry(const QString& key) const;
    void reloadIfChangedLocked() const;
    void loadLocked() const;
    void saveLocked();
    // Takes the mark of a changed file status; the caller emits after unlocking.
    bool takeStatusChangeLocked() const;
    void emitStatusChanged(bool changed) const;

    QString filePath_;
    mutable QMutex mutex_;
    mutable QHash<QString, Entry> entries_;
    // What tells one state of the file from another. A write by rename gives the path another inode,
    // and the file the entries came from stays open so that its inode is not given to a later file;
    // a write in place changes the size or the times. (Times alone miss two writes within one tick.)
    struct FileStamp {
        explicit FileStamp(const struct ::stat& status);
        quint64 device;
        quint64 inode;
        qint64 size;
        qint64 modifiedNs;
        qint64 changedNs;
        bool operator==(const FileStamp&) const = default;
    };
    mutable std::optional<FileStamp> loaded_;
    mutable std::unique_ptr<QFile> loadedFile_;
    mutable FileStatus status_;
    mutable bool statusChanged_ = false;
    // While writes are held: the keys changed meanwhile, with their values (nothing: removed).
    bool holding_ = false;
    QHash<QString, std::optional<Entry>> held_;
};

}  // namespace base
