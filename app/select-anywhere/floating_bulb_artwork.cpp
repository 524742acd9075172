#include "app/select-anywhere/floating_bulb_artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QLinearGradient>

#include <algorithm>

namespace velquin {

namespace {

// The bulb picture's own colours, one set per variant: the artwork stands where an image would,
// so its colours belong to it and not to the interface palette.
struct BulbColors {
    QColor glow;        // the halo around the glass (faded out towards its edge)
    QColor glassTop;    // the glass, lit from above
    QColor glassBottom;
    QColor glassEdge;
    QColor highlight;   // the reflection on the glass
    QColor base;        // the screw base
    QColor baseShade;   // the base's grooves and its tip
};

const BulbColors& colorsFor(ColorScheme scheme) {
    static const BulbColors light{QColor(255, 196, 64, 90),  QColor(255, 224, 120), QColor(247, 150, 36),
                                  QColor(196, 104, 18),      QColor(255, 255, 255, 190), QColor(124, 112, 100),
                                  QColor(82, 72, 64)};
    static const BulbColors dark{QColor(255, 206, 90, 120), QColor(255, 236, 156), QColor(252, 176, 58),
                                 QColor(255, 214, 120),     QColor(255, 255, 255, 210), QColor(196, 186, 174),
                                 QColor(142, 132, 122)};
    return scheme == ColorScheme::dark ? dark : light;
}

// The picture is a unit square; only its middle 84 % (from 8 % to 92 % on each axis) reaches the
// target, so the transform maps [0.08, 0.92] onto the target rectangle.
constexpr qreal pictureInset = 0.08;
constexpr qreal pictureShown = 0.84;

void paintBulb(QPainter& painter, const QRectF& target, ColorScheme scheme) {
    const BulbColors& colors = colorsFor(scheme);
    painter.save();
    painter.setClipRect(target, Qt::IntersectClip);
    painter.translate(target.x() - pictureInset / pictureShown * target.width(),
                      target.y() - pictureInset / pictureShown * target.height());
    painter.scale(target.width() / pictureShown, target.height() / pictureShown);

    // Halo.
    QRadialGradient halo(QPointF(0.5, 0.40), 0.32);
    halo.setColorAt(0.0, colors.glow);
    halo.setColorAt(0.55, colors.glow);
    QColor clear = colors.glow;
    clear.setAlpha(0);
    halo.setColorAt(1.0, clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(halo);
    painter.drawEllipse(QPointF(0.5, 0.40), 0.32, 0.32);

    // Glass: a round top narrowing into the neck.
    QPainterPath glass;
    glass.moveTo(0.405, 0.665);
    glass.cubicTo(0.405, 0.585, 0.265, 0.545, 0.265, 0.40);
    glass.arcTo(QRectF(0.265, 0.165, 0.47, 0.47), 180, -180);
    glass.cubicTo(0.735, 0.545, 0.595, 0.585, 0.595, 0.665);
    glass.closeSubpath();
    QLinearGradient fill(QPointF(0.5, 0.17), QPointF(0.5, 0.665));
    fill.setColorAt(0.0, colors.glassTop);
    fill.setColorAt(1.0, colors.glassBottom);
    painter.setBrush(fill);
    painter.setPen(QPen(colors.glassEdge, 0.022, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(glass);

    // Reflection on the upper left of the glass.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colors.highlight, 0.03, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(0.33, 0.23, 0.34, 0.34), 110 * 16, 55 * 16);

    // Screw base: two rings and the rounded tip.
    painter.setPen(Qt::NoPen);
    painter.setBrush(colors.base);
    painter.drawRoundedRect(QRectF(0.385, 0.675, 0.23, 0.055), 0.025, 0.025);
    painter.drawRoundedRect(QRectF(0.395, 0.74, 0.21, 0.055), 0.025, 0.025);
    painter.setBrush(colors.baseShade);
    painter.drawRoundedRect(QRectF(0.44, 0.80, 0.12, 0.045), 0.02, 0.02);
    painter.restore();
}

void paintOverlay(QPainter& painter, const QRectF& target, FloatingBulbPhase phase) {
    const qreal w = target.width();
    const qreal h = target.height();
    painter.save();
    painter.setBrush(Qt::NoBrush);
    switch (phase) {
    case FloatingBulbPhase::idle:
        break;
    case FloatingBulbPhase::querying: {
        painter.setPen(QPen(QColor::fromRgbF(1.0f, 0.61f, 0.22f, 0.23f), std::max(0.025 * w, 0.7)));
        for (const qreal inset : {0.11, 0.18})
            painter.drawEllipse(target.adjusted(inset * w, inset * h, -inset * w, -inset * h));
        break;
    }
    case FloatingBulbPhase::done: {
        // The mark's points are given from the lower-left corner, y up.
        const auto point = [&](qreal fx, qreal fy) { return QPointF(target.x() + fx * w, target.y() + (1 - fy) * h); };
        QPainterPath check;
        check.moveTo(point(0.40, 0.49));
        check.lineTo(point(0.49, 0.40));
        check.lineTo(point(0.65, 0.61));
        painter.setPen(QPen(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.98f), std::max(0.065 * w, 1.4), Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(check);
        break;
    }
    }
    painter.restore();
}

}  // namespace

void FloatingBulbArtwork::paint(QPainter& painter, const QRectF& target, ColorScheme scheme, FloatingBulbPhase phase) {
    if (target.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintBulb(painter, target, scheme);
    paintOverlay(painter, target, phase);
    painter.restore();
}

}  // namespace velquin
