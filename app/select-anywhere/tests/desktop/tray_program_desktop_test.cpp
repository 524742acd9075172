// The real program with and without an icon in the desktop's tray: how a person reaches it, opens
// its menu and ends it, also after a hand-over, and that clicks in its own menus are no gestures in
// the program behind them.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QThread>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/gui/desktop_programs.h"
#include "tests/support/gui/selection_target_process.h"

using namespace halvern::testing;
using orveltest::AccessibilityBus;
using orveltest::OrvelProgram;
using orveltest::TrayHost;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

// Orvel in English after its first-setup step, with automatic selection as given.
void prepare(const OrvelProgram& orvel, bool automaticSelection) {
    orvel.presetReturningPerson(QStringLiteral("en"));
    base::DefaultsStore(orvel.defaultsFile()).setBool(QStringLiteral("nativeAutoSelectEnabled"), automaticSelection);
}

bool reachable(const OrvelProgram& orvel) {
    return orvel.state().value(QStringLiteral("selectionStatusItemReachable")).toBool();
}

QString phase(const OrvelProgram& orvel) { return orvel.state().value(QStringLiteral("selectionPhase")).toString(); }

// The program's main window (its largest mapped window: the answer panel is smaller), if mapped.
// Qt may give it a new X window when it shows again.
std::optional<X11Display::Window> mainWindowOf(const X11Display& display, const OrvelProgram& orvel) {
    std::optional<X11Display::Window> largest;
    for (const X11Display::Window& window : display.windowsOf(orvel.pid())) {
        const QSize size = window.geometry.size();
        if (!largest || size.width() * size.height() > largest->geometry.width() * largest->geometry.height())
            largest = window;
    }
    return largest;
}

// Where the main window shows its client area, while it is mapped.
std::optional<QRect> mainWindowPlace(const X11Display& display, const OrvelProgram& orvel) {
    const auto window = mainWindowOf(display, orvel);
    return window ? std::optional<QRect>(window->geometry) : std::nullopt;
}

// Moves the main window as a person drags it, away from where the window manager put it; where it
// then is.
std::optional<QRect> dragMainWindow(const X11Display& display, const OrvelProgram& orvel, QPoint to) {
    const auto before = mainWindowOf(display, orvel);
    if (!before) return std::nullopt;
    xdotool(
        {QStringLiteral("windowmove"), QString::number(before->id), QString::number(to.x()), QString::number(to.y())});
    std::optional<QRect> after;
    waitUntil([&] { return (after = mainWindowPlace(display, orvel)) && after != before->geometry; }, 5000);
    return after != before->geometry ? after : std::nullopt;
}

}  // namespace

