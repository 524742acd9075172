#include "base/json.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace base {

Date Date::now() {
    return fromUnixSeconds(double(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
}

Date Date::fromDateTime(const QDateTime& dateTime) {
    return fromUnixSeconds(double(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

QDateTime Date::toDateTime() const {
    // A stored date may be anything a file held: keep the conversion inside the range of qint64.
    double ms = unixSeconds() * 1000.0;
    if (!std::isfinite(ms)) ms = std::isnan(ms) ? 0.0 : std::copysign(9.0e18, ms);
    ms = std::clamp(ms, -9.0e18, 9.0e18);
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(ms)), QTimeZone::utc());
}

namespace json {

QString uuidString(const QUuid& uuid) { return uuid.toString(QUuid::WithoutBraces).toUpper(); }

QUuid parseUuid(const QString& text) {
    // Only the plain 36-character form is a stored UUID; braces or other shapes are refused.
    if (text.size() != 36) throw JsonDecodeError(QStringLiteral("invalid UUID: ") + text);
    const QUuid uuid = QUuid::fromString(text);
    if (uuid.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        throw JsonDecodeError(QStringLiteral("invalid UUID: ") + text);
    return uuid;
}

QJsonValue dateValue(const Date& date) { return date.secondsSinceReference; }

namespace {

QJsonValue member(const QJsonObject& object, const QString& key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull())
        throw JsonDecodeError(QStringLiteral("missing member: ") + key);
    return *it;
}

[[noreturn]] void wrongType(const QString& key) {
    throw JsonDecodeError(QStringLiteral("member of the wrong type: ") + key);
}

bool present(const QJsonObject& object, const QString& key) {
    const auto it = object.constFind(key);
    return it != object.constEnd() && !it->isNull();
}

qint64 integerOf(const QJsonValue& value, const QString& key) {
    if (!value.isDouble()) wrongType(key);
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 9007199254740992.0) wrongType(key);
    return qint64(d);
}

}  // namespace

QString requireString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = member(object, key);
    if (!value.isString()) wrongType(key);
    return value.toString();
}

double requireDouble(const QJsonObject& object, const QString& key) {
    const QJsonValue value = member(object, key);
    if (!value.isDouble()) wrongType(key);
    return value.toDouble();
}

qint64 requireInteger(const QJsonObject& object, const QString& key) {
    return integerOf(member(object, key), key);
}

bool requireBool(const QJsonObject& object, const QString& key) {
    const QJsonValue value = member(object, key);
    if (!value.isBool()) wrongType(key);
    return value.toBool();
}

Date requireDate(const QJsonObject& object, const QString& key) { return Date{requireDouble(object, key)}; }

QUuid requireUuid(const QJsonObject& object, const QString& key) {
    return parseUuid(requireString(object, key));
}

QJsonArray requireArray(const QJsonObject& object, const QString& key) {
    const QJsonValue value = member(object, key);
    if (!value.isArray()) wrongType(key);
    return value.toArray();
}

QJsonObject requireObject(const QJsonObject& object, const QString& key) {
    const QJsonValue value = member(object, key);
    if (!value.isObject()) wrongType(key);
    return value.toObject();
}

std::optional<QString> optionalString(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireString(object, key);
}

std::optional<double> optionalDouble(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireDouble(object, key);
}

std::optional<qint64> optionalInteger(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireInteger(object, key);
}

std::optional<bool> optionalBool(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireBool(object, key);
}

std::optional<Date> optionalDate(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireDate(object, key);
}

std::optional<QUuid> optionalUuid(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireUuid(object, key);
}

std::optional<QJsonArray> optionalArray(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireArray(object, key);
}

std::optional<QJsonObject> optionalObject(const QJsonObject& object, const QString& key) {
    if (!present(object, key)) return std::nullopt;
    return requireObject(object, key);
}

QByteArray compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonObject parseObject(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodeError(QStringLiteral("invalid JSON: ") + error.errorString());
    if (!document.isObject()) throw JsonDecodeError(QStringLiteral("JSON is not an object"));
    return document.object();
}

}  // namespace json
}  // namespace base
