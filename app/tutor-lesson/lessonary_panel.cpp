#include "app/tutor-lesson/lessonary_panel.h"

#include <QPainter>

#include "app/tutor-lesson/lessonary_theme.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

LessonaryPanel::LessonaryPanel(Token fill, Token border, qreal radius, QWidget* parent)
    : QWidget(parent), fill_(fill), border_(border), radius_(radius) {
    lessonary::follow(this, nullptr, [this] { update(); });
}

void LessonaryPanel::setFill(Token fill) {
    fill_ = fill;
    update();
}

void LessonaryPanel::setFillColor(const QColor& color) {
    fillColor_ = color;
    update();
}

void LessonaryPanel::paintEvent(QPaintEvent*) {
    const ColorScheme scheme = lessonary::currentScheme();
    QPainter painter(this);
    const QRectF bounds(rect());
    if (fillColor_.isValid())
        LessonaryTheme::fillRounded(painter, bounds, fillColor_, radius_);
    else if (fill_)
        LessonaryTheme::fillRounded(painter, bounds, fill_(scheme), radius_);
    if (border_) LessonaryTheme::strokeInside(painter, bounds, border_(scheme), radius_);
}

}  // namespace velquin
