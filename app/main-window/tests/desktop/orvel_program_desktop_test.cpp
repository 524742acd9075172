// The real program in a desktop session: one running copy, the URL hand-over, closing and
// signals, as the desktop and a person meet them.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QSysInfo>
#include <QUuid>

#include <csignal>
#include <utility>

#include "base/defaults_store.h"
#include "core/study.h"
#include "platform/tests/fixtures.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/file_mode.h"

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

// The first-setup step opens the select-anywhere settings over the main window, which cannot be
// closed while its sheet is up: the sheet is closed as a person would, by its window's close button.
bool closeFirstSetupSheet(const X11Display& display, const OrvelProgram& orvel) {
    if (!waitUntil([&] { return orvel.state().value(QStringLiteral("showDirectSelectionSettings")).toBool(); }) ||
        !waitUntil([&] { return display.windowsOf(orvel.pid()).size() >= 2; }))
        return false;
    for (const auto& window : display.windowsOf(orvel.pid()))
        if (window.title != QStringLiteral("Orvel")) display.requestClose(window.id);
    return waitUntil([&] { return !orvel.state().value(QStringLiteral("showDirectSelectionSettings")).toBool(); });
}

// Where the history page's rows in sight go wrong, as a screen reader finds them (each row, then
// its texts and buttons): a row's button outside its row, or rows over one another. Empty when
// none does, or when no row shows yet.
QString misplacedHistoryRows(const orveltest::AccessibilityBus& bus, qint64 pid, const QStringList& rowButtons) {
    QString row;
    QRect place;
    QString faults;
    for (const auto& object : bus.objectsOf(pid)) {
        const auto extents = object.showing ? bus.extents(object) : std::nullopt;
        if (!extents) continue;
        if (object.role == QStringLiteral("list item")) {
            if (!row.isEmpty() && place.top() < extents->top() && place.bottom() >= extents->top())
                faults += QStringLiteral("\"%1\" %2 px over the next row\n")
                              .arg(row)
                              .arg(place.bottom() + 1 - extents->top());
            row = object.name;
            place = *extents;
        } else if (object.role == QStringLiteral("push button") && rowButtons.contains(object.name) && !row.isEmpty() &&
                   !place.contains(*extents)) {
            faults += QStringLiteral("\"%1\" has %2 outside it\n").arg(row, object.name);
        }
    }
    return faults;
}

QVariantMap flagsOnly(QVariantMap state) {
    state.remove(QStringLiteral("status"));
    state.remove(QStringLiteral("page"));
    return state;
}

}  // namespace

