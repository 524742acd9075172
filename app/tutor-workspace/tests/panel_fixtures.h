#pragma once

// Sessions for the panel tests: material of a given number of pieces and an outline of a given
// number of topics, made directly (the outline detection keeps at most 80 headings).

#include <QString>
#include <QUuid>

#include "tutor-engine/teacher_learning_session.h"

namespace panelfixtures {

inline meridcore::TeacherLearningSession sessionWithTopics(int topicCount, int chunkCount) {
    const qsizetype length = meridcore::TeacherMaterial::chunkSize * (chunkCount - 1) + 10;
    const QString text = QStringLiteral("[第 1 页]\n") + QString(length, u'文');
    meridcore::TeacherLearningSession session(
        0, {.material = meridcore::TeacherMaterial(QStringLiteral("课件.pdf"), text, QString())});
    if (topicCount == 0) return session;
    meridcore::MeridV12CoursePlan plan;
    plan.sourceFingerprint = QStringLiteral("f");
    plan.sourceName = QStringLiteral("课件.pdf");
    for (int i = 1; i <= topicCount; ++i) {
        meridcore::MeridV12CourseTopic topic;
        topic.id = QStringLiteral("f:line-%1").arg(i);
        topic.heading = QStringLiteral("第 %1 章 主题").arg(i);
        topic.lineNumber = i;
        if (i == 1) topic.sourceMarker = QStringLiteral("[第 1 页]");
        plan.topics.append(topic);
    }
    plan.activeTopicID = plan.topics.first().id;
    session.coursePlan = plan;
    return session;
}

inline meridcore::MeridQuizRecord correctAnswer(const QString& topicID, const QString& kind) {
    meridcore::MeridQuizRecord record(QUuid::createUuid(), kind + QStringLiteral(" ") + topicID, QString(), QString());
    record.answer = QStringLiteral("答");
    record.assessment = meridcore::MeridAssessment::correct;
    record.usedHint = false;
    record.questionKind = kind;
    record.sourceTopicID = topicID;
    return record;
}

// Supported evidence for the topic and a review that fell due an hour ago.
inline void markReviewDue(meridcore::TeacherLearningSession& session, const meridcore::MeridV12CourseTopic& topic) {
    session.quizRecords->append(correctAnswer(topic.id, QStringLiteral("recognition")));
    session.quizRecords->append(correctAnswer(topic.id, QStringLiteral("explanation")));
    meridcore::MeridV12ReviewEntry entry;
    entry.nextReviewAt = base::Date::now().addingSeconds(-3600);
    session.coursePlan->reviewEntries.insert(topic.id, entry);
}

}  // namespace panelfixtures
