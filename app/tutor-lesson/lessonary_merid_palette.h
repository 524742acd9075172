#pragma once

#include <QColor>

#include "app/shell/application_appearance.h"

namespace velquin {

// The tutor's colour tokens by colour scheme. Most forward to `LessonaryTheme`; `success` and
// `warning` have values of their own and `coral` is the brand accent in both schemes.
class LessonaryMERIDPalette {
public:
    LessonaryMERIDPalette() = delete;

    static QColor paper(ColorScheme scheme);    // theme paper: screen and toolbar background
    static QColor rail(ColorScheme scheme);     // theme rail: course rail, drawers, library
    static QColor teacher(ColorScheme scheme);  // the same as `rail`: the tutor rail
    static QColor card(ColorScheme scheme);     // theme surface: cards
    static QColor subtle(ColorScheme scheme);   // theme selected: tinted panels
    static QColor line(ColorScheme scheme);     // theme divider: borders
    static QColor ink(ColorScheme scheme);      // theme ink: primary text
    static QColor muted(ColorScheme scheme);    // theme secondary ink: secondary text
    static QColor success(ColorScheme scheme);  // positive evidence, completed states
    static QColor warning(ColorScheme scheme);  // review and repair states
    static QColor coral(ColorScheme scheme);    // accents and highlights
};

}  // namespace velquin
