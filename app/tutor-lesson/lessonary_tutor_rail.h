#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "tutor-engine/teacher_learning_session.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace velquin {

class LessonaryElidedLabel;
class LessonaryPanel;
class LessonarySymbol;
class MeridMathRichText;

// The tutor's column beside the lesson: a follow-up question (or, while a check question waits
// for the answer, a request for a hint) and the latest follow-up exchange. It shows what it is
// given and reports the student's typing and clicks; the tutor screen sends and cancels.
class LessonaryTutorRail : public QWidget {
    Q_OBJECT
public:
    explicit LessonaryTutorRail(QWidget* parent = nullptr);

    // The active session (topic, latest follow-up, pending question), whether a request runs and
    // whether tutor work may be saved.
    void setState(const meridcore::TeacherLearningSession& session, bool busy, bool canSave);
    // The follow-up text, owned by the tutor screen; the editor shows it (keeping the cursor when
    // it already does).
    void setFollowupDraft(const QString& draft);
    QString followupDraft() const;

    // True while nothing runs, saving is allowed and the trimmed text is not empty.
    bool canAsk() const;
    // Hint wording: a check question waits for the answer.
    bool isHintWording() const { return hint_; }

    QPlainTextEdit* editor() const { return editor_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* cancelButton() const { return cancel_; }

Q_SIGNALS:
    // Every edit of the follow-up text by the student, with the whole text.
    void followupDraftChanged(const QString& draft);
    void sendRequested();
    void cancelRequested();

private:
    void refresh();
    void retranslate();
    void restyle();

    bool busy_ = false;
    bool canSave_ = false;
    bool hint_ = false;
    std::optional<QString> topic_;
    std::optional<QString> followupQuestion_;
    std::optional<QString> followupAnswer_;
    bool updatingEditor_ = false;

    LessonarySymbol* badge_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QWidget* topicRow_ = nullptr;
    LessonarySymbol* topicSymbol_ = nullptr;
    LessonaryElidedLabel* topicLabel_ = nullptr;
    LessonarySymbol* introSymbol_ = nullptr;
    QLabel* introText_ = nullptr;
    LessonaryPanel* followupCard_ = nullptr;
    QLabel* followupLabel_ = nullptr;
    MeridMathRichText* followupQuestionText_ = nullptr;
    MeridMathRichText* followupAnswerText_ = nullptr;
    QLabel* composerHeading_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace velquin
