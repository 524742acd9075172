// Linked into tests and benchmarks: nothing there names the module's entry, and a library nothing
// names is left out of the program by the linker.
#include "app/tutor-lesson/merid_math_views.h"

[[gnu::used]] static const auto keepFormulaModule = &orvel_merid_math_views_v2;
