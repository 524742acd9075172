// The display platform chosen at start-up from the session's environment and the command line.
#include <gtest/gtest.h>

#include <QMap>

#include "app/shell/display_platform.h"

namespace velquin {
namespace {

TEST(DisplayPlatformTest, XcbOnAWaylandSessionWithAnXDisplayUnlessThePersonChose) {
    struct Row {
        const char* name;
        QMap<QByteArray, QByteArray> environment;
        QList<QByteArray> arguments;  // the program's name first
        QByteArray expected;
    };
    const QMap<QByteArray, QByteArray> gnome{
        {"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}};
    auto with = [](QMap<QByteArray, QByteArray> environment, const QByteArray& name, const QByteArray& value) {
        environment.insert(name, value);
        return environment;
    };
    const QList<Row> rows{
        {"a GNOME Wayland session with XWayland", gnome, {"orvel"}, "xcb"},
        {"only the session type says Wayland", {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, {"orvel"}, "xcb"},
        {"only a Wayland display (a nested compositor)",
         {{"WAYLAND_DISPLAY", "w-1"}, {"DISPLAY", ":1"}},
         {"orvel"},
         "xcb"},
        {"other arguments stay the program's", gnome, {"orvel", "--setup", "orvel-formac://direct"}, "xcb"},
        {"Wayland without XWayland", with(gnome, "DISPLAY", ""), {"orvel"}, ""},
        {"an X11 session", {{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, {"orvel"}, ""},
        {"no session type at all (a bare X server)", {{"DISPLAY", ":0"}}, {"orvel"}, ""},
        {"the person's QT_QPA_PLATFORM", with(gnome, "QT_QPA_PLATFORM", "wayland"), {"orvel"}, ""},
        {"an empty QT_QPA_PLATFORM chooses nothing", with(gnome, "QT_QPA_PLATFORM", ""), {"orvel"}, "xcb"},
        {"the person's -platform", gnome, {"orvel", "-platform", "wayland"}, ""},
        {"the person's --platform", gnome, {"orvel", "--setup", "--platform", "wayland"}, ""},
        {"-platformtheme is not a platform", gnome, {"orvel", "-platformtheme", "gtk3"}, "xcb"},
    };
    for (const Row& row : rows) {
        const auto environment = [&row](const char* name) { return row.environment.value(name); };
        EXPECT_EQ(DisplayPlatform::preferred(environment, row.arguments), row.expected) << row.name;
    }
}

}  // namespace
}  // namespace velquin
