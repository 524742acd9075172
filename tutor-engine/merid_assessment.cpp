#include "tutor-engine/merid_assessment.h"

namespace meridcore {

QString rawValue(MeridAssessment assessment) {
    switch (assessment) {
    case MeridAssessment::unassessed: return QStringLiteral("unassessed");
    case MeridAssessment::correct: return QStringLiteral("correct");
    case MeridAssessment::partial: return QStringLiteral("partial");
    case MeridAssessment::incorrect: return QStringLiteral("incorrect");
    }
    return {};
}

template <>
std::optional<MeridAssessment> fromRawValue<MeridAssessment>(const QString& raw) {
    for (const MeridAssessment assessment : allCases<MeridAssessment>())
        if (rawValue(assessment) == raw) return assessment;
    return std::nullopt;
}

template <>
QList<MeridAssessment> allCases<MeridAssessment>() {
    return {MeridAssessment::unassessed, MeridAssessment::correct, MeridAssessment::partial,
            MeridAssessment::incorrect};
}

QString label(MeridAssessment assessment) {
    switch (assessment) {
    case MeridAssessment::unassessed: return QStringLiteral("未检测");
    case MeridAssessment::correct: return QStringLiteral("AI 评估：正确");
    case MeridAssessment::partial: return QStringLiteral("AI 评估：部分正确");
    case MeridAssessment::incorrect: return QStringLiteral("AI 评估：需要补救");
    }
    return {};
}

QString rawValue(MeridEvidenceStatus status) {
    switch (status) {
    case MeridEvidenceStatus::notTested: return QStringLiteral("notTested");
    case MeridEvidenceStatus::needsReview: return QStringLiteral("needsReview");
    case MeridEvidenceStatus::preliminary: return QStringLiteral("preliminary");
    case MeridEvidenceStatus::repeated: return QStringLiteral("repeated");
    }
    return {};
}

template <>
std::optional<MeridEvidenceStatus> fromRawValue<MeridEvidenceStatus>(const QString& raw) {
    for (const MeridEvidenceStatus status : allCases<MeridEvidenceStatus>())
        if (rawValue(status) == raw) return status;
    return std::nullopt;
}

template <>
QList<MeridEvidenceStatus> allCases<MeridEvidenceStatus>() {
    return {MeridEvidenceStatus::notTested, MeridEvidenceStatus::needsReview, MeridEvidenceStatus::preliminary,
            MeridEvidenceStatus::repeated};
}

QString label(MeridEvidenceStatus status) {
    switch (status) {
    case MeridEvidenceStatus::notTested: return QStringLiteral("未检测");
    case MeridEvidenceStatus::needsReview: return QStringLiteral("需要复习");
    case MeridEvidenceStatus::preliminary: return QStringLiteral("初步掌握（AI 批改，尚需复测）");
    case MeridEvidenceStatus::repeated: return QStringLiteral("已多次验证（AI 批改）");
    }
    return {};
}

}  // namespace meridcore
