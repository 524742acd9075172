#pragma once

#include <QList>
#include <QString>

#include "base/raw_value.h"
#include "tutor-engine/merid_quiz_record.h"

namespace meridcore {

// What the student has shown on one topic, from independent (unaided) answers.
enum class MeridV12KnowledgeStatus { notTested, learning, needsRepair, provisional, supported };

constexpr auto rawValueTable(MeridV12KnowledgeStatus) {
    using enum MeridV12KnowledgeStatus;
    return base::rawValues<MeridV12KnowledgeStatus>({{notTested, u"notTested"}, {learning, u"learning"},
        {needsRepair, u"needsRepair"}, {provisional, u"provisional"}, {supported, u"supported"}});
}

QString chineseLabel(MeridV12KnowledgeStatus status);

struct MeridV12KnowledgeEvidence {
    MeridV12KnowledgeStatus status = MeridV12KnowledgeStatus::notTested;
    // Distinct questions answered correctly without help.
    int independentCorrectQuestions = 0;
    // Distinct application or explanation questions answered correctly without help.
    int independentApplicationQuestions = 0;
    // Graded answers given after asking for a hint, duplicates included.
    int assistedAttempts = 0;
    // The latest graded answers in a row that were not correct.
    int consecutiveErrors = 0;

    bool operator==(const MeridV12KnowledgeEvidence&) const = default;
};

}  // namespace meridcore

namespace meridcore::MeridV12LessonPolicy {

// The knowledge evidence of a topic's quiz records, taken oldest first.
MeridV12KnowledgeEvidence evidence(const QList<MeridQuizRecord>& records);

}  // namespace meridcore::MeridV12LessonPolicy
