#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

#include "base/json.h"

// Stored enumerations of the tutor engine are written as their raw string. Each enumeration's
// header declares `QString rawValue(E)` and gives its own versions of the two templates below.
namespace meridcore {

// The case whose raw value equals `raw` exactly (case-sensitive); nullopt for any other string.
template <typename E>
std::optional<E> fromRawValue(const QString& raw);

// Every case of the enumeration, in declaration order.
template <typename E>
QList<E> allCases();

// A required member holding a raw value; throws base::JsonDecodeError when it is missing, not a
// string, or not one of the raw values.
template <typename E>
E requireRawValue(const QJsonObject& object, const QString& key) {
    const QString raw = base::json::requireString(object, key);
    if (const std::optional<E> value = fromRawValue<E>(raw)) return *value;
    throw base::JsonDecodeError(QStringLiteral("unknown value of ") + key + QStringLiteral(": ") + raw);
}

// An optional member holding a raw value: absent or null gives nullopt; anything else must decode.
template <typename E>
std::optional<E> optionalRawValue(const QJsonObject& object, const QString& key) {
    const std::optional<QString> raw = base::json::optionalString(object, key);
    if (!raw) return std::nullopt;
    if (const std::optional<E> value = fromRawValue<E>(*raw)) return value;
    throw base::JsonDecodeError(QStringLiteral("unknown value of ") + key + QStringLiteral(": ") + *raw);
}

}  // namespace meridcore
