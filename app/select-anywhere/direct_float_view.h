#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

#include "app/select-anywhere/floating_bulb_artwork.h"

class QAbstractButton;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;

namespace velquin {

class DirectFloatModel;
class FloatingBulbView;
class WrappedText;

// The content of the floating answer panel over one DirectFloatModel: a header with the bulb, the
// product name and the settings and close buttons; the source application with the selected text
// behind a toggle; the three study modes; the answer (or the selection itself in a local preview,
// or a placeholder) with any message, and a note when only the beginning of a long answer shows;
// the status line with stop or retry; continue in the main window and copy. It shows the model's
// state and calls the model or one of its three callbacks; it decides nothing. Texts from the
// model and the answer are shown as plain text.
class DirectFloatView : public QWidget {
    Q_OBJECT
public:
    DirectFloatView(DirectFloatModel& model, std::function<void()> close, std::function<void()> openSettings,
                    std::function<void()> openWorkspace, QWidget* parent = nullptr);

    // The bulb's phase for the model's state: querying while busy, done with an answer, else idle.
    static FloatingBulbPhase bulbPhase(const DirectFloatModel& model);

    // Collapses the selected text again (a new presentation starts collapsed).
    void collapseSelection();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void build();
    // Shows the model's state and every text in the interface language.
    void refresh();
    void retranslate();
    void restyle();

    class AnswerBody;

    DirectFloatModel& model_;
    std::function<void()> close_;
    std::function<void()> openSettings_;
    std::function<void()> openWorkspace_;
    const QColor accent_;
    bool showSelection_ = false;
    QString outcome_;            // what the output showed at the last refresh
    bool followOutput_ = false;  // the middle keeps the output in view

    FloatingBulbView* bulb_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QToolButton* settingsButton_ = nullptr;
    QToolButton* closeButton_ = nullptr;

    QScrollArea* middle_ = nullptr;
    QFrame* snippet_ = nullptr;
    QLabel* quoteMark_ = nullptr;
    QLabel* sourceLabel_ = nullptr;
    QPushButton* toggleButton_ = nullptr;
    WrappedText* fullText_ = nullptr;

    QFrame* modes_ = nullptr;
    QList<QAbstractButton*> modeButtons_;

    QFrame* output_ = nullptr;
    QLabel* outputTitle_ = nullptr;
    QWidget* spinner_ = nullptr;
    QWidget* errorRow_ = nullptr;
    QLabel* errorMark_ = nullptr;
    WrappedText* errorLabel_ = nullptr;
    QStackedWidget* body_ = nullptr;
    AnswerBody* bodyText_ = nullptr;
    QLabel* cutNote_ = nullptr;
    QWidget* placeholder_ = nullptr;
    QLabel* placeholderMark_ = nullptr;
    QLabel* placeholderLabel_ = nullptr;

    WrappedText* warningLabel_ = nullptr;
    QLabel* detailLabel_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* retryButton_ = nullptr;
    QPushButton* continueButton_ = nullptr;
    QPushButton* copyButton_ = nullptr;
};

}  // namespace velquin
