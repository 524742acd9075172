#pragma once

#include <QColor>
#include <QRectF>

#include "app/shell/application_appearance.h"

class QPainter;

namespace velquin {

// The colours of the warm paper look that every window of the application shares, by colour scheme.
// Each call builds its colour anew (sRGB, opaque); nothing is kept.
class LessonaryTheme {
public:
    LessonaryTheme() = delete;

    static constexpr qreal defaultBorderRadius = 14.0;

    // Page background.
    static QColor paper(ColorScheme scheme);
    // Card surface.
    static QColor surface(ColorScheme scheme);
    // Side rails and sidebars.
    static QColor rail(ColorScheme scheme);
    // Hairlines and card borders.
    static QColor divider(ColorScheme scheme);
    // Primary text.
    static QColor ink(ColorScheme scheme);
    // Secondary text.
    static QColor inkSecondary(ColorScheme scheme);
    // Selected or highlighted background.
    static QColor selected(ColorScheme scheme);

    // The standard card border: a rounded rectangle of `radius` stroked in `divider` with a line of
    // width 1 that lies wholly inside `bounds` (the shape is inset by half the line), antialiased.
    // Painted over a card whose background uses the same radius.
    static void border(QPainter& painter, const QRectF& bounds, ColorScheme scheme,
                       qreal radius = defaultBorderRadius);
    // The same stroke in any colour, for cards outlined in another token.
    static void strokeInside(QPainter& painter, const QRectF& bounds, const QColor& color, qreal radius);
    // Fills the rounded rectangle of `bounds` with `color`, antialiased.
    static void fillRounded(QPainter& painter, const QRectF& bounds, const QColor& color, qreal radius);
};

}  // namespace velquin