// The main window maps at its ideal size; a second launch ends at once and brings the first copy
// forward, also after its window was closed, which leaves the program running while the tray
// shows its icon; SIGTERM ends it normally.
TEST(OrvelProgramDesktop, OneCopyComesForwardAndClosingKeepsItRunning) {
    X11Display display;
    ASSERT_TRUE(display.isOpen());
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    orveltest::TrayHost tray(display);
    ASSERT_TRUE(tray.isRunning());

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
    // The first-setup step brings the main window forward with the selection settings: only after
    // it may another window take the front.
    ASSERT_TRUE(closeFirstSetupSheet(display, orvel));

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
        QStringLiteral("orvel-formac://reader#top"), QStringLiteral("orvel-formac://direct?"),
        QStringLiteral("orvel-formac://reader/x"),   QStringLiteral("orvel-formac://READER"),
        QStringLiteral("orvel-formac://Direct"),     QStringLiteral("orvel-formac:reader"),
        QStringLiteral("orvel-formac:///"),          QStringLiteral("orvel-formac://unknown"),
        QStringLiteral("ORVEL-FORMAC://reader"),     QStringLiteral("https://reader"),
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

// Another desktop session of the same person (a bus of its own that starts no services) on the
// same data folder: a copy started there, plainly or for a selection, says why it does not open, in
// the interface language, and changes no data; once the first copy is killed the next start runs.
TEST(OrvelProgramDesktop, ACopyInAnotherSessionLeavesTheDataFolderAlone) {
    X11Display display;
    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("bus.conf"));
    ASSERT_TRUE(
        fixtures::writeFile(config, "<busconfig><type>session</type><listen>unix:tmpdir=" + folder.path().toUtf8() +
                                        "</listen><auth>EXTERNAL</auth><policy context='default'><allow "
                                        "send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/><allow "
                                        "own='*'/></policy></busconfig>"));
    QProcess bus;  // ended with the test
    bus.start(QStringLiteral("dbus-daemon"), {"--config-file=" + config, "--nofork", "--print-address=1"});
    ASSERT_TRUE(bus.waitForStarted() && waitUntil([&] { return bus.canReadLine(); }));
    const QString otherSession = QString::fromUtf8(bus.readLine()).trimmed();
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("zh-Hans"));
    ASSERT_TRUE(orvel.presetGuestHistory(QJsonDocument::fromJson(R"([{"id": "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0",
        "createdAt": 786000000, "mode": "explain", "source": "Scarcity", "answer": "An answer.", "isNote": true}])")
                                             .array()));
    ASSERT_TRUE(orvel.start() && orvel.waitForWindow(display));
    // Every file of the settings and data folders with a checksum of its bytes.
    const auto folders = [&orvel] {
        QProcess sums;
        sums.setWorkingDirectory(orvel.homePath());
        sums.start(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("find .config .local/share -type f -exec sha256sum {} + | sort")});
        return sums.waitForFinished() ? sums.readAllStandardOutput().toStdString() : std::string("not summed");
    };
    const auto inOtherSession = [&](OrvelProgram& copy) {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"})
            copy.setEnvironmentValue(QLatin1String(name), orvel.environment().value(QLatin1String(name)));
        copy.setEnvironmentValue(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), otherSession);
    };
    const QList<std::tuple<QString, QStringList, QString>> rows{
        {"zh-Hans", {}, "Orvel 已在另一个桌面会话中打开"},
        {"en", {"--study-selection"}, "Orvel is already open in another desktop session"},
        {"fr", {}, "Orvel est déjà ouvert dans une autre session de bureau"}};
    for (const auto& [language, arguments, told] : rows) {
        SCOPED_TRACE(language.toStdString());
        orvel.presetReturningPerson(language);
        // The one-time profile is due again: a copy that starts would write it.
        base::DefaultsStore(orvel.defaultsFile()).remove(tamsel::BudgetProfile::versionKey);
        const std::string stored = folders();
        OrvelProgram other;
        inOtherSession(other);
        ASSERT_TRUE(other.start(arguments));
        const auto notice = other.waitForWindow(display);
        ASSERT_TRUE(notice && notice->title.startsWith(told)) << other.standardError().toStdString();
        QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
        display.grab(*notice).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/data-folder-in-use-%1.png").arg(language));
        display.requestClose(notice->id);
        EXPECT_TRUE(waitUntil([&] { return !other.isRunning(); })) << "closing the notice ends the copy";
        EXPECT_TRUE(other.standardError().contains("the data folder (host " + QSysInfo::machineHostName().toUtf8()));
        EXPECT_EQ(folders(), stored);
    }
    // A copy that was killed leaves the lock's file behind, not the lock.
    ::kill(pid_t(orvel.pid()), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !orvel.isRunning(); }));
    OrvelProgram next;
    inOtherSession(next);
    ASSERT_TRUE(next.start());
    const auto window = next.waitForWindow(display);
    EXPECT_TRUE(window && window->geometry.width() == kIdealWidth) << "the main window, not the notice";
    EXPECT_EQ(next.stop(SIGTERM), std::optional<int>(0));
}

// Each of the termination signals ends the program through its normal quit: status 0, and the
// staged copy of a PDF waiting for its page range is gone.
TEST(OrvelProgramDesktop, TerminationSignalsQuitNormallyAndRemoveStagedCopies) {
    X11Display display;
    QTemporaryDir files;
    const QString pdf = files.filePath(QStringLiteral("five.pdf"));
    QList<fixtures::Page> pages;
    for (int page = 1; page <= 5; ++page)
        pages.append(fixtures::TextPage{QStringLiteral("Page %1 of the notes.").arg(page)});
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

namespace {

// Whether process `pid` has a file mapped whose name contains `library`.
bool hasLoaded(qint64 pid, const QString& library) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && QString::fromUtf8(maps.readAll()).contains(library);
}

}  // namespace

