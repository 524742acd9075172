// Reading the selections of programs we did not write: a web browser, a GTK text view and a
// terminal, each under a window manager as a user runs them.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <atspi/atspi-constants.h>

#include "base/task.h"
#include "platform/program_identity.h"
#include "platform/selected_text_reader.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/x11_windows.h"
#include "tests/support/gui/desktop_programs.h"

using namespace halvern;
using namespace halvern::testing;
using Case = tamsel::DirectSelectionFailure::Case;

namespace {

const QString firstParagraph = QStringLiteral("Opportunity cost is the next best alternative given up.");
// Where a click lands on the first word of the first paragraph of the page below, in kiosk mode.
const QPoint onFirstParagraph(130, 116);

// Two paragraphs at fixed places.
const QByteArray page =
    "<p style=\"top:100px\">Opportunity cost is the next best alternative given up.</p>"
    "<p style=\"top:200px\">The second paragraph holds more words to read.</p>";

bool ownsPrimary(qint32 pid) {
    return orveltest::waitUntil([pid] { return x11::windowBelongsToProcess(x11::primaryOwner(), pid); }, 5000);
}

}  // namespace

TEST(OtherProgramsDesktop, AParagraphOfChromiumIsReadOverTheAccessibilityBus) {
    const orveltest::X11Display display;
    const orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    QTemporaryDir folder;
    const auto chromium = startChromium(folder, page, true);
    ASSERT_TRUE(chromium && chromium->waitForActiveWindow(display, 30000));
    ASSERT_TRUE(accessibleExtents(chromium->pid(), ATSPI_ROLE_PARAGRAPH));

    // A triple click selects the paragraph; the pointer then rests right of its text, over the
    // document, whose selected text is one embedded-object character for the paragraph.
    clickAt(onFirstParagraph, 3);
    ASSERT_TRUE(ownsPrimary(chromium->pid()));
    const SelectionReadResult result = SelectedTextReader::read(chromium->pid(), QPointF(1000, 116));
    EXPECT_EQ(result.text, firstParagraph);
    EXPECT_TRUE(result.route.startsWith(QStringLiteral("AX"))) << result.route.toStdString();
}

// Without forced accessibility Chromium is on the bus with empty windows, and puts a password field's
// selection into PRIMARY in clear: its selection comes only through its own copy.
TEST(OtherProgramsDesktop, ChromiumWithoutForcedAccessibilityIsReadOnlyThroughItsOwnCopy) {
    const orveltest::X11Display display;
    const orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    QTemporaryDir folder;
    const auto chromium = startChromium(folder, page, false);
    ASSERT_TRUE(chromium && chromium->waitForActiveWindow(display, 30000));
    // The page has no accessible object to wait for: the triple click is made again until the page,
    // drawn by then, takes the selection.
    ASSERT_TRUE(orveltest::waitUntil([&] {
        clickAt(onFirstParagraph, 3);
        return ownsPrimary(chromium->pid());
    }));
    // Where the bus does not answer in time, its windows count as showing content; once it has answered:
    SelectedTextReader::Preparation prepared;
    ASSERT_TRUE(orveltest::waitUntil([&] {
        prepared = SelectedTextReader::prepare(chromium->pid(), onFirstParagraph);
        return prepared.complete && prepared.empty;
    }));
    try {
        SelectedTextReader::read(prepared);
        FAIL() << "a page was read over the accessibility bus";
    } catch (const SelectionReadFailure& failure) {
        EXPECT_EQ(failure.diagnostics(), SelectedTextReader::emptyOnTheBusDiagnostics);
    }
    // The person's clipboard is theirs again after each copy that the browser made, read after read;
    // and no read takes the person's clipboard for the browser's copy.
    for (int read = 0; read < 500; ++read) {
        SCOPED_TRACE(read);
        const QString mine = QStringLiteral("the user's text %1").arg(read);
        QGuiApplication::clipboard()->setText(mine);
        const SelectionReadResult result = base::waitForTask(SelectionClipboardReader::read(chromium->pid()));
        ASSERT_EQ(result.text, firstParagraph);
        ASSERT_EQ(result.route, SelectionClipboardReader::copyRoute);
        ASSERT_TRUE(x11::madeByThisProgram(x11::clipboardOwner()));
        ASSERT_EQ(QGuiApplication::clipboard()->text(), mine);
    }
}

