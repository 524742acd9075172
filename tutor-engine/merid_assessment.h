#pragma once

#include <QString>

#include "tutor-engine/raw_value.h"

namespace meridcore {

// The grading outcome of one quiz question. The raw values are stored in session files.
enum class MeridAssessment { unassessed, correct, partial, incorrect };

QString rawValue(MeridAssessment assessment);
template <>
std::optional<MeridAssessment> fromRawValue<MeridAssessment>(const QString& raw);
template <>
QList<MeridAssessment> allCases<MeridAssessment>();
QString label(MeridAssessment assessment);

// What the graded questions of a topic show. Computed on demand, never stored.
enum class MeridEvidenceStatus { notTested, needsReview, preliminary, repeated };

QString rawValue(MeridEvidenceStatus status);
template <>
std::optional<MeridEvidenceStatus> fromRawValue<MeridEvidenceStatus>(const QString& raw);
template <>
QList<MeridEvidenceStatus> allCases<MeridEvidenceStatus>();
QString label(MeridEvidenceStatus status);

}  // namespace meridcore
