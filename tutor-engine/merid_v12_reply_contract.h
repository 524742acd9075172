#pragma once

#include <QString>

#include "base/errors.h"
#include "tutor-engine/merid_tutor_request.h"
#include "tutor-engine/teacher_learning_session.h"
#include "tutor-engine/teacher_mode.h"

namespace meridcore {

// A tutor reply refused by the reply contract. `message()` is the text the workspace shows.
class MeridV12ReplyError : public base::Error {
public:
    enum class Case {
        empty,
        invalidEnvelope,
        unsupportedVersion,
        wrongEvent,
        invalidQuestion,
        repeatedQuestion,
        missingGrade,
        falseCitation,
    };

    explicit MeridV12ReplyError(Case errorCase) : case_(errorCase) {}

    Case errorCase() const { return case_; }
    QString message() const override { return description(case_); }

    static QString description(Case errorCase);

    bool operator==(const MeridV12ReplyError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

// The JSON reply form the hosted tutor must use: its instruction text for the prompt, and the check
// that turns a raw reply into the plain text with quiz and grading markers that the engine records.
namespace MeridV12ReplyContract {

// The most characters the reply's "text" may have.
inline constexpr qsizetype maxTextLength = 8000;

// The reply kind a request of `mode` must answer with ("lesson", "question", "feedback", ...).
QString kind(TeacherMode mode);

// The contract as it is written into the prompt; the teach text adds the lesson layout block.
QString instruction(TeacherMode mode);

// Checks `raw` against the contract, the request that was sent and the session before recording,
// and returns the reply as plain text: a question becomes "Q: …\nQ_TYPE: kind", a grading ends
// in "EVAL_RESULT: VERDICT". A reply without JSON is taken as plain text. A "source_marker" is
// accepted when it is one of the page or slide labels of the material excerpt the request
// carried, or the page label the session's position names. Throws MeridV12ReplyError; changes
// nothing.
QString normalize(const QString& raw, const MeridTutorRequest& request, const TeacherLearningSession& session);

}  // namespace MeridV12ReplyContract

}  // namespace meridcore
