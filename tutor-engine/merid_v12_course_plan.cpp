#include "tutor-engine/merid_v12_course_plan.h"

#include <QJsonArray>

#include <algorithm>

namespace meridcore {

using namespace base::json;

QJsonObject MeridV12CourseTopic::toJson() const {
    QJsonObject object{
        {QStringLiteral("id"), id},
        {QStringLiteral("heading"), heading},
        {QStringLiteral("lineNumber"), lineNumber},
        {QStringLiteral("chunkIndex"), chunkIndex},
    };
    insertOptional(object, QStringLiteral("sourceMarker"), sourceMarker);
    return object;
}

MeridV12CourseTopic MeridV12CourseTopic::fromJson(const QJsonObject& object) {
    MeridV12CourseTopic topic;
    topic.id = requireString(object, QStringLiteral("id"));
    topic.heading = requireString(object, QStringLiteral("heading"));
    topic.lineNumber = requireInteger(object, QStringLiteral("lineNumber"));
    topic.chunkIndex = requireInteger(object, QStringLiteral("chunkIndex"));
    topic.sourceMarker = optionalString(object, QStringLiteral("sourceMarker"));
    return topic;
}

QJsonObject MeridV12ReviewEntry::toJson() const {
    QJsonObject object{{QStringLiteral("successfulReviews"), successfulReviews}};
    insertOptional(object, QStringLiteral("nextReviewAt"), nextReviewAt);
    insertOptional(object, QStringLiteral("lastReviewedAt"), lastReviewedAt);
    insertOptional(object, QStringLiteral("lastProcessedQuizID"), lastProcessedQuizID);
    return object;
}

MeridV12ReviewEntry MeridV12ReviewEntry::fromJson(const QJsonObject& object) {
    MeridV12ReviewEntry entry;
    entry.nextReviewAt = optionalDate(object, QStringLiteral("nextReviewAt"));
    entry.lastReviewedAt = optionalDate(object, QStringLiteral("lastReviewedAt"));
    entry.successfulReviews = std::max<qint64>(0, requireInteger(object, QStringLiteral("successfulReviews")));
    entry.lastProcessedQuizID = optionalUuid(object, QStringLiteral("lastProcessedQuizID"));
    return entry;
}

std::optional<MeridV12CourseTopic> MeridV12CoursePlan::activeTopic() const {
    if (!activeTopicID) return std::nullopt;
    for (const MeridV12CourseTopic& topic : topics)
        if (topic.id == *activeTopicID) return topic;
    return std::nullopt;
}

QJsonObject MeridV12CoursePlan::toJson() const {
    QJsonArray topicArray;
    for (const MeridV12CourseTopic& topic : topics) topicArray.append(topic.toJson());
    QJsonObject entries;
    for (auto it = reviewEntries.cbegin(); it != reviewEntries.cend(); ++it) entries.insert(it.key(), it->toJson());
    QJsonObject object{
        {QStringLiteral("sourceFingerprint"), sourceFingerprint},
        {QStringLiteral("sourceName"), sourceName},
        {QStringLiteral("topics"), topicArray},
        {QStringLiteral("reviewEntries"), entries},
    };
    insertOptional(object, QStringLiteral("activeTopicID"), activeTopicID);
    return object;
}

MeridV12CoursePlan MeridV12CoursePlan::fromJson(const QJsonObject& object) {
    MeridV12CoursePlan plan;
    plan.sourceFingerprint = requireString(object, QStringLiteral("sourceFingerprint"));
    plan.sourceName = requireString(object, QStringLiteral("sourceName"));
    for (const QJsonValue& value : requireArray(object, QStringLiteral("topics"))) {
        if (!value.isObject()) throw base::JsonDecodeError(QStringLiteral("member of the wrong type: topics"));
        plan.topics.append(MeridV12CourseTopic::fromJson(value.toObject()));
    }
    plan.activeTopicID = optionalString(object, QStringLiteral("activeTopicID"));
    const QJsonObject entries = requireObject(object, QStringLiteral("reviewEntries"));
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        if (!it->isObject()) throw base::JsonDecodeError(QStringLiteral("member of the wrong type: reviewEntries"));
        plan.reviewEntries.insert(it.key(), MeridV12ReviewEntry::fromJson(it->toObject()));
    }
    return plan;
}

}  // namespace meridcore
