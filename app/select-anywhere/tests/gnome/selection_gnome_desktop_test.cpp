// Select-anywhere in the real program on GNOME's Wayland session (GNOME Shell nested on the test
// display): the program runs on XWayland, and native Wayland windows — GTK 3, GTK 4, Firefox, Chromium
// with its page on the bus — show the bulb beside the pointer through the shell extension, and the answer
// panel with exactly the selected text when it is clicked. A keyboard selection and a password entry
// show nothing; the next press closes the bulb. Without the extension the status says why native
// windows are not read and what to do.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonObject>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/gnome_session.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/desktop/wayland_session.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

using orveltest::HostedStubProgram;
using orveltest::HostInput;
using orveltest::NativeBrowserPage;
using orveltest::NativeTextWindow;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");
const QString serviceAnswer = QStringLiteral("Starch is how plants keep their sugar.");
const QSize bulbSize{36, 36};
const QSize panelSize{360, 390};
const QStringList lines{QStringLiteral("Photosynthesis turns light into sugar."),
                        QStringLiteral("Plants store it as starch.")};

// A click held as long as a person's slower clicks: on a loaded two-core machine the program may
// take most of a tenth of a second to look.
constexpr int holdMs = 200;

// Where XWayland has the pointer. It follows the pointer only over X windows: the bulb is under the
// pointer, for a click to reach it, once XWayland has the pointer at that place.
std::optional<QPoint> xwaylandPointer() {
    static Display* display = XOpenDisplay(nullptr);
    if (!display) return std::nullopt;
    ::Window root = 0, child = 0;
    int x = 0, y = 0, windowX = 0, windowY = 0;
    unsigned mask = 0;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &mask))
        return std::nullopt;
    return QPoint(x, y);
}

// The program with automatic selection on, signed in, over the hosted services' stub.
class SelectAnywhereGnome : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(stub.baseUrl().isEmpty());
        ASSERT_TRUE(display.isOpen());
        ASSERT_TRUE(input.isOpen());
        ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));
        orvel.presetReturningPerson(QStringLiteral("en"));
        {
            base::DefaultsStore defaults(orvel.defaultsFile());
            defaults.setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
            defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
        }
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
        orvel.removeEnvironmentValue(QStringLiteral("QT_QPA_PLATFORM"));  // the program chooses
        ASSERT_TRUE(orvel.start());
        ASSERT_TRUE(orvel.waitForWindow(display).has_value());
        ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));
    }
    void TearDown() override {
        if (orvel.isRunning()) {
            EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
        }
    }

    QString status(const char* key) const { return orvel.state().value(QLatin1String(key)).toString(); }
    std::optional<X11Display::Window> bulb() const { return display.windowOfSize(orvel.pid(), bulbSize); }

    // After a gesture released at `released`: the bulb 12 right of and below it; its click opens
    // the answer panel, and the history keeps exactly `selected` as the answer's source.
    void expectBulbThenAnswer(QPoint released, const QString& selected) {
        std::optional<X11Display::Window> shown;
        ASSERT_TRUE(waitUntil([&] { return (shown = bulb()).has_value(); }, 10000))
            << status("selectionActivityStatus").toStdString();
        EXPECT_EQ(shown->geometry.topLeft(), released + QPoint(12, 12));
        const qsizetype before = orvel.history(accountID).size();
        input.move(shown->geometry.center());
        ASSERT_TRUE(waitUntil([&] { return xwaylandPointer() == shown->geometry.center(); }));
        input.click(shown->geometry.center(), holdMs);
        ASSERT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), panelSize).has_value(); }))
            << status("selectionPhase").toStdString() << " " << status("selectionActivityStatus").toStdString();
        ASSERT_TRUE(waitUntil([&] { return orvel.history(accountID).size() == before + 1; }));
        EXPECT_EQ(orvel.history(accountID).first().toObject().value(QStringLiteral("source")).toString(), selected);
        // The next press anywhere ends what is shown.
        input.click({640, 900}, holdMs);
        EXPECT_TRUE(waitUntil([&] { return !display.windowOfSize(orvel.pid(), panelSize) && !bulb(); }))
            << status("selectionPhase").toStdString() << " " << status("selectionActivityStatus").toStdString();
    }

    HostedStubProgram stub{QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), serviceAnswer}}),
    }};
    X11Display display;
    HostInput input;
    OrvelProgram orvel;
};

