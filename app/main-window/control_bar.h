#pragma once

#include <QList>
#include <QWidget>

class QAction;
class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace velquin {

class AppStore;
class BusySpinner;

// The home page's control bar: the study mode as segments, the answer language, and the send
// button (Ctrl+Return) or, while the store is busy, a spinner and "停止". Both pickers write
// straight into the store.
class ControlBar : public QWidget {
    Q_OBJECT
public:
    // The language's pop-up; its label stands before it.
    static constexpr int languagePickerMaximumWidth = 240;

    explicit ControlBar(AppStore& store, QWidget* parent = nullptr);

    QWidget* modePicker() const { return modePicker_; }
    const QList<QToolButton*>& modeSegments() const { return segments_; }
    QComboBox* languagePicker() const { return language_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* stopButton() const { return stop_; }
    BusySpinner* spinner() const { return spinner_; }
    QAction* sendAction() const { return sendAction_; }

    void retranslate();

private:
    void showStore();
    void restyle();

    AppStore& store_;
    QWidget* modePicker_ = nullptr;
    QButtonGroup* modeGroup_ = nullptr;
    QList<QToolButton*> segments_;
    QWidget* languageBox_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    QComboBox* language_ = nullptr;
    BusySpinner* spinner_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* send_ = nullptr;
    QAction* sendAction_ = nullptr;
};

}  // namespace velquin
