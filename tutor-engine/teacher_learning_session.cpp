#include "tutor-engine/teacher_learning_session.h"

#include <QJsonArray>

#include "base/text.h"
#include "tutor-engine/merid_quiz_evaluator.h"
#include "tutor-engine/merid_v12_course_navigator.h"

namespace meridcore {

using namespace base::json;

TeacherLearningSession::TeacherLearningSession(qint64 chunkIndex) : TeacherLearningSession(chunkIndex, Options{}) {}

TeacherLearningSession::TeacherLearningSession(qint64 chunkIndex, Options options)
    : id(options.id),
      title(std::move(options.title)),
      createdAt(options.date.value_or(base::Date::now())),
      updatedAt(createdAt),
      mode(options.mode),
      turns(std::move(options.turns)),
      material(std::move(options.material)),
      chunkIndex(chunkIndex),
      draft(std::move(options.draft)),
      lessonStep(MeridStep::understand),
      quizRecords(QList<MeridQuizRecord>{}) {}

MeridStep TeacherLearningSession::activeLessonStep() const { return lessonStep.value_or(MeridStep::understand); }

std::optional<qsizetype> TeacherLearningSession::pendingQuizIndex() const {
    if (!quizRecords) return std::nullopt;
    for (qsizetype i = quizRecords->size() - 1; i >= 0; --i)
        if (!quizRecords->at(i).answer) return i;
    return std::nullopt;
}

MeridEvidenceStatus TeacherLearningSession::evidenceStatus() const {
    const QString topic = base::text::trimmed(topicName.value_or(QString()));
    const QList<MeridQuizRecord> records = quizRecords.value_or(QList<MeridQuizRecord>{});
    if (topic.isEmpty()) return MeridQuizEvaluator::evidence(records);
    QList<MeridQuizRecord> kept;
    for (const MeridQuizRecord& record : records)
        if (record.topic == topic) kept.append(record);
    return MeridQuizEvaluator::evidence(kept);
}

bool TeacherLearningSession::recordQuestion(const QString& reply, const QString& source, base::Date now) {
    const std::optional<QString> question = MeridQuizEvaluator::question(reply);
    if (!question) return false;

    const QString identity = MeridQuizEvaluator::questionIdentity(*question);
    QList<MeridQuizRecord> records = quizRecords.value_or(QList<MeridQuizRecord>{});
    for (const MeridQuizRecord& record : records)
        if (MeridQuizEvaluator::questionIdentity(record.question) == identity) return false;

    MeridQuizRecord record(QUuid::createUuid(), *question, topicName.value_or(defaultTopic), source);
    record.questionKind = MeridQuizEvaluator::questionKind(reply);
    record.usedHint = false;
    if (coursePlan) {
        if (const std::optional<MeridV12CourseTopic> topic = coursePlan->activeTopic())
            record.sourceTopicID = topic->id;
    }
    records.append(record);
    quizRecords = records;
    updatedAt = now;
    return true;
}

void TeacherLearningSession::recordAssessment(const QString& studentAnswer, const QString& aiFeedback,
                                              base::Date now) {
    const std::optional<qsizetype> index = pendingQuizIndex();
    if (!index) return;
    MeridQuizRecord& record = (*quizRecords)[*index];
    record.answer = studentAnswer;
    record.feedback = aiFeedback;
    record.assessment = MeridQuizEvaluator::assessment(aiFeedback);
    MeridV12CourseNavigator::recordAssessment(*this, now);
    updatedAt = now;
}

void TeacherLearningSession::addExchange(const QString& userText, const QString& answerText, base::Date now) {
    turns.append(TeacherTurn(TeacherTurn::Role::user, userText));
    turns.append(TeacherTurn(TeacherTurn::Role::assistant, answerText));
    if (title == defaultTitle) {
        QString flattened = userText;
        flattened.replace(QLatin1Char('\n'), QLatin1Char(' '));
        title = base::text::graphemePrefix(flattened, titleLength);
    }
    updatedAt = now;
}

QJsonObject TeacherLearningSession::toJson() const {
    QJsonArray turnArray;
    for (const TeacherTurn& turn : turns) turnArray.append(turn.toJson());

    QJsonObject object{
        {QStringLiteral("id"), uuidString(id)},
        {QStringLiteral("title"), title},
        {QStringLiteral("createdAt"), dateValue(createdAt)},
        {QStringLiteral("updatedAt"), dateValue(updatedAt)},
        {QStringLiteral("mode"), base::rawValue(mode)},
        {QStringLiteral("turns"), turnArray},
        {QStringLiteral("chunkIndex"), chunkIndex},
        {QStringLiteral("draft"), draft},
    };
    if (material) object.insert(QStringLiteral("material"), material->toJson());
    insertOptional(object, QStringLiteral("followupDraft"), followupDraft);
    insertOptional(object, QStringLiteral("latestClassroomResponse"), latestClassroomResponse);
    if (latestClassroomMode) object.insert(QStringLiteral("latestClassroomMode"), base::rawValue(*latestClassroomMode));
    insertOptional(object, QStringLiteral("lastFollowupQuestion"), lastFollowupQuestion);
    insertOptional(object, QStringLiteral("lastFollowupAnswer"), lastFollowupAnswer);
    insertOptional(object, QStringLiteral("courseName"), courseName);
    insertOptional(object, QStringLiteral("topicName"), topicName);
    if (lessonStep) object.insert(QStringLiteral("lessonStep"), base::rawValue(*lessonStep));
    if (lastPedagogicalAction)
        object.insert(QStringLiteral("lastPedagogicalAction"), base::rawValue(*lastPedagogicalAction));
    if (coursePlan) object.insert(QStringLiteral("coursePlan"), coursePlan->toJson());
    if (quizRecords) {
        QJsonArray recordArray;
        for (const MeridQuizRecord& record : *quizRecords) recordArray.append(record.toJson());
        object.insert(QStringLiteral("quizRecords"), recordArray);
    }
    insertOptional(object, QStringLiteral("pausedAt"), pausedAt);
    return object;
}

namespace {

QJsonObject elementObject(const QJsonValue& value, const QString& key) {
    if (!value.isObject()) throw base::JsonDecodeError(QStringLiteral("member of the wrong type: ") + key);
    return value.toObject();
}

}  // namespace

TeacherLearningSession TeacherLearningSession::fromJson(const QJsonObject& object) {
    TeacherLearningSession session(0, Options{.id = requireUuid(object, QStringLiteral("id"))});
    session.title = requireString(object, QStringLiteral("title"));
    session.createdAt = requireDate(object, QStringLiteral("createdAt"));
    session.updatedAt = requireDate(object, QStringLiteral("updatedAt"));
    session.mode = base::requireRawValue<TeacherMode>(object, QStringLiteral("mode"));
    session.turns.clear();
    for (const QJsonValue& value : requireArray(object, QStringLiteral("turns")))
        session.turns.append(TeacherTurn::fromJson(elementObject(value, QStringLiteral("turns"))));
    if (const std::optional<QJsonObject> material = optionalObject(object, QStringLiteral("material")))
        session.material = TeacherMaterial::fromJson(*material);
    session.chunkIndex = requireInteger(object, QStringLiteral("chunkIndex"));
    session.draft = requireString(object, QStringLiteral("draft"));
    session.followupDraft = optionalString(object, QStringLiteral("followupDraft"));
    session.latestClassroomResponse = optionalString(object, QStringLiteral("latestClassroomResponse"));
    session.latestClassroomMode = base::optionalRawValue<TeacherMode>(object, QStringLiteral("latestClassroomMode"));
    session.lastFollowupQuestion = optionalString(object, QStringLiteral("lastFollowupQuestion"));
    session.lastFollowupAnswer = optionalString(object, QStringLiteral("lastFollowupAnswer"));
    session.courseName = optionalString(object, QStringLiteral("courseName"));
    session.topicName = optionalString(object, QStringLiteral("topicName"));
    session.lessonStep = base::optionalRawValue<MeridStep>(object, QStringLiteral("lessonStep"));
    session.lastPedagogicalAction =
        base::optionalRawValue<MeridAction>(object, QStringLiteral("lastPedagogicalAction"));
    if (const std::optional<QJsonObject> plan = optionalObject(object, QStringLiteral("coursePlan")))
        session.coursePlan = MeridV12CoursePlan::fromJson(*plan);
    session.quizRecords = std::nullopt;
    if (const std::optional<QJsonArray> records = optionalArray(object, QStringLiteral("quizRecords"))) {
        QList<MeridQuizRecord> decoded;
        for (const QJsonValue& value : *records)
            decoded.append(MeridQuizRecord::fromJson(elementObject(value, QStringLiteral("quizRecords"))));
        session.quizRecords = decoded;
    }
    session.pausedAt = optionalDate(object, QStringLiteral("pausedAt"));
    return session;
}

}  // namespace meridcore
