#pragma once

#include <QFont>

namespace velquin {

// The interface font, with Latin text in a Latin font whatever the system locale. Under a Chinese,
// Japanese or Korean locale fontconfig puts a CJK font first for every family name (the locale's
// language goes into each request), and that font's ’ “ ” are full-width, so English and French
// text drew "Qu’ aimeriez-vous". Where the desktop's family resolves to such a font, the first
// font of the same request that has no Han characters goes ahead of it: Chinese characters, which
// that font lacks, still take the desktop's family, while ’ “ ” (which Qt takes as belonging to no
// script) take the Latin font in Chinese text too, as they do under any other locale.
class InterfaceFont {
public:
    // `font` with a Latin family ahead of its own where its own resolves to a CJK font; else `font`.
    static QFont latinFirst(const QFont& font);
};

}  // namespace velquin
