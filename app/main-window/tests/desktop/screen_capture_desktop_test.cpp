// A screen-region capture in the real program: the main window hides while the person drags a
// region with the desktop's capture program and comes back where it was, whether the window
// manager placed it or the person moved it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::AccessibilityBus;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::WindowManager;
using orveltest::X11Display;

namespace {

bool xdotool(const QStringList& arguments) { return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0; }

// A press, a few moves and a release of the left button, as a person's drag.
bool drag(QPoint from, QPoint to) {
    if (!xdotool({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y())}) ||
        !xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}))
        return false;
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = from + (to - from) * step / 4;
        if (!xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())})) return false;
    }
    return xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

// Whether a process named `name` is a child of process `parent`.
bool hasChild(qint64 parent, const QString& name) {
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < open) continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (line.mid(open + 1, close - open - 1) == name.toUtf8() && fields.size() > 1 &&
            fields.at(1).toLongLong() == parent)
            return true;
    }
    return false;
}

class ScreenCaptureDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(manager.isRunning());
        ASSERT_TRUE(accessibility.isConnected());
    }

    // The main window's client area and frame on the screen, while it is viewable.
    std::optional<std::pair<QRect, QRect>> place(const OrvelProgram& orvel) const {
        const auto windows = display.windowsOf(orvel.pid());
        if (windows.isEmpty()) return std::nullopt;
        const QRect client = windows.constFirst().geometry;
        const auto frame = display.topLevelAt(client.center());
        if (!frame) return std::nullopt;
        return std::make_pair(client, *frame);
    }

    // One capture as a person makes it: Ctrl+Shift+R, Return on the guide, a region dragged while
    // the capture program runs; returns once the main window is viewable again.
    void capture(OrvelProgram& orvel) {
        ASSERT_TRUE(
            xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+shift+r")}));
        ASSERT_TRUE(waitUntil([&] {
            return accessibility.find(orvel.pid(), QString::fromUtf8("开始框选截图"), QStringLiteral("push button"))
                .has_value();
        })) << "no capture guide";
        ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("Return")}));
        ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).isEmpty(); })) << "the window stayed";
        ASSERT_TRUE(waitUntil([&] { return hasChild(orvel.pid(), QStringLiteral("maim")); })) << "no capture program";
        // The capture program takes the pointer a moment after it starts: a drag made before is
        // made again. The window comes back once the picture's text is recognised, and a new
        // recognition thread first loads the language data: 15 s in the sanitized build, 36 s on
        // two busy cores.
        bool back = false;
        for (int attempt = 0; attempt < 30 && !back; ++attempt) {
            ASSERT_TRUE(drag({40, 40}, {260, 140}));
            back = waitUntil([&] { return place(orvel).has_value(); }, 3000);
        }
        ASSERT_TRUE(back) << "the window did not come back";
    }

    X11Display display;
    WindowManager manager{display};
    AccessibilityBus accessibility;
};

}  // namespace

// Placed by the window manager, then moved by its title bar: after each capture the window's
// frame and client area are where they were before it.
TEST_F(ScreenCaptureDesktop, ACaptureLeavesTheWindowWhereItWas) {
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("zh-Hans"));
    base::DefaultsStore(orvel.defaultsFile()).setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return place(orvel).has_value(); }));

    const auto before = *place(orvel);
    capture(orvel);
    if (HasFatalFailure()) return;
    std::optional<std::pair<QRect, QRect>> after;
    EXPECT_TRUE(waitUntil([&] { return (after = place(orvel)) == before; }, 5000))
        << "placed by the window manager: frame at " << before.second.x() << "," << before.second.y() << ", back at "
        << (after ? after->second.x() : -1) << "," << (after ? after->second.y() : -1);

    // Dragged by its title bar to another place.
    const QRect frame = place(orvel)->second;
    const QPoint title(frame.center().x(), frame.top() + (place(orvel)->first.top() - frame.top()) / 2);
    ASSERT_TRUE(drag(title, title + QPoint(90, 60)));
    ASSERT_TRUE(waitUntil([&] { return place(orvel) && place(orvel)->second.topLeft() != frame.topLeft(); }))
        << "the drag did not move the window";
    ASSERT_TRUE(waitUntil([&] {
        const auto now = place(orvel);
        return now && now->second.topLeft() == frame.topLeft() + QPoint(90, 60);
    }));
    const auto moved = *place(orvel);
    capture(orvel);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(waitUntil([&] { return (after = place(orvel)) == moved; }, 5000))
        << "moved by its title bar: frame at " << moved.second.x() << "," << moved.second.y() << ", back at "
        << (after ? after->second.x() : -1) << "," << (after ? after->second.y() : -1);

    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}