TEST_F(SelectAnywhereGnome, NativeGtkWindowsOfferTheBulbForADragOnly) {
    ASSERT_EQ(status("selectionPermissionStatus"), QStringLiteral("划词 AI 图标已开启"));
    ASSERT_TRUE(status("selectionNativeWindowStatus").isEmpty());
    const struct {
        NativeTextWindow::Toolkit toolkit;
        int from, to;  // the word dragged over on the second line
    } rows[] = {{NativeTextWindow::Toolkit::Gtk3, 0, 6}, {NativeTextWindow::Toolkit::Gtk4, 7, 12}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.toolkit == NativeTextWindow::Toolkit::Gtk3 ? "GTK 3" : "GTK 4");
        NativeTextWindow window(row.toolkit, lines);
        ASSERT_TRUE(window.waitUntilShown());

        // Selecting all with the keyboard changes PRIMARY as a drag does, with no button held.
        input.chord({XK_Control_L, XK_a});
        ASSERT_TRUE(waitUntil([&] { return orveltest::primarySelectionText() == lines.join(u'\n'); }));
        EXPECT_FALSE(waitUntil([&] { return bulb().has_value(); }, 1500)) << "a keyboard selection showed the bulb";
        input.click({640, 900});

        // A drag over a word: the bulb at the release, then the answer to exactly that word.
        input.drag(window.pointAt(1, row.from), window.pointAt(1, row.to));
        expectBulbThenAnswer(window.pointAt(1, row.to), lines[1].mid(row.from, row.to - row.from));

        // A password entry's selection is never read.
        const QRect entry = window.passwordEntry();
        input.drag(QPoint(entry.left() + 4, entry.center().y()), QPoint(entry.right() - 4, entry.center().y()));
        EXPECT_FALSE(waitUntil([&] { return bulb().has_value(); }, 1500)) << "the password entry offered the bulb";
    }
}

// A caller that is not Orvel, calling the extension as fast as the bus takes its calls, is refused
// every time, and the gestures made meanwhile show the bulb at their release as ever.
TEST_F(SelectAnywhereGnome, GesturesShowTheBulbWhileARefusedCallerFloodsTheExtension) {
    NativeTextWindow window(NativeTextWindow::Toolkit::Gtk3, lines);
    ASSERT_TRUE(window.waitUntilShown());
    const QString extension = QStringLiteral("com.orvel.formac.Shell");
    orveltest::BusFlood flood(extension, QStringLiteral("/com/orvel/formac/Shell"), extension,
                              QStringLiteral("Pointer"));
    ASSERT_TRUE(flood.waitUntilFlooding());
    const struct {
        int line, from, to;
    } words[] = {{1, 0, 6}, {1, 7, 12}, {1, 19, 25}, {0, 0, 14}, {0, 15, 20}, {0, 21, 26}};
    for (const auto& word : words) {
        SCOPED_TRACE(lines[word.line].mid(word.from, word.to - word.from).toStdString());
        const QPoint released = window.pointAt(word.line, word.to);
        input.drag(window.pointAt(word.line, word.from), released);
        std::optional<X11Display::Window> shown;
        EXPECT_TRUE(waitUntil([&] { return (shown = bulb()).has_value(); }, 5000))
            << status("selectionActivityStatus").toStdString();
        if (shown) EXPECT_EQ(shown->geometry.topLeft(), released + QPoint(12, 12));
        input.click({640, 900}, holdMs);
        EXPECT_TRUE(waitUntil([&] { return !bulb(); }));
    }
    // "calls C answered A refused R seconds S": every answer a refusal.
    const QStringList account = flood.stop().split(u' ');
    std::printf("flood: %s\n", qPrintable(account.join(u' ')));
    ASSERT_EQ(account.size(), 8);
    EXPECT_GT(account[3].toInt(), 1000);
    EXPECT_EQ(account[5], account[3]);
}

