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

    // The web engine (the tutor's formulas) refuses to start as the super-user while its sandbox is
    // on. When `effectiveUser` is root and the environment makes no choice about the sandbox
    // (QTWEBENGINE_DISABLE_SANDBOX, or --no-sandbox in QTWEBENGINE_CHROMIUM_FLAGS), the line that
    // says it is switched off; the caller then sets QTWEBENGINE_DISABLE_SANDBOX=1. Otherwise nothing.
    static std::optional<QByteArray> sandboxOffLine(unsigned effectiveUser, const Environment& environment);

    // Both of the above for this process: prints and returns the exit status when the program is to
    // end at once; switches the sandbox off (and says so on standard error) as root.
    static std::optional<int> apply(int argc, char** argv);
};

}  // namespace velquin
