#pragma once

#include <QString>

#include "tutor-engine/raw_value.h"

namespace meridcore {

// The five steps of one lesson, in lesson order. The raw values are stored in session files.
enum class MeridStep { understand, practice, review, reinforce, master };

QString rawValue(MeridStep step);
template <>
std::optional<MeridStep> fromRawValue<MeridStep>(const QString& raw);
template <>
QList<MeridStep> allCases<MeridStep>();

inline QString id(MeridStep step) { return rawValue(step); }
// 1-based position in the lesson path.
int number(MeridStep step);
QString label(MeridStep step);
// The raw value with its first letter capitalised ("Reinforce").
QString english(MeridStep step);

}  // namespace meridcore
