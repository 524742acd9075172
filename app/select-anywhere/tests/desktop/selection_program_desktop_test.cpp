// Select-anywhere in the real program: a person selects text in another program with automatic
// selection on and every other setting as it comes; the program reads it. Observed through the
// program's test hook (its status line, the phase of the selection and the route of the last read).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

#include <atspi/atspi-constants.h>

#include <csignal>

#include <pwd.h>
#include <unistd.h>

#include "base/defaults_store.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/x11_windows.h"
#include "tests/support/desktop/gnome_session.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/desktop/wayland_session.h"
#include "tests/support/gui/desktop_programs.h"
#include "tests/support/gui/selection_target_process.h"

using namespace halvern;
using namespace halvern::testing;
using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::TrayHost;
using orveltest::waitUntil;
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
        ready_ =
            manager_.isRunning() && orvel_.start() && orvel_.waitForWindow(display_) && orveltest::waitUntil([this] {
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
    EXPECT_TRUE(
        orveltest::waitUntil([&] { return orvel.state(QStringLiteral("selectionPhase")) == QStringLiteral("idle"); }));
}

// A program that ends takes its bulb with it, whichever window the window manager activates next
// (this program's own main window among them).
TEST(SelectionProgramDesktop, AProgramThatEndsTakesItsBulbWithIt) {
    SelectingProgram orvel;
    ASSERT_TRUE(orvel.ready());
    std::optional<SelectionTarget> target(std::in_place);
    ASSERT_TRUE(target->started());
    target->dragAcross(QStringLiteral("lineEdit"));
    orvel.waitForRead();
    ASSERT_EQ(orvel.state(QStringLiteral("selectionPhase")), QStringLiteral("icon"));
    target.reset();
    EXPECT_TRUE(
        orveltest::waitUntil([&] { return orvel.state(QStringLiteral("selectionPhase")) == QStringLiteral("idle"); }));
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
    for (const QString& line : target.lines())
        EXPECT_FALSE(line.startsWith(QStringLiteral("key "))) << line.toStdString();
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
    ExternalProgram zenity(QStringLiteral("zenity"),
                           {QStringLiteral("--text-info"), QStringLiteral("--editable"), QStringLiteral("--width=600"),
                            QStringLiteral("--height=300"), QStringLiteral("--filename=") + text.fileName()});
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
    ExternalProgram xterm(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("60x8+0+0"),
                                                    QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                    QStringLiteral("printf 'terminal words here\\n'; exec sleep 600")});
    const std::optional<QRect> window = xterm.waitForActiveWindow(orvel.display(), 15000);
    ASSERT_TRUE(window);
    // xterm counts a second click by its own time (250 ms from the first release), shorter than the
    // desktop's: on a busy machine it may take the two for single clicks, selecting nothing. The double
    // click is made again until xterm has taken PRIMARY, and the read that followed it is looked at.
    // xterm is stopped while the click is made and goes on once the read has begun: it takes the
    // selection late, as on a busy machine, and the read still gets the word.
    orveltest::PrimaryClaims claims;
    const auto phase = [&] { return orvel.state(QStringLiteral("selectionPhase")); };
    QString read;
    ASSERT_TRUE(waitUntil(
        [&] {
            const int before = claims.count();
            ::kill(xterm.pid(), SIGSTOP);
            clickAt(window->topLeft() + QPoint(12, 7), 2);
            waitUntil([&] { return phase() == QStringLiteral("reading"); }, 5000);
            ::kill(xterm.pid(), SIGCONT);
            waitUntil([&] { return phase() == QStringLiteral("icon") || phase() == QStringLiteral("idle"); });
            read = orvel.state(QStringLiteral("selectionActivityStatus"));
            return waitUntil([&] { return claims.count() > before; }, 3000);
        },
        60000))
        << "xterm took no selection";
    EXPECT_TRUE(read.endsWith(QStringLiteral("：已读取 8") + readSuffix)) << read.toStdString();
    EXPECT_TRUE(orvel.state(QStringLiteral("selectionReadRoute")).startsWith(primaryRoute));
}

