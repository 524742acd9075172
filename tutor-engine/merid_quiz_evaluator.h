#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "tutor-engine/merid_assessment.h"
#include "tutor-engine/merid_quiz_record.h"

// Reads the marker lines of a tutor reply ("Q: ", "Q_TYPE: ", "EVAL_RESULT: ") and turns quiz
// records into an evidence status. Pure functions.
namespace meridcore::MeridQuizEvaluator {

// The verdict of the last "EVAL_RESULT:" line (any letter case); unassessed when there is none
// or its value is not exactly one of CORRECT, PARTIAL, INCORRECT.
MeridAssessment assessment(const QString& text);

// The question of a reply that opens with one of the question prefixes, up to its first
// "Q_TYPE:" line, trimmed and cut to 2,000 characters; absent when there is none or it is empty.
std::optional<QString> question(const QString& text);

// Whether `line`, trimmed and upper-cased, opens with "Q_TYPE:": a line that ends the question.
bool isQuestionKindLine(const QString& line);

// The lower-case kind of the first "Q_TYPE:" line when it is one of the four kinds.
std::optional<QString> questionKind(const QString& text);

// The form in which two questions are compared: trimmed, lower-cased and composed (NFC), so texts
// that differ only in letter case or in how an accent is encoded are one question.
QString questionIdentity(const QString& question);

// The coarse evidence status of graded records taken oldest first.
MeridEvidenceStatus evidence(const QList<MeridQuizRecord>& records);

}  // namespace meridcore::MeridQuizEvaluator
