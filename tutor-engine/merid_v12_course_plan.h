#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QUuid>

#include <optional>

#include "base/json.h"

namespace meridcore {

// One heading of the material's outline, as a topic of the course plan.
struct MeridV12CourseTopic {
    // The plan's source fingerprint, ":", then the outline topic's id ("<fingerprint>:line-12").
    QString id;
    QString heading;
    // 1-based line of the heading in the material text.
    qint64 lineNumber = 0;
    // The material segment that holds the heading.
    qint64 chunkIndex = 0;
    // The page or slide label nearest the heading.
    std::optional<QString> sourceMarker;

    bool operator==(const MeridV12CourseTopic&) const = default;

    QJsonObject toJson() const;
    static MeridV12CourseTopic fromJson(const QJsonObject& object);
};

// The review state of one topic.
struct MeridV12ReviewEntry {
    // When the next review falls due; absent until a review is first scheduled.
    std::optional<base::Date> nextReviewAt;
    // When the schedule was last set.
    std::optional<base::Date> lastReviewedAt;
    // Clean correct answers given while a review was due; 0 again when the topic needs repair.
    qint64 successfulReviews = 0;
    // The quiz record whose grading was applied last.
    std::optional<QUuid> lastProcessedQuizID;

    bool operator==(const MeridV12ReviewEntry&) const = default;

    // A negative stored count is read as 0.
    QJsonObject toJson() const;
    static MeridV12ReviewEntry fromJson(const QJsonObject& object);
};

// The ordered topics found in a material's headings, the active one, and the review state per topic.
struct MeridV12CoursePlan {
    QString sourceFingerprint;
    QString sourceName;
    // In line order; ids unique.
    QList<MeridV12CourseTopic> topics;
    std::optional<QString> activeTopicID;
    // Keyed by topic id.
    QMap<QString, MeridV12ReviewEntry> reviewEntries;

    bool operator==(const MeridV12CoursePlan&) const = default;

    // The first topic whose id is `activeTopicID`; absent when there is none.
    std::optional<MeridV12CourseTopic> activeTopic() const;

    QJsonObject toJson() const;
    static MeridV12CoursePlan fromJson(const QJsonObject& object);
};

}  // namespace meridcore