// The PDF and recognition libraries stay out of the start: the program opens their module beside
// itself when the first file is imported.
TEST(OrvelProgramDesktop, DocumentLibrariesLoadWithTheFirstImport) {
    X11Display display;
    QTemporaryDir files;
    const QString pdf = files.filePath(QStringLiteral("notes.pdf"));
    fixtures::writePdf(pdf, {fixtures::TextPage{QStringLiteral("Scarcity and choice.")}});
    OrvelProgram orvel;
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    for (const char* library : {"liborvel-documents", "libpoppler", "libtesseract"})
        EXPECT_FALSE(hasLoaded(orvel.pid(), QString::fromLatin1(library))) << library;

    ASSERT_TRUE(orvel.callHook(QStringLiteral("ImportFile"), {pdf}));
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("pdfChoice")).toBool(); }));
    for (const char* library : {"liborvel-documents", "libpoppler", "libtesseract"})
        EXPECT_TRUE(hasLoaded(orvel.pid(), QString::fromLatin1(library))) << library;
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// The formula view's web engine stays out of the start too, and so does the OpenGL context it
// needs (Mesa's software renderer under Xvfb): both come with the first formula.
TEST(OrvelProgramDesktop, FormulaEngineStaysOutOfTheStart) {
    X11Display display;
    OrvelProgram orvel;
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    for (const char* library : {"liborvel-formulas", "libQt6WebEngineCore", "libQt6Quick", "libLLVM", "libGLX_mesa"})
        EXPECT_FALSE(hasLoaded(orvel.pid(), QString::fromLatin1(library))) << library;
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

namespace {

// A Word document with one paragraph, zipped by the zip program.
bool writeDocx(const QString& path, const QString& folder, const QByteArray& paragraph) {
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
        "<w:p><w:r><w:t>" +
        paragraph + "</w:t></w:r></w:p></w:body></w:document>";
    QDir().mkpath(folder + QStringLiteral("/word"));
    if (!fixtures::writeFile(folder + QStringLiteral("/word/document.xml"), document)) return false;
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start(QStringLiteral("zip"),
              {QStringLiteral("-q"), QStringLiteral("-X"), path, QStringLiteral("word/document.xml")});
    return zip.waitForFinished(10000) && zip.exitCode() == 0;
}

QList<fixtures::Page> textPages(int count) {
    QList<fixtures::Page> pages;
    for (int page = 1; page <= count; ++page)
        pages.append(fixtures::TextPage{QStringLiteral("Page %1: opportunity cost and scarcity.").arg(page)});
    return pages;
}

}  // namespace

// The import check of automated runs: each kind of file through the tutor import and, for text and
// PDF, through the main window's import, with its marker lines, status and no staged copy left.
TEST(OrvelProgramDesktop, ImportCheckPrintsItsMarkers) {
    QTemporaryDir files;
    const auto path = [&files](const char* name) { return files.filePath(QString::fromLatin1(name)); };
    const QByteArray text = "Opportunity cost is the next best alternative.";
    ASSERT_TRUE(fixtures::writeFile(path("notes.txt"), text + "\n"));
    ASSERT_TRUE(fixtures::writeFile(path("empty.txt"), ""));
    fixtures::writePdf(path("five.pdf"), textPages(5));
    fixtures::writePdf(path("two.pdf"), textPages(2));
    fixtures::writePdf(path("one.pdf"), textPages(1));
    ASSERT_TRUE(writeDocx(path("lesson.docx"), path("docx"), text));
    ASSERT_TRUE(fixtures::textImage({QStringLiteral("Opportunity cost")}).save(path("scan.png")));

    OrvelProgram orvel;
    const auto check = [&orvel](const QString& file) {
        const OrvelProgram::Run run = orvel.run({QStringLiteral("--qa-smoke-import"), file});
        EXPECT_TRUE(run.finished) << file.toStdString();
        EXPECT_EQ(orvel.tempEntries(QStringLiteral("OrvelImport-")), QStringList()) << file.toStdString();
        EXPECT_EQ(orvel.tempEntries(QStringLiteral("OrvelReaderImport-")), QStringList()) << file.toStdString();
        return run;
    };
    const auto lines = [](const OrvelProgram::Run& run) {
        return QString::fromUtf8(run.standardOutput).split(u'\n', Qt::SkipEmptyParts);
    };

    const OrvelProgram::Run txt = check(path("notes.txt"));
    EXPECT_EQ(txt.exitCode, 0);
    EXPECT_EQ(lines(txt),
              (QStringList{"ORVEL_SMOKE_IMPORT_READY txt 46 1", "ORVEL_SMOKE_LESSONARY_IMPORT_READY txt 46"}));

    // Pages 1 and 2 only, in both imports: five pages read like their first two, one page less.
    const OrvelProgram::Run five = check(path("five.pdf"));
    const OrvelProgram::Run two = check(path("two.pdf"));
    const OrvelProgram::Run one = check(path("one.pdf"));
    EXPECT_EQ(five.exitCode, 0) << five.standardOutput.toStdString();
    ASSERT_EQ(lines(five).size(), 2) << five.standardOutput.toStdString();
    EXPECT_TRUE(lines(five).at(0).startsWith(QStringLiteral("ORVEL_SMOKE_IMPORT_READY pdf ")));
    EXPECT_TRUE(lines(five).at(1).startsWith(QStringLiteral("ORVEL_SMOKE_LESSONARY_IMPORT_READY pdf ")));
    EXPECT_EQ(five.standardOutput, two.standardOutput);
    EXPECT_NE(five.standardOutput, one.standardOutput);

    const OrvelProgram::Run docx = check(path("lesson.docx"));
    EXPECT_EQ(docx.exitCode, 0) << docx.standardOutput.toStdString();
    EXPECT_EQ(lines(docx), QStringList{"ORVEL_SMOKE_IMPORT_READY docx 46 1"});

    for (const char* refused : {"scan.png", "empty.txt", "missing.txt"}) {
        const OrvelProgram::Run run = check(path(refused));
        EXPECT_EQ(run.exitCode, 2) << refused;
        ASSERT_EQ(lines(run).size(), 1) << refused;
        EXPECT_TRUE(lines(run).at(0).startsWith(QStringLiteral("ORVEL_SMOKE_IMPORT_FAILED "))) << refused;
    }
}

namespace {

int runTool(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = {}) {
    QProcess tool;
    if (!environment.isEmpty()) tool.setProcessEnvironment(environment);
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(120000) || tool.exitStatus() != QProcess::NormalExit) return -1;
    return tool.exitCode();
}

}  // namespace

