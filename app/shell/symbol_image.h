#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace velquin {

// The interface's line symbols ("house", "gearshape", "chevron.left", ...): single-colour pictures
// under :/images/symbols, drawn in the colour a view asks for.
class SymbolImage {
public:
    SymbolImage() = delete;

    // Whether the program carries the symbol.
    static bool exists(const QString& name);
    // The symbol in `color`, `size` device-independent pixels, sharp at `devicePixelRatio`; a
    // transparent picture when the symbol is missing.
    static QPixmap pixmap(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio = 1.0);

private:
    static QPixmap draw(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio);
};

}  // namespace velquin
