#include "app/tutor-lesson/lessonary_merid_palette.h"

#include "app/shell/orvel_brand.h"
#include "app/tutor-lesson/lessonary_theme.h"

namespace velquin {

QColor LessonaryMERIDPalette::paper(ColorScheme scheme) { return LessonaryTheme::paper(scheme); }
QColor LessonaryMERIDPalette::rail(ColorScheme scheme) { return LessonaryTheme::rail(scheme); }
QColor LessonaryMERIDPalette::teacher(ColorScheme scheme) { return rail(scheme); }
QColor LessonaryMERIDPalette::card(ColorScheme scheme) { return LessonaryTheme::surface(scheme); }
QColor LessonaryMERIDPalette::subtle(ColorScheme scheme) { return LessonaryTheme::selected(scheme); }
QColor LessonaryMERIDPalette::line(ColorScheme scheme) { return LessonaryTheme::divider(scheme); }
QColor LessonaryMERIDPalette::ink(ColorScheme scheme) { return LessonaryTheme::ink(scheme); }
QColor LessonaryMERIDPalette::muted(ColorScheme scheme) { return LessonaryTheme::inkSecondary(scheme); }

QColor LessonaryMERIDPalette::success(ColorScheme scheme) {
    return QColor::fromRgb(scheme == ColorScheme::dark ? 0x69BE98 : 0x246E50);
}

QColor LessonaryMERIDPalette::warning(ColorScheme scheme) {
    return QColor::fromRgb(scheme == ColorScheme::dark ? 0xE3AC70 : 0x995319);
}

QColor LessonaryMERIDPalette::coral(ColorScheme) { return OrvelBrand::accent(); }

}  // namespace velquin
