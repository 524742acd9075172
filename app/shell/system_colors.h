#pragma once

#include <QColor>

#include "app/shell/application_appearance.h"

namespace velquin {

// The desktop's signal colours as the interface uses them, for the light or the dark scheme.
class SystemColors {
public:
    SystemColors() = delete;

    // Hints that need attention (a missing permission, a busy dot).
    static QColor orange(ColorScheme scheme);
    // Values past a limit.
    static QColor red(ColorScheme scheme);
    // A state that holds (a permission granted).
    static QColor green(ColorScheme scheme);
};

}  // namespace velquin
