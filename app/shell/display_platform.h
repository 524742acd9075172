#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

namespace velquin {

// The display platform the program starts on when the person chose none. Reading other programs'
// selections and seeing their pointer events works only through X11, so on a Wayland session that
// also offers an X display (XWayland) the program starts on xcb, even where Qt's Wayland plugin is
// installed and Qt would pick it. A platform the person chose (QT_QPA_PLATFORM, "-platform" or
// "--platform") always stands.
struct DisplayPlatform {
    // The value of an environment variable; empty when unset.
    using Environment = std::function<QByteArray(const char* name)>;

    // The platform to ask Qt for, or empty to leave the choice to Qt. `arguments` are the
    // command line's, the program's name first.
    static QByteArray preferred(const Environment& environment, const QList<QByteArray>& arguments);
    // Whether the desktop session is a Wayland one (its compositor's own windows are out of X11's sight).
    static bool isWaylandSession(const Environment& environment);
    // The process's own environment.
    static QByteArray processVariable(const char* name);
};

}  // namespace velquin