// GTK prints a critical warning for every request of an interface its object lacks.
TEST(OtherProgramsDesktop, AGtkTextViewIsReadWithoutComplaints) {
    const orveltest::X11Display display;
    const orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    QTemporaryDir folder;
    QFile text(folder.filePath(QStringLiteral("text.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("Marginal utility falls as consumption rises\nsecond line\n");
    text.close();
    ExternalProgram zenity(QStringLiteral("zenity"),
                           {QStringLiteral("--text-info"), QStringLiteral("--editable"), QStringLiteral("--width=600"),
                            QStringLiteral("--height=300"), QStringLiteral("--filename=") + text.fileName()});
    ASSERT_TRUE(zenity.waitForActiveWindow(display, 15000));
    const std::optional<QRect> view = accessibleExtents(zenity.pid(), ATSPI_ROLE_TEXT);
    ASSERT_TRUE(view);

    const QPoint firstLine = view->topLeft() + QPoint(20, 10);
    clickAt(firstLine, 3);
    ASSERT_TRUE(ownsPrimary(zenity.pid()));
    const SelectionReadResult result = SelectedTextReader::read(zenity.pid(), firstLine);
    EXPECT_EQ(result.text, QStringLiteral("Marginal utility falls as consumption rises"));
    settle(200);
    EXPECT_FALSE(zenity.errors().contains(QStringLiteral("CRITICAL"))) << zenity.errors().toStdString();
}

// A terminal has no accessibility bridge: the read says so at once, and PRIMARY holds the words.
TEST(OtherProgramsDesktop, XtermIsNotOnTheBusAndGivesItsSelectionThroughPrimary) {
    const orveltest::X11Display display;
    const orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    ExternalProgram xterm(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("60x8+0+0"),
                                                    QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                    QStringLiteral("printf 'terminal words here\\n'; exec sleep 600")});
    const std::optional<QRect> window = xterm.waitForActiveWindow(display, 15000);
    ASSERT_TRUE(window);

    const QPoint firstWord = window->topLeft() + QPoint(12, 7);
    clickAt(firstWord, 2);
    ASSERT_TRUE(ownsPrimary(xterm.pid()));
    // The bus lists its programs within 0.12 s, or the read cannot tell that the terminal
    // is not among them: once it has listed them, the read says so without asking anything more.
    SelectedTextReader::Preparation prepared;
    ASSERT_TRUE(orveltest::waitUntil([&] {
        prepared = SelectedTextReader::prepare(xterm.pid(), firstWord);
        return prepared.complete && !prepared.application;
    }));
    try {
        SelectedTextReader::read(prepared);
        FAIL() << "a terminal was read over the accessibility bus";
    } catch (const SelectionReadFailure& failure) {
        EXPECT_EQ(failure.reason(), Case::unsupported);
        EXPECT_EQ(failure.diagnostics(), SelectedTextReader::notOnTheBusDiagnostics);
    }
    EXPECT_EQ(SelectionClipboardReader::primaryText(xterm.pid()).text, QStringLiteral("terminal"));
}

// A browser is one by the program it runs, under any window class and in one process; it belongs to
// this session while it is connected to this session's display, whatever its environment says.
TEST(OtherProgramsDesktop, ABrowserIsKnownByItsProgramAndItsSessionByItsDisplay) {
    const orveltest::X11Display display;
    const orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    EXPECT_FALSE(ProgramIdentity::webBrowserRunsHere());
    {
        QTemporaryDir folder;
        const auto chromium = startChromium(
            folder, page, false,
            {QStringLiteral("--class=Notes"), QStringLiteral("--single-process"), QStringLiteral("--no-zygote")});
        ASSERT_TRUE(chromium && chromium->waitForActiveWindow(display, 30000));
        EXPECT_EQ(ProgramIdentity::of(chromium->pid()), tamsel::SelectionReadRule::Program::webBrowser);
        EXPECT_TRUE(ProgramIdentity::webBrowserRunsHere());
        EXPECT_TRUE(ProgramIdentity::connectedToThisSession(chromium->pid()));
    }
    EXPECT_TRUE(orveltest::waitUntil([] { return !ProgramIdentity::webBrowserRunsHere(); }, 10000));

    // One on a display of another session. The display must not reset when its last client leaves:
    // the polls below connect and leave while the browser is still starting, and a browser that
    // connects during a reset gives up at once.
    QProcess other;
    other.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                         QStringLiteral("tcp"), QStringLiteral("-noreset")});
    ASSERT_TRUE(other.waitForReadyRead(10000));
    const QByteArray number = other.readAllStandardOutput().trimmed();
    QProcessEnvironment elsewhere = QProcessEnvironment::systemEnvironment();
    elsewhere.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(number));
    {
        QTemporaryDir folder;
        QProcess chromium;
        chromium.setProcessEnvironment(elsewhere);
        chromium.start(QStringLiteral("chromium"),
                       {QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                        QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
                        QStringLiteral("--user-data-dir=") + folder.path(), QStringLiteral("about:blank")});
        ASSERT_TRUE(chromium.waitForStarted(5000));
        EXPECT_TRUE(orveltest::waitUntil(
            [&] {
                return ProgramIdentity::of(qint32(chromium.processId())) ==
                       tamsel::SelectionReadRule::Program::webBrowser;
            },
            5000));
        // Its window is on the other display.
        EXPECT_TRUE(orveltest::waitUntil(
            [&] {
                QProcess search;
                search.setProcessEnvironment(elsewhere);
                search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--pid"),
                                                         QString::number(chromium.processId())});
                return search.waitForFinished(5000) && !search.readAllStandardOutput().trimmed().isEmpty();
            },
            20000));
        EXPECT_FALSE(ProgramIdentity::webBrowserRunsHere());
        chromium.terminate();
        chromium.waitForFinished(10000);
    }
    other.terminate();
    other.waitForFinished(5000);
}
