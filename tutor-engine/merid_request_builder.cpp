#include "tutor-engine/merid_request_builder.h"

#include "base/text.h"
#include "tutor-engine/merid_learning_error.h"
#include "tutor-engine/merid_v12_course_navigator.h"
#include "tutor-engine/teacher_stage_flow.h"

namespace meridcore::MeridRequestBuilder {

namespace {

// The most characters of the pending question quoted in a follow-up request.
constexpr qsizetype followupQuestionLength = 1400;

// The request text over the session's material: the active topic's chapter when there is a plan
// with an active topic, else the current segment (or the input alone without material).
QString lessonText(const TeacherLearningSession& session, const QString& input, TeacherMode mode) {
    if (session.material && session.coursePlan) {
        if (const std::optional<MeridV12CourseTopic> topic = session.coursePlan->activeTopic())
            return MeridV12CourseNavigator::chapterRequestText(input, *session.material, *topic, session.chunkIndex);
    }
    return TeacherStageFlow::makeRequestText(input, session.material, session.chunkIndex, mode);
}

MeridTutorRequest request(const TeacherLearningSession& session, TeacherMode mode, const QString& text,
                          bool materialUsed) {
    MeridTutorRequest result;
    result.mode = mode;
    result.messages = session.turns;
    result.messages.append(TeacherTurn(TeacherTurn::Role::user, text));
    result.topic = session.topicName;
    if (materialUsed && session.material) {
        result.sourceName = session.material->name();
        result.segmentIndex = session.chunkIndex;
    }
    return result;
}

const MeridQuizRecord* pendingRecord(const TeacherLearningSession& session) {
    const std::optional<qsizetype> index = session.pendingQuizIndex();
    if (!index || !session.quizRecords || *index < 0 || *index >= session.quizRecords->size()) return nullptr;
    return &session.quizRecords->at(*index);
}

}  // namespace

MeridTutorRequest makeRequest(const TeacherLearningSession& session) {
    if (session.mode == TeacherMode::grade) {
        const QString answerText =
            TeacherStageFlow::makeRequestText(session.draft, std::nullopt, session.chunkIndex, TeacherMode::grade);
        const MeridQuizRecord* pending = pendingRecord(session);
        if (!pending) throw MeridLearningError(MeridLearningError::Case::missingQuestion);
        const QString text = QStringLiteral("原练习题：") + pending->question + QStringLiteral("\n学生答案：") + answerText;
        return request(session, TeacherMode::grade, text, false);
    }
    return request(session, session.mode, lessonText(session, session.draft, session.mode), true);
}

MeridTutorRequest makeFollowupRequest(const TeacherLearningSession& session, const QString& question) {
    const QString asked = base::text::trimmed(question);
    if (const MeridQuizRecord* pending = pendingRecord(session)) {
        const QString text =
            QStringLiteral("学生正在独立作答。只回答其澄清问题，提供渐进式提示，不要公布最终答案，也不要批改或跳转学习阶段。\n当前题目：") +
            base::text::graphemePrefix(pending->question, followupQuestionLength) + QStringLiteral("\n学生提问：") + asked;
        return request(session, TeacherMode::teach,
                       TeacherStageFlow::makeRequestText(text, std::nullopt, session.chunkIndex, TeacherMode::teach),
                       false);
    }
    return request(session, TeacherMode::teach, lessonText(session, asked, TeacherMode::teach), true);
}

}  // namespace meridcore::MeridRequestBuilder
