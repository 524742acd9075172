#include "app/shell/display_platform.h"

#include <QtGlobal>

namespace velquin {

QByteArray DisplayPlatform::preferred(const Environment& environment, const QList<QByteArray>& arguments) {
    if (!environment("QT_QPA_PLATFORM").isEmpty()) return {};
    // Qt reads its own options with one dash or two, the name in the next argument.
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (arguments[i] == "-platform" || arguments[i] == "--platform") return {};
    if (!isWaylandSession(environment) || environment("DISPLAY").isEmpty()) return {};
    return QByteArrayLiteral("xcb");
}

bool DisplayPlatform::isWaylandSession(const Environment& environment) {
    return environment("XDG_SESSION_TYPE") == "wayland" || !environment("WAYLAND_DISPLAY").isEmpty();
}

QByteArray DisplayPlatform::processVariable(const char* name) { return qgetenv(name); }

}  // namespace velquin
