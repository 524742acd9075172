#pragma once

#include <QWidget>

#include "app/shell/application_appearance.h"

class QLabel;
class QPushButton;

namespace velquin {

// The coach tour's tip bubble: a sparkle, the message (wrapping onto as many lines as it needs)
// and a "skip" button that ends the tour, on a tinted rounded background.
class OrvelNativeCoachTip : public QWidget {
    Q_OBJECT
public:
    explicit OrvelNativeCoachTip(const QString& message, QWidget* parent = nullptr);

    QString message() const;
    QLabel* messageLabel() const { return message_; }
    QPushButton* skipButton() const { return skip_; }

    // The tip's colours: the tutor palette's ink (text) and subtle (background) tokens.
    static QColor ink(ColorScheme scheme);
    static QColor subtle(ColorScheme scheme);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyScheme();
    void retitle();

    QLabel* message_ = nullptr;
    QPushButton* skip_ = nullptr;
};

}  // namespace velquin
