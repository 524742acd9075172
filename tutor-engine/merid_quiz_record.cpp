#include "tutor-engine/merid_quiz_record.h"

#include "base/json.h"
#include "base/text.h"

namespace meridcore {

MeridQuizRecord::MeridQuizRecord(const QUuid& id, const QString& question, const QString& topic,
                                 const QString& materialReference)
    : id(id),
      question(base::text::graphemePrefix(question, maxQuestionLength)),
      topic(base::text::graphemePrefix(topic, maxTopicLength)),
      materialReference(base::text::graphemePrefix(materialReference, maxMaterialReferenceLength)),
      usedHint(false) {}

QJsonObject MeridQuizRecord::toJson() const {
    using base::json::insertOptional;
    QJsonObject object{
        {QStringLiteral("id"), base::json::uuidString(id)},
        {QStringLiteral("question"), question},
        {QStringLiteral("topic"), topic},
        {QStringLiteral("materialReference"), materialReference},
        {QStringLiteral("assessment"), base::rawValue(assessment)},
    };
    insertOptional(object, QStringLiteral("answer"), answer);
    insertOptional(object, QStringLiteral("feedback"), feedback);
    insertOptional(object, QStringLiteral("questionKind"), questionKind);
    insertOptional(object, QStringLiteral("usedHint"), usedHint);
    insertOptional(object, QStringLiteral("sourceTopicID"), sourceTopicID);
    return object;
}

MeridQuizRecord MeridQuizRecord::fromJson(const QJsonObject& object) {
    using namespace base::json;
    MeridQuizRecord record(requireUuid(object, QStringLiteral("id")), QString(), QString(), QString());
    // Stored texts are taken whole: the cuts apply only to new records.
    record.question = requireString(object, QStringLiteral("question"));
    record.topic = requireString(object, QStringLiteral("topic"));
    record.materialReference = requireString(object, QStringLiteral("materialReference"));
    record.assessment = base::requireRawValue<MeridAssessment>(object, QStringLiteral("assessment"));
    record.answer = optionalString(object, QStringLiteral("answer"));
    record.feedback = optionalString(object, QStringLiteral("feedback"));
    record.questionKind = optionalString(object, QStringLiteral("questionKind"));
    record.usedHint = optionalBool(object, QStringLiteral("usedHint"));
    record.sourceTopicID = optionalString(object, QStringLiteral("sourceTopicID"));
    return record;
}

}  // namespace meridcore
