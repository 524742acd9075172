#pragma once

#include <QWidget>

#include "tutor-engine/merid_quiz_record.h"

class QLabel;

namespace velquin {

class LessonarySymbol;
class MeridMathRichText;

// The latest graded question: its verdict, the question, the student's answer and the tutor's
// comment without the grader's machine lines.
class MeridGradingFeedbackCard : public QWidget {
    Q_OBJECT
public:
    explicit MeridGradingFeedbackCard(QWidget* parent = nullptr);

    void setRecord(const meridcore::MeridQuizRecord& record);

    static QString verdict(meridcore::MeridAssessment assessment);

    QLabel* verdictLabel() const { return verdict_; }
    MeridMathRichText* answerText() const { return answer_; }
    MeridMathRichText* feedbackText() const { return feedback_; }

private:
    void retranslate();
    void restyle();

    std::optional<meridcore::MeridQuizRecord> record_;
    LessonarySymbol* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* verdict_ = nullptr;
    MeridMathRichText* question_ = nullptr;
    MeridMathRichText* answer_ = nullptr;
    MeridMathRichText* feedback_ = nullptr;
};

}  // namespace velquin
