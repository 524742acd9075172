#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace velquin {

class LessonarySymbol;
class MeridMathRichText;
class OrvelNativeCoach;
class OrvelNativeCoachTip;

// The check question waiting for the student's answer: the question, the answer editor and the
// button that asks for grading (a cancel button while a request runs). It shows the tour's tip
// while the tour is at its quiz step.
class MeridCheckpointCard : public QWidget {
    Q_OBJECT
public:
    explicit MeridCheckpointCard(OrvelNativeCoach& coach, QWidget* parent = nullptr);

    // `canSubmit`: the answer may be sent for grading now (when nothing runs).
    void setState(const QString& question, bool busy, bool canSave, bool canSubmit);
    // The answer text, owned by the session; the editor shows it (keeping the cursor when it already does).
    void setAnswerDraft(const QString& draft);

    QPlainTextEdit* editor() const { return editor_; }
    QPushButton* gradeButton() const { return grade_; }
    QPushButton* cancelButton() const { return cancel_; }
    MeridMathRichText* questionText() const { return question_; }
    // Null while the tour is not at its quiz step.
    OrvelNativeCoachTip* tip() const { return tip_; }

Q_SIGNALS:
    void answerDraftChanged(const QString& draft);
    void gradeRequested();
    void cancelRequested();

private:
    void retranslate();
    void restyle();
    void updateTip();

    OrvelNativeCoach& coach_;
    bool busy_ = false;
    bool canSave_ = false;
    bool canSubmit_ = false;
    bool updatingEditor_ = false;
    LessonarySymbol* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* badge_ = nullptr;
    QVBoxLayout* body_ = nullptr;
    MeridMathRichText* question_ = nullptr;
    OrvelNativeCoachTip* tip_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* grade_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace velquin