// `cmake --install` gives the desktop a valid entry, description and icons; the installed copy
// knows itself as installed, and the desktop's URL opener reaches it.
TEST(OrvelProgramDesktop, InstalledCopyIsValidAndTakesItsURLs) {
    X11Display display;
    OrvelProgram orvel;
    const QString prefix = orvel.homePath() + QStringLiteral("/.local");
    ASSERT_EQ(runTool(QStringLiteral(ORVEL_CMAKE), {QStringLiteral("--install"), QStringLiteral(ORVEL_BUILD_DIR),
                                                    QStringLiteral("--prefix"), prefix}),
              0);
    const QString applications = prefix + QStringLiteral("/share/applications");
    EXPECT_EQ(
        runTool(QStringLiteral("desktop-file-validate"), {applications + QStringLiteral("/com.orvel.formac.desktop")}),
        0);
    EXPECT_EQ(runTool(QStringLiteral("appstreamcli"),
                      {QStringLiteral("validate"), QStringLiteral("--no-net"),
                       prefix + QStringLiteral("/share/metainfo/com.orvel.formac.metainfo.xml")}),
              0);
    for (const char* size : {"16x16", "22x22", "24x24", "32x32", "48x48", "64x64", "128x128", "256x256"})
        EXPECT_TRUE(
            QFile::exists(prefix + QStringLiteral("/share/icons/hicolor/%1/apps/com.orvel.formac.png").arg(size)))
            << size;
    EXPECT_TRUE(QFile::exists(prefix + QStringLiteral("/share/icons/hicolor/scalable/apps/com.orvel.formac.svg")));
    ASSERT_EQ(runTool(QStringLiteral("update-desktop-database"), {applications}), 0);

    orvel.setBinary(prefix + QStringLiteral("/bin/orvel"));
    orvel.setEnvironmentValue(QStringLiteral("PATH"),
                              prefix + QStringLiteral("/bin:") + orvel.environment().value(QStringLiteral("PATH")));
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    EXPECT_TRUE(orvel.state().value(QStringLiteral("installedCopy")).toBool());
    EXPECT_FALSE(orvel.state().value(QStringLiteral("showCaptureGuide")).toBool());

    EXPECT_EQ(runTool(QStringLiteral("xdg-open"), {QStringLiteral("orvel-formac://reader")}, orvel.environment()), 0);
    EXPECT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("showCaptureGuide")).toBool(); }));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));

    // The installed copy reads PDFs through the module installed with it.
    const QString pdf = orvel.homePath() + QStringLiteral("/notes.pdf");
    fixtures::writePdf(pdf, textPages(1));
    const OrvelProgram::Run imported = orvel.run({QStringLiteral("--qa-smoke-import"), pdf});
    EXPECT_EQ(imported.exitCode, 0) << imported.standardOutput.toStdString() << imported.standardError.toStdString();
}

