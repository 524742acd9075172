#pragma once

#include <QString>

#include "base/raw_value.h"
#include "tutor-engine/merid_step.h"
#include "tutor-engine/teacher_mode.h"

namespace meridcore {

// What the student asks the tutor to do next. The raw values are stored in session files.
enum class MeridAction {
    continueLearning,
    explainDifferently,
    testMe,
    gradeAnswer,
    reinforceMistake,
    summarize,
    sprint,
    skipConcept,
    pause,
};

constexpr auto rawValueTable(MeridAction) {
    using enum MeridAction;
    return base::rawValues<MeridAction>({{continueLearning, u"continueLearning"},
        {explainDifferently, u"explainDifferently"}, {testMe, u"testMe"}, {gradeAnswer, u"gradeAnswer"},
        {reinforceMistake, u"reinforceMistake"}, {summarize, u"summarize"}, {sprint, u"sprint"},
        {skipConcept, u"skipConcept"}, {pause, u"pause"}});
}

inline QString id(MeridAction action) { return base::rawValue(action); }
// The text of the action's button.
QString title(MeridAction action);
// Whether the action sends a request to the tutor (false only for pause).
bool isOnline(MeridAction action);
// The mode of the request the action leads to; none for pause.
std::optional<TeacherMode> mode(MeridAction action);
// The lesson step the action moves to.
MeridStep step(MeridAction action);
// The fixed student instruction put into the session's draft before the request is built; empty
// for gradeAnswer (the draft then holds the student's own answer) and for pause.
QString draft(MeridAction action);

}  // namespace meridcore
