#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTextBrowser;
class QToolButton;

namespace velquin {

class AppStore;
class RoundedFill;
class WrappedText;

// The compact answer the main window shows in place of its pages while the store's selection
// presentation is on: the selected text, the store's answer or its progress, and the store's stop,
// regenerate, copy and full-window actions. It keeps no state of its own.
class SelectionResultView : public QWidget {
    Q_OBJECT
public:
    explicit SelectionResultView(AppStore& store, QWidget* parent = nullptr);

    QLabel* titleLabel() const { return title_; }
    QToolButton* settingsButton() const { return settings_; }
    WrappedText* snippetLabel() const { return snippet_; }
    WrappedText* errorLabel() const { return error_; }
    WrappedText* warningLabel() const { return warning_; }
    QTextBrowser* answerText() const;
    // Says that only the beginning of a very long answer is shown.
    QLabel* cutNote() const { return cutNote_; }
    QLabel* placeholderLabel() const { return placeholder_; }
    QProgressBar* busyIndicator() const { return busy_; }
    WrappedText* detailLabel() const { return detail_; }
    QPushButton* fullWindowButton() const { return fullWindow_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* regenerateButton() const { return regenerate_; }
    QPushButton* copyButton() const { return copy_; }

    void retranslate();

private:
    void refresh();
    void restyle();

    class AnswerBrowser;

    AppStore& store_;
    QLabel* titleSymbol_ = nullptr;
    QLabel* title_ = nullptr;
    QToolButton* settings_ = nullptr;
    RoundedFill* snippetBox_ = nullptr;
    WrappedText* snippet_ = nullptr;
    WrappedText* error_ = nullptr;
    QStackedWidget* result_ = nullptr;
    QWidget* answerPage_ = nullptr;
    WrappedText* warning_ = nullptr;
    AnswerBrowser* answer_ = nullptr;
    QLabel* cutNote_ = nullptr;
    QWidget* waitingPage_ = nullptr;
    QProgressBar* busy_ = nullptr;
    QLabel* placeholder_ = nullptr;
    WrappedText* detail_ = nullptr;
    QPushButton* fullWindow_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* regenerate_ = nullptr;
    QPushButton* copy_ = nullptr;
};

}  // namespace velquin