// The first-setup step runs while the stored setup version is 5 or less: it forgets the saved
// window frame (the window opens at its ideal size), switches automatic selection off and opens
// the select-anywhere settings; afterwards only "--setup" opens them, and the frame is kept (ended
// on the coach page, the one the window had before the coach page enlarged it).
TEST(OrvelProgramDesktop, FirstSetupStep) {
    struct Row {
        const char* name;
        int storedVersion;
        QStringList arguments;
        int width;
        bool opensSettings;
        bool endsOnCoachPage = false;
    };
    const QList<Row> rows{
        {"stored 5", 5, {}, kIdealWidth, true},
        {"stored 6", 6, {}, 900, false},
        {"stored 6 with --setup", 6, {QStringLiteral("--setup")}, 900, true},
        {"stored 6, ended on the coach page", 6, {}, 900, false, true},
    };
    X11Display display;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        OrvelProgram orvel;
        {
            base::DefaultsStore defaults(orvel.defaultsFile());
            defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), row.storedVersion);
            defaults.setBool(QStringLiteral("nativeAutoSelectEnabled"), true);
            defaults.setString(QStringLiteral("NSWindow Frame Orvel.workspace"), QStringLiteral("50 60 900 700"));
        }
        ASSERT_TRUE(orvel.start(row.arguments));
        const auto window = orvel.waitForWindow(display);
        ASSERT_TRUE(window.has_value());
        EXPECT_EQ(window->geometry.width(), row.width);
        EXPECT_TRUE(waitUntil([&] {
            return orvel.state().value(QStringLiteral("showDirectSelectionSettings")).toBool() == row.opensSettings;
        }));
        if (row.endsOnCoachPage) {
            ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QStringLiteral("coach")}));
            EXPECT_TRUE(waitUntil([&] {
                const auto shown = orvel.waitForWindow(display);
                return shown && shown->geometry.width() > 1000;
            })) << "the coach page did not enlarge the window";
        }
        EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));

        const base::DefaultsStore after(orvel.defaultsFile());
        EXPECT_EQ(after.integer(QStringLiteral("nativeSetupFlowVersion")), 6);
        EXPECT_EQ(after.boolean(QStringLiteral("nativeAutoSelectEnabled")), row.storedVersion == 6);
        // The frame the window had when the program ended is kept for the next start.
        EXPECT_EQ(after.string(QStringLiteral("NSWindow Frame Orvel.workspace")).split(u' ').value(2),
                  QString::number(row.width));
    }
}

// The first-setup sheet, asked for while the main window is still being shown, is a dialog of
// that window: the window manager keeps it with the window, it sits centred over the window once
// the manager has placed both, and it offers no maximising.
TEST(OrvelProgramDesktop, FirstSetupSheetIsADialogCentredOverTheWindow) {
    X11Display display;
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    OrvelProgram orvel;
    ASSERT_TRUE(orvel.start());
    std::optional<X11Display::Window> window;
    std::optional<X11Display::Window> sheet;
    const auto look = [&] {
        window.reset();
        sheet.reset();
        for (const auto& shown : display.windowsOf(orvel.pid()))
            (shown.title == QStringLiteral("Orvel") ? window : sheet) = shown;
        return window && sheet;
    };
    ASSERT_TRUE(waitUntil([&] {
        return look() && display.atomNames(sheet->id, "_NET_WM_ALLOWED_ACTIONS").contains(u"_NET_WM_ACTION_CLOSE");
    })) << "no first-setup sheet";

    EXPECT_EQ(display.transientFor(sheet->id), std::optional<X11Display::WindowId>(window->id));
    EXPECT_TRUE(waitUntil([&] {
        return look() && (window->geometry.center() - sheet->geometry.center()).manhattanLength() <= 2;
    })) << "window "
        << window->geometry.center().x() << "," << window->geometry.center().y() << " sheet "
        << sheet->geometry.center().x() << "," << sheet->geometry.center().y();
    const QStringList actions = display.atomNames(sheet->id, "_NET_WM_ALLOWED_ACTIONS");
    EXPECT_FALSE(actions.contains(u"_NET_WM_ACTION_MAXIMIZE_HORZ")) << actions.join(u' ').toStdString();
    EXPECT_FALSE(actions.contains(u"_NET_WM_ACTION_MAXIMIZE_VERT"));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// On a laptop's 1024x768 screen the window opens inside the screen's area, and stays there through
// the compact selection view (its buttons on the screen, under the sheet its request opens), the full
// window it returns to and the coach page; the frame kept for the next start lies inside it too.
TEST(OrvelProgramDesktop, OnASmallScreenTheWindowStaysOnIt) {
    X11Display display;
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.size(), QSize(1024, 768));
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("en"));
    ASSERT_TRUE(orvel.start());
    // The window manager's frame (found by a point of its title bar) and the client area inside it.
    const auto onScreen = [&] {
        const auto window = orvel.waitForWindow(display);
        if (!window) return false;
        const auto frame = display.topLevelAt(window->geometry.topLeft() + QPoint(2, -3));
        return frame && frame->contains(window->geometry) && screen.contains(*frame);
    };
    EXPECT_TRUE(waitUntil(onScreen)) << "the window opened past the screen's edge";

    ASSERT_TRUE(orvel.callHook(QStringLiteral("ReceiveSelection"),
                               {QStringLiteral("Opportunity cost"), QStringLiteral("explain")}));
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("selectionPresentation")).toBool(); }));
    for (const char* name : {"Full window", "Regenerate", "Copy"}) {
        EXPECT_TRUE(waitUntil([&] {
            const auto button = accessibility.find(orvel.pid(), QString::fromUtf8(name), QStringLiteral("push button"));
            const auto box = button ? accessibility.extents(*button) : std::nullopt;
            return box && screen.contains(*box);
        })) << name
            << " is not on the screen";
    }
    EXPECT_TRUE(onScreen());
    const auto full = accessibility.find(orvel.pid(), QStringLiteral("Full window"), QStringLiteral("push button"));
    ASSERT_TRUE(full && accessibility.press(*full));
    ASSERT_TRUE(waitUntil([&] { return !orvel.state().value(QStringLiteral("selectionPresentation")).toBool(); }));
    EXPECT_TRUE(waitUntil(onScreen)) << "the full window reaches past the screen's edge";

    for (const char* page : {"coach", "home"}) {
        ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QString::fromLatin1(page)}));
        ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("page")) == QLatin1String(page); }));
        EXPECT_TRUE(waitUntil(onScreen)) << page;
    }
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    const QStringList kept =
        base::DefaultsStore(orvel.defaultsFile()).string(QStringLiteral("NSWindow Frame Orvel.workspace")).split(u' ');
    ASSERT_EQ(kept.size(), 4);
    EXPECT_TRUE(screen.contains(QRect(kept[0].toInt(), kept[1].toInt(), kept[2].toInt(), kept[3].toInt())))
        << kept.join(u' ').toStdString();
}

