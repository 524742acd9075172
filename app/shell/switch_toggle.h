#pragma once

#include <QAbstractButton>

namespace velquin {

// An on/off switch drawn as a small pill: the brand accent when on, the window's mid tone when
// off. Checkable; a click, Space or an accessibility client's press or toggle turns it, and each
// of them emits switched().
class SwitchToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchToggle(QWidget* parent = nullptr);

    // Shows `on` without emitting switched(): for the state the switch stands for.
    void showState(bool on);

    QSize sizeHint() const override;

Q_SIGNALS:
    // The person turned the switch to `on`.
    void switched(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool keyboardFocus_ = false;
    bool showing_ = false;  // the focus ring shows only for focus moved by the keyboard
};

}  // namespace velquin
