#include "app/shell/switch_toggle.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/shell/orvel_brand.h"

namespace velquin {

namespace {

constexpr QSize kSize(28, 16);
constexpr qreal kKnobInset = 2.0;

}  // namespace

SwitchToggle::SwitchToggle(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // A click and Space come through click(), an accessibility client's toggle through toggle():
    // each changes the checked state, so that change is what the person did.
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (!showing_) emit switched(on);
    });
}

void SwitchToggle::showState(bool on) {
    showing_ = true;
    setChecked(on);
    showing_ = false;
}

QSize SwitchToggle::sizeHint() const { return kSize; }

void SwitchToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(QPointF(0, 0), QSizeF(kSize)).translated((width() - kSize.width()) / 2.0,
                                                                          (height() - kSize.height()) / 2.0);
    const qreal radius = track.height() / 2;
    QColor trackColor = isChecked() ? OrvelBrand::accent() : palette().color(QPalette::Mid);
    if (!isEnabled()) trackColor.setAlphaF(0.45f);
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, radius, radius);
    painter.fillPath(trackPath, trackColor);

    const qreal knob = track.height() - 2 * kKnobInset;
    const qreal x = isChecked() ? track.right() - kKnobInset - knob : track.left() + kKnobInset;
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::BrightText));
    painter.drawEllipse(QRectF(x, track.top() + kKnobInset, knob, knob));

    if (hasFocus() && keyboardFocus_) {
        QPen focus(palette().color(QPalette::Highlight), 1.5);
        painter.setPen(focus);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
    }
}

void SwitchToggle::focusInEvent(QFocusEvent* event) {
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SwitchToggle::focusOutEvent(QFocusEvent* event) {
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
}

}  // namespace velquin
