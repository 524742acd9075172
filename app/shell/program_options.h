#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace velquin {

// What the program settles from its command line and environment before the interface exists.
struct ProgramOptions {
    // The value of an environment variable; empty when unset.
    using Environment = std::function<QByteArray(const char* name)>;

    // For "--version" or "--help" (or "-h") among `arguments` (the program's name first): the
    // text for standard output, after which the program ends with status 0 without starting its
    // interface or handing anything to a running copy. Otherwise nothing.
    static std::optional<QByteArray> informationText(const QList<QByteArray>& arguments);

    // The first option among `arguments` (the program's name first) that is neither the program's
    // own nor one of Qt's (with one dash or two, and the value it takes); nothing when there is none.
    // Arguments that are no options (the URLs) are not looked at.
    static std::optional<QByteArray> unknownOption(const QList<QByteArray>& arguments);

    // Whether the program has a screen to show its windows on: an X11 or Wayland display, or a
    // platform the person chose (QT_QPA_PLATFORM, "-platform"), which Qt then opens or refuses itself.
    static bool hasDisplay(const Environment& environment, const QList<QByteArray>& arguments);

    // The web engine (the tutor's formulas) refuses to start as the super-user while its sandbox is
    // on. When `effectiveUser` is root and the environment makes no choice about the sandbox
    // (QTWEBENGINE_DISABLE_SANDBOX, or --no-sandbox in QTWEBENGINE_CHROMIUM_FLAGS), the line that
    // says it is switched off; the caller then sets QTWEBENGINE_DISABLE_SANDBOX=1. Otherwise nothing.
    static std::optional<QByteArray> sandboxOffLine(unsigned effectiveUser, const Environment& environment);

    // All of the above for this process: prints and returns the exit status when the program is to
    // end at once (0 after the information text, 2 with the usage after an unknown option, 1 without
    // a display); switches the sandbox off (and says so on standard error) as root.
    static std::optional<int> apply(int argc, char** argv);
};

}  // namespace velquin
