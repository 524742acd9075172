// Select-anywhere in the real program: a person selects text in another program with automatic
// selection on and every other setting as it comes; the program reads it. Observed through the
// program's test hook (its status line, the phase of the selection and the route of the last read).
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <atspi/atspi-constants.h>

#include "base/defaults_store.h"
#include "platform/selection_clipboard_reader.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/gui/desktop_programs.h"
#include "tests/support/gui/selection_target_process.h"

using namespace halvern::testing;
using orveltest::OrvelProgram;
using orveltest::X11Display;

namespace {

const QString readSuffix = QStringLiteral(" 个字符。点击选区旁 AI 图标打开；尚未调用模型。");
const QString primaryRoute = halvern::SelectionClipboardReader::primaryRoute;
const QString copyRoute = halvern::SelectionClipboardReader::copyRoute;

// The program running with automatic selection on (the first-setup step, which turns it off, is
// behind it), under a window manager.
class SelectingProgram {
public:
    SelectingProgram() : manager_(display_) {
        base::DefaultsStore defaults(orvel_.defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
        ready_ = manager_.isRunning() && orvel_.start() && orvel_.waitForWindow(display_) &&
                 orveltest::waitUntil([this] {
                     return state(QStringLiteral("selectionPermissionStatus")) == QStringLiteral("划词 AI 图标已开启");
                 });
    }
    bool ready() const { return ready_; }
    const X11Display& display() const { return display_; }
    QString state(const QString& key) { return orvel_.state().value(key).toString(); }

    // Waits for the read that follows a gesture to end (after a read that ended with the route
    // `before`); the status line then.
    QString waitForRead(const QString& before = {}) {
        orveltest::waitUntil([&] {
            const QString route = state(QStringLiteral("selectionReadRoute"));
            return route != before && (state(QStringLiteral("selectionPhase")) == QStringLiteral("icon") ||
                                       route.startsWith(QStringLiteral("读取失败")));
        });
        return state(QStringLiteral("selectionActivityStatus"));
    }

private:
    X11Display display_;
    orveltest::WindowManager manager_;
    OrvelProgram orvel_;
    bool ready_ = false;
};

// A paragraph and a password field.
const QByteArray page =
    "<p style=\"top:100px\">Opportunity cost is the next best alternative.</p>"
    "<input type=\"password\" value=\"hunter2secret\" style=\"top:300px\">";

}  // namespace

TEST(SelectionProgramDesktop, ADragInAProgramIsReadOverTheAccessibilityBus) {
    SelectingProgram orvel;
    ASSERT_TRUE(orvel.ready());
    SelectionTarget target;
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("lineEdit"));
    EXPECT_TRUE(orvel.waitForRead().endsWith(QStringLiteral("：已读取 11") + readSuffix));
    EXPECT_TRUE(orvel.state(QStringLiteral("selectionReadRoute")).startsWith(QStringLiteral("AXSelectedText")));
    EXPECT_EQ(orvel.state(QStringLiteral("selectionPhase")), QStringLiteral("icon"));

    // Another program becoming active closes the offered selection.
    ExternalProgram other(QStringLiteral("xterm"), {});
    ASSERT_TRUE(other.waitForActiveWindow(orvel.display(), 15000));
    EXPECT_TRUE(orveltest::waitUntil([&] { return orvel.state(QStringLiteral("selectionPhase")) == QStringLiteral("idle"); }));
}

// A terminal-class window off the accessibility bus: its selection comes through PRIMARY, and it
// gets no key (in a terminal Ctrl+C interrupts the running program).
TEST(SelectionProgramDesktop, ATerminalWindowIsReadThroughPrimaryWithoutAKey) {
    SelectingProgram orvel;
    ASSERT_TRUE(orvel.ready());
    QProcessEnvironment offTheBus = QProcessEnvironment::systemEnvironment();
    offTheBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    offTheBus.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    SelectionTarget target({QStringLiteral("--class"), QStringLiteral("xterm")}, offTheBus);
    ASSERT_TRUE(target.started());
    target.dragAcross(QStringLiteral("lineEdit"));
    EXPECT_TRUE(orvel.waitForRead().endsWith(QStringLiteral("：已读取 11") + readSuffix));
    EXPECT_TRUE(orvel.state(QStringLiteral("selectionReadRoute")).startsWith(primaryRoute));
    for (const QString& line : target.lines()) EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
}

