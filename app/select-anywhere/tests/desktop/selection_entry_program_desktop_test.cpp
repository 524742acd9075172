// The D-Bus selection entry of the real program, called as another program would with gdbus: the
// handed-over text shows in the answer panel with the service's answer and goes into the history,
// the main window leaves the screen, and refused inputs answer with their messages. And the main
// window's compact selection view: its limits, and the workspace size back after "完整窗口".
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/gui/desktop_programs.h"

using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");
const QString serviceAnswer = QStringLiteral("机会成本：放弃的次优选择的价值。");

// gdbus's answer to StudySelectedText: the method's string, or nothing when the call failed.
std::optional<QString> studySelectedText(const QStringList& arguments) {
    QProcess gdbus;
    gdbus.start(QStringLiteral("gdbus"), QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                                     QStringLiteral("--dest"), QStringLiteral("com.orvel.formac"),
                                                     QStringLiteral("--object-path"),
                                                     QStringLiteral("/com/orvel/formac/Selection"),
                                                     QStringLiteral("--method"),
                                                     QStringLiteral("com.orvel.formac.Selection.StudySelectedText")} +
                                             arguments);
    if (!gdbus.waitForFinished(20000) || gdbus.exitCode() != 0) return std::nullopt;
    // A tuple of one string: ('…',)
    QString out = QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed();
    if (!out.startsWith(QStringLiteral("('")) || !out.endsWith(QStringLiteral("',)"))) return std::nullopt;
    return out.mid(2, out.size() - 5);
}

// The smallest size the window asks the window manager for (WM_NORMAL_HINTS).
std::optional<QSize> minimumSizeOf(X11Display::WindowId window) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QStringLiteral("WM_NORMAL_HINTS")});
    if (!xprop.waitForFinished(5000)) return std::nullopt;
    const QString hints = QString::fromUtf8(xprop.readAllStandardOutput());
    static const QRegularExpression minimum(QStringLiteral("program specified minimum size: (\\d+) by (\\d+)"));
    const QRegularExpressionMatch match = minimum.match(hints);
    if (!match.hasMatch()) return std::nullopt;
    return QSize(match.captured(1).toInt(), match.captured(2).toInt());
}

std::optional<X11Display::Window> windowWithId(const X11Display& display, qint64 pid, X11Display::WindowId id) {
    for (const X11Display::Window& window : display.windowsOf(pid))
        if (window.id == id) return window;
    return std::nullopt;
}

// The program signed in, with the AI consent and a stub that answers, under a window manager.
class SelectionEntryProgramDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(stub.baseUrl().isEmpty());
        ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));
        ASSERT_TRUE(manager.isRunning());
        {
            base::DefaultsStore defaults(orvel.defaultsFile());
            defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
            defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
        }
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
        ASSERT_TRUE(orvel.start());
        main = orvel.waitForWindow(display);
        ASSERT_TRUE(main.has_value());
        // Until the account is confirmed no history takes the answers.
        ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));
    }
    void TearDown() override { EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0)); }

    HostedStubProgram stub{QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), serviceAnswer}}),
    }};
    X11Display display;
    orveltest::WindowManager manager{display};
    AccessibilityBus accessibility;
    OrvelProgram orvel;
    std::optional<X11Display::Window> main;
};

}  // namespace

TEST_F(SelectionEntryProgramDesktop, HandedOverTextIsAnsweredInThePanelAndRefusalsAnswerWhy) {
    // Refused: no text, and a mode the entry does not offer. Nothing is shown for either.
    EXPECT_EQ(studySelectedText({QStringLiteral("   "), QStringLiteral("translate")}),
              std::optional<QString>(QStringLiteral("先粘贴、输入或导入一段文字。")));
    EXPECT_EQ(studySelectedText({QStringLiteral("Opportunity cost"), QStringLiteral("summarise")}),
              std::optional<QString>(QStringLiteral("无法识别这个 Orvel 服务，请重新安装最新版。")));
    EXPECT_FALSE(display.windowOfSize(orvel.pid(), QSize(360, 390)));

    EXPECT_EQ(studySelectedText({QStringLiteral("Opportunity cost"), QStringLiteral("translate")}),
              std::optional<QString>(QString()));
    std::optional<X11Display::Window> panel;
    ASSERT_TRUE(waitUntil([&] { return (panel = display.windowOfSize(orvel.pid(), QSize(360, 390))).has_value(); }));
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    // Only the answer panel shows.
    EXPECT_TRUE(waitUntil([&] {
        for (const X11Display::Window& window : display.windowsOf(orvel.pid()))
            if (window.id == main->id) return false;
        return true;
    }));
    ASSERT_TRUE(waitUntil([&] { return orvel.history(accountID).size() == 1; }));
    const QJsonObject record = orvel.history(accountID).first().toObject();
    EXPECT_EQ(record.value(QStringLiteral("source")).toString(), QStringLiteral("Opportunity cost"));
    EXPECT_EQ(record.value(QStringLiteral("mode")).toString(), QStringLiteral("translate"));
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 1);
    EXPECT_TRUE(stub.violations().isEmpty());
    QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
    display.grab(*panel).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/answer-panel-from-dbus.png"));
}

TEST_F(SelectionEntryProgramDesktop, CompactViewShrinksTheLimitsAndFullWindowGivesTheWorkspaceBack) {
    const QSize workspace = main->geometry.size();

    ASSERT_TRUE(orvel.callHook(QStringLiteral("ReceiveSelection"),
                               {QStringLiteral("Opportunity cost"), QStringLiteral("practice")}));
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("selectionPresentation")).toBool(); }));
    // The session speaks English.
    EXPECT_TRUE(waitUntil([&] { return accessibility.find(orvel.pid(), QStringLiteral("Selection · Answer")).has_value(); }));
    ASSERT_TRUE(waitUntil([&] { return orvel.history(accountID).size() == 1; }));
    EXPECT_EQ(orvel.history(accountID).first().toObject().value(QStringLiteral("mode")).toString(),
              QStringLiteral("practice"));
    // Only the limits change: the window keeps the size it had.
    EXPECT_TRUE(waitUntil([&] {
        const auto limit = minimumSizeOf(main->id);
        return limit && limit->width() == 420;
    }));
    EXPECT_EQ(windowWithId(display, orvel.pid(), main->id)->geometry.size(), workspace);

    // The person makes it small, as the compact view allows, then asks for the full window.
    halvern::testing::xdotool({QStringLiteral("windowsize"), QString::number(main->id), QStringLiteral("480"),
                        QStringLiteral("520")});
    ASSERT_TRUE(waitUntil([&] { return windowWithId(display, orvel.pid(), main->id)->geometry.width() == 480; }));
    QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
    display.grab(*windowWithId(display, orvel.pid(), main->id))
        .save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/compact-selection-view.png"));
    const auto full = accessibility.find(orvel.pid(), QStringLiteral("Full window"));
    ASSERT_TRUE(full.has_value());
    ASSERT_TRUE(accessibility.press(*full));
    ASSERT_TRUE(waitUntil([&] { return !orvel.state().value(QStringLiteral("selectionPresentation")).toBool(); }));
    EXPECT_TRUE(waitUntil([&] {
        const auto limit = minimumSizeOf(main->id);
        const auto shown = windowWithId(display, orvel.pid(), main->id);
        return limit && limit->width() >= 820 && shown && shown->geometry.width() >= limit->width() &&
               shown->geometry.height() >= limit->height();
    }));
}
