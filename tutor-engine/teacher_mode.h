#pragma once

#include <QString>

#include "base/raw_value.h"

namespace meridcore {

// The kind of work one tutor request asks for.
enum class TeacherMode { teach, quiz, grade, summary, sprint };

constexpr auto rawValueTable(TeacherMode) {
    using enum TeacherMode;
    return base::rawValues<TeacherMode>({{teach, u"teach"}, {quiz, u"quiz"}, {grade, u"grade"}, {summary, u"summary"},
        {sprint, u"sprint"}});
}

// The identifier of a mode is its raw value.
inline QString id(TeacherMode mode) { return base::rawValue(mode); }

// The mode's name as the student sees it.
QString title(TeacherMode mode);

// The fixed instruction given to the tutor with every request of the mode.
QString prompt(TeacherMode mode);

}  // namespace meridcore