// Chromium puts a password field's selection into PRIMARY in clear: no bulb for the field, whether
// its page is on the bus or only its own copy is asked; its paragraph is read either way.
TEST(SelectionProgramDesktop, AChromiumPasswordFieldOffersNoBulbAndItsParagraphIsRead) {
    for (const bool accessibility : {true, false}) {
        SCOPED_TRACE(accessibility ? "forced accessibility" : "no accessibility");
        SelectingProgram orvel;
        ASSERT_TRUE(orvel.ready());
        QTemporaryDir folder;
        const auto chromium = startChromium(folder, page, accessibility);
        ASSERT_TRUE(chromium && chromium->waitForActiveWindow(orvel.display(), 30000));
        if (accessibility)
            ASSERT_TRUE(accessibleExtents(chromium->pid(), ATSPI_ROLE_PASSWORD_TEXT));
        else
            settle(2000);  // nothing to wait for on the bus
        clickAt(QPoint(150, 316), 2);
        const QString refused = orvel.waitForRead();
        EXPECT_EQ(orvel.state(QStringLiteral("selectionPhase")), QStringLiteral("idle"));
        const QString reason =
            accessibility
                ? tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::protectedField).message()
                : halvern::CompatibilityReadFailure(halvern::CompatibilityReadFailure::Case::noCopyFromBrowser)
                      .message();
        EXPECT_TRUE(refused.endsWith(reason)) << refused.toStdString();

        clickAt(QPoint(130, 116), 3);
        EXPECT_TRUE(orvel.waitForRead(orvel.state(QStringLiteral("selectionReadRoute")))
                        .endsWith(QStringLiteral("：已读取 46") + readSuffix));
        const QString route = orvel.state(QStringLiteral("selectionReadRoute"));
        EXPECT_TRUE(accessibility ? route.startsWith(QStringLiteral("AX")) : route.startsWith(copyRoute))
            << route.toStdString();
    }
}

TEST(SelectionProgramDesktop, AGtkTextViewIsReadOverTheAccessibilityBus) {
    SelectingProgram orvel;
    ASSERT_TRUE(orvel.ready());
    QTemporaryDir folder;
    QFile text(folder.filePath(QStringLiteral("text.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("Marginal utility falls as consumption rises\n");
    text.close();
    ExternalProgram zenity(QStringLiteral("zenity"), {QStringLiteral("--text-info"), QStringLiteral("--editable"),
                                                      QStringLiteral("--width=600"), QStringLiteral("--height=300"),
                                                      QStringLiteral("--filename=") + text.fileName()});
    ASSERT_TRUE(zenity.waitForActiveWindow(orvel.display(), 15000));
    const std::optional<QRect> view = accessibleExtents(zenity.pid(), ATSPI_ROLE_TEXT);
    ASSERT_TRUE(view);
    dragFrom(view->topLeft() + QPoint(4, 10), view->topLeft() + QPoint(300, 10));
    EXPECT_TRUE(orvel.waitForRead().contains(QStringLiteral("：已读取 ")));
    EXPECT_TRUE(orvel.state(QStringLiteral("selectionReadRoute")).startsWith(QStringLiteral("AX")));
}

TEST(SelectionProgramDesktop, XtermIsReadThroughPrimary) {
    SelectingProgram orvel;
    ASSERT_TRUE(orvel.ready());
    ExternalProgram xterm(QStringLiteral("xterm"),
                          {QStringLiteral("-geometry"), QStringLiteral("60x8+0+0"), QStringLiteral("-e"),
                           QStringLiteral("sh"), QStringLiteral("-c"),
                           QStringLiteral("printf 'terminal words here\\n'; exec sleep 600")});
    const std::optional<QRect> window = xterm.waitForActiveWindow(orvel.display(), 15000);
    ASSERT_TRUE(window);
    clickAt(window->topLeft() + QPoint(12, 7), 2);
    EXPECT_TRUE(orvel.waitForRead().endsWith(QStringLiteral("：已读取 8") + readSuffix));
    EXPECT_TRUE(orvel.state(QStringLiteral("selectionReadRoute")).startsWith(primaryRoute));
}
