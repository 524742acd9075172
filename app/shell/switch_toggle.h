#pragma once

#include <QAbstractButton>

namespace velquin {

// An on/off switch drawn as a small pill: the brand accent when on, the window's mid tone when
// off. Checkable; a click or Space toggles it.
class SwitchToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchToggle(QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool keyboardFocus_ = false;  // the focus ring shows only for focus moved by the keyboard
};

}  // namespace velquin
