#pragma once

#include <QString>

#include "base/errors.h"

namespace meridcore {

// The tutor engine's refusal of bad input. `message()` is the text the tutor workspace shows.
class TeacherWorkspaceError : public base::Error {
public:
    enum class Case {
        emptyMaterial,
        materialTooLong,
        messageTooLong,
        emptyMessage,
        noAnswerToGrade,
        corruptHistory,
        historyTooLarge,
    };

    explicit TeacherWorkspaceError(Case errorCase) : case_(errorCase) {}

    Case errorCase() const { return case_; }
    QString message() const override { return description(case_); }

    // The user-facing text of a case (never empty).
    static QString description(Case errorCase);

    bool operator==(const TeacherWorkspaceError& other) const { return case_ == other.case_; }

private:
    Case case_;
};

}  // namespace meridcore
