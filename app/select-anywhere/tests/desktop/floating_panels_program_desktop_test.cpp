// The product's first promise in the real program, under a window manager, with the hosted
// services played by the stub program: text dragged over in another program brings the bulb beside
// the pointer while that program stays active; a click on the bulb opens the answer panel with the
// service's answer, which goes into the learning history; Escape hides the panel; the next
// selection uses the same two windows; the panel is resized at its corner and moved by its
// background.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/gui/desktop_programs.h"
#include "tests/support/gui/selection_target_process.h"

using namespace halvern::testing;
using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");
const QString serviceAnswer = QStringLiteral("Hello world: the first words a program says.");

bool isActive(const X11Display& display, qint64 pid) {
    const auto active = display.activeWindow();
    for (const X11Display::Window& window : display.windowsOf(pid))
        if (active == window.id) return true;
    return false;
}

void saveShot(const X11Display& display, const X11Display::Window& window, const QString& name) {
    QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
    display.grab(window).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/") + name + QStringLiteral(".png"));
}

}  // namespace

TEST(FloatingPanelsProgramDesktop, TheBulbOpensTheAnswerWhichIsRecordedAndThePanelsAreReused) {
    HostedStubProgram stub(QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), serviceAnswer}}),
    });
    ASSERT_FALSE(stub.baseUrl().isEmpty());
    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));

    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    OrvelProgram orvel;
    {
        base::DefaultsStore defaults(orvel.defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
        defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    }
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    ASSERT_TRUE(waitUntil([&] {
        return orvel.state().value(QStringLiteral("selectionPermissionStatus")) == QStringLiteral("划词 AI 图标已开启");
    }));
    // Until the account is confirmed no history takes the answer.
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));

    SelectionTarget target;
    ASSERT_TRUE(target.started());
    ASSERT_TRUE(waitUntil([&] { return isActive(display, target.pid()); }));
    const QRect line = target.geometry(QStringLiteral("lineEdit"));
    const QPoint released(line.right() - 3, line.center().y());  // where the drag ends

    // The drag: the bulb maps 12 right of and below the pointer; the target stays active.
    target.dragAcross(QStringLiteral("lineEdit"));
    std::optional<X11Display::Window> bulb;
    ASSERT_TRUE(waitUntil([&] { return (bulb = display.windowOfSize(orvel.pid(), QSize(36, 36))).has_value(); }));
    EXPECT_EQ(bulb->geometry.topLeft(), released + QPoint(12, 12));
    EXPECT_TRUE(isActive(display, target.pid())) << "the bulb took the focus";
    // What keeps a window manager from focusing it: no input hint, no focus protocol.
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(bulb->id), QStringLiteral("WM_HINTS"),
                                          QStringLiteral("WM_PROTOCOLS")});
    ASSERT_TRUE(xprop.waitForFinished(5000));
    const QString hints = QString::fromUtf8(xprop.readAllStandardOutput());
    EXPECT_TRUE(hints.contains(QStringLiteral("Client accepts input or input focus: False"))) << hints.toStdString();
    EXPECT_FALSE(hints.contains(QStringLiteral("WM_TAKE_FOCUS"))) << hints.toStdString();
    saveShot(display, *bulb, QStringLiteral("bulb-on-the-desktop"));

    // The click: the answer panel shows the service's answer, and the history holds it once.
    clickAt(bulb->geometry.center());
    std::optional<X11Display::Window> panel;
    ASSERT_TRUE(waitUntil([&] { return (panel = display.windowOfSize(orvel.pid(), QSize(360, 390))).has_value(); }));
    EXPECT_FALSE(display.windowOfSize(orvel.pid(), QSize(36, 36))) << "the bulb hides when it is clicked";
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    ASSERT_TRUE(waitUntil([&] { return orvel.history(accountID).size() == 1; }));
    const QJsonObject record = orvel.history(accountID).first().toObject();
    EXPECT_EQ(record.value(QStringLiteral("source")).toString(), QStringLiteral("hello world"));
    EXPECT_EQ(record.value(QStringLiteral("answer")).toString(), serviceAnswer);
    EXPECT_EQ(record.value(QStringLiteral("mode")).toString(), QStringLiteral("translate"));
    saveShot(display, *panel, QStringLiteral("answer-panel-on-the-desktop"));

    // Escape hides the panel (it is the active window after the click).
    ASSERT_TRUE(waitUntil([&] { return isActive(display, orvel.pid()); }));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    EXPECT_TRUE(waitUntil([&] { return !display.windowOfSize(orvel.pid(), QSize(360, 390)); }));

    // The next selection shows the same windows; the same text is answered from memory.
    xdotool({QStringLiteral("windowactivate"), QString::number(display.windowsOf(target.pid()).first().id)});
    ASSERT_TRUE(waitUntil([&] { return isActive(display, target.pid()); }));
    target.dragAcross(QStringLiteral("lineEdit"));
    std::optional<X11Display::Window> again;
    ASSERT_TRUE(waitUntil([&] { return (again = display.windowOfSize(orvel.pid(), QSize(36, 36))).has_value(); }));
    EXPECT_EQ(again->id, bulb->id);
    clickAt(again->geometry.center());
    ASSERT_TRUE(waitUntil([&] { return (again = display.windowOfSize(orvel.pid(), QSize(360, 390))).has_value(); }));
    EXPECT_EQ(again->id, panel->id);
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 1);
    EXPECT_EQ(orvel.history(accountID).size(), 1);
    EXPECT_TRUE(stub.violations().isEmpty());

    // The panel grows from its corner and moves by its background.
    const QRect shown = again->geometry;
    dragFrom(shown.bottomRight() - QPoint(2, 2), shown.bottomRight() + QPoint(48, 38));
    EXPECT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), QSize(410, 430)).has_value(); }));
    dragFrom(shown.topLeft() + QPoint(180, 6), shown.topLeft() + QPoint(240, 36));
    EXPECT_TRUE(waitUntil([&] {
        const auto moved = display.windowOfSize(orvel.pid(), QSize(410, 430));
        return moved && moved->geometry.topLeft() == shown.topLeft() + QPoint(60, 30);
    }));

    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}
