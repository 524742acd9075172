#include "app/tutor-lesson/lessonary_theme.h"

#include <QPainter>
#include <QPainterPath>

namespace velquin {

namespace {

QColor pick(ColorScheme scheme, QRgb light, QRgb dark) {
    return QColor::fromRgb(scheme == ColorScheme::dark ? dark : light);
}

}  // namespace

QColor LessonaryTheme::paper(ColorScheme scheme) { return pick(scheme, 0xF8F5EF, 0x211F1D); }
QColor LessonaryTheme::surface(ColorScheme scheme) { return pick(scheme, 0xFFFDF8, 0x2B2825); }
QColor LessonaryTheme::rail(ColorScheme scheme) { return pick(scheme, 0xEEE7DD, 0x25221F); }
QColor LessonaryTheme::divider(ColorScheme scheme) { return pick(scheme, 0xE1D7CA, 0x45403B); }
QColor LessonaryTheme::ink(ColorScheme scheme) { return pick(scheme, 0x342C27, 0xF7F0E6); }
QColor LessonaryTheme::inkSecondary(ColorScheme scheme) { return pick(scheme, 0x756B63, 0xCCC2B7); }
QColor LessonaryTheme::selected(ColorScheme scheme) { return pick(scheme, 0xF9E5D9, 0x4A302A); }

void LessonaryTheme::border(QPainter& painter, const QRectF& bounds, ColorScheme scheme, qreal radius) {
    strokeInside(painter, bounds, divider(scheme), radius);
}

void LessonaryTheme::strokeInside(QPainter& painter, const QRectF& bounds, const QColor& color, qreal radius) {
    constexpr qreal lineWidth = 1.0;
    const qreal inset = lineWidth / 2;
    const QRectF shape = bounds.adjusted(inset, inset, -inset, -inset);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, lineWidth));
    const qreal r = qMax<qreal>(0, radius - inset);
    painter.drawRoundedRect(shape, r, r);
    painter.restore();
}

void LessonaryTheme::fillRounded(QPainter& painter, const QRectF& bounds, const QColor& color, qreal radius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(bounds, radius, radius);
    painter.fillPath(path, color);
    painter.restore();
}

}  // namespace velquin
