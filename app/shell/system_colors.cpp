#include "app/shell/system_colors.h"

namespace velquin {

QColor SystemColors::orange(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
}

QColor SystemColors::red(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
}

QColor SystemColors::green(ColorScheme scheme) {
    return scheme == ColorScheme::dark ? QColor(48, 209, 88) : QColor(52, 199, 89);
}

}  // namespace velquin
