#pragma once

#include <QString>
#include <QWidget>

#include <optional>

#include "tutor-engine/merid_action.h"
#include "tutor-engine/merid_v12_lesson_policy.h"

class QLabel;
class QPushButton;

namespace velquin {

class LessonarySymbol;

// What to do next in the lesson: the tutor's message for the teaching phase, a fixed note on the
// requests one click may start, and up to three buttons (the recommended step, explain another
// way, save and pause). The buttons only report their action.
class MeridV12GuidedActionView : public QWidget {
    Q_OBJECT
public:
    // What the panel shows for one guidance.
    struct Content {
        QString message;
        // The primary button's title and action; none without a recommendation or while the next
        // step is the student's own answer.
        std::optional<QString> primaryTitle;
        std::optional<meridcore::MeridAction> primaryAction;
        bool showsExplainAnotherWay = false;
        bool showsPause = false;
    };
    // In the current interface language.
    static Content content(const meridcore::MeridV12Guidance& guidance);
    static QString requestNote();

    explicit MeridV12GuidedActionView(QWidget* parent = nullptr);

    // The guidance of the lesson and whether the buttons are off (a request runs, or none may start).
    void setGuidance(const meridcore::MeridV12Guidance& guidance, bool busy);

    QLabel* messageLabel() const { return message_; }
    QPushButton* primaryButton() const { return primary_; }
    QPushButton* explainButton() const { return explain_; }
    QPushButton* pauseButton() const { return pause_; }

Q_SIGNALS:
    void actionRequested(meridcore::MeridAction action);

private:
    void retranslate();
    void restyle();

    meridcore::MeridV12Guidance guidance_;
    bool busy_ = false;
    LessonarySymbol* symbol_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* primary_ = nullptr;
    QPushButton* explain_ = nullptr;
    QPushButton* pause_ = nullptr;
};

}  // namespace velquin
