#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <concepts>
#include <cstddef>
#include <optional>
#include <type_traits>

#include "base/json.h"

// Enumerations that are stored or sent as a fixed value per case (their raw value) list those values
// once, in a table beside the enumeration and in its namespace, so that argument-dependent lookup
// finds it:
//
//     enum class StudyMode { translate, explain, practice };
//     constexpr auto rawValueTable(StudyMode) {
//         using enum StudyMode;
//         return base::rawValues<StudyMode>(
//             {{translate, u"translate"}, {explain, u"explain"}, {practice, u"practice"}});
//     }
//
// The table names every case once, in declaration order. Raw values are strings (u"" literals) or,
// with base::rawValues<E, qint64>, integers. Everything else is common to all enumerations:
//
//     base::rawValue(StudyMode::explain)           QString "explain" (the integer for integer tables)
//     base::fromRawValue<StudyMode>(raw)           exact, case-sensitive match; anything else -> std::nullopt
//     base::allCases<StudyMode>()                  every case, in declaration order
//     base::requireRawValue<StudyMode>(object, key), base::optionalRawValue<StudyMode>(object, key)
namespace base {

template <typename E, typename Raw>
struct RawCase {
    E value;
    Raw raw;
};

template <typename E, typename Raw = QStringView, std::size_t N>
constexpr std::array<RawCase<E, Raw>, N> rawValues(const RawCase<E, Raw> (&cases)[N]) {
    std::array<RawCase<E, Raw>, N> table{};
    for (std::size_t i = 0; i < N; ++i) table[i] = cases[i];
    return table;
}

template <typename E>
concept RawValueEnum = std::is_enum_v<E> && requires(E value) { rawValueTable(value); };

namespace detail {

template <RawValueEnum E>
using RawOf = std::remove_cvref_t<decltype(rawValueTable(E{})[0].raw)>;

template <typename Raw>
inline constexpr bool isStringRaw = std::is_same_v<Raw, QStringView>;

}  // namespace detail

// The type rawValue() returns: QString for string tables, the integer type otherwise.
template <RawValueEnum E>
using RawValueType = std::conditional_t<detail::isStringRaw<detail::RawOf<E>>, QString, detail::RawOf<E>>;

template <RawValueEnum E>
RawValueType<E> rawValue(E value) {
    for (const auto& entry : rawValueTable(value)) {
        if (entry.value != value) continue;
        if constexpr (detail::isStringRaw<detail::RawOf<E>>)
            return QString::fromRawData(entry.raw.data(), entry.raw.size());  // the table's literals live forever
        else
            return entry.raw;
    }
    return {};
}

template <RawValueEnum E>
std::optional<E> fromRawValue(detail::RawOf<E> raw) {
    for (const auto& entry : rawValueTable(E{}))
        if (entry.raw == raw) return entry.value;
    return std::nullopt;
}

template <RawValueEnum E>
QList<E> allCases() {
    QList<E> cases;
    for (const auto& entry : rawValueTable(E{})) cases.append(entry.value);
    return cases;
}

// A required member holding a raw value; throws JsonDecodeError when it is missing, not a string,
// or not one of the raw values.
template <RawValueEnum E>
E requireRawValue(const QJsonObject& object, const QString& key) {
    const QString raw = json::requireString(object, key);
    if (const std::optional<E> value = fromRawValue<E>(raw)) return *value;
    throw JsonDecodeError(QStringLiteral("unknown value of ") + key + QStringLiteral(": ") + raw);
}

// An optional member holding a raw value: absent or null gives nullopt; anything else must decode.
template <RawValueEnum E>
std::optional<E> optionalRawValue(const QJsonObject& object, const QString& key) {
    const std::optional<QString> raw = json::optionalString(object, key);
    if (!raw) return std::nullopt;
    if (const std::optional<E> value = fromRawValue<E>(*raw)) return value;
    throw JsonDecodeError(QStringLiteral("unknown value of ") + key + QStringLiteral(": ") + *raw);
}

}  // namespace base