// The select-anywhere settings over a window low on a 1280x1024 screen, with the advanced group
// open: every button of its footer is on the screen.
TEST(OrvelProgramDesktop, SelectionSettingsKeepEveryButtonOnTheScreen) {
    X11Display display;
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_EQ(screen.size(), QSize(1280, 1024));
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("zh-Hans"));
    base::DefaultsStore(orvel.defaultsFile())
        .setString(QStringLiteral("NSWindow Frame Orvel.workspace"), QStringLiteral("100 300 1040 800"));
    ASSERT_TRUE(orvel.start({QStringLiteral("--setup")}));
    std::optional<orveltest::AccessibilityBus::Object> advanced;
    ASSERT_TRUE(waitUntil([&] {
        return (advanced = accessibility.find(orvel.pid(), QString::fromUtf8("高级设置与故障诊断"))).has_value();
    }));
    ASSERT_TRUE(accessibility.press(*advanced));
    ASSERT_TRUE(waitUntil([&] {
        const auto inside = accessibility.find(orvel.pid(), QString::fromUtf8("正在运行的程序"));
        return inside && inside->showing;
    })) << "the advanced group did not open";
    for (const char* name : {"复制诊断", "开始划词", "完成"}) {
        EXPECT_TRUE(waitUntil([&] {
            const auto button = accessibility.find(orvel.pid(), QString::fromUtf8(name), QStringLiteral("push button"));
            const auto box = button ? accessibility.extents(*button) : std::nullopt;
            return box && screen.contains(*box);
        })) << name;
    }
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// A settings file that does not parse is kept: moved aside unchanged (0600) before the program's
// first write, and the main window says where it went.
TEST(OrvelProgramDesktop, UnreadableSettingsAreSetAsideAndSaid) {
    X11Display display;
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    OrvelProgram orvel;
    const QByteArray cutShort = R"({"orvelAIConsentPolicyVersion":{"type":"int","value":1},"nativeSetupFl)";
    const QDir folder = QFileInfo(orvel.defaultsFile()).absoluteDir();
    ASSERT_TRUE(QDir().mkpath(folder.path()));
    {
        QFile file(orvel.defaultsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(cutShort);
    }
    ASSERT_TRUE(orvel.start());
    const auto window = orvel.waitForWindow(display);
    ASSERT_TRUE(window.has_value());
    QStringList moved;
    ASSERT_TRUE(waitUntil([&] {
        moved = folder.entryList({QStringLiteral("defaults.json.unreadable-*")}, QDir::Files);
        return moved.size() == 1;
    }));
    QFile kept(folder.filePath(moved.first()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), cutShort);
    EXPECT_EQ(testsupport::fileMode(kept.fileName()), 0600);
    EXPECT_TRUE(waitUntil([&] {
        for (const auto& object : accessibility.objectsOf(orvel.pid()))
            if (object.showing && object.name.contains(moved.first())) return true;
        return false;
    })) << "no banner names "
        << moved.first().toStdString();
    // The settings read as new: the first-setup sheet comes up over the banner.
    EXPECT_TRUE(closeFirstSetupSheet(display, orvel));
    EXPECT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).size() == 1; }));
    QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
    display.grab(*window).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/settings-set-aside-banner.png"));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

using orveltest::HostedStubProgram;

