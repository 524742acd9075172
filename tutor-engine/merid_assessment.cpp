#include "tutor-engine/merid_assessment.h"

namespace meridcore {

QString label(MeridAssessment assessment) {
    switch (assessment) {
    case MeridAssessment::unassessed: return QStringLiteral("未检测");
    case MeridAssessment::correct: return QStringLiteral("AI 评估：正确");
    case MeridAssessment::partial: return QStringLiteral("AI 评估：部分正确");
    case MeridAssessment::incorrect: return QStringLiteral("AI 评估：需要补救");
    }
    return {};
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
