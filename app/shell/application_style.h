#pragma once

#include <QProxyStyle>

namespace velquin {

// The program's widget style: the style Qt chose (Fusion on most desktops), with the edges of check
// boxes, radio buttons and text fields kept visible on a dark palette. Fusion draws those edges a
// shade darker than the window colour, which disappears against a dark window; there they are
// drawn in the palette's placeholder-text colour (a dimmed foreground) instead. On a light palette,
// and under other styles, the style's own drawing stands.
class ApplicationStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Wraps the style named `base`; Fusion when there is none of that name.
    explicit ApplicationStyle(const QString& base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    bool fusion_ = false;
};

}  // namespace velquin
