#include "app/shell/program_options.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

#include "app/shell/build_info.h"
#include "app/shell/display_platform.h"

namespace velquin {

namespace {

constexpr char kUsage[] =
    "Usage: orvel [OPTION] [orvel-formac://URL...]\n"
    "Orvel, a study assistant: select text in any program and study it with Orvel's AI.\n"
    "\n"
    "  --study-selection [explain|translate|practice]\n"
    "                 send the text selected in any program (the PRIMARY selection) to the\n"
    "                 answer panel in that mode (practice when none is given); starts Orvel\n"
    "                 when it does not run\n"
    "  --setup        open the select-anywhere settings\n"
    "  orvel-formac://reader, orvel-formac://direct\n"
    "                 open the screen-capture guide, or the select-anywhere settings\n"
    "  --version      print the version and the commit it was built from, and exit\n"
    "  -h, --help     print this help and exit\n"
    "\n"
    "A second start hands its request to the Orvel that runs and ends. Qt's own options (such as\n"
    "-platform) are accepted too.\n";

constexpr int kUsageStatus = 2;
constexpr int kNoDisplayStatus = 1;

// Qt's own options (QGuiApplication, QApplication and the xcb platform), without their dash: those
// that take the next argument as their value, and those that take none.
constexpr char kQtValueOptions[] =
    "platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon qwindowtitle session display "
    "geometry title icon name style stylesheet visual";
const QList<QByteArray> kQtOptionsWithValue = QByteArray(kQtValueOptions).split(' ');
const QList<QByteArray> kQtOptions = QByteArray("reverse widgetcount sync nograb dograb testability").split(' ');
// Qt's options that carry their value after "=".
const QList<QByteArray> kQtOptionPrefixes = QByteArray("style= stylesheet= qmljsdebugger=").split(' ');

}  // namespace

std::optional<QByteArray> ProgramOptions::unknownOption(const QList<QByteArray>& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments.at(i);
        if (!argument.startsWith('-')) continue;
        // The web engine takes every argument after this one.
        if (argument == "--webEngineArgs") return std::nullopt;
        if (argument == "--study-selection" || argument.startsWith("--study-selection=") || argument == "--setup" ||
            argument == "--version" || argument == "--help" || argument == "-h")
            continue;
        // The checks of automated runs, by their common beginning; the import check's file follows it.
        if (argument.startsWith("--qa-smoke")) {
            if (argument == "--qa-smoke-import") ++i;
            continue;
        }
        const QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
        if (kQtOptionsWithValue.contains(name)) {
            ++i;
            continue;
        }
        if (kQtOptions.contains(name)) continue;
        if (std::any_of(kQtOptionPrefixes.cbegin(), kQtOptionPrefixes.cend(),
                        [&name](const QByteArray& prefix) { return name.startsWith(prefix); }))
            continue;
        return argument;
    }
    return std::nullopt;
}

bool ProgramOptions::hasDisplay(const Environment& environment, const QList<QByteArray>& arguments) {
    if (!environment("QT_QPA_PLATFORM").isEmpty()) return true;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (arguments[i] == "-platform" || arguments[i] == "--platform") return true;
    return !environment("DISPLAY").isEmpty() || !environment("WAYLAND_DISPLAY").isEmpty();
}

std::optional<QByteArray> ProgramOptions::informationText(const QList<QByteArray>& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments.at(i);
        if (argument == "--help" || argument == "-h") return QByteArray(kUsage);
        if (argument == "--version")
            return "Orvel " + BuildInfo::version().toUtf8() + " (commit " + BuildInfo::commit().toUtf8() + ")\n";
    }
    return std::nullopt;
}

std::optional<QByteArray> ProgramOptions::sandboxOffLine(unsigned effectiveUser, const Environment& environment) {
    if (effectiveUser != 0) return std::nullopt;
    if (!environment("QTWEBENGINE_DISABLE_SANDBOX").isEmpty()) return std::nullopt;
    if (environment("QTWEBENGINE_CHROMIUM_FLAGS").contains("--no-sandbox")) return std::nullopt;
    return QByteArray(
        "orvel: running as root: the web view of the tutor's formulas starts without its sandbox "
        "(QTWEBENGINE_DISABLE_SANDBOX=1)\n");
}

std::optional<int> ProgramOptions::apply(int argc, char** argv) {
    const QList<QByteArray> arguments(argv, argv + argc);
    if (const auto text = informationText(arguments)) {
        std::fwrite(text->constData(), 1, size_t(text->size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (const auto option = unknownOption(arguments)) {
        const QByteArray text = "orvel: unknown option " + *option + "\n\n" + kUsage;
        std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
        std::fflush(stderr);
        return kUsageStatus;
    }
    // Qt would abort without a screen to open.
    if (!hasDisplay(&DisplayPlatform::processVariable, arguments)) {
        std::fputs(
            "orvel: no display to show Orvel on (neither DISPLAY nor WAYLAND_DISPLAY is set); start it in a "
            "desktop session\n",
            stderr);
        std::fflush(stderr);
        return kNoDisplayStatus;
    }
    if (const auto line = sandboxOffLine(::geteuid(), &DisplayPlatform::processVariable)) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fwrite(line->constData(), 1, size_t(line->size()), stderr);
        std::fflush(stderr);
    }
    return std::nullopt;
}

}  // namespace velquin
