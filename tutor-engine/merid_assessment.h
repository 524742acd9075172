#pragma once

#include <QString>

#include "base/raw_value.h"

namespace meridcore {

// The grading outcome of one quiz question. The raw values are stored in session files.
enum class MeridAssessment { unassessed, correct, partial, incorrect };

constexpr auto rawValueTable(MeridAssessment) {
    using enum MeridAssessment;
    return base::rawValues<MeridAssessment>({{unassessed, u"unassessed"}, {correct, u"correct"}, {partial, u"partial"},
        {incorrect, u"incorrect"}});
}

QString label(MeridAssessment assessment);

// What the graded questions of a topic show. Computed on demand, never stored.
enum class MeridEvidenceStatus { notTested, needsReview, preliminary, repeated };

constexpr auto rawValueTable(MeridEvidenceStatus) {
    using enum MeridEvidenceStatus;
    return base::rawValues<MeridEvidenceStatus>({{notTested, u"notTested"}, {needsReview, u"needsReview"},
        {preliminary, u"preliminary"}, {repeated, u"repeated"}});
}

QString label(MeridEvidenceStatus status);

}  // namespace meridcore