// Each time the workspace comes on screen a held session is confirmed with the account service:
// at start, and again when the closed window is brought back.
TEST(OrvelProgramDesktop, HeldSessionIsRefreshedWhenTheWorkspaceComesOnScreen) {
    QTemporaryDir files;
    const QString script = files.filePath(QStringLiteral("replies.json"));
    ASSERT_TRUE(fixtures::writeFile(script, R"([{"path": "/v1/account", "status": 200, "repeat": true,
        "body": {"id": "account_1234", "kind": "email", "email_verified": true, "identity_verified": false}}])"));
    HostedStubProgram stub(script);
    ASSERT_FALSE(stub.baseUrl().isEmpty());

    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));

    X11Display display;
    orveltest::TrayHost tray(display);
    ASSERT_TRUE(tray.isRunning());
    OrvelProgram orvel;
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    ASSERT_TRUE(orvel.start());
    const auto window = orvel.waitForWindow(display);
    ASSERT_TRUE(window.has_value());
    EXPECT_TRUE(waitUntil([&] { return stub.count("GET", "/v1/account") == 1; }));
    ASSERT_TRUE(closeFirstSetupSheet(display, orvel));

    display.requestClose(window->id);
    ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).isEmpty(); }));
    EXPECT_EQ(orvel.run({}).exitCode, 0);
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());
    EXPECT_TRUE(waitUntil([&] { return stub.count("GET", "/v1/account") == 2; }));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// A screen reader finds the sidebar's rows and the coach page's back button by their names, and
// pressing them moves between the pages; its toggle of a mode segment sets the mode.
TEST(OrvelProgramDesktop, PagesAreReachedThroughAccessibleNames) {
    X11Display display;
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    OrvelProgram orvel;
    {
        base::DefaultsStore defaults(orvel.defaultsFile());
        defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QStringLiteral("en"));
    }
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value());

    const auto page = [&orvel] { return orvel.state().value(QStringLiteral("page")).toString(); };
    const auto press = [&](const char* name) {
        std::optional<orveltest::AccessibilityBus::Object> object;
        EXPECT_TRUE(waitUntil([&] {
            return (object = accessibility.find(orvel.pid(), QString::fromUtf8(name))).has_value();
        })) << name;
        return object && accessibility.press(*object);
    };
    for (const char* name : {"Select", "Selection Settings", "Account", "Settings"}) {
        EXPECT_TRUE(waitUntil([&] { return accessibility.find(orvel.pid(), QString::fromUtf8(name)).has_value(); }))
            << name;
    }

    // The history and coach pages are built when first opened, and open with their content.
    const auto shows = [&](const char* name) {
        return waitUntil([&] { return accessibility.find(orvel.pid(), QString::fromUtf8(name)).has_value(); });
    };
    ASSERT_TRUE(press("History"));
    EXPECT_TRUE(waitUntil([&] { return page() == QLatin1String("history"); }));
    EXPECT_TRUE(shows("Notes only"));
    ASSERT_TRUE(press("AI tutor"));
    EXPECT_TRUE(waitUntil([&] { return page() == QLatin1String("coach"); }));
    EXPECT_TRUE(shows("Import")) << "the tutor below the coach page's header";
    EXPECT_FALSE(accessibility.find(orvel.pid(), QStringLiteral("Settings")).has_value())
        << "no sidebar on the coach page";
    ASSERT_TRUE(press("Lessonary"));
    EXPECT_TRUE(waitUntil([&] { return page() == QLatin1String("home"); }));
    // A mode segment chosen by a screen reader's toggle is the mode asked for.
    ASSERT_TRUE(press("Translate"));
    EXPECT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("mode")) == QLatin1String("translate"); }));
    // The sidebar's switch turned by a screen reader's toggle turns automatic selection on.
    const auto selectionEnabled = [&orvel] { return orvel.state().value(QStringLiteral("selectionEnabled")).toBool(); };
    EXPECT_FALSE(selectionEnabled());
    const auto selectionSwitch = accessibility.find(orvel.pid(), QStringLiteral("Select"), QStringLiteral("check box"));
    ASSERT_TRUE(selectionSwitch && accessibility.press(*selectionSwitch, QStringLiteral("Toggle")));
    EXPECT_TRUE(waitUntil(selectionEnabled));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// A full history (500 records with answers of 2,040 characters) opens on the history page while