namespace {

// A program showing a password field and, beside it, an ordinary word, both where a person clicks.
// Its window is an ordinary one: a full-screen window covers the tray and the bulb.
struct PasswordScene {
    std::shared_ptr<void> program;  // ends the program with the scene
    QRect field;
    QPoint word;
    QPoint elsewhere;  // a point of the window that holds no text
    QString password;  // what the field holds
    bool browser = false;
    QStringList selectingKeys{QStringLiteral("ctrl+a")};  // select the focused field's whole text
    QString commandRefusal;  // what the study-selection command's refusal line says, where it matters
    // An ordinary word the program shows from elsewhere (another machine, a relay), refused as the field is.
    std::optional<QPoint> refusedWord;
    // The program's whole window, where the selection is left for another window to take the focus
    // before the command and the tray's read ask for it.
    std::optional<QRect> leftWindow;
    // The program whose field is emptied, the focus left in it, before the tray's read asks again (GTK
    // 4's, which tells the element that has the keyboard by its states only); 0 for none.
    qint64 emptiedFieldProgram = 0;
};

using SceneStarter = std::function<std::optional<PasswordScene>(const X11Display&)>;

std::optional<QPoint> windowOrigin(const X11Display& display, qint64 pid) {
    std::optional<QPoint> origin;
    waitUntil([&] {
        const auto windows = display.windowsOf(pid);
        if (!windows.isEmpty() && display.activeWindow() == windows.last().id)
            origin = windows.last().geometry.topLeft();
        return origin.has_value();
    });
    return origin;
}

// `launcher`: what the window's program is started through (NativeTextWindow).
SceneStarter gtkWindow(orveltest::NativeTextWindow::Toolkit toolkit, bool leftForAnotherWindow = false,
                       const QStringList& launcher = {}) {
    return [toolkit, leftForAnotherWindow, launcher](const X11Display& display) -> std::optional<PasswordScene> {
        qputenv("ORVEL_TEXT_WINDOW_WINDOWED", "1");
        auto window = std::make_shared<orveltest::NativeTextWindow>(
            toolkit, QStringList{QStringLiteral("Ordinary words here")}, QStringLiteral("hunter2secret"), launcher);
        const std::optional<QPoint> origin =
            window->waitUntilShown() ? windowOrigin(display, window->windowProcess()) : std::nullopt;
        if (!origin) return std::nullopt;
        PasswordScene scene{window, window->passwordEntry().translated(*origin), window->pointAt(0, 3) + *origin,
                            *origin + QPoint(600, 350), QStringLiteral("hunter2secret")};
        if (leftForAnotherWindow) scene.leftWindow = QRect(*origin, QSize(800, 400));
        if (toolkit == orveltest::NativeTextWindow::Toolkit::Gtk4PasswordEntry)
            scene.emptiedFieldProgram = window->windowProcess();
        return scene;
    };
}

SceneStarter qtWindow() {
    return [](const X11Display&) -> std::optional<PasswordScene> {
        auto target = std::make_shared<SelectionTarget>();
        if (!target->started()) return std::nullopt;
        const QRect line = target->geometry(QStringLiteral("lineEdit"));
        return PasswordScene{target, target->geometry(QStringLiteral("passwordField")),
                             QPoint(line.left() + 14, line.center().y()), line.bottomRight() + QPoint(0, 60),
                             QStringLiteral("secret words")};
    };
}

// A program that owns PRIMARY from a bare window of a second display connection, carrying no process
// id, as LibreOffice does on its own X11 interface: its copy under LibreOffice's program file name
// shows the password field; the program under its own name, the ordinary words beside it.
SceneStarter bareSelectionOwner() {
    return [](const X11Display& display) -> std::optional<PasswordScene> {
        auto words = std::make_shared<ExternalProgram>(QStringLiteral(ORVEL_BARE_SELECTION),
                                                       QStringList{QStringLiteral("0"), QStringLiteral("320")});
        const std::optional<QRect> wordsWindow = words->waitForActiveWindow(display, 15000);
        auto office = std::make_shared<ExternalProgram>(QStringLiteral(ORVEL_BARE_SELECTION_OFFICE),
                                                        QStringList{QStringLiteral("0"), QStringLiteral("0")});
        const std::optional<QRect> window = office->waitForActiveWindow(display, 15000);
        if (!wordsWindow || !window) return std::nullopt;
        return PasswordScene{
            std::make_shared<std::pair<std::shared_ptr<ExternalProgram>, std::shared_ptr<ExternalProgram>>>(words,
                                                                                                            office),
            QRect(window->topLeft() + QPoint(20, 20), QSize(300, 40)), wordsWindow->topLeft() + QPoint(60, 105),
            window->topLeft() + QPoint(500, 170), QStringLiteral("hunter2secret")};
    };
}

// LibreOffice Writer on its own X11 interface with a password typed into the dialog of Edit › Track
// Changes › Protect…: it puts a password field's selection into PRIMARY in clear, from a bare window of
// a display connection of its own. Ctrl+A selects there without taking PRIMARY, so the keys select from
// the end to the start. The ordinary words are in the program above under its own name, beside it.
SceneStarter libreOfficeWriter() {
    return [](const X11Display& display) -> std::optional<PasswordScene> {
        struct Programs {
            QTemporaryDir profile;
            std::unique_ptr<ExternalProgram> writer, words;
        };
        auto programs = std::make_shared<Programs>();
        // No tip of the day at the first start, and a window that leaves the tray's menu and the words
        // below it uncovered.
        QDir().mkpath(programs->profile.filePath(QStringLiteral("user")));
        QFile settings(programs->profile.filePath(QStringLiteral("user/registrymodifications.xcu")));
        if (!settings.open(QIODevice::WriteOnly)) return std::nullopt;
        settings.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Office/Factories/org.openoffice.Setup:Factory['com.sun.star.text.TextDocument']"><prop oor:name="ooSetupFactoryWindowAttributes" oor:op="fuse"><value>0,0,900,640;1;</value></prop></item>
</oor:items>
)");
        settings.close();
        // Writer runs without the program that restarts it after it made a new profile: the profile is
        // made first.
        const QStringList writer{
            QStringLiteral("SAL_USE_VCLPLUGIN=gen"), QStringLiteral("/usr/lib/libreoffice/program/soffice.bin"),
            QStringLiteral("--norestore"), QStringLiteral("--nologo"),
            QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(programs->profile.path()).toString()};
        if (QProcess::execute(QStringLiteral("/usr/bin/env"),
                              writer + QStringList{QStringLiteral("--terminate_after_init")}) != 0)
            return std::nullopt;
        programs->writer = std::make_unique<ExternalProgram>(QStringLiteral("/usr/bin/env"),
                                                             writer + QStringList{QStringLiteral("--writer")});
        if (!programs->writer->waitForActiveWindow(display, 60000)) return std::nullopt;
        // The menu's keys, again until the dialog shows (the first may come before Writer takes keys).
        std::optional<X11Display::Window> dialog;
        const auto dialogShown = [&] {
            for (const X11Display::Window& window : display.windowsOf(programs->writer->pid()))
                if (window.title == QStringLiteral("Enter Password")) dialog = window;
            return dialog.has_value();
        };
        const bool opened = waitUntil(
            [&] {
                orveltest::pressKeys(QStringLiteral("Escape"));
                for (const QString& key : {QStringLiteral("alt+e"), QStringLiteral("g"), QStringLiteral("p")}) {
                    orveltest::pressKeys(key);
                    settle(300);
                }
                return waitUntil(dialogShown, 3000);
            },
            40000);
        const QString password = QStringLiteral("hunter2secret");
        const QStringList selectingKeys{QStringLiteral("End"), QStringLiteral("shift+Home")};
        if (!opened) return std::nullopt;
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), password});
        for (const QString& keys : selectingKeys) orveltest::pressKeys(keys);
        if (!waitUntil([&] { return orveltest::primarySelectionText(1000) == password; }, 5000)) return std::nullopt;

        programs->words = std::make_unique<ExternalProgram>(QStringLiteral(ORVEL_BARE_SELECTION),
                                                            QStringList{QStringLiteral("0"), QStringLiteral("760")});
        const std::optional<QRect> wordsWindow = programs->words->waitForActiveWindow(display, 15000);
        xdotool({QStringLiteral("windowactivate"), QString::number(dialog->id)});
        if (!wordsWindow || !waitUntil([&] { return display.activeWindow() == dialog->id; })) return std::nullopt;
        const QPoint origin = dialog->geometry.topLeft();
        return PasswordScene{programs,
                             QRect(origin + QPoint(92, 30), QSize(186, 14)),
                             wordsWindow->topLeft() + QPoint(60, 105),
                             origin + QPoint(150, 110),
                             password,
                             false,
                             selectingKeys};
    };
}

