#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace velquin {

// The coach tour's tip bubble: a sparkle, the message (wrapping onto as many lines as it needs)
// and a "skip" button, on a tinted rounded background in the tutor palette. The view that shows
// the tip ends the tour when it asks to be skipped.
class OrvelNativeCoachTip : public QWidget {
    Q_OBJECT
public:
    explicit OrvelNativeCoachTip(const QString& message, QWidget* parent = nullptr);

    QString message() const;
    QLabel* messageLabel() const { return message_; }
    QPushButton* skipButton() const { return skip_; }

    void retranslate();

Q_SIGNALS:
    void skipRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QLabel* message_ = nullptr;
    QPushButton* skip_ = nullptr;
};

}  // namespace velquin
