#pragma once

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

#include "tutor-engine/merid_assessment.h"

namespace meridcore {

// One question the tutor put to the student, with the student's answer and its grading once given.
// A record whose `answer` is absent is a question still waiting for the student.
struct MeridQuizRecord {
    static constexpr qsizetype maxQuestionLength = 2000;
    static constexpr qsizetype maxTopicLength = 120;
    static constexpr qsizetype maxMaterialReferenceLength = 180;

    // Cuts question, topic and material reference to their limits (in characters); the record
    // starts unanswered, unassessed and with `usedHint` false.
    MeridQuizRecord(const QUuid& id, const QString& question, const QString& topic,
                    const QString& materialReference);

    QUuid id;
    QString question;
    QString topic;
    QString materialReference;
    std::optional<QString> answer;
    std::optional<QString> feedback;
    MeridAssessment assessment = MeridAssessment::unassessed;
    // "recognition", "calculation", "application" or "explanation".
    std::optional<QString> questionKind;
    // True once the student asked a follow-up while this question was pending; absent only in
    // records stored without it.
    std::optional<bool> usedHint;
    // The course topic that was active when the question was recorded.
    std::optional<QString> sourceTopicID;

    bool operator==(const MeridQuizRecord&) const = default;

    // Optional members are left out when absent. Decoding cuts nothing and throws
    // base::JsonDecodeError when a required member is missing or of the wrong type.
    QJsonObject toJson() const;
    static MeridQuizRecord fromJson(const QJsonObject& object);
};

}  // namespace meridcore
