// The real program in a desktop session: one running copy, the URL hand-over, closing and
// signals, as the desktop and a person meet them.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <csignal>

#include "platform/tests/fixtures.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::WindowManager;
using orveltest::X11Display;

namespace {

constexpr int kIdealWidth = 1040;
constexpr int kIdealHeight = 800;

bool isActive(const X11Display& display, qint64 pid) {
    const auto active = display.activeWindow();
    if (!active) return false;
    for (const auto& window : display.windowsOf(pid))
        if (window.id == *active) return true;
    return false;
}

// A window of another program, in front.
class OtherWindow {
public:
    OtherWindow() {
        process_.start(QStringLiteral(ORVEL_SELECTION_TARGET), {});
        process_.waitForStarted(5000);
    }
    ~OtherWindow() {
        process_.kill();
        process_.waitForFinished(2000);
    }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
};

QVariantMap flagsOnly(QVariantMap state) {
    state.remove(QStringLiteral("status"));
    state.remove(QStringLiteral("page"));
    return state;
}

}  // namespace

// The main window maps at its ideal size; a second launch ends at once and brings the first copy
// forward, also after its window was closed, which leaves the program running; SIGTERM ends it
// normally.
TEST(OrvelProgramDesktop, OneCopyComesForwardAndClosingKeepsItRunning) {
    X11Display display;
    ASSERT_TRUE(display.isOpen());
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());

    OrvelProgram orvel;
    ASSERT_TRUE(orvel.start());
    const auto window = orvel.waitForWindow(display);
    ASSERT_TRUE(window.has_value()) << orvel.standardError().toStdString();
    EXPECT_EQ(window->geometry.width(), kIdealWidth);
    // The menu bar sits above the content.
    EXPECT_GE(window->geometry.height(), kIdealHeight);
    EXPECT_LE(window->geometry.height(), kIdealHeight + 40);
    EXPECT_EQ(window->title, QStringLiteral("Orvel"));
    ASSERT_TRUE(waitUntil([&] { return isActive(display, orvel.pid()); }));

    OtherWindow other;
    ASSERT_TRUE(waitUntil([&] { return !display.windowsOf(other.pid()).isEmpty() && isActive(display, other.pid()); }));
    const OrvelProgram::Run second = orvel.run({});
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0) << second.standardError.toStdString();
    EXPECT_TRUE(waitUntil([&] { return isActive(display, orvel.pid()); })) << "the first copy did not come forward";

    display.requestClose(orvel.waitForWindow(display)->id);
    ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).isEmpty(); }));
    EXPECT_TRUE(orvel.isRunning());
    const OrvelProgram::Run reopen = orvel.run({});
    EXPECT_EQ(reopen.exitCode, 0);
    EXPECT_TRUE(orvel.waitForWindow(display, 10000).has_value()) << "the closed window did not come back";
    EXPECT_TRUE(waitUntil([&] { return isActive(display, orvel.pid()); }));

    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// URLs reach the running copy through the same hand-over and are acted on only when they are
// exactly "orvel-formac://reader" or "orvel-formac://direct" (with an empty path or "/").
TEST(OrvelProgramDesktop, HandedOverURLsFollowTheExactRules) {
    X11Display display;
    OrvelProgram orvel;
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    const QVariantMap untouched = flagsOnly(orvel.state());
    ASSERT_FALSE(untouched.isEmpty()) << "no test hook";

    const QStringList ignored{
        QStringLiteral("orvel-formac://reader?x=1"), QStringLiteral("orvel-formac://reader?"),
        QStringLiteral("orvel-formac://reader#top"),  QStringLiteral("orvel-formac://direct?"),
        QStringLiteral("orvel-formac://reader/x"),    QStringLiteral("orvel-formac://READER"),
        QStringLiteral("orvel-formac://Direct"),      QStringLiteral("orvel-formac:reader"),
        QStringLiteral("orvel-formac:///"),           QStringLiteral("orvel-formac://unknown"),
        QStringLiteral("ORVEL-FORMAC://reader"),      QStringLiteral("https://reader"),
    };
    for (const QString& url : ignored) {
        const OrvelProgram::Run launch = orvel.run({url});
        EXPECT_EQ(launch.exitCode, 0) << url.toStdString();
        EXPECT_EQ(flagsOnly(orvel.state()), untouched) << url.toStdString();
    }

    struct Row {
        QString url;
        bool captureGuide;
        bool selectionSettings;
    };
    // Each sheet closes the other one first, so every row shows its own effect.
    const QList<Row> acted{
        {QStringLiteral("orvel-formac://reader"), true, false},
        {QStringLiteral("orvel-formac://direct"), false, true},
        {QStringLiteral("orvel-formac://reader/"), true, false},
        {QStringLiteral("orvel-formac://direct/"), false, true},
    };
    for (const Row& row : acted) {
        const OrvelProgram::Run launch = orvel.run({row.url});
        EXPECT_EQ(launch.exitCode, 0) << row.url.toStdString();
        const QVariantMap state = orvel.state();
        EXPECT_EQ(state.value(QStringLiteral("showCaptureGuide")).toBool(), row.captureGuide) << row.url.toStdString();
        EXPECT_EQ(state.value(QStringLiteral("showDirectSelectionSettings")).toBool(), row.selectionSettings)
            << row.url.toStdString();
    }
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// Each of the termination signals ends the program through its normal quit: status 0, and the
// staged copy of a PDF waiting for its page range is gone.
TEST(OrvelProgramDesktop, TerminationSignalsQuitNormallyAndRemoveStagedCopies) {
    X11Display display;
    QTemporaryDir files;
    const QString pdf = files.filePath(QStringLiteral("five.pdf"));
    QList<fixtures::Page> pages;
    for (int page = 1; page <= 5; ++page) pages.append(fixtures::TextPage{QStringLiteral("Page %1 of the notes.").arg(page)});
    fixtures::writePdf(pdf, pages);

    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        OrvelProgram orvel;
        ASSERT_TRUE(orvel.start());
        ASSERT_TRUE(orvel.waitForWindow(display).has_value());
        ASSERT_TRUE(orvel.callHook(QStringLiteral("ImportFile"), {pdf}));
        ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("pdfChoice")).toBool(); }));
        EXPECT_EQ(orvel.tempEntries(QStringLiteral("OrvelReaderImport-")).size(), 1);

        EXPECT_EQ(orvel.stop(signal), std::optional<int>(0)) << orvel.standardError().toStdString();
        EXPECT_EQ(orvel.tempEntries(QStringLiteral("OrvelReaderImport-")), QStringList());
        EXPECT_EQ(orvel.tempEntries(QStringLiteral("OrvelImport-")), QStringList());
    }
}
