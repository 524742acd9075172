#pragma once

#include <QString>

#include "base/raw_value.h"

namespace meridcore {

// The five steps of one lesson, in lesson order. The raw values are stored in session files.
enum class MeridStep { understand, practice, review, reinforce, master };

constexpr auto rawValueTable(MeridStep) {
    using enum MeridStep;
    return base::rawValues<MeridStep>({{understand, u"understand"}, {practice, u"practice"}, {review, u"review"},
        {reinforce, u"reinforce"}, {master, u"master"}});
}

inline QString id(MeridStep step) { return base::rawValue(step); }
// 1-based position in the lesson path.
int number(MeridStep step);
QString label(MeridStep step);
// The raw value with its first letter capitalised ("Reinforce").
QString english(MeridStep step);

}  // namespace meridcore
