#include "tutor-engine/merid_response_recorder.h"

#include "base/text.h"

namespace meridcore::MeridResponseRecorder {

void apply(const QString& reply, const MeridTutorRequest& request, TeacherLearningSession& session, base::Date now) {
    if (request.messages.isEmpty()) return;
    const QString answer = session.draft;
    session.addExchange(request.messages.last().content, reply, now);
    switch (request.mode) {
    case TeacherMode::teach:
    case TeacherMode::summary:
    case TeacherMode::sprint:
        session.latestClassroomResponse = reply;
        session.latestClassroomMode = request.mode;
        break;
    case TeacherMode::quiz:
        session.recordQuestion(reply, session.material ? session.material->name() : QString(), now);
        break;
    case TeacherMode::grade: session.recordAssessment(answer, reply, now); break;
    }
    session.draft = QString();
}

void applyFollowup(const QString& reply, const QString& question, TeacherLearningSession& session, base::Date now) {
    const QString asked = base::text::trimmed(question);
    if (asked.isEmpty()) return;
    session.addExchange(asked, reply, now);
    session.lastFollowupQuestion = asked;
    session.lastFollowupAnswer = reply;
    if (const std::optional<qsizetype> pending = session.pendingQuizIndex())
        (*session.quizRecords)[*pending].usedHint = true;
}

}  // namespace meridcore::MeridResponseRecorder