// A paragraph, a password field below it and a space below that where a drag selects nothing, in a
// browser's window of 1000 x 700 at the screen's top left.
const QByteArray passwordPage =
    "<p style=\"top:100px\">Opportunity cost is the next best alternative.</p>"
    "<input type=\"password\" value=\"hunter2secret\" style=\"top:300px\">"
    "<div style=\"position:absolute;top:420px;left:0;width:100%;height:260px;user-select:none\"></div>";

// The scene of a browser showing `passwordPage` in its active window, whose windows carry the process
// id `windowProcess` and are made by a client the display server names `clientProcess` (or a process
// it forked). Its page is looked for on the accessibility bus for `busWait` ms.
std::optional<PasswordScene> pageScene(const X11Display& display, std::shared_ptr<void> programs, qint32 windowProcess,
                                       qint32 clientProcess, int busWait = 8000) {
    // Where the page is: Firefox's window has its bars above it.
    std::optional<QRect> field = accessibleExtents(windowProcess, ATSPI_ROLE_PASSWORD_TEXT, busWait);
    const std::optional<QPoint> origin = windowOrigin(display, windowProcess);
    if (!origin) return std::nullopt;
    if (!field) field = QRect(*origin + QPoint(102, 302), QSize(150, 30));
    const QPoint page = field->topLeft() - QPoint(102, 302);
    const QPoint word = page + QPoint(130, 116);
    // Its page is drawn once its text can be selected (with the keys: no gesture).
    if (!waitUntil(
            [&] {
                clickAt(page + QPoint(600, 500));
                orveltest::pressKeys(QStringLiteral("ctrl+a"));
                settle(300);
                // The client's process, or one it forked for the connection (a relay's).
                const qint32 owner = x11::windowProcess(x11::primaryOwner()).value_or(0);
                QFile stat(QStringLiteral("/proc/%1/stat").arg(owner));
                const QByteArray fields = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
                return owner == clientProcess ||
                       fields.mid(fields.lastIndexOf(')') + 2).split(' ').value(1).toInt() == clientProcess;
            },
            30000))
        return std::nullopt;
    clickAt(page + QPoint(600, 500));
    return PasswordScene{std::move(programs),     field->adjusted(2, 2, -2, -2),   word,
                         page + QPoint(600, 500), QStringLiteral("hunter2secret"), true};
}

SceneStarter browserPage(std::function<std::unique_ptr<ExternalProgram>(const QTemporaryDir&)> start) {
    return [start](const X11Display& display) -> std::optional<PasswordScene> {
        auto folder = std::make_shared<QTemporaryDir>();
        std::shared_ptr<ExternalProgram> browser = start(*folder);
        if (!browser || !browser->waitForActiveWindow(display, 40000)) return std::nullopt;
        return pageScene(display,
                         std::make_shared<std::pair<std::shared_ptr<QTemporaryDir>, std::shared_ptr<ExternalProgram>>>(
                             folder, browser),
                         browser->pid(), browser->pid());
    };
}