// Chromium puts a password field's text into PRIMARY in clear. Without forced accessibility its page
// is off the bus: nothing of it is read, the status says how to make it readable, and the command
// refuses the field's text. Forced, a double click on a word offers the bulb.
TEST_F(SelectAnywhereGnome, NativeChromiumShowsNothingForItsPasswordField) {
    {
        NativeBrowserPage page({QStringLiteral("Opportunity cost")}, QStringLiteral("hunter2secret"));
        ASSERT_TRUE(page.waitUntilShown());
        input.doubleClick(page.wordBox(0, 0).center(), holdMs);
        EXPECT_TRUE(waitUntil([&] {
            return status("selectionActivityStatus")
                .endsWith(QStringLiteral("请以 --force-renderer-accessibility 启动浏览器后再试。"));
        })) << status("selectionActivityStatus").toStdString();
        EXPECT_FALSE(bulb().has_value()) << "a page off the bus offered the bulb";
        input.doubleClick(page.wordBox(1, 0).center(), holdMs);
        ASSERT_TRUE(waitUntil([&] { return orveltest::primarySelectionText() == QStringLiteral("hunter2secret"); }));
        EXPECT_FALSE(waitUntil([&] { return bulb().has_value(); }, 1500)) << "the password field offered the bulb";
        const OrvelProgram::Run run = orvel.run({QStringLiteral("--study-selection"), QStringLiteral("explain")});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.standardError.contains("the browser does not show whether")) << run.standardError.data();
    }
    NativeBrowserPage page({QStringLiteral("Opportunity cost")}, {}, true);
    ASSERT_TRUE(page.waitUntilShown());
    input.doubleClick(page.wordBox(0, 0).center(), holdMs);
    expectBulbThenAnswer(page.wordBox(0, 0).center(), QStringLiteral("Opportunity"));
}

// Firefox selects only once the button is up: a double click is a gesture all the same, and a
// selection made with the keyboard right after a click is none.
TEST_F(SelectAnywhereGnome, NativeFirefoxOffersTheBulbAfterTheRelease) {
    const QString line = QStringLiteral("Scarcity means wants exceed resources");
    NativeBrowserPage page({line}, {}, false, NativeBrowserPage::Browser::firefox);
    ASSERT_TRUE(page.waitUntilShown());
    const QPoint word = page.wordBox(0, 0).center();
    input.doubleClick(word, holdMs);
    expectBulbThenAnswer(word, QStringLiteral("Scarcity"));

    input.click(word);
    input.chord({XK_Control_L, XK_a});
    ASSERT_TRUE(waitUntil([&] { return orveltest::primarySelectionText().startsWith(line); }));
    EXPECT_FALSE(waitUntil([&] { return bulb().has_value(); }, 1500)) << "a keyboard selection showed the bulb";
}

TEST(SelectAnywhereGnomeWithoutExtension, SaysWhyNativeWindowsAreNotReadAndOffersNothing) {
    HostedStubProgram stub{QJsonArray{orveltest::confirmedAccountReply(accountID)}};
    ASSERT_FALSE(stub.baseUrl().isEmpty());
    X11Display display;
    HostInput input;
    ASSERT_TRUE(display.isOpen() && input.isOpen());
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("en"));
    base::DefaultsStore(orvel.defaultsFile()).setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    orvel.removeEnvironmentValue(QStringLiteral("QT_QPA_PLATFORM"));
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());

    // The extension is installed for the person and known to the shell, but not enabled.
    const auto state = [&](const char* key) { return orvel.state().value(QLatin1String(key)).toString(); };
    EXPECT_TRUE(waitUntil([&] {
        return state("selectionPermissionStatus") ==
               QStringLiteral("划词 AI 图标已开启（原生 Wayland 窗口需要 GNOME 扩展）");
    })) << state("selectionPermissionStatus").toStdString();
    EXPECT_TRUE(
        state("selectionNativeWindowStatus").contains(QStringLiteral("gnome-extensions enable selection@orvel.app")));
    EXPECT_TRUE(state("selectionNativeWindowStatus").contains(QStringLiteral("orvel --study-selection")));

    NativeTextWindow window(NativeTextWindow::Toolkit::Gtk3, lines);
    ASSERT_TRUE(window.waitUntilShown());
    input.drag(window.pointAt(1, 0), window.pointAt(1, 6));
    ASSERT_TRUE(waitUntil([&] { return orveltest::primarySelectionText() == QStringLiteral("Plants"); }));
    EXPECT_FALSE(waitUntil([&] { return display.windowOfSize(orvel.pid(), bulbSize).has_value(); }, 1500));

    // Nothing tells whose native window the selection is: the command takes it while no browser runs,
    // whose password field could have put it there, and refuses it while one does.
    const QStringList command{QStringLiteral("--study-selection"), QStringLiteral("explain")};
    EXPECT_EQ(orvel.run(command).exitCode, 0);
    NativeBrowserPage page({QStringLiteral("Opportunity cost")}, {}, false);
    ASSERT_TRUE(page.waitUntilShown());
    ASSERT_EQ(orveltest::primarySelectionText(), QStringLiteral("Plants"));
    const OrvelProgram::Run refused = orvel.run(command);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.standardError.contains("nothing tells which program")) << refused.standardError.data();
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

}  // namespace
