// `orvel --study-selection explain`, run as a key binding of the desktop would run it, against a
// selection in another program: the answer panel shows that text's answer, whether the command
// hands it to the running copy or starts the program itself; a password field's selection and no
// selection at all are refused in the panel.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <atspi/atspi-constants.h>

#include <csignal>
#include <utility>

#include "base/defaults_store.h"
#include "platform/selection_service_provider.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/desktop/wayland_session.h"
#include "tests/support/gui/desktop_programs.h"

using namespace halvern::testing;
using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");
const QString serviceAnswer = QStringLiteral("机会成本：放弃的次优选择的价值。");
const QSize panelSize(360, 390);
const QStringList command{QStringLiteral("--study-selection"), QStringLiteral("explain")};

// An xterm whose first line holds "terminal words here", with the word "terminal" selected.
class TerminalSelection {
public:
    explicit TerminalSelection(const X11Display& display)
        : xterm_(QStringLiteral("xterm"),
                 {QStringLiteral("-geometry"), QStringLiteral("60x8+0+0"), QStringLiteral("-e"), QStringLiteral("sh"),
                  QStringLiteral("-c"), QStringLiteral("printf 'terminal words here\\n'; exec sleep 600")}) {
        const std::optional<QRect> window = xterm_.waitForActiveWindow(display, 15000);
        if (!window) return;
        // xterm counts a double click by the server's times of the two presses and may draw its text
        // after the window came: on a busy machine one double click can select nothing. It is made
        // again until the word is in PRIMARY, each apart from the last by more than xterm's 250 ms
        // multi-click time, so that it does not count on to a line's triple click.
        bool first = true;
        ready_ = waitUntil([&] {
            if (!std::exchange(first, false)) settle(300);
            clickAt(window->topLeft() + QPoint(12, 7), 2);
            return orveltest::primarySelectionText(1000) == QStringLiteral("terminal");
        });
    }
    bool ready() const { return ready_; }

private:
    ExternalProgram xterm_;
    bool ready_ = false;
};

// A program that is not Orvel holding Orvel's name on the session bus, as any program of the user
// may. It writes one line for every method call it gets.
class BusNameHolder {
public:
    BusNameHolder() {
        process_.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(R"(
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
def tell(connection, message, incoming):
    if incoming and message.get_message_type() == Gio.DBusMessageType.METHOD_CALL:
        print('call', message.get_interface(), message.get_member(), message.get_body(), flush=True)
    return message
bus.add_filter(tell)
Gio.bus_own_name_on_connection(bus, 'com.orvel.formac', Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print('ready', flush=True), lambda *_: print('lost', flush=True))
GLib.MainLoop().run()
)")});
        ready_ = waitUntil([this] { return output().startsWith("ready\n"); });
    }
    ~BusNameHolder() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool ready() const { return ready_; }
    QByteArray output() {
        output_ += process_.readAllStandardOutput();
        return output_;
    }

private:
    QProcess process_;
    QByteArray output_;
    bool ready_ = false;
};

class StudySelectionCommandDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(stub.baseUrl().isEmpty());
        ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));
        ASSERT_TRUE(manager.isRunning());
        base::DefaultsStore defaults(orvel.defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    }
    void TearDown() override {
        if (orvel.isRunning()) {
            EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
        }
    }

    // The panel is on screen and its status says `status` (the program's own Chinese line).
    bool panelSays(const QString& status) {
        return waitUntil([&] {
            return display.windowOfSize(orvel.pid(), panelSize) &&
                   orvel.state().value(QStringLiteral("selectionActivityStatus")).toString() == status;
        });
    }

    // The answer panel's mode switch marks `mode` (its English name) and no other mode.
    bool panelMarks(const QString& mode) {
        return waitUntil([&] {
            const auto panel = display.windowOfSize(orvel.pid(), panelSize);
            if (!panel) return false;
            QStringList marked;
            for (const AccessibilityBus::Object& object : accessibility.objectsOf(orvel.pid())) {
                const auto place = object.checked && object.showing ? accessibility.extents(object) : std::nullopt;
                if (place && panel->geometry.contains(*place)) marked.append(object.name);
            }
            return marked == QStringList{mode};
        });
    }

    void savePanel(const QString& name) {
        if (const auto panel = display.windowOfSize(orvel.pid(), panelSize)) {
            QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
            display.grab(*panel).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/") + name);
        }
    }

    HostedStubProgram stub{QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), serviceAnswer}}),
    }};
    X11Display display;
    orveltest::WindowManager manager{display};
    AccessibilityBus accessibility;
    OrvelProgram orvel;
};

}  // namespace

