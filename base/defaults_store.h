#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

#include "base/json.h"

namespace base {

// The user's settings: typed values under plain keys, kept in a JSON file that is written
// atomically (0600) on every change. Each value remembers its type, so a bool stays a bool and
// an integer an integer across runs. Reading a key that holds another type gives nothing, the same
// as an absent key; `type()` tells the two apart. Safe to use from any thread.
class DefaultsStore : public QObject {
    Q_OBJECT
public:
    enum class Type { boolean, integer, real, string, date, array, dictionary };

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

    // Whether the last write to the file failed (the value is still held in memory).
    bool lastWriteFailed() const;

Q_SIGNALS:
    // Emitted after a key was set or removed, on the thread that changed it.
    void changed(const QString& key);

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

    QString filePath_;
    mutable QMutex mutex_;
    mutable QHash<QString, Entry> entries_;
    mutable QDateTime loadedModified_;
    mutable qint64 loadedSize_ = -1;
    bool lastWriteFailed_ = false;
};

}  // namespace base
