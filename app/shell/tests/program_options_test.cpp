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
    EXPECT_EQ(ProgramOptions::unknownOption({"orvel", "--setup", "orvel-formac://direct", "--studyselection"}),
              QByteArray("--studyselection"));
    const QList<QList<QByteArray>> known{
        {"orvel", "--study-selection=translate", "--qa-smoke-import", "-notes.txt"},
        {"orvel", "-platform", "xcb", "-session", "-v", "--style=Fusion"},  // Qt's, their values taken
        {"orvel", "--webEngineArgs", "--remote-debugging-port=9"},
    };
    for (const QList<QByteArray>& arguments : known)
        EXPECT_EQ(ProgramOptions::unknownOption(arguments), std::nullopt) << arguments.join(' ').constData();
}

TEST(ProgramOptionsTest, WithoutADisplayOnlyAChosenPlatformStarts) {
    const auto hasDisplay = [](const QMap<QByteArray, QByteArray>& environment, const QList<QByteArray>& arguments) {
        return ProgramOptions::hasDisplay([&](const char* name) { return environment.value(name); }, arguments);
    };
    EXPECT_FALSE(hasDisplay({}, {"orvel"}));
    EXPECT_TRUE(hasDisplay({{"WAYLAND_DISPLAY", "wayland-0"}}, {"orvel"}));
    EXPECT_TRUE(hasDisplay({{"QT_QPA_PLATFORM", "offscreen"}}, {"orvel"}));
    EXPECT_TRUE(hasDisplay({}, {"orvel", "--platform", "offscreen"}));
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
