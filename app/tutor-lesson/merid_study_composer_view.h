#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velquin {

class LessonarySymbol;

// A composer strip for a lesson: one text box whose text is the student's answer while the lesson
// waits for one (the button asks for grading) and a free question otherwise (the button sends
// it); a cancel button while a request runs. Its texts are Chinese keys of the string table.
class MeridStudyComposerView : public QWidget {
    Q_OBJECT
public:
    explicit MeridStudyComposerView(QWidget* parent = nullptr);

    void setState(bool waitingForAnswer, bool busy, bool canSave);
    // The text, owned by the caller; the editor shows it (keeping the cursor when it already does).
    void setDraft(const QString& draft);
    QString draft() const;

    QPlainTextEdit* editor() const { return editor_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* counterLabel() const { return counter_; }
    QLabel* noteLabel() const { return note_; }
    // The one button shown: cancel, grade or send.
    QPushButton* actionButton() const { return button_; }

Q_SIGNALS:
    void draftChanged(const QString& draft);
    void sendQuestionRequested();
    void gradeRequested();
    void cancelRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    bool waiting_ = false;
    bool busy_ = false;
    bool canSave_ = false;
    bool updatingEditor_ = false;
    LessonarySymbol* icon_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* counter_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* button_ = nullptr;
};

}  // namespace velquin