// ssh's X11 forwarding to this machine, through an sshd of the test's own on a loopback port: a program
// run through it is a program of "another machine" whose windows reach the display through the local
// ssh, the process the display server names for each of them. Its X11 cookie and files go into the
// test's folder, not the user's home; the file the cookie goes into is made before sshd's xauth runs, and
// the programs get this session's bus address, as a desktop's programs have it.
class ForwardedDisplay {
public:
    ForwardedDisplay() {
        QTcpServer probe;
        const passwd* account = getpwuid(getuid());
        // sshd run by root wants its privilege separation folder, which only a package's start script
        // makes; run by a user it logs in only that user, with no such folder.
        if (!account || (getuid() == 0 && !QDir().mkpath(QStringLiteral("/run/sshd"))) ||
            !probe.listen(QHostAddress::LocalHost)) {
            std::fprintf(stderr, "sshd cannot start here: no account, folder /run/sshd or loopback port\n");
            return;
        }
        login_ = QString::fromLocal8Bit(account->pw_name) + QStringLiteral("@127.0.0.1");
        port_ = probe.serverPort();
        probe.close();
        const QString config = QStringLiteral(
            "touch .Xauthority && ssh-keygen -q -t ed25519 -N '' -f host && ssh-keygen -q -t ed25519 -N '' -f user && "
            "cat > sshd_config <<E\n"
            "ListenAddress 127.0.0.1\nPort %1\nHostKey %2/host\nAuthorizedKeysFile %2/user.pub\nPidFile none\n"
            "UsePAM no\nStrictModes no\nPermitRootLogin prohibit-password\nPasswordAuthentication no\n"
            "X11Forwarding yes\nXAuthLocation /usr/bin/xauth\nSetEnv HOME=%2 XAUTHORITY=%2/.Xauthority "
            "DBUS_SESSION_BUS_ADDRESS=\"%3\"\nE\n");
        QProcess setUp;
        setUp.setWorkingDirectory(folder_.path());
        setUp.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"),
                     config.arg(port_).arg(folder_.path()).arg(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"))});
        if (!setUp.waitForFinished(10000) || setUp.exitCode() != 0) {
            std::fprintf(stderr, "sshd's files were not made: %s\n", setUp.readAllStandardError().constData());
            return;
        }
        orveltest::ownProcessTree(sshd_);
        sshd_.start(QStringLiteral("/usr/sbin/sshd"), {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"),
                                                       folder_.filePath(QStringLiteral("sshd_config"))});
        QByteArray said;
        listening_ = waitUntil([&] { return (said += sshd_.readAllStandardError()).contains("Server listening"); });
        if (!listening_) std::fprintf(stderr, "sshd did not start: %s\n", said.constData());
    }
    ~ForwardedDisplay() {
        orveltest::endProcessTree(ssh_);
        orveltest::endProcessTree(sshd_);
    }

    // Runs the program through `ssh -X`; the process it runs as on the far side (which its windows
    // carry as their process id), or nothing.
    std::optional<qint32> run(const QString& program, const QStringList& arguments) {
        if (!listening_) return std::nullopt;
        QString command = QStringLiteral("echo started $$; exec ") + program;
        for (QString argument : arguments) command += QStringLiteral(" '%1'").arg(argument.replace(u'\'', "'\\''"));
        orveltest::ownProcessTree(ssh_);
        ssh_.start(QStringLiteral("ssh"),
                   QStringLiteral("-X -F /dev/null -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o "
                                  "BatchMode=yes -o LogLevel=ERROR -i")
                           .split(u' ') +
                       QStringList{folder_.filePath(QStringLiteral("user")), QStringLiteral("-p"),
                                   QString::number(port_), login_, command});
        QByteArray said;
        waitUntil([&] {
            return (said += ssh_.readAllStandardOutput()).contains('\n') || ssh_.state() == QProcess::NotRunning;
        });
        if (!said.startsWith("started ")) {
            std::fprintf(stderr, "ssh ran nothing: %s %s\n", said.constData(), this->said().constData());
            return std::nullopt;
        }
        return said.mid(8).trimmed().toInt();
    }
    qint32 sshProcess() const { return qint32(ssh_.processId()); }
    // What the program and ssh wrote on the error output, and whether they still run.
    QByteArray said() {
        return ssh_.readAllStandardError() + (ssh_.state() == QProcess::Running ? "(running)" : "(ended)");
    }

private:
    QTemporaryDir folder_;
    QProcess sshd_, ssh_;
    quint16 port_ = 0;
    QString login_;
    bool listening_ = false;
};

// Ordinary words in a GTK 3 window of this machine, moved below a browser's window; where they are.
std::optional<QPoint> wordsBelow(const X11Display& display, std::unique_ptr<orveltest::NativeTextWindow>& words) {
    qputenv("ORVEL_TEXT_WINDOW_WINDOWED", "1");
    words = std::make_unique<orveltest::NativeTextWindow>(orveltest::NativeTextWindow::Toolkit::Gtk3,
                                                          QStringList{QStringLiteral("Ordinary words here")});
    const auto windows = words->waitUntilShown() ? display.windowsOf(words->pid()) : QList<X11Display::Window>();
    if (windows.isEmpty() || !xdotool({QStringLiteral("windowmove"), QString::number(windows.last().id),
                                       QStringLiteral("0"), QStringLiteral("720")}))
        return std::nullopt;
    std::optional<QPoint> point;
    waitUntil([&] {
        const auto moved = display.windowsOf(words->pid());
        if (!moved.isEmpty() && moved.last().geometry.top() >= 720)
            point = moved.last().geometry.topLeft() + words->pointAt(0, 3);
        return point.has_value();
    });
    return point;
}

// The page's paragraph is refused with its field, as another machine's; the ordinary words are this
// machine's, below it.
void shownFromElsewhere(PasswordScene& scene, QPoint words) {
    scene.refusedWord = scene.word;
    scene.word = words;
    scene.commandRefusal = QStringLiteral("another machine");
}

// Chromium of "another machine", shown through ssh -X, with the password page; the ordinary words in a
// GTK 3 window of this machine, moved below it.
SceneStarter chromiumThroughSsh() {
    return [](const X11Display& display) -> std::optional<PasswordScene> {
        struct Programs {
            QTemporaryDir folder;
            std::unique_ptr<orveltest::NativeTextWindow> words;
            ForwardedDisplay forwarded;
        };
        auto programs = std::make_shared<Programs>();
        const std::optional<QPoint> words = wordsBelow(display, programs->words);
        const QString page = writePage(programs->folder, passwordPage);
        const std::optional<qint32> chromium =
            programs->forwarded.run(QStringLiteral("chromium"), chromiumArguments(programs->folder, page, false, true));
        if (!words || !chromium) {
            std::fprintf(stderr, "%s\n", words ? "Chromium did not start through ssh" : "no window of words");
            return std::nullopt;
        }
        // Its window, made the active one as the other browsers' rows do: the window manager may leave
        // the words' window active, and Chromium's drawing through ssh takes as long as theirs.
        QList<X11Display::Window> windows;
        const bool shown = waitUntil(
            [&] {
                windows = display.windowsOf(*chromium);
                if (windows.isEmpty() || display.activeWindow() == windows.last().id) return !windows.isEmpty();
                xdotool({QStringLiteral("windowactivate"), QString::number(windows.last().id)});
                return false;
            },
            40000);
        if (!shown) {
            std::fprintf(stderr, "Chromium through ssh showed no window (%lld of its own): %s\n",
                         qint64(windows.size()), programs->forwarded.said().constData());
            return std::nullopt;
        }
        std::optional<PasswordScene> scene =
            pageScene(display, programs, *chromium, programs->forwarded.sshProcess(), 0);
        if (scene) {
            shownFromElsewhere(*scene, *words);
        } else {
            std::fprintf(stderr, "Chromium through ssh showed no page: %s\n", programs->forwarded.said().constData());
        }
        return scene;
    };
}

// Chromium of this machine with the password page, shown through a relay of the display connection
// under a name no list knows (socat's program, copied to a file of another name): the display server
// names the relay for Chromium's windows. The ordinary words in a GTK 3 window of this machine, below it.
SceneStarter chromiumThroughARelay() {
    return [](const X11Display& display) -> std::optional<PasswordScene> {
        struct Programs {
            QTemporaryDir folder;
            std::unique_ptr<orveltest::NativeTextWindow> words;
            std::unique_ptr<ExternalProgram> relay, chromium;
        };
        auto programs = std::make_shared<Programs>();
        const std::optional<QPoint> words = wordsBelow(display, programs->words);
        // The first display number no server listens on, from 100; the relay listens there before
        // Chromium starts.
        const auto listening = [](int display) {
            QFile sockets(QStringLiteral("/proc/net/unix"));
            return sockets.open(QIODevice::ReadOnly) &&
                   sockets.readAll().contains("@/tmp/.X11-unix/X" + QByteArray::number(display) + '\n');
        };
        int number = 100;
        while (listening(number)) ++number;
        const QString relay = programs->folder.filePath(QStringLiteral("display-relay"));
        if (!words || !QFile::copy(QStringLiteral("/usr/bin/socat"), relay)) return std::nullopt;
        programs->relay = std::make_unique<ExternalProgram>(
            relay, QStringList{QStringLiteral("ABSTRACT-LISTEN:/tmp/.X11-unix/X%1,fork").arg(number),
                               QStringLiteral("ABSTRACT-CONNECT:/tmp/.X11-unix/X") +
                                   qEnvironmentVariable("DISPLAY").section(u':', 1).section(u'.', 0, 0)});
        if (!waitUntil([&] { return listening(number); })) return std::nullopt;
        const QString page = writePage(programs->folder, passwordPage);
        programs->chromium = std::make_unique<ExternalProgram>(
            QStringLiteral("/usr/bin/env"),
            QStringList{QStringLiteral("DISPLAY=:%1").arg(number), QStringLiteral("chromium")} +
                chromiumArguments(programs->folder, page, false, true));
        if (!programs->chromium->waitForActiveWindow(display, 40000)) return std::nullopt;
        std::optional<PasswordScene> scene =
            pageScene(display, programs, programs->chromium->pid(), programs->relay->pid(), 0);
        if (scene) shownFromElsewhere(*scene, *words);
        return scene;
    };
}

// A GTK 3 window in a container of its own, as distrobox, toolbox and docker run programs: in a pid
// namespace of its own (its windows carry its id there) and a UTS namespace with a host name of its own,
// which its windows name as their machine. It is a program of this machine. As rootless containers do, the
// namespaces belong to a user namespace of its own (anyone may make one); the program runs in one more,
// as this test's user again, for the buses to take it as who it is (libdbus names its user itself).
SceneStarter gtkWindowInAContainer() {
    const QString user = QString::number(::getuid()), group = QString::number(::getgid());
    return gtkWindow(
        orveltest::NativeTextWindow::Toolkit::Gtk3, false,
        {QStringLiteral("unshare"), QStringLiteral("--map-root-user"), QStringLiteral("--uts"), QStringLiteral("--pid"),
         QStringLiteral("--fork"), QStringLiteral("--kill-child"), QStringLiteral("--mount-proc"), QStringLiteral("sh"),
         QStringLiteral("-c"),
         QStringLiteral("hostname boxhost && exec unshare --map-user=%1 --map-group=%2 \"$@\"").arg(user, group),
         QStringLiteral("sh")});
}

// A GTK 3 window of this machine, in no namespace of its own, whose window names another host: taken at
// its word, as another machine's. The ordinary words in a GTK 3 window below it.
SceneStarter gtkWindowNamingAnotherHost() {
    return [](const X11Display& display) -> std::optional<PasswordScene> {
        auto words = std::make_shared<std::unique_ptr<orveltest::NativeTextWindow>>();
        const std::optional<QPoint> below = wordsBelow(display, *words);
        std::optional<PasswordScene> scene = gtkWindow(orveltest::NativeTextWindow::Toolkit::Gtk3)(display);
        const std::optional<X11Display::WindowId> window = display.activeWindow();
        const QString naming = QStringLiteral("-id %1 -f WM_CLIENT_MACHINE 8s -set WM_CLIENT_MACHINE far.example.org");
        if (!below || !scene || !window || QProcess::execute(QStringLiteral("xprop"), naming.arg(*window).split(u' ')))
            return std::nullopt;
        scene->program =
            std::make_shared<std::pair<std::shared_ptr<void>, std::shared_ptr<void>>>(scene->program, words);
        shownFromElsewhere(*scene, *below);
        return scene;
    };
}

// A program whose selection is owned from a display connection of a process that has ended (it forked
// after connecting, as xclip does), beside an ordinary program's words.
SceneStarter selectionOfAnEndedProcess() {
    return [](const X11Display& display) -> std::optional<PasswordScene> {
        struct Programs {
            ExternalProgram words{QStringLiteral(ORVEL_BARE_SELECTION), {QStringLiteral("0"), QStringLiteral("320")}};
            qint32 child = 0;  // not the test's child: ended here
            ~Programs() {
                if (child > 0 && ::kill(child, SIGKILL) == 0)
                    waitUntil([this] { return !QFile::exists(QStringLiteral("/proc/%1").arg(child)); }, 5000);
            }
        };
        auto programs = std::make_shared<Programs>();
        const std::optional<QRect> words = programs->words.waitForActiveWindow(display, 15000);
        QProcess forking;
        forking.start(QStringLiteral(ORVEL_BARE_SELECTION), QStringLiteral("0 0 fork").split(u' '));
        if (!words || !forking.waitForFinished(15000)) return std::nullopt;
        programs->child = forking.readAllStandardOutput().mid(6).trimmed().toInt();
        const std::optional<QPoint> origin = windowOrigin(display, programs->child);
        if (!origin) return std::nullopt;
        PasswordScene scene{programs, QRect(*origin + QPoint(20, 20), QSize(300, 40)),
                            words->topLeft() + QPoint(60, 105), *origin + QPoint(500, 170),
                            QStringLiteral("hunter2secret")};
        scene.commandRefusal = QStringLiteral("cannot be told");
        return scene;
    };
}

SceneStarter chromium(bool forced, QStringList extra = {}) {
    return browserPage(
        [=](const QTemporaryDir& folder) { return startChromium(folder, passwordPage, forced, extra, true); });
}

using Toolkit = orveltest::NativeTextWindow::Toolkit;

// A password field is never read, whatever the toolkit, however it is selected and whichever way the
// text is asked for: a double click or a drag (the bulb), a selection made with the keys and then the
// study-selection command or the tray's read. The password reaches neither the service, the history
// nor a panel; the ordinary word beside it still does. (Each program below is a row of its own test.)
void expectNeverRead(const SceneStarter& start) {
    const QString accountID = QStringLiteral("account_1234");
    const QString answer = QStringLiteral("An answer.");
    HostedStubProgram stub{QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"),
                             {{QStringLiteral("answer"), QStringLiteral("An answer.")}}),
    }};
    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    AccessibilityBus accessibility;
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("en"));
    base::DefaultsStore(orvel.defaultsFile()).setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
    base::DefaultsStore(orvel.defaultsFile()).setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    ASSERT_TRUE(orvel.start());
    const std::optional<X11Display::Window> mainWindow = orvel.waitForWindow(display);
    ASSERT_TRUE(mainWindow);
    TrayHost tray(display);
    ASSERT_TRUE(tray.isRunning());
    const auto state = [&](const char* key) { return orvel.state().value(QLatin1StringView(key)).toString(); };
    ASSERT_TRUE(waitUntil([&] {
        return state("historyAccount") == accountID &&
               orvel.state().value(QStringLiteral("selectionStatusItemReachable")).toBool();
    }));
    const auto answers = [&] { return stub.count("POST", "/v1/ai/answer"); };

    // Each gesture's read ends, in a refusal or the bulb; a bulb shown is clicked, as a person would.
    // What it did: no read (-1), a refusal (0), a bulb (1).
    const auto gesture = [&](const std::function<void()>& act) {
        const int before = orvel.state().value(QStringLiteral("selectionMouseUps")).toInt();
        act();
        const bool read = waitUntil(
            [&] {
                const QString phase = state("selectionPhase");
                return orvel.state().value(QStringLiteral("selectionMouseUps")).toInt() > before &&
                       (phase == QStringLiteral("idle") || phase == QStringLiteral("icon"));
            },
            5000);
        if (!read) return -1;
        if (state("selectionPhase") != QStringLiteral("icon")) return 0;
        std::optional<X11Display::Window> bulb;
        if (waitUntil([&] { return (bulb = display.windowOfSize(orvel.pid(), QSize(36, 36))).has_value(); }, 3000))
            heldClickAt(bulb->geometry.center());
        return 1;
    };
    const auto closePanel = [&] {
        orveltest::pressKeys(QStringLiteral("Escape"));
        waitUntil([&] { return state("selectionPhase") == QStringLiteral("idle"); }, 2000);
    };
    // The tray menu's "Read selection locally", the fourth of its ten rows; whether the read ended. A
    // click the tray missed is made again, as a person would.
    const auto readFromTheTray = [&] {
        const std::optional<QPoint> icon = tray.iconCentre();
        std::optional<QRect> menu;
        if (!icon || !waitUntil([&] {
                heldClickAt(*icon);
                return waitUntil([&] { return (menu = display.topLevelAt(*icon + QPoint(-20, 20))).has_value(); },
                                 3000);
            }))
            return false;
        heldClickAt(QPoint(menu->center().x(), menu->top() + int(menu->height() * 3.5 / 10.4)));
        return waitUntil([&] { return state("selectionPhase") == QStringLiteral("result"); }, 8000);
    };

    {
        std::optional<PasswordScene> scene = start(display);
        ASSERT_TRUE(scene) << "the program did not show its window";
        const QString& password = scene->password;
        const auto notShown = [&] { return !accessibility.showsText(orvel.pid(), password); };

        // The bulb never comes for the field (it came on half of the double clicks in GTK 4).
        QList<int> outcomes;
        for (int click = 0; click < 3; ++click) outcomes << gesture([&] { clickAt(scene->field.center(), 2); });
        outcomes << gesture(
            [&] { dragFrom(scene->field.topLeft() + QPoint(4, 14), scene->field.topLeft() + QPoint(120, 14)); });
        EXPECT_FALSE(outcomes.contains(1)) << "a bulb for the password field";
        EXPECT_TRUE(outcomes.contains(0)) << "no gesture on the field was read";
        if (scene->refusedWord) {
            EXPECT_EQ(gesture([&] { clickAt(*scene->refusedWord, 3); }), 0)
                << "no refusal for a word shown from elsewhere";
        }
        EXPECT_TRUE(notShown());
        if (scene->browser) {
            // A click elsewhere on the page moves the focus; PRIMARY still holds the field's text.
            clickAt(scene->elsewhere);
            settle(200);
            gesture([&] { dragFrom(scene->elsewhere, scene->elsewhere + QPoint(150, 0)); });
        }

        // A selection made with the keys, then asked for by the command and the tray's local read.
        clickAt(scene->field.center());
        settle(200);
        for (const QString& keys : scene->selectingKeys) orveltest::pressKeys(keys);
        settle(300);
        if (scene->leftWindow) {
            // This program's window takes the focus, the pointer away from the field: the selection
            // stays the field's.
            const QPoint away = mainWindow->geometry.bottomRight() - QPoint(20, 20);
            ASSERT_FALSE(scene->leftWindow->contains(away));
            xdotool({QStringLiteral("mousemove"), QString::number(away.x()), QString::number(away.y())});
            xdotool({QStringLiteral("windowactivate"), QString::number(mainWindow->id)});
            ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == mainWindow->id; }));
            ASSERT_EQ(orveltest::primarySelectionText(1000), password);
        }
        const OrvelProgram::Run run = orvel.run({QStringLiteral("--study-selection"), QStringLiteral("explain")});
        EXPECT_TRUE(run.finished && run.exitCode == 1) << run.standardError.toStdString();
        EXPECT_TRUE(run.standardError.contains(scene->commandRefusal.toUtf8())) << run.standardError.toStdString();
        closePanel();
        EXPECT_TRUE(readFromTheTray());
        EXPECT_TRUE(notShown());
        closePanel();
        const auto passwordAsked = [&] {
            for (const QJsonValue& request : stub.requests())
                if (request[QStringLiteral("body")].toString().contains(password)) return true;
            return false;
        };
        EXPECT_FALSE(passwordAsked());
        if (scene->emptiedFieldProgram) {
            // Emptied, the focus in it: the tray's read sends it no copy key (it pressed Ctrl+C into GTK
            // 4's and asked to check that it copies). Emptied once it (the first text box) counts no characters.
            clickAt(scene->field.center());
            ASSERT_TRUE(windowOrigin(display, scene->emptiedFieldProgram));
            for (const char* keys : {"ctrl+a", "BackSpace"}) orveltest::pressKeys(QLatin1StringView(keys));
            ASSERT_TRUE(waitUntil([&] {
                const auto objects = accessibility.objectsOf(scene->emptiedFieldProgram);
                const auto field =
                    std::ranges::find(objects, QStringLiteral("text box"), &AccessibilityBus::Object::role);
                const QDBusMessage count = AtspiSystem::shared().property(
                    field == objects.end() ? QString() : field->service,
                    field == objects.end() ? QString() : field->path, QStringLiteral("org.a11y.atspi.Text"),
                    QStringLiteral("CharacterCount"), std::chrono::steady_clock::now() + std::chrono::seconds(1));
                return count.arguments().value(0).value<QDBusVariant>().variant() == QVariant(0);
            }));
            EXPECT_TRUE(readFromTheTray());
            EXPECT_TRUE(
                state("selectionActivityStatus")
                    .endsWith(tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::noText).message()))
                << state("selectionActivityStatus").toStdString() << state("selectionReadRoute").toStdString();
            closePanel();
        }

        // The ordinary word beside it is read and answered (from the service, or from the answers it
        // gave before).
        gesture([&] { clickAt(scene->word, 2); });
        EXPECT_TRUE(waitUntil([&] { return accessibility.showsText(orvel.pid(), answer); }, 10000))
            << state("selectionActivityStatus").toStdString();
        closePanel();
        if (scene->emptiedFieldProgram) {
            // So is it by the tray's read, over the bus.
            EXPECT_TRUE(readFromTheTray());
            EXPECT_TRUE(state("selectionReadRoute").startsWith(QStringLiteral("AX")))
                << state("selectionActivityStatus").toStdString();
            closePanel();
        }
        EXPECT_FALSE(passwordAsked());
    }
    for (const QJsonValue& record : orvel.history(accountID))
        EXPECT_FALSE(record[QStringLiteral("source")].toString().contains(QStringLiteral("secret")));
    EXPECT_GE(answers(), 1);
    EXPECT_TRUE(stub.violations().isEmpty());
}

}  // namespace