TEST_F(StudySelectionCommandDesktop, HandsTheSelectionToTheRunningCopyAndRefusesWhatItMayNotRead) {
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));

    // Nothing is selected anywhere yet.
    OrvelProgram::Run run = orvel.run(command);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.standardError.contains("nothing to study")) << run.standardError.toStdString();
    EXPECT_TRUE(panelSays(halvern::message(halvern::SelectionRefusal::noSelection)));
    EXPECT_TRUE(panelMarks(QStringLiteral("Explain")));
    savePanel(QStringLiteral("study-selection-nothing-selected.png"));

    {
        // A GTK password entry with its text selected: PRIMARY holds bullets, and the entry has the focus.
        ExternalProgram zenity(QStringLiteral("zenity"), {QStringLiteral("--entry"), QStringLiteral("--hide-text"),
                                                          QStringLiteral("--entry-text=secret words")});
        ASSERT_TRUE(zenity.waitForActiveWindow(display, 15000));
        const std::optional<QRect> entry = accessibleExtents(zenity.pid(), ATSPI_ROLE_PASSWORD_TEXT);
        ASSERT_TRUE(entry);
        clickAt(entry->center(), 3);
        settle(200);
        run = orvel.run(command);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.standardError.contains("password field")) << run.standardError.toStdString();
        EXPECT_TRUE(panelSays(halvern::message(halvern::SelectionRefusal::protectedField)));
    }
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 0);

    const TerminalSelection terminal(display);
    ASSERT_TRUE(terminal.ready());
    run = orvel.run(command);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
    ASSERT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), panelSize).has_value(); }));
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    ASSERT_TRUE(waitUntil([&] { return orvel.history(accountID).size() == 1; }));
    const QJsonObject record = orvel.history(accountID).first().toObject();
    EXPECT_EQ(record.value(QStringLiteral("source")).toString(), QStringLiteral("terminal"));
    EXPECT_EQ(record.value(QStringLiteral("mode")).toString(), QStringLiteral("explain"));
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 1);
    EXPECT_TRUE(stub.violations().isEmpty());
}

// Chromium's password field puts its text into PRIMARY in clear: refused whether the page is on the
// bus or not.
TEST_F(StudySelectionCommandDesktop, RefusesAChromiumPasswordFieldWithAndWithoutAccessibility) {
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    for (const bool accessibility : {true, false}) {
        SCOPED_TRACE(accessibility ? "forced accessibility" : "no accessibility");
        QTemporaryDir folder;
        const auto chromium = startChromium(
            folder, "<input type=\"password\" value=\"hunter2secret\" style=\"top:300px\">", accessibility);
        ASSERT_TRUE(chromium && chromium->waitForActiveWindow(display, 30000));
        if (accessibility) {
            ASSERT_TRUE(accessibleExtents(chromium->pid(), ATSPI_ROLE_PASSWORD_TEXT));
        }
        // Without the bus nothing tells when the page is drawn: the double click is made again until
        // the field's text is selected.
        ASSERT_TRUE(waitUntil([&] {
            clickAt(QPoint(150, 316), 2);
            return orveltest::primarySelectionText(1000) == QStringLiteral("hunter2secret");
        }));
        const OrvelProgram::Run run = orvel.run(command);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(panelSays(halvern::message(accessibility ? halvern::SelectionRefusal::protectedField
                                                             : halvern::SelectionRefusal::unconfirmedBrowserField)));
        // A click elsewhere on the page leaves the password in PRIMARY: still refused, and a browser
        // whose page is on the bus is not told to start with the switch it was started with.
        clickAt(QPoint(600, 500));
        settle(200);
        const OrvelProgram::Run after = orvel.run(command);
        EXPECT_EQ(after.exitCode, 1);
        EXPECT_TRUE(panelSays(halvern::message(accessibility ? halvern::SelectionRefusal::unshownWebSelection
                                                             : halvern::SelectionRefusal::unconfirmedBrowserField)));
    }
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 0);
}

TEST_F(StudySelectionCommandDesktop, StartsTheProgramWhenNoneRunsAndShowsTheAnswer) {
    const TerminalSelection terminal(display);
    ASSERT_TRUE(terminal.ready());
    ASSERT_TRUE(orvel.start(command));
    ASSERT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), panelSize).has_value(); }));
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    EXPECT_EQ(orvel.state().value(QStringLiteral("selectionPhase")).toString(), QStringLiteral("result"));
    // The selected word is what was asked about.
    QStringList asked;
    for (const QJsonValue& request : stub.requests())
        if (request[QStringLiteral("path")] == QStringLiteral("/v1/ai/answer"))
            asked.append(request[QStringLiteral("body")].toString());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.first().contains(QStringLiteral("\"terminal\""))) << asked.first().toStdString();
    savePanel(QStringLiteral("study-selection-started-by-command.png"));
}

// A program that is not Orvel and holds Orvel's bus name gets neither the selection nor a request:
// the command starts Orvel, which answers the selection itself and says why it runs without the name.
TEST_F(StudySelectionCommandDesktop, AProgramHoldingTheBusNameGetsNothing) {
    BusNameHolder holder;
    ASSERT_TRUE(holder.ready());
    const TerminalSelection terminal(display);
    ASSERT_TRUE(terminal.ready());
    ASSERT_TRUE(orvel.start(command));
    ASSERT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), panelSize).has_value(); }));
    EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), serviceAnswer); }));
    EXPECT_TRUE(panelMarks(QStringLiteral("Explain")));
    const QByteArray errors = orvel.standardError();
    EXPECT_TRUE(errors.contains(") holds the name com.orvel.formac on the session bus; Orvel starts without it\n"))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains("without the name this copy cannot be reached")) << errors.toStdString();
    EXPECT_EQ(holder.output(), QByteArray("ready\n")) << "the holder got no call and kept the name";
}