// A tray that comes after the program takes its icon; a click on the tray's panel leaves an offered
// selection alone; a left click on the icon opens the menu, and
// with a selection offered beside the pointer its "Open selected text window" item opens that selection in the answer
// panel. With the icon in the tray, closing the window leaves the program running; its menu, and
// the tray going away, bring the window back where it was.
TEST(TrayProgramDesktop, TheTrayMenuOpensTheOfferedSelectionAndTheWindowReturnsWithoutTheTray) {
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    OrvelProgram orvel;
    prepare(orvel, true);
    ASSERT_TRUE(orvel.start());
    const auto window = orvel.waitForWindow(display);
    ASSERT_TRUE(window);
    EXPECT_FALSE(reachable(orvel));

    TrayHost tray(display);
    ASSERT_TRUE(tray.isRunning());
    ASSERT_TRUE(waitUntil([&] { return reachable(orvel); })) << "the icon did not reach the tray";

    SelectionTarget target;
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("lineEdit"));
    ASSERT_TRUE(waitUntil([&] { return phase(orvel) == QStringLiteral("icon"); }));

    // A click on the desktop's panel is no gesture in the program the text was selected in.
    const std::optional<QPoint> panel = tray.emptyPoint();
    ASSERT_TRUE(panel);
    heldClickAt(*panel);
    const std::optional<QPoint> icon = tray.iconCentre();
    ASSERT_TRUE(icon);
    heldClickAt(*icon);
    // The menu opens at the pointer, moved inside the screen; its items are not on the
    // accessibility bus, so its seventh row of ten (above a separator and "Quit Orvel") is
    // clicked where it is drawn.
    std::optional<QRect> menu;
    ASSERT_TRUE(waitUntil([&] { return (menu = display.topLevelAt(*icon + QPoint(-20, 20))).has_value(); }))
        << "a left click did not open the menu";
    EXPECT_EQ(phase(orvel), QStringLiteral("icon")) << "the click on the icon ended the offered selection";
    heldClickAt(QPoint(menu->center().x(), menu->top() + int(menu->height() * 6.5 / 10.4)));
    EXPECT_TRUE(waitUntil([&] { return phase(orvel) == QStringLiteral("result"); }))
        << "the menu item did not open the answer panel; phase " << phase(orvel).toStdString();

    // The answer panel is a window of the program too.
    const auto shownWindows = [&] { return display.windowsOf(orvel.pid()).size(); };
    const qsizetype withMainWindow = shownWindows();
    // Wherever the person put the window, it comes back there: from the tray's menu ("Open main
    // window", its ninth row) and when the tray goes away.
    const std::optional<QRect> placed = dragMainWindow(display, orvel, QPoint(119, 110));
    ASSERT_TRUE(placed);
    display.requestClose(window->id);
    ASSERT_TRUE(waitUntil([&] { return shownWindows() == withMainWindow - 1; }));
    EXPECT_TRUE(orvel.isRunning());
    heldClickAt(*icon);
    ASSERT_TRUE(waitUntil([&] {
        menu = display.topLevelAt(*icon + QPoint(-20, 20));
        return menu && menu->top() < icon->y() + 20;
    })) << "the menu did not open again";
    heldClickAt(QPoint(menu->center().x(), menu->top() + int(menu->height() * 8.5 / 10.4)));
    EXPECT_TRUE(waitUntil([&] { return mainWindowPlace(display, orvel) == placed; }))
        << "the window came back elsewhere from the tray's menu";
    const auto shown = mainWindowOf(display, orvel);
    ASSERT_TRUE(shown);
    display.requestClose(shown->id);
    ASSERT_TRUE(waitUntil([&] { return !mainWindowPlace(display, orvel); }));
    tray.stop();
    EXPECT_TRUE(waitUntil([&] { return mainWindowPlace(display, orvel) == placed; }))
        << "the window stayed closed without the tray, or came back elsewhere";
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// Without a tray: with automatic selection off, closing the window ends the program; with it on,
// the first close says that the program keeps reading selections and how to reach and end it,
// later closes only hide the window, a launch brings it back and its menu ends the program.
TEST(TrayProgramDesktop, WithoutATrayClosingTheWindowEndsOrExplainsOnce) {
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    AccessibilityBus accessibility;
    {
        OrvelProgram orvel;
        prepare(orvel, false);
        ASSERT_TRUE(orvel.start());
        const auto window = orvel.waitForWindow(display);
        ASSERT_TRUE(window);
        display.requestClose(window->id);
        EXPECT_TRUE(waitUntil([&] { return !orvel.isRunning(); })) << "closing the window left the program running";
    }

    OrvelProgram orvel;
    prepare(orvel, true);
    ASSERT_TRUE(orvel.start());
    auto window = orvel.waitForWindow(display);
    ASSERT_TRUE(window);
    ASSERT_TRUE(waitUntil([&] { return orvel.state().contains(QStringLiteral("selectionStatusItemReachable")); }));
    display.requestClose(window->id);
    std::optional<AccessibilityBus::Object> keep;
    ASSERT_TRUE(waitUntil([&] {
        keep = accessibility.find(orvel.pid(), QStringLiteral("Keep running in the background"));
        return keep.has_value();
    })) << "no word on the program running on";
    EXPECT_TRUE(accessibility.find(orvel.pid(), QStringLiteral("Quit Orvel"), QStringLiteral("push button")));
    ASSERT_TRUE(accessibility.press(*keep));
    ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).isEmpty(); }));
    EXPECT_TRUE(orvel.isRunning());

    for (int launch = 0; launch < 2; ++launch) {
        EXPECT_EQ(orvel.run({}).exitCode, 0);
        window = orvel.waitForWindow(display, 10000);
        ASSERT_TRUE(window) << "a launch did not bring the window back";
        if (launch == 1) break;
        display.requestClose(window->id);
        ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).isEmpty(); })) << "a later close asked again";
    }
    ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == window->id; }));
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+q")});
    EXPECT_TRUE(waitUntil([&] { return !orvel.isRunning(); })) << "the window's menu did not end the program";
}

