#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

#include "base/json.h"
#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_quiz_record.h"
#include "tutor-engine/merid_step.h"
#include "tutor-engine/merid_v12_course_plan.h"
#include "tutor-engine/teacher_material.h"
#include "tutor-engine/teacher_mode.h"
#include "tutor-engine/teacher_turn.h"

namespace meridcore {

// One tutor study session: the conversation, the material and the position in it, the student's
// drafts, the latest tutor reply, the course plan and every question put to the student. A plain
// value; the engine's operations change only the copy they are given.
struct TeacherLearningSession {
    static inline const QString defaultTitle = QStringLiteral("新会话");
    static inline const QString defaultTopic = QStringLiteral("当前知识点");
    static constexpr qsizetype titleLength = 34;

    // What a new session may start with besides its chunk index.
    struct Options {
        QUuid id = QUuid::createUuid();
        QString title = defaultTitle;
        std::optional<base::Date> date;  // the current time when absent
        TeacherMode mode = TeacherMode::teach;
        QList<TeacherTurn> turns;
        std::optional<TeacherMaterial> material;
        QString draft;
    };

    // A new session: `createdAt` = `updatedAt` = the date, `lessonStep` understand, an empty
    // (present) list of quiz records, every other optional member absent.
    explicit TeacherLearningSession(qint64 chunkIndex);
    TeacherLearningSession(qint64 chunkIndex, Options options);

    QUuid id;
    QString title;
    base::Date createdAt;
    base::Date updatedAt;
    // The mode of the request now being prepared.
    TeacherMode mode = TeacherMode::teach;
    // The whole conversation, oldest first.
    QList<TeacherTurn> turns;
    std::optional<TeacherMaterial> material;
    // The material segment now being taught.
    qint64 chunkIndex = 0;
    // The next lesson request or the student's answer being prepared.
    QString draft;
    // The follow-up question being typed.
    std::optional<QString> followupDraft;
    std::optional<QString> latestClassroomResponse;
    // The mode of the request whose reply is in `latestClassroomResponse`.
    std::optional<TeacherMode> latestClassroomMode;
    std::optional<QString> lastFollowupQuestion;
    std::optional<QString> lastFollowupAnswer;
    std::optional<QString> courseName;
    // Also selects the quiz records that count as evidence.
    std::optional<QString> topicName;
    std::optional<MeridStep> lessonStep;
    std::optional<MeridAction> lastPedagogicalAction;
    std::optional<MeridV12CoursePlan> coursePlan;
    // Every question put to the student, oldest first. Absent is not the same as empty: a stored
    // session without the member decodes with it absent.
    std::optional<QList<MeridQuizRecord>> quizRecords;
    // When the student paused the lesson; absent while it runs.
    std::optional<base::Date> pausedAt;

    bool operator==(const TeacherLearningSession&) const = default;

    // `lessonStep`, or understand when it is absent.
    MeridStep activeLessonStep() const;
    // Index of the latest quiz record without an answer.
    std::optional<qsizetype> pendingQuizIndex() const;
    // The evidence status of the records of the current topic (all records when no topic is set).
    MeridEvidenceStatus evidenceStatus() const;

    // Records the question of a tutor reply unless it has none or repeats an earlier question
    // (compared trimmed and lower-cased). True when a record was added.
    bool recordQuestion(const QString& reply, const QString& source, base::Date now = base::Date::now());

    // Stores the student's answer and the tutor's grading in the pending quiz record and updates
    // the review schedule of the active topic. Does nothing when no question is pending.
    void recordAssessment(const QString& studentAnswer, const QString& aiFeedback,
                          base::Date now = base::Date::now());

    // Appends one user turn and one tutor turn; the first exchange names an untitled session.
    void addExchange(const QString& userText, const QString& answerText, base::Date now = base::Date::now());

    // Every non-optional member is written; an absent optional member is left out (never null).
    // Dates are seconds since 2001-01-01 UTC, UUIDs upper-case.
    QJsonObject toJson() const;
    // Throws base::JsonDecodeError when a required member is missing or any member has the wrong
    // type or an unknown value. A missing or null optional member gives an absent value.
    static TeacherLearningSession fromJson(const QJsonObject& object);
};

}  // namespace meridcore
