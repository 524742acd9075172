// Select-anywhere in the real program on a Wayland session (Debian's default desktop), under a
// compositor with XWayland and with the platform left to the program: it starts as an X11 program,
// reads a selection in another X11 program, offers the bulb beside the pointer and opens the answer
// on a click; a window of the compositor's own (a native Wayland program) becoming active closes an
// offered bulb, as no click of it reaches the program. `orvel --study-selection explain` reaches a
// native program's selection too, and opens the answer panel on the screen.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <csignal>

#include "base/defaults_store.h"
#include "platform/program_identity.h"
#include "platform/selection_service_provider.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/desktop/wayland_session.h"
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
const QString waylandPermission = QStringLiteral("划词 AI 图标已开启（Wayland 会话中仅限 X11 程序）");

// A program's environment with the platform chosen as given ("" leaves it to the program).
QProcessEnvironment withPlatform(const QString& platform, const QString& gdkBackend = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!platform.isEmpty()) environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!gdkBackend.isEmpty()) environment.insert(QStringLiteral("GDK_BACKEND"), gdkBackend);
    return environment;
}

// `orvel --study-selection explain` with the selection in a native Wayland program, whose place
// under the pointer X11 does not know: run against a running copy or starting the program itself.
class StudySelectionWaylandDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(stub.baseUrl().isEmpty());
        ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));
        base::DefaultsStore defaults(orvel.defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
        orvel.removeEnvironmentValue(QStringLiteral("QT_QPA_PLATFORM"));
        // The last place X11 saw the pointer: the screen's corner, where a panel beside it would not fit.
        xdotool({QStringLiteral("mousemove"), QStringLiteral("1275"), QStringLiteral("1020")});
    }
    void TearDown() override {
        if (orvel.isRunning()) {
            EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
        }
    }

    // The answer panel shows the service's answer, wholly on the screen; the service was asked
    // once, about `selected`.
    void expectAnswerPanelFor(const QString& selected) {
        std::optional<X11Display::Window> panel;
        ASSERT_TRUE(waitUntil([&] { return (panel = display.windowOfSize(orvel.pid(), panelSize)).has_value(); }))
            << orvel.state().value(QStringLiteral("selectionActivityStatus")).toString().toStdString();
        EXPECT_TRUE(QRect(QPoint(0, 0), screenSize).contains(panel->geometry))
            << panel->geometry.x() << "," << panel->geometry.y();
        EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }))
            << orvel.state().value(QStringLiteral("selectionActivityStatus")).toString().toStdString();
        QStringList asked;
        for (const QJsonValue& request : stub.requests())
            if (request[QStringLiteral("path")] == QStringLiteral("/v1/ai/answer"))
                asked.append(request[QStringLiteral("body")].toString());
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked.first().contains(selected)) << asked.first().toStdString();
        EXPECT_TRUE(stub.violations().isEmpty());
    }

    const QString text = QStringLiteral("Opportunity cost is the next best alternative");
    const QStringList command{QStringLiteral("--study-selection"), QStringLiteral("explain")};
    const QSize panelSize{360, 390};
    const QSize screenSize{1280, 1024};  // the session's virtual monitor
    HostedStubProgram stub{QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), serviceAnswer}}),
    }};
    X11Display display;
    AccessibilityBus accessibility;
    OrvelProgram orvel;
};

}  // namespace

