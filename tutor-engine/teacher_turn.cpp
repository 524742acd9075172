#include "tutor-engine/teacher_turn.h"

namespace meridcore {

QJsonObject TeacherTurn::toJson() const {
    return QJsonObject{{QStringLiteral("role"), base::rawValue(role)}, {QStringLiteral("content"), content}};
}

TeacherTurn TeacherTurn::fromJson(const QJsonObject& object) {
    const Role role = base::requireRawValue<Role>(object, QStringLiteral("role"));
    return TeacherTurn(role, base::json::requireString(object, QStringLiteral("content")));
}

}  // namespace meridcore
