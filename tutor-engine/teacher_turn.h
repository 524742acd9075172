#pragma once

#include <QJsonObject>
#include <QString>

#include "tutor-engine/raw_value.h"

namespace meridcore {

// One line of the conversation between the student and the tutor.
struct TeacherTurn {
    enum class Role { user, assistant };

    TeacherTurn(Role role, QString content) : role(role), content(std::move(content)) {}

    Role role;
    QString content;  // stored unchanged

    bool operator==(const TeacherTurn&) const = default;

    // {"role": raw value, "content": text}; both required on decoding, other members ignored.
    QJsonObject toJson() const;
    static TeacherTurn fromJson(const QJsonObject& object);
};

QString rawValue(TeacherTurn::Role role);
template <>
std::optional<TeacherTurn::Role> fromRawValue<TeacherTurn::Role>(const QString& raw);
template <>
QList<TeacherTurn::Role> allCases<TeacherTurn::Role>();

}  // namespace meridcore
