#include "app/select-anywhere/rounded_fill.h"

#include <QPainter>

namespace velquin {

void RoundedFill::setFill(const QColor& fill) {
    fill_ = fill;
    update();
}

void RoundedFill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill_);
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

}  // namespace velquin
