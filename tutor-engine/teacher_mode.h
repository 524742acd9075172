#pragma once

#include <QString>

#include "tutor-engine/raw_value.h"

namespace meridcore {

// The kind of work one tutor request asks for.
enum class TeacherMode { teach, quiz, grade, summary, sprint };

QString rawValue(TeacherMode mode);
template <>
std::optional<TeacherMode> fromRawValue<TeacherMode>(const QString& raw);
template <>
QList<TeacherMode> allCases<TeacherMode>();

// The identifier of a mode is its raw value.
inline QString id(TeacherMode mode) { return rawValue(mode); }

// The mode's name as the student sees it.
QString title(TeacherMode mode);

// The fixed instruction given to the tutor with every request of the mode.
QString prompt(TeacherMode mode);

}  // namespace meridcore
