// Select-anywhere in the real program on GNOME's Wayland session (GNOME Shell nested on the test
// display): the program runs on XWayland, and native Wayland windows — GTK 3, GTK 4, Firefox, Chromium
// with its page on the bus — show the bulb beside the pointer through the shell extension, and the answer
// panel with exactly the selected text when it is clicked. A keyboard selection and a password field
// show nothing; the next press closes the bulb. Without the extension the status says why native
// windows are not read and what to do.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <functional>
#include <memory>

#include "base/defaults_store.h"
#include "tests/support/desktop/gnome_session.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/desktop/wayland_session.h"
#include "tests/support/process_tree.h"

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
            << status("selectionActivityStatus").toStdString() << " · " << status("selectionReadRoute").toStdString();
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
    }
}

// Callers that are not Orvel, calling the extension as fast as the bus takes their calls, one waiting
// for its answers and one that does not, are refused every time, and the gestures made meanwhile
// show the bulb at their release as ever.
TEST_F(SelectAnywhereGnome, GesturesShowTheBulbWhileARefusedCallerFloodsTheExtension) {
    NativeTextWindow window(NativeTextWindow::Toolkit::Gtk3, lines);
    ASSERT_TRUE(window.waitUntilShown());
    const QString extension = QStringLiteral("com.orvel.formac.Shell");
    const struct {
        const char* name;
        int outstanding;  // calls kept unanswered
    } floods[] = {{"2,000 calls out at a time", 2000}, {"40,000 calls out at a time", 40000}};
    const struct {
        int line, from, to;
    } words[] = {{1, 0, 6}, {1, 7, 12}, {1, 19, 25}, {0, 0, 14}, {0, 15, 20}, {0, 21, 26}};
    for (const auto& flooding : floods) {
        SCOPED_TRACE(flooding.name);
        orveltest::BusFlood flood(extension, QStringLiteral("/com/orvel/formac/Shell"), extension,
                                  QStringLiteral("Pointer"), 120, flooding.outstanding);
        ASSERT_TRUE(flood.waitUntilFlooding());
        for (const auto& word : words) {
            SCOPED_TRACE(lines[word.line].mid(word.from, word.to - word.from).toStdString());
            const QPoint released = window.pointAt(word.line, word.to);
            input.drag(window.pointAt(word.line, word.from), released);
            std::optional<X11Display::Window> shown;
            EXPECT_TRUE(waitUntil([&] { return (shown = bulb()).has_value(); }, 5000))
                << status("selectionActivityStatus").toStdString() << " · "
                << status("selectionReadRoute").toStdString() << " · primary "
                << orveltest::primarySelectionText().toStdString();
            if (shown) {
                EXPECT_EQ(shown->geometry.topLeft(), released + QPoint(12, 12));
            }
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
}

// GNOME Shell switches the extension off as the screen locks and on as it unlocks (here by hand, as
// the shell does): each time it is back, the program has it tell the clicks again by itself, and a
// drag shows the bulb. (A suite of its own: it runs in a session of its own, beside the others.)
class SelectAnywhereGnomeAcrossLocks : public SelectAnywhereGnome {};

TEST_F(SelectAnywhereGnomeAcrossLocks, TheBulbComesBackEachTimeTheScreenIsUnlocked) {
    NativeTextWindow window(NativeTextWindow::Toolkit::Gtk3, lines);
    ASSERT_TRUE(window.waitUntilShown());
    const QString call = QStringLiteral(
        "call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method "
        "org.gnome.Shell.Extensions.%1Extension selection@orvel.app");
    QDBusConnectionInterface* names = QDBusConnection::sessionBus().interface();
    const auto switchExtension = [&](const char* method, bool on) {
        return QProcess::execute(QStringLiteral("gdbus"), call.arg(QLatin1String(method)).split(u' ')) == 0 &&
               waitUntil([&] { return names->isServiceRegistered(QStringLiteral("com.orvel.formac.Shell")) == on; });
    };
    for (int unlock = 0; unlock < 10; ++unlock) {
        SCOPED_TRACE(unlock);
        ASSERT_TRUE(switchExtension("Disable", false) && switchExtension("Enable", true));
        // "Plants" or "store"; a person drags again where the first drag came before the program watched.
        const int from = unlock % 2 ? 7 : 0, to = unlock % 2 ? 12 : 6;
        EXPECT_TRUE(waitUntil(
            [&] {
                input.click({640, 900}, holdMs);
                input.drag(window.pointAt(1, from), window.pointAt(1, to));
                return waitUntil([&] { return bulb().has_value(); }, 3000);
            },
            20000));
        input.click({640, 900}, holdMs);
        EXPECT_TRUE(waitUntil([&] { return !bulb(); }));
    }
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
// selection made with the keyboard right after a click is none. Its page reaches the accessibility
// bus a while after it is drawn; a selection made before that is rightly refused.
TEST_F(SelectAnywhereGnome, NativeFirefoxOffersTheBulbAfterTheRelease) {
    const QString line = QStringLiteral("Scarcity means wants exceed resources");
    NativeBrowserPage page({line}, {}, false, NativeBrowserPage::Browser::firefox);
    ASSERT_TRUE(page.waitUntilShown());
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    ASSERT_TRUE(waitUntil([&] { return accessibility.showsText(page.pid(), line); }));
    const QPoint word = page.wordBox(0, 0).center();
    input.doubleClick(word, holdMs);
    expectBulbThenAnswer(word, QStringLiteral("Scarcity"));

    input.click(word);
    input.chord({XK_Control_L, XK_a});
    ASSERT_TRUE(waitUntil([&] { return orveltest::primarySelectionText().startsWith(line); }));
    EXPECT_FALSE(waitUntil([&] { return bulb().has_value(); }, 1500)) << "a keyboard selection showed the bulb";
}

// The password fields of programs that run natively here, each beside ordinary text. A drag over the
// field, a double click on it (again and again: a read of a GTK 4 entry once took it on about half of
// them) and a keyboard selection in it, and the study-selection command after each, never give the
// password to the service, the history or the panel; the bulb never shows for it, nor does the
// command run from a terminal that took the focus after the selection was made. The ordinary text
// beside it still gets the bulb and its answer. (The longest suite: a session of its own.)
class SelectAnywhereGnomePasswords : public SelectAnywhereGnome {};

TEST_F(SelectAnywhereGnomePasswords, NativePasswordFieldsAreNeverRead) {
    const QString password = QStringLiteral("hunter2secret");
    const QString pressed = QStringLiteral("：已收到鼠标按下，等待拖选完成。");
    const QString clicked = QStringLiteral("鼠标事件正常。拖选或双击一个词才会尝试取字。");
    const QString refused = QStringLiteral("：这个控件是受保护的输入框，不读取其中的文字。");
    const QPoint elsewhere{640, 900};  // empty text view or page
    // What a row shows: the password field, and an ordinary word beside it.
    struct Shown {
        std::shared_ptr<void> window;
        QRect field;
        QPoint word;
        QString wordText;
        bool fieldTakesPrimary = false;  // a GTK field's selection, even of hidden text, takes PRIMARY
    };
    using Toolkit = NativeTextWindow::Toolkit;
    // A word of the second line for each row, each a new source in the history.
    const auto gtk = [&](Toolkit toolkit, int from, int to) {
        return [=, &password]() -> Shown {
            auto window = std::make_shared<NativeTextWindow>(toolkit, lines, password);
            if (!window->waitUntilShown()) return {};
            return {window, window->passwordEntry(), window->pointAt(1, from + 2), lines[1].mid(from, to - from),
                    true};
        };
    };
    const struct {
        const char* name;
        std::function<Shown()> open;
        // The command after the double clicks is run from a terminal over the field, which leaves X11's pointer there
        // (or, with `terminalBelow`, from one below it).
        bool commandFromTerminal = false;
        bool terminalBelow = false;
        int doubleClicks = 8;  // the field's own rows try it fewer times
    } rows[] = {
        {"GTK 3 entry, text hidden", gtk(Toolkit::Gtk3, 0, 6)},
        {"GTK 4 PasswordEntry", gtk(Toolkit::Gtk4PasswordEntry, 7, 12)},
        {"GTK 4 entry, text hidden", gtk(Toolkit::Gtk4, 19, 25)},
        {"Firefox, input type=password",
         [&]() -> Shown {
             auto page = std::make_shared<NativeBrowserPage>(QStringList{QStringLiteral("Scarcity means wants")},
                                                             password, false, NativeBrowserPage::Browser::firefox);
             if (!page->waitUntilShown()) return {};
             return {page, page->wordBox(1, 0), page->wordBox(0, 0).center(), QStringLiteral("Scarcity")};
         }},
        {"Chromium, input type=password, the command from a terminal",
         [&]() -> Shown {
             auto page =
                 std::make_shared<NativeBrowserPage>(QStringList{QStringLiteral("Opportunity cost")}, password, true);
             if (!page->waitUntilShown()) return {};
             return {page, page->wordBox(1, 0), page->wordBox(0, 0).center(), QStringLiteral("Opportunity")};
         },
         true},
        {"GTK 4 PasswordEntry shown by its peek icon, the command from a terminal below",
         gtk(Toolkit::Gtk4PeekingPasswordEntry, 0, 6), true, true, 1},
    };
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    orveltest::PrimaryClaims claims;
    const auto reached = [&] {
        QStringList found;
        for (const QJsonValue& request : stub.requests())
            if (QJsonDocument(request.toObject()).toJson().contains(password.toUtf8())) found.append("the service");
        if (QJsonDocument(orvel.history(accountID)).toJson().contains(password.toUtf8())) found.append("the history");
        if (accessibility.showsText(orvel.pid(), password)) found.append("the panel");
        return found.join(QStringLiteral(", ")).toStdString();
    };
    // A click elsewhere ends what is shown and marks the status, so that the end of the next read is told.
    const auto clickElsewhere = [&] {
        input.click(elsewhere, holdMs);
        return waitUntil([&] {
            return status("selectionActivityStatus") == clicked && !bulb() &&
                   !display.windowOfSize(orvel.pid(), panelSize);
        });
    };
    // The read after the gesture ends refusing a password field. A bulb that shows all the same is
    // clicked, for what it sends to be looked at too.
    const auto refusesGesture = [&](const std::string& gesture, const std::function<void()>& make) {
        ASSERT_TRUE(clickElsewhere()) << status("selectionActivityStatus").toStdString();
        make();
        EXPECT_TRUE(waitUntil(
            [&] {
                const QString now = status("selectionActivityStatus");
                return now != clicked && !now.endsWith(pressed) && !now.startsWith(QStringLiteral("正在读取选区"));
            },
            10000))
            << gesture << ": " << status("selectionActivityStatus").toStdString();
        const QString after = status("selectionActivityStatus");
        EXPECT_TRUE(after.endsWith(refused))
            << gesture << ": " << after.toStdString() << " · " << status("selectionReadRoute").toStdString();
        std::optional<X11Display::Window> shown;
        if (after.contains(QStringLiteral("已读取")) && waitUntil([&] { return (shown = bulb()).has_value(); })) {
            input.move(shown->geometry.center());
            waitUntil([&] { return xwaylandPointer() == shown->geometry.center(); });
            input.click(shown->geometry.center(), holdMs);
            waitUntil([&] { return !reached().empty(); }, 5000);
            EXPECT_EQ(reached(), "") << gesture;
        }
        EXPECT_FALSE(bulb().has_value()) << gesture;
    };
    // The command right after a selection in the field refuses it, and the panel says why.
    const auto commandRefuses = [&](const std::string& after) {
        const OrvelProgram::Run run = orvel.run({QStringLiteral("--study-selection"), QStringLiteral("explain")});
        EXPECT_EQ(run.exitCode, 1) << "after " << after;
        EXPECT_TRUE(run.standardError.contains("the selection is in a password field"))
            << "after " << after << ": " << run.standardError.data();
        EXPECT_TRUE(waitUntil([&] { return display.windowOfSize(orvel.pid(), panelSize).has_value(); }));
        EXPECT_EQ(reached(), "") << "the command after " << after;
    };

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Shown shown = row.open();
        ASSERT_TRUE(shown.window);
        const QPoint middle = shown.field.center();
        // From inside the text: a press in a GTK entry's padding starts no selection.
        const QPoint left(shown.field.left() + 20, middle.y()), right(shown.field.right() - 4, middle.y());

        // A drag first: a press in a selection already there starts no new one. Held at its end, as
        // people do: a loaded machine may pass GTK 4's selection on late.
        refusesGesture("a drag", [&] { input.drag(left, right, holdMs); });
        commandRefuses("a drag");
        // GTK counts a second click by its own clock: on a busy machine it may take the two for single
        // clicks, selecting nothing. The double click is made again until the field has taken PRIMARY.
        for (int time = 1; time <= row.doubleClicks; ++time)
            refusesGesture("double click " + std::to_string(time), [&] {
                const int before = claims.count();
                const auto selected = [&] { return !shown.fieldTakesPrimary || claims.count() > before; };
                EXPECT_TRUE(waitUntil([&] {
                    input.doubleClick(middle, holdMs);
                    return waitUntil(selected, 2000);
                })) << "the field took no selection";
            });
        if (row.commandFromTerminal) {
            // The selection stays the field's when another window takes the focus.
            const QPoint typing = row.terminalBelow ? QPoint(100, middle.y() + 400) : middle;
            QProcess terminal;
            orveltest::ownProcessTree(terminal);
            terminal.start(QStringLiteral("xterm"), {QStringLiteral("-geometry"),
                                                     QStringLiteral("60x8+0+%1").arg(std::max(0, typing.y() - 60))});
            EXPECT_TRUE(waitUntil([&] {
                const QList<X11Display::Window> windows = display.windowsOf(terminal.processId());
                return !windows.isEmpty() && display.activeWindow() == windows.first().id;
            })) << "the terminal did not take the focus";
            // XWayland learns where the pointer is from a motion over its window, once that is drawn there.
            ASSERT_TRUE(waitUntil([&] {
                input.move(typing + QPoint(1, 1));
                input.move(typing);
                return xwaylandPointer() == typing;
            })) << "the terminal is not where the pointer is";
            ASSERT_EQ(orveltest::primarySelectionText(), password);
            commandRefuses("a double click, run from a terminal");
            orveltest::endProcessTree(terminal);
        } else {
            commandRefuses("a double click");
        }

        // Selected with the keyboard: no gesture, nothing offered.
        ASSERT_TRUE(clickElsewhere());
        input.click(middle, holdMs);
        input.chord({XK_Control_L, XK_a});
        EXPECT_FALSE(waitUntil([&] { return bulb().has_value(); }, 1500)) << "a keyboard selection offered the bulb";
        commandRefuses("a keyboard selection");

        ASSERT_TRUE(clickElsewhere());
        input.doubleClick(shown.word, holdMs);
        if (row.commandFromTerminal) {  // the command, looking where X11's pointer is, reads the word too
            ASSERT_TRUE(waitUntil([&] { return bulb().has_value(); }));
            EXPECT_EQ(orvel.run({QStringLiteral("--study-selection"), QStringLiteral("explain")}).exitCode, 0);
        } else {
            expectBulbThenAnswer(shown.word, shown.wordText);
        }
        EXPECT_EQ(reached(), "");
    }
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
        state("selectionNativeWindowStatus").contains(QStringLiteral("gnome-extensions enable selection@orvel.app")))
        << state("selectionNativeWindowStatus").toStdString();
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
