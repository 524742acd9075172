#pragma once

#include <QString>

#include "base/errors.h"

namespace meridcore {

// A change of material or topic the course navigator refused. `message()` is the text the tutor
// workspace shows.
class MeridV12CourseNavigationError : public base::Error {
public:
    enum class Case { pendingAnswer, missingTopic, changedMaterial };

    explicit MeridV12CourseNavigationError(Case errorCase) : case_(errorCase) {}

    Case errorCase() const { return case_; }
    QString message() const override { return description(case_); }

    // The user-facing text of a case (never empty).
    static QString description(Case errorCase);

    bool operator==(const MeridV12CourseNavigationError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

}  // namespace meridcore
