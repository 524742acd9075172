#include "app/shell/program_options.h"

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
    "                 open the document reader, or the select-anywhere settings\n"
    "  --version      print the version and the commit it was built from, and exit\n"
    "  -h, --help     print this help and exit\n"
    "\n"
    "A second start hands its request to the Orvel that runs and ends. Qt's own options (such as\n"
    "-platform) are accepted too.\n";

}  // namespace

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
    if (const auto text = informationText(QList<QByteArray>(argv, argv + argc))) {
        std::fwrite(text->constData(), 1, size_t(text->size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (const auto line = sandboxOffLine(::geteuid(), &DisplayPlatform::processVariable)) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fwrite(line->constData(), 1, size_t(line->size()), stderr);
        std::fflush(stderr);
    }
    return std::nullopt;
}

}  // namespace velquin
