#include "tutor-engine/merid_v12_course_navigator.h"

#include <QStringList>

#include <algorithm>

#include "base/text.h"
#include "tutor-engine/merid_v12_course_outline.h"

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

using NavigationError = MeridV12CourseNavigationError;

void clearLatestReply(TeacherLearningSession& session) {
    session.latestClassroomResponse.reset();
    session.latestClassroomMode.reset();
    session.lastPedagogicalAction.reset();
}

// Moves the session to the plan's active topic, when there is one.
void followActiveTopic(TeacherLearningSession& session) {
    if (!session.coursePlan) return;
    if (const std::optional<MeridV12CourseTopic> topic = session.coursePlan->activeTopic()) {
        session.topicName = topic->heading;
        session.chunkIndex = topic->chunkIndex;
    }
}

bool planMatchesMaterial(const TeacherLearningSession& session) {
    return session.coursePlan && session.material &&
           fingerprint(*session.material) == session.coursePlan->sourceFingerprint;
}

}  // namespace

QString fingerprint(const TeacherMaterial& material) {
    quint64 hash = 0xcbf29ce484222325ULL;
    auto mix = [&hash](const QByteArray& bytes) {
        for (const char byte : bytes) {
            hash ^= quint64(quint8(byte));
            hash *= 0x100000001b3ULL;
        }
    };
    mix(material.name().toUtf8());
    mix(QByteArray(1, '\0'));
    mix(material.text().toUtf8());
    return QString::number(hash, 16);
}

std::optional<MeridV12CoursePlan> build(const TeacherMaterial& material) {
    QList<MeridV12SourceTopic> headings = MeridV12CourseOutline::build(material);
    headings.removeIf([](const MeridV12SourceTopic& topic) { return !topic.detectedFromHeading; });
    if (headings.isEmpty()) return std::nullopt;

    const QString& text = material.text();
    const QString f = fingerprint(material);

    // Where each line starts in the text, in UTF-16 units: every newline is one unit.
    const QStringList lines = base::text::splitLines(text);
    QList<qsizetype> lineStarts;
    lineStarts.reserve(lines.size());
    qsizetype start = 0;
    for (const QString& line : lines) {
        lineStarts.append(start);
        start += line.size() + 1;
    }
    // The same position in characters of the whole text: the number of clusters that end at or
    // before it. "\r\n" is one character, so a line after it starts where it would after "\n".
    const QList<qsizetype> boundaries = base::text::graphemeBoundaries(text);
    const qsizetype characters = boundaries.size() - 1;
    const qsizetype chunkCount = (characters + TeacherMaterial::chunkSize - 1) / TeacherMaterial::chunkSize;

    MeridV12CoursePlan plan;
    plan.sourceFingerprint = f;
    plan.sourceName = material.name();
    for (const MeridV12SourceTopic& heading : headings) {
        const qsizetype line = std::clamp<qint64>(heading.lineNumber - 1, 0, lines.size() - 1);
        const qsizetype unit = lineStarts.at(line);
        const qsizetype offset =
            std::upper_bound(boundaries.cbegin(), boundaries.cend(), unit) - boundaries.cbegin() - 1;
        MeridV12CourseTopic topic;
        topic.id = f + QLatin1Char(':') + heading.id;
        topic.heading = heading.heading;
        topic.lineNumber = heading.lineNumber;
        topic.chunkIndex = std::min<qint64>(offset / TeacherMaterial::chunkSize, chunkCount - 1);
        topic.sourceMarker = heading.sourceMarker;
        plan.topics.append(topic);
    }
    plan.activeTopicID = plan.topics.first().id;
    return plan;
}

void install(const TeacherMaterial& material, TeacherLearningSession& session, base::Date now) {
    if (session.pendingQuizIndex()) throw NavigationError(NavigationError::Case::pendingAnswer);
    const std::optional<QString> previous =
        session.material ? std::optional<QString>(fingerprint(*session.material)) : std::nullopt;
    std::optional<MeridV12CoursePlan> plan = build(material);
    const QString current = plan ? plan->sourceFingerprint : fingerprint(material);

    session.material = material;
    session.chunkIndex = 0;
    const bool samePlan =
        session.coursePlan && plan && session.coursePlan->sourceFingerprint == plan->sourceFingerprint;
    if (!samePlan) {
        session.coursePlan = std::move(plan);
        if (previous != current) {
            session.topicName.reset();
            clearLatestReply(session);
        }
    }
    followActiveTopic(session);
    session.updatedAt = now;
}

