#include "tutor-engine/teacher_turn.h"

namespace meridcore {

QString rawValue(TeacherTurn::Role role) {
    switch (role) {
    case TeacherTurn::Role::user: return QStringLiteral("user");
    case TeacherTurn::Role::assistant: return QStringLiteral("assistant");
    }
    return {};
}

template <>
std::optional<TeacherTurn::Role> fromRawValue<TeacherTurn::Role>(const QString& raw) {
    for (const TeacherTurn::Role role : allCases<TeacherTurn::Role>())
        if (rawValue(role) == raw) return role;
    return std::nullopt;
}

template <>
QList<TeacherTurn::Role> allCases<TeacherTurn::Role>() {
    return {TeacherTurn::Role::user, TeacherTurn::Role::assistant};
}

QJsonObject TeacherTurn::toJson() const {
    return QJsonObject{{QStringLiteral("role"), rawValue(role)}, {QStringLiteral("content"), content}};
}

TeacherTurn TeacherTurn::fromJson(const QJsonObject& object) {
    const Role role = requireRawValue<Role>(object, QStringLiteral("role"));
    return TeacherTurn(role, base::json::requireString(object, QStringLiteral("content")));
}

}  // namespace meridcore