// the program goes on answering on the session bus; its rows read as their answer and buttons, each
// row holding its buttons from the first show, and Escape leaves the page opened from the sidebar.
TEST(OrvelProgramDesktop, AFullHistoryOpensWhileTheProgramAnswers) {
    X11Display display;
    orveltest::AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("en"));
    QJsonArray records;
    const QString answer = QStringLiteral("Light scatters in the air. ").repeated(80).left(2040);
    for (int i = 0; i < 500; ++i)
        records.append(QJsonObject{{QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                                   {QStringLiteral("createdAt"), 786000000.0 + i},
                                   {QStringLiteral("mode"), QStringLiteral("explain")},
                                   {QStringLiteral("source"), QStringLiteral("Source %1").arg(i)},
                                   {QStringLiteral("answer"), answer},
                                   {QStringLiteral("isNote"), false}});
    const QString folder = orvel.homePath() + QStringLiteral("/.local/share/com.orvel.formac");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/learning-history.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(records).toJson(QJsonDocument::Compact));
    file.close();

    ASSERT_TRUE(orvel.start());
    auto window = orvel.waitForWindow(display);
    ASSERT_TRUE(window.has_value());
    // At a size where the list's scroll bar makes the first rows' answers a line longer.
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowsize"), QString::number(window->id),
                                                            QStringLiteral("1024"), QStringLiteral("768")}),
              0);
    ASSERT_TRUE(waitUntil([&] {
        window = orvel.waitForWindow(display);
        return window && window->geometry.size() == QSize(1024, 768);
    }));
    std::optional<orveltest::AccessibilityBus::Object> history;
    ASSERT_TRUE(
        waitUntil([&] { return (history = accessibility.find(orvel.pid(), QStringLiteral("History"))).has_value(); }));
    ASSERT_TRUE(accessibility.press(*history));
    std::string failure;
    EXPECT_TRUE(orvel.showsWhileAnswering(
        [&] {
            return accessibility.find(orvel.pid(), QStringLiteral("Source 499")) ||
                   accessibility.find(orvel.pid(), QStringLiteral("Source 0"));
        },
        failure))
        << failure;
    EXPECT_TRUE(accessibility.find(orvel.pid(), answer));
    EXPECT_TRUE(accessibility.find(orvel.pid(), QStringLiteral("Continue learning"), QStringLiteral("push button")));
    // Once what shows stays the same (the rows are measured a few at a time).
    QString misplaced;
    QString before = QStringLiteral("-");
    waitUntil([&] {
        misplaced = misplacedHistoryRows(accessibility, orvel.pid(), {"Continue learning", "Save note", "Delete"});
        return std::exchange(before, misplaced) == misplaced;
    });
    EXPECT_TRUE(misplaced.isEmpty()) << misplaced.toStdString();
    ASSERT_TRUE(orveltest::focusWindow(window->id));
    ASSERT_TRUE(orveltest::pressKeys(QStringLiteral("Escape")));
    EXPECT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("page")) == QLatin1String("home"); }));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// Under a Chinese system locale, whose fonts draw ’ “ ” full-width, Latin text keeps the Latin
// punctuation of a Latin font (the advances are at 100 pixels), and Chinese text its Chinese font;
// in every interface language the home page shows whole, footer included, at the size the window
// opens at (taller lines do not make it scroll), and so it does when a person picks another
// language while the window has that size.
TEST(OrvelProgramDesktop, LatinTextDrawsLatinPunctuationUnderAChineseLocale) {
    X11Display display;
    orveltest::AccessibilityBus accessibility;
    const struct {
        const char* opened;
        const char* picked;
    } rows[] = {{"fr", nullptr}, {"en", nullptr}, {"zh-Hans", nullptr}, {"en", "zh-Hans"}};
    for (const auto& row : rows) {
        const char* language = row.picked ? row.picked : row.opened;
        SCOPED_TRACE(std::string(row.opened) + " " + language);
        OrvelProgram orvel;
        orvel.presetReturningPerson(QString::fromLatin1(row.opened));
        orvel.setEnvironmentValue(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
        ASSERT_TRUE(orvel.start());
        ASSERT_TRUE(orvel.waitForWindow(display).has_value());
        if (row.picked) {
            ASSERT_TRUE(orvel.callHook(QStringLiteral("SetInterfaceLanguage"), {QString::fromLatin1(row.picked)}));
        }
        if (QLatin1String(language) == QLatin1String("fr")) {
            const auto advance = [state = orvel.state()](const char* text) {
                return state.value(QStringLiteral("advance ") + QString::fromUtf8(text)).toDouble();
            };
            EXPECT_LT(advance("Qu’aimeriez") - advance("Quaimeriez"), 50);
            EXPECT_LT(advance("said “yes” now") - advance("said yes now"), 120);
            EXPECT_GT(advance("国字"), 190);
        }
        const QString privacy =
            QString::fromUtf8(QLatin1String(language) == QLatin1String("zh-Hans") ? "隐私与 AI"
                              : QLatin1String(language) == QLatin1String("en")    ? "Privacy & AI"
                                                                                  : "Confidentialité et IA");
        EXPECT_TRUE(waitUntil([&] { return accessibility.find(orvel.pid(), privacy).has_value(); }, 10000))
            << "no footer on the home page";
        // A picked language fits the window to it a moment after its texts.
        EXPECT_TRUE(waitUntil([&] {
            for (const auto& object : accessibility.objectsOf(orvel.pid()))
                if (object.role == QLatin1String("scroll bar") && object.showing) return false;
            return true;
        })) << "the home page scrolls at the size the window opens at";
        EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    }
}