void indexExistingSource(TeacherLearningSession& session, base::Date now) {
    if (session.pendingQuizIndex()) throw NavigationError(NavigationError::Case::pendingAnswer);
    if (!session.material) throw NavigationError(NavigationError::Case::changedMaterial);
    if (session.coursePlan) return;
    session.coursePlan = build(*session.material);
    if (session.coursePlan && session.coursePlan->activeTopic()) {
        followActiveTopic(session);
        clearLatestReply(session);
    }
    session.updatedAt = now;
}

void activate(const QString& topicID, TeacherLearningSession& session, base::Date now) {
    if (session.pendingQuizIndex()) throw NavigationError(NavigationError::Case::pendingAnswer);
    if (!planMatchesMaterial(session)) throw NavigationError(NavigationError::Case::changedMaterial);
    const QList<MeridV12CourseTopic>& topics = session.coursePlan->topics;
    const auto topic = std::find_if(topics.cbegin(), topics.cend(),
                                    [&topicID](const MeridV12CourseTopic& t) { return t.id == topicID; });
    if (topic == topics.cend()) throw NavigationError(NavigationError::Case::missingTopic);

    session.topicName = topic->heading;
    session.chunkIndex = topic->chunkIndex;
    session.coursePlan->activeTopicID = topicID;
    session.draft.clear();
    clearLatestReply(session);
    session.pausedAt.reset();
    session.lessonStep = MeridStep::understand;
    session.updatedAt = now;
}

std::optional<MeridV12CourseTopic> recommendedTopic(const TeacherLearningSession& session, base::Date now) {
    if (!planMatchesMaterial(session)) return std::nullopt;
    const QList<MeridV12CourseTopic>& topics = session.coursePlan->topics;

    for (const MeridV12CourseTopic& topic : topics)
        if (reviewDue(topic, session, now)) return topic;

    auto open = [&session](const MeridV12CourseTopic& topic) {
        return evidence(topic, session).status != MeridV12KnowledgeStatus::supported;
    };
    qsizetype from = 0;
    if (session.coursePlan->activeTopicID) {
        for (qsizetype i = 0; i < topics.size(); ++i) {
            if (topics.at(i).id == *session.coursePlan->activeTopicID) {
                from = i + 1;
                break;
            }
        }
    }
    for (qsizetype i = from; i < topics.size(); ++i)
        if (open(topics.at(i))) return topics.at(i);
    for (const MeridV12CourseTopic& topic : topics)
        if (open(topic)) return topic;
    return std::nullopt;
}

QString chapterRequestText(const QString& input, const TeacherMaterial& material, const MeridV12CourseTopic& topic,
                           qint64 chunkIndex) {
    using WorkspaceError = TeacherWorkspaceError;
    const QString instruction = base::text::trimmed(input);
    if (instruction.isEmpty()) throw WorkspaceError(WorkspaceError::Case::emptyMessage);
    if (base::text::graphemeCountExceeds(instruction, 1000)) throw WorkspaceError(WorkspaceError::Case::messageTooLong);

    QString excerpt;
    if (chunkIndex == topic.chunkIndex) {
        const QStringList lines = base::text::splitLines(material.text());
        const qint64 start = topic.lineNumber - 1;
        if (start < 0 || start >= lines.size()) throw NavigationError(NavigationError::Case::changedMaterial);
        qint64 end = lines.size();
        for (const MeridV12SourceTopic& heading : MeridV12CourseOutline::build(material)) {
            if (heading.detectedFromHeading && heading.lineNumber > topic.lineNumber) {
                end = heading.lineNumber - 1;
                break;
            }
        }
        excerpt = base::text::graphemePrefix(lines.mid(start, end - start).join(QLatin1Char('\n')),
                                             TeacherMaterial::chunkSize);
    } else {
        const QStringList chunks = material.chunks();
        if (chunkIndex < 0 || chunkIndex >= chunks.size()) throw WorkspaceError(WorkspaceError::Case::emptyMaterial);
        excerpt = chunks.at(chunkIndex);
    }

    const QString marker = topic.sourceMarker.value_or(QStringLiteral("未提供"));
    const QString text = QStringList{
        QStringLiteral("学生指令：") + instruction,
        QStringLiteral("当前课程章节：《") + topic.heading + QStringLiteral("》"),
        QStringLiteral("原始材料：《") + material.name() + QStringLiteral("》，可核对的附近页码：") + marker +
            QStringLiteral("。"),
        QStringLiteral("严格围绕本次真实片段讲解，不要假装已经阅读未提供的部分；"),
        QStringLiteral("教材目录是已识别标题，不代表学生已学会。"),
        QStringLiteral("--- 章节原文开始 ---"),
        excerpt,
        QStringLiteral("--- 章节原文结束 ---"),
    }.join(QLatin1Char('\n'));
    if (base::text::graphemeCountExceeds(text, 4000)) throw WorkspaceError(WorkspaceError::Case::messageTooLong);
    return text;
}

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
