#pragma once

#include <QJsonObject>
#include <QString>

#include "base/raw_value.h"

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

constexpr auto rawValueTable(TeacherTurn::Role) {
    using enum TeacherTurn::Role;
    return base::rawValues<TeacherTurn::Role>({{user, u"user"}, {assistant, u"assistant"}});
}

}  // namespace meridcore
