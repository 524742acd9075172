#pragma once

#include <QString>

#include "base/errors.h"

namespace meridcore {

// A lesson turn refused before any request is sent. `message()` is the text the workspace shows.
class MeridLearningError : public base::Error {
public:
    enum class Case { missingQuestion, blankAnswer };

    explicit MeridLearningError(Case errorCase) : case_(errorCase) {}

    Case errorCase() const { return case_; }
    QString message() const override { return description(case_); }

    // The user-facing text of a case (never empty).
    static QString description(Case errorCase);

    bool operator==(const MeridLearningError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

}  // namespace meridcore
