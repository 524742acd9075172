#include "tutor-engine/merid_v12_knowledge_evidence.h"

#include <QSet>

#include "tutor-engine/merid_quiz_evaluator.h"

namespace meridcore {

QString chineseLabel(MeridV12KnowledgeStatus status) {
    switch (status) {
    case MeridV12KnowledgeStatus::notTested: return QStringLiteral("未检测");
    case MeridV12KnowledgeStatus::learning: return QStringLiteral("正在理解");
    case MeridV12KnowledgeStatus::needsRepair: return QStringLiteral("需要补基础");
    case MeridV12KnowledgeStatus::provisional: return QStringLiteral("初步通过 · 待复测");
    case MeridV12KnowledgeStatus::supported: return QStringLiteral("已有掌握证据 · 仍需复习");
    }
    return {};
}

}  // namespace meridcore

namespace meridcore::MeridV12LessonPolicy {

namespace {

bool isGraded(const MeridQuizRecord& record) {
    return record.answer.has_value() && record.assessment != MeridAssessment::unassessed;
}

// A record stored without `usedHint` counts as neither unaided nor assisted.
bool isUnaided(const MeridQuizRecord& record) { return record.usedHint.has_value() && !*record.usedHint; }
bool isAssisted(const MeridQuizRecord& record) { return record.usedHint.value_or(false); }

bool isWrong(MeridAssessment assessment) {
    return assessment == MeridAssessment::incorrect || assessment == MeridAssessment::partial;
}

QString identity(const MeridQuizRecord& record) { return MeridQuizEvaluator::questionIdentity(record.question); }

}  // namespace

MeridV12KnowledgeEvidence evidence(const QList<MeridQuizRecord>& records) {
    QList<const MeridQuizRecord*> graded;
    for (const MeridQuizRecord& record : records)
        if (isGraded(record)) graded.append(&record);
    if (graded.isEmpty()) return MeridV12KnowledgeEvidence{};

    QSet<QString> correctQuestions;
    QSet<QString> applicationQuestions;
    int assisted = 0;
    for (const MeridQuizRecord* record : graded) {
        if (record->assessment == MeridAssessment::correct && isUnaided(*record)) {
            correctQuestions.insert(identity(*record));
            if (record->questionKind == QStringLiteral("application") ||
                record->questionKind == QStringLiteral("explanation"))
                applicationQuestions.insert(identity(*record));
        }
        if (isAssisted(*record)) ++assisted;
    }

    int consecutiveErrors = 0;
    for (auto it = graded.crbegin(); it != graded.crend() && isWrong((*it)->assessment); ++it) ++consecutiveErrors;

    MeridV12KnowledgeEvidence result;
    result.independentCorrectQuestions = int(correctQuestions.size());
    result.independentApplicationQuestions = int(applicationQuestions.size());
    result.assistedAttempts = assisted;
    result.consecutiveErrors = consecutiveErrors;
    if (isWrong(graded.last()->assessment))
        result.status = MeridV12KnowledgeStatus::needsRepair;
    else if (result.independentCorrectQuestions >= 2 && result.independentApplicationQuestions >= 1)
        result.status = MeridV12KnowledgeStatus::supported;
    else
        result.status = MeridV12KnowledgeStatus::provisional;
    return result;
}

}  // namespace meridcore::MeridV12LessonPolicy
