#include "tutor-engine/merid_v12_course_navigator.h"

#include <algorithm>

namespace meridcore::MeridV12CourseNavigator {

namespace {

// The session's quiz records that belong to the topic, in stored order.
QList<MeridQuizRecord> topicRecords(const MeridV12CourseTopic& topic, const TeacherLearningSession& session) {
    QList<MeridQuizRecord> records;
    if (!session.quizRecords) return records;
    for (const MeridQuizRecord& record : *session.quizRecords)
        if (record.sourceTopicID == topic.id) records.append(record);
    return records;
}

bool isDue(const MeridV12ReviewEntry& entry, base::Date now) {
    return entry.nextReviewAt && *entry.nextReviewAt <= now;
}

}  // namespace

MeridV12KnowledgeEvidence evidence(const MeridV12CourseTopic& topic, const TeacherLearningSession& session) {
    return MeridV12LessonPolicy::evidence(topicRecords(topic, session));
}

bool reviewDue(const MeridV12CourseTopic& topic, const TeacherLearningSession& session, base::Date now) {
    if (evidence(topic, session).status != MeridV12KnowledgeStatus::supported) return false;
    if (!session.coursePlan) return false;
    const auto entry = session.coursePlan->reviewEntries.constFind(topic.id);
    if (entry == session.coursePlan->reviewEntries.cend()) return false;
    return isDue(*entry, now);
}

void recordAssessment(TeacherLearningSession& session, base::Date now) {
    if (!session.coursePlan) return;
    const std::optional<MeridV12CourseTopic> topic = session.coursePlan->activeTopic();
    if (!topic) return;

    const QList<MeridQuizRecord> records = topicRecords(*topic, session);
    const auto graded = std::find_if(records.crbegin(), records.crend(), [](const MeridQuizRecord& record) {
        return record.answer.has_value() && record.assessment != MeridAssessment::unassessed;
    });
    if (graded == records.crend()) return;
    const MeridQuizRecord& record = *graded;

    MeridV12ReviewEntry entry = session.coursePlan->reviewEntries.value(topic->id);
    // One grading is applied once only, however often this runs.
    if (entry.lastProcessedQuizID == record.id) return;
    entry.lastProcessedQuizID = record.id;

    switch (MeridV12LessonPolicy::evidence(records).status) {
    case MeridV12KnowledgeStatus::needsRepair:
        entry.successfulReviews = 0;
        entry.nextReviewAt = now.addingSeconds(repairDelaySeconds);
        entry.lastReviewedAt = now;
        break;
    case MeridV12KnowledgeStatus::supported:
        if (isDue(entry, now) && record.assessment == MeridAssessment::correct && record.usedHint == false) {
            entry.successfulReviews = std::max<qint64>(entry.successfulReviews, 0) + 1;
            const qint64 step = std::min<qint64>(entry.successfulReviews - 1, 2);
            entry.nextReviewAt = now.addingSeconds(double(reviewIntervalDays[step]) * 24 * 60 * 60);
            entry.lastReviewedAt = now;
        } else if (!entry.nextReviewAt) {
            entry.nextReviewAt = now.addingSeconds(firstReviewDelaySeconds);
            entry.lastReviewedAt = now;
        }
        break;
    case MeridV12KnowledgeStatus::notTested:
    case MeridV12KnowledgeStatus::learning:
    case MeridV12KnowledgeStatus::provisional:
        break;
    }

    session.coursePlan->reviewEntries.insert(topic->id, entry);
    session.updatedAt = now;
}

}  // namespace meridcore::MeridV12CourseNavigator
