#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <compare>
#include <optional>

#include "base/errors.h"

// The stored JSON forms shared by every file this program keeps.
namespace base {

// A point in time as seconds since 2001-01-01 00:00:00 UTC, kept as a double so that a stored
// value round-trips exactly.
struct Date {
    double secondsSinceReference = 0;

    static constexpr double kUnixOffset = 978307200.0;  // 2001-01-01 in Unix seconds

    static Date now();
    static Date fromUnixSeconds(double seconds) { return Date{seconds - kUnixOffset}; }
    static Date fromDateTime(const QDateTime& dateTime);
    double unixSeconds() const { return secondsSinceReference + kUnixOffset; }
    QDateTime toDateTime() const;
    Date addingSeconds(double seconds) const { return Date{secondsSinceReference + seconds}; }

    auto operator<=>(const Date&) const = default;
};

// A member that is missing, has the wrong type or holds a malformed value.
class JsonDecodeError : public Error {
public:
    explicit JsonDecodeError(QString detail) : detail_(std::move(detail)) {}
    QString message() const override { return detail_; }

private:
    QString detail_;
};

namespace json {

// Upper-case UUID without braces, the stored form.
QString uuidString(const QUuid& uuid);
// Accepts either case; throws JsonDecodeError for anything that is not a UUID.
QUuid parseUuid(const QString& text);

QJsonValue dateValue(const Date& date);

// Required members: throw JsonDecodeError when absent, null or of another type.
QString requireString(const QJsonObject& object, const QString& key);
double requireDouble(const QJsonObject& object, const QString& key);
qint64 requireInteger(const QJsonObject& object, const QString& key);
bool requireBool(const QJsonObject& object, const QString& key);
Date requireDate(const QJsonObject& object, const QString& key);
QUuid requireUuid(const QJsonObject& object, const QString& key);
QJsonArray requireArray(const QJsonObject& object, const QString& key);
QJsonObject requireObject(const QJsonObject& object, const QString& key);

// Optional members: absent or null gives nullopt; a present member of another type throws.
std::optional<QString> optionalString(const QJsonObject& object, const QString& key);
std::optional<double> optionalDouble(const QJsonObject& object, const QString& key);
std::optional<qint64> optionalInteger(const QJsonObject& object, const QString& key);
std::optional<bool> optionalBool(const QJsonObject& object, const QString& key);
std::optional<Date> optionalDate(const QJsonObject& object, const QString& key);
std::optional<QUuid> optionalUuid(const QJsonObject& object, const QString& key);
std::optional<QJsonArray> optionalArray(const QJsonObject& object, const QString& key);
std::optional<QJsonObject> optionalObject(const QJsonObject& object, const QString& key);

// Writes the member only when the value is present; never writes null.
template <typename T>
void insertOptional(QJsonObject& object, const QString& key, const std::optional<T>& value) {
    if (!value) return;
    if constexpr (std::is_same_v<T, Date>)
        object.insert(key, dateValue(*value));
    else if constexpr (std::is_same_v<T, QUuid>)
        object.insert(key, uuidString(*value));
    else
        object.insert(key, *value);
}

// Compact JSON with the members of every object in sorted key order (QJsonObject keeps keys sorted).
QByteArray compact(const QJsonObject& object);

// Parses bytes that must hold one JSON object; throws JsonDecodeError otherwise.
QJsonObject parseObject(const QByteArray& bytes);

}  // namespace json
}  // namespace base