// Without a tray, a hand-over hides the main window and shows the answer panel; once Escape closes
// the panel, no copy runs on unseen: one the study-selection command started ends; a running copy
// brings its window back where it was, or with automatic selection on says that it runs on in the
// background.
TEST(TrayProgramDesktop, WithoutATrayTheEndOfAHandOverEndsTheProgramOrLeadsBack) {
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    AccessibilityBus accessibility;
    const QSize panelSize(360, 390);
    OrvelProgram* current = nullptr;
    const auto panel = [&] { return display.windowOfSize(current->pid(), panelSize); };
    const auto mainWindowShown = [&] {
        for (const X11Display::Window& window : display.windowsOf(current->pid()))
            if (window.geometry.size() != panelSize) return true;
        return false;
    };
    const auto panelAlone = [&] { return panel().has_value() && !mainWindowShown(); };
    // Escape in the answer panel, once it has the keyboard.
    const auto closePanel = [&] {
        std::optional<X11Display::Window> shown;
        if (!waitUntil([&] { return (shown = panel()).has_value() && display.activeWindow() == shown->id; }))
            return false;
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        return waitUntil([&] { return !panel().has_value(); });
    };
    const auto handOver = [] {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("com.orvel.formac"), QStringLiteral("/com/orvel/formac/Selection"),
            QStringLiteral("com.orvel.formac.Selection"), QStringLiteral("StudySelectedText"));
        call.setArguments({QStringLiteral("Opportunity cost"), QStringLiteral("explain")});
        return QDBusConnection::sessionBus().call(call).type() == QDBusMessage::ReplyMessage;
    };

    for (const bool automaticSelection : {false, true}) {
        SCOPED_TRACE(automaticSelection ? "automatic selection on" : "automatic selection off");
        // The command starts the program: nothing is selected, the panel says so, no main window.
        OrvelProgram started;
        current = &started;
        prepare(started, automaticSelection);
        ASSERT_TRUE(started.start({QStringLiteral("--study-selection")}));
        EXPECT_TRUE(waitUntil(panelAlone));
        ASSERT_TRUE(closePanel());
        EXPECT_TRUE(waitUntil([&] { return !started.isRunning(); })) << "the copy ran on with nothing shown";

        // A running copy: the hand-over hides its window, and its end brings it back or says that
        // the program runs on.
        OrvelProgram orvel;
        current = &orvel;
        prepare(orvel, automaticSelection);
        ASSERT_TRUE(orvel.start());
        const auto window = orvel.waitForWindow(display);
        ASSERT_TRUE(window);
        const std::optional<QRect> placed = dragMainWindow(display, orvel, QPoint(119, 110));
        ASSERT_TRUE(placed);
        ASSERT_TRUE(handOver());
        ASSERT_TRUE(waitUntil(panelAlone));
        ASSERT_TRUE(closePanel());
        if (!automaticSelection) {
            EXPECT_TRUE(waitUntil([&] { return mainWindowPlace(display, orvel) == placed; }))
                << "the window the hand-over hid stayed hidden, or came back elsewhere";
            EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
            continue;
        }
        std::optional<AccessibilityBus::Object> keep;
        ASSERT_TRUE(waitUntil([&] {
            keep = accessibility.find(orvel.pid(), QStringLiteral("Keep running in the background"));
            return keep.has_value();
        })) << "no word on the program running on";
        ASSERT_TRUE(accessibility.press(*keep));
        ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).isEmpty(); }));
        EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    }
}