TEST(PasswordFieldDesktop, Gtk3HiddenEntry) { expectNeverRead(gtkWindow(Toolkit::Gtk3)); }
TEST(PasswordFieldDesktop, Gtk4PasswordEntry) { expectNeverRead(gtkWindow(Toolkit::Gtk4PasswordEntry)); }
TEST(PasswordFieldDesktop, Gtk4PasswordShownWithThePeekIconAndLeft) {
    expectNeverRead(gtkWindow(Toolkit::Gtk4PeekingPasswordEntry, true));
}
TEST(PasswordFieldDesktop, Gtk4HiddenEntry) { expectNeverRead(gtkWindow(Toolkit::Gtk4)); }
TEST(PasswordFieldDesktop, QtPasswordLineEdit) { expectNeverRead(qtWindow()); }
TEST(PasswordFieldDesktop, OwnerWindowWithoutAProcessId) { expectNeverRead(bareSelectionOwner()); }
TEST(PasswordFieldDesktop, LibreOfficeOnItsOwnX11Interface) { expectNeverRead(libreOfficeWriter()); }
TEST(PasswordFieldDesktop, SelectionOwnedByAnEndedProcess) { expectNeverRead(selectionOfAnEndedProcess()); }
TEST(PasswordFieldDesktop, ChromiumOnTheBus) { expectNeverRead(chromium(true)); }
TEST(PasswordFieldDesktop, ChromiumOffTheBus) { expectNeverRead(chromium(false)); }
TEST(PasswordFieldDesktop, ChromiumRenamedInOneProcess) {
    expectNeverRead(chromium(
        false, {QStringLiteral("--class=Notes"), QStringLiteral("--single-process"), QStringLiteral("--no-zygote")}));
}
TEST(PasswordFieldDesktop, ChromiumShownThroughSshX) { expectNeverRead(chromiumThroughSsh()); }
TEST(PasswordFieldDesktop, ChromiumShownThroughARelayNoListKnows) { expectNeverRead(chromiumThroughARelay()); }
TEST(PasswordFieldDesktop, Gtk3InAContainerWithAHostNameOfItsOwn) { expectNeverRead(gtkWindowInAContainer()); }
TEST(PasswordFieldDesktop, Gtk3WindowNamingAnotherHost) { expectNeverRead(gtkWindowNamingAnotherHost()); }
TEST(PasswordFieldDesktop, Firefox) {
    expectNeverRead(browserPage([](const QTemporaryDir& folder) { return startFirefox(folder, passwordPage); }));
}

// A drag in an empty GTK 4 password entry selects nothing. GTK 4 names neither the focused element nor
// the one under the pointer (its places are its window's): no copy key goes to the entry all the same,
// and the status says that nothing is selected.
TEST(SelectionProgramDesktop, ADragInAnEmptyPasswordFieldSendsNoKey) {
    SelectingProgram orvel;
    ASSERT_TRUE(orvel.ready());
    qputenv("ORVEL_TEXT_WINDOW_WINDOWED", "1");
    orveltest::NativeTextWindow window(Toolkit::Gtk4PasswordEntry, {QStringLiteral("Ordinary words here")}, QString());
    const std::optional<QPoint> origin =
        window.waitUntilShown() ? windowOrigin(orvel.display(), window.windowProcess()) : std::nullopt;
    ASSERT_TRUE(origin);
    const QRect field = window.passwordEntry().translated(*origin);
    dragFrom(field.topLeft() + QPoint(100, field.height() / 2), field.topLeft() + QPoint(160, field.height() / 2));
    EXPECT_TRUE(orvel.waitForRead().endsWith(
        tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::noText).message()));
}
