// What the program settles before its interface exists: --version and --help, unknown options, a
// missing display, and the web engine's sandbox as the super-user.
#include <gtest/gtest.h>

#include <QMap>

#include "app/shell/program_options.h"

namespace velquin {
namespace {

TEST(ProgramOptionsTest, VersionAndHelpEndTheProgramBeforeAnythingElse) {
    struct Row {
        const char* name;
        QList<QByteArray> arguments;  // the program's name first
        const char* startsWith;       // nullptr: the program starts as usual
    };
    const QList<Row> rows{
        {"--version", {"orvel", "--version"}, "Orvel "},
        {"--help", {"orvel", "--help"}, "Usage: orvel"},
        {"-h", {"orvel", "-h"}, "Usage: orvel"},
        {"after other options", {"orvel", "--setup", "--version"}, "Orvel "},
        {"the first of the two wins", {"orvel", "--help", "--version"}, "Usage: orvel"},
        {"no arguments", {"orvel"}, nullptr},
        {"the program's own options", {"orvel", "--study-selection", "explain"}, nullptr},
        {"a URL", {"orvel", "orvel-formac://direct"}, nullptr},
        {"the program's name is no option", {"--version"}, nullptr},
        {"a longer word", {"orvel", "--versions"}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<QByteArray> text = ProgramOptions::informationText(row.arguments);
        ASSERT_EQ(text.has_value(), row.startsWith != nullptr);
        if (text) {
            EXPECT_TRUE(text->startsWith(row.startsWith)) << text->constData();
            EXPECT_TRUE(text->endsWith('\n'));
        }
    }
}

TEST(ProgramOptionsTest, AnUnknownOptionIsNamedAndQtsOwnPassThrough) {
    struct Row {
        const char* name;
        QList<QByteArray> arguments;  // the program's name first
        const char* unknown;          // nullptr: every option is known
    };
    const QList<Row> rows{
        {"a short option of nobody", {"orvel", "-v"}, "-v"},
        {"a misspelt option", {"orvel", "--studyselection"}, "--studyselection"},
        {"after known ones", {"orvel", "--setup", "orvel-formac://direct", "--verbose"}, "--verbose"},
        {"a lone dash", {"orvel", "-"}, "-"},
        {"the program's own", {"orvel", "--study-selection", "explain", "--setup"}, nullptr},
        {"the mode after an equals sign", {"orvel", "--study-selection=translate"}, nullptr},
        {"URLs are no options", {"orvel", "orvel-formac://reader", "anything"}, nullptr},
        {"checks by their beginning", {"orvel", "--qa-smoke-merid", "--qa-smoke"}, nullptr},
        {"the import check's file", {"orvel", "--qa-smoke-import", "-notes.txt"}, nullptr},
        {"Qt's with their values", {"orvel", "-platform", "xcb", "--display", ":1", "-name", "-x"}, nullptr},
        {"Qt's flags and equals forms", {"orvel", "-reverse", "--style=Fusion", "-qmljsdebugger=port:1"}, nullptr},
        {"a Qt option's value is taken", {"orvel", "-session", "-v"}, nullptr},
        {"the web engine's after its marker", {"orvel", "--webEngineArgs", "--remote-debugging-port=9"}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<QByteArray> unknown = ProgramOptions::unknownOption(row.arguments);
        ASSERT_EQ(unknown.has_value(), row.unknown != nullptr);
        if (unknown) EXPECT_EQ(*unknown, QByteArray(row.unknown));
    }
}

TEST(ProgramOptionsTest, WithoutADisplayOnlyAChosenPlatformStarts) {
    struct Row {
        const char* name;
        QMap<QByteArray, QByteArray> environment;
        QList<QByteArray> arguments;
        bool display;
    };
    const QList<Row> rows{
        {"nothing", {}, {"orvel"}, false},
        {"X11", {{"DISPLAY", ":0"}}, {"orvel"}, true},
        {"Wayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, {"orvel"}, true},
        {"a platform in the environment", {{"QT_QPA_PLATFORM", "offscreen"}}, {"orvel"}, true},
        {"a platform on the command line", {}, {"orvel", "--platform", "offscreen"}, true},
        {"a platform option without its name", {}, {"orvel", "orvel-formac://direct", "-platform"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(
            ProgramOptions::hasDisplay([&row](const char* name) { return row.environment.value(name); }, row.arguments),
            row.display);
    }
}

TEST(ProgramOptionsTest, TheSandboxIsSwitchedOffOnlyForRootWhenNothingWasChosen) {
    struct Row {
        const char* name;
        unsigned user;
        QMap<QByteArray, QByteArray> environment;
        bool switchedOff;
    };
    const QList<Row> rows{
        {"root with no choice", 0, {}, true},
        {"root with other engine flags", 0, {{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu"}}, true},
        {"root who switched it off", 0, {{"QTWEBENGINE_DISABLE_SANDBOX", "1"}}, false},
        {"root with --no-sandbox", 0, {{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --no-sandbox"}}, false},
        {"an ordinary user", 1000, {}, false},
        {"an ordinary user's flags stay", 1000, {{"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu"}}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto line =
            ProgramOptions::sandboxOffLine(row.user, [&row](const char* name) { return row.environment.value(name); });
        ASSERT_EQ(line.has_value(), row.switchedOff);
        if (line) {
            EXPECT_TRUE(line->startsWith("orvel: ") && line->endsWith('\n') && line->count('\n') == 1);
        }
    }
}

}  // namespace
}  // namespace velquin