TEST(SelectionWaylandDesktop, AnX11ProgramsSelectionOffersTheBulbAndANativeWindowClosesIt) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) << "not in a Wayland session";
    HostedStubProgram stub(QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), serviceAnswer}}),
    });
    ASSERT_FALSE(stub.baseUrl().isEmpty());
    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));

    X11Display display;
    ASSERT_TRUE(display.isOpen());
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
    orvel.removeEnvironmentValue(QStringLiteral("QT_QPA_PLATFORM"));  // the program chooses
    ASSERT_TRUE(orvel.start());
    // Its main window is an X11 window, and automatic selection runs, for X11 programs.
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
    ASSERT_TRUE(waitUntil([&] {
        return orvel.state().value(QStringLiteral("selectionPermissionStatus")) == waylandPermission;
    })) << orvel.state().value(QStringLiteral("selectionPermissionStatus")).toString().toStdString();
    EXPECT_TRUE(orvel.state()
                    .value(QStringLiteral("selectionActivityStatus"))
                    .toString()
                    .contains(QStringLiteral("orvel --study-selection")));
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));

    // A drag in an X11 program: the bulb maps 12 right of and below the pointer.
    SelectionTarget target({}, withPlatform(QStringLiteral("xcb")));
    ASSERT_TRUE(target.started());
    ASSERT_TRUE(waitUntil([&] {
        const auto windows = display.windowsOf(target.pid());
        if (windows.isEmpty()) return false;
        if (display.activeWindow() == windows.first().id) return true;
        xdotool({QStringLiteral("windowactivate"), QString::number(windows.first().id)});
        return false;
    }));
    const QRect line = target.geometry(QStringLiteral("lineEdit"));
    const QPoint released(line.right() - 3, line.center().y());
    target.dragAcross(QStringLiteral("lineEdit"));
    std::optional<X11Display::Window> bulb;
    ASSERT_TRUE(waitUntil([&] { return (bulb = display.windowOfSize(orvel.pid(), QSize(36, 36))).has_value(); }))
        << orvel.state().value(QStringLiteral("selectionActivityStatus")).toString().toStdString();
    EXPECT_EQ(bulb->geometry.topLeft(), released + QPoint(12, 12));

    // A click on it opens the answer panel with the service's answer.
    clickAt(bulb->geometry.center());
    std::optional<X11Display::Window> panel;
    ASSERT_TRUE(waitUntil([&] { return (panel = display.windowOfSize(orvel.pid(), QSize(360, 390))).has_value(); }));
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitUntil([&] { return !display.windowOfSize(orvel.pid(), QSize(360, 390)); }));

    // The next bulb goes when a native Wayland window becomes active: no window is active for X11.
    xdotool({QStringLiteral("windowactivate"), QString::number(display.windowsOf(target.pid()).first().id)});
    ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == display.windowsOf(target.pid()).first().id; }));
    target.dragAcross(QStringLiteral("lineEdit"));
    ASSERT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), QSize(36, 36)).has_value(); }));
    QProcess native;
    native.setProcessEnvironment(withPlatform({}, QStringLiteral("wayland")));
    native.start(QStringLiteral("zenity"), {QStringLiteral("--info"), QStringLiteral("--text=native")});
    ASSERT_TRUE(native.waitForStarted(5000));
    EXPECT_TRUE(waitUntil([&] { return !display.activeWindow().has_value(); })) << "no native window became active";
    EXPECT_TRUE(
        waitUntil([&] { return orvel.state().value(QStringLiteral("selectionPhase")) == QStringLiteral("idle"); }));
    EXPECT_TRUE(waitUntil([&] { return !display.windowOfSize(orvel.pid(), QSize(36, 36)); }));
    EXPECT_TRUE(display.windowsOf(native.processId()).isEmpty()) << "zenity ran as an X11 program";
    native.kill();
    native.waitForFinished(3000);

    EXPECT_TRUE(stub.violations().isEmpty());
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// What `orvel --study-selection` relies on for native windows: the compositor passes a native
// program's selection on to X11's PRIMARY selection, where an X11 program reads it.
TEST(SelectionWaylandDesktop, ANativeProgramsSelectionReachesX11) {
    X11Display display;
    ASSERT_TRUE(display.isOpen());
    const QString text = QStringLiteral("Opportunity cost is the next best alternative");
    orveltest::NativeSelection native(text);
    ASSERT_TRUE(native.selected());
    EXPECT_TRUE(display.windowsOf(native.pid()).isEmpty()) << "zenity ran as an X11 program";
    EXPECT_EQ(orveltest::primarySelectionText(), text);
}

TEST_F(StudySelectionWaylandDesktop, HandsANativeProgramsSelectionToTheRunningCopy) {
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));
    orveltest::NativeSelection native(text);
    ASSERT_TRUE(native.selected());
    const OrvelProgram::Run run = orvel.run(command);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    expectAnswerPanelFor(text);
    // The history keeps it. (Started by the command, the program asks before the session is
    // confirmed, and the history keeps no answer of an unconfirmed account.)
    QJsonArray history;
    ASSERT_TRUE(waitUntil([&] { return (history = orvel.history(accountID)).size() == 1; }));
    EXPECT_EQ(history.first()[QStringLiteral("mode")].toString(), QStringLiteral("explain"));

    // With a browser in the session nothing tells whether the selection was its password field's: this
    // desktop tells no program which window made it, so the refusal does not send the person to GNOME.
    QTemporaryDir folder;
    const auto browser = startChromium(folder, "<p>Scarcity</p>", false);
    ASSERT_TRUE(browser);
    ASSERT_TRUE(waitUntil([] { return halvern::ProgramIdentity::webBrowserRunsHere(); }, 30000));
    ASSERT_EQ(orveltest::primarySelectionText(), text);
    EXPECT_EQ(orvel.run(command).exitCode, 1);
    EXPECT_TRUE(waitUntil([&] {
        return orvel.state().value(QStringLiteral("selectionActivityStatus")).toString() ==
               halvern::message(halvern::SelectionRefusal::unknownSourceOutsideGnome);
    })) << orvel.state().value(QStringLiteral("selectionActivityStatus")).toString().toStdString();
}

TEST_F(StudySelectionWaylandDesktop, StartsTheProgramWithANativeProgramsSelection) {
    orveltest::NativeSelection native(text);
    ASSERT_TRUE(native.selected());
    ASSERT_TRUE(orvel.start(command));
    expectAnswerPanelFor(text);
}
