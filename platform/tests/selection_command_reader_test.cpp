// The study-selection command's decisions over what PRIMARY held, and the entry's refusal method.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include "core/direct_selection_rules.h"
#include "core/study.h"
#include "platform/program_identity.h"
#include "platform/selection_clipboard_reader.h"
#include "platform/selection_command_reader.h"
#include "platform/x11_windows.h"

using namespace halvern;

namespace {

using Outcome = SelectionCommandReader::Outcome;
using Rule = tamsel::SelectionReadRule;

Rule::Evidence owned(std::optional<QString> text, Rule::Program program = Rule::Program::ordinary) {
    Rule::Evidence evidence;
    evidence.primaryOwned = true;
    evidence.primary = std::move(text);
    evidence.program = program;
    evidence.readFailure = tamsel::DirectSelectionFailure::Case::unsupported;
    return evidence;
}

// A command line as /proc keeps it: each argument ended by a NUL byte.
QByteArray commandLine(std::initializer_list<QByteArray> arguments) {
    QByteArray line;
    for (const QByteArray& argument : arguments) line += argument + '\0';
    return line;
}

}  // namespace

// What the rule refuses comes back as the command's refusal; what it allows is checked as the entry
// checks a text.
TEST(SelectionCommandReader, DecidesWhatIsHandedOver) {
    struct Row {
        const char* name;
        Rule::Evidence evidence;
        Outcome outcome;
        std::optional<ShellPointer::Access> shell = std::nullopt;  // where the extension stands
    };
    const QString longText = QString(tamsel::SourceText::limit + 1, u'a');
    Rule::Evidence unnamed = owned(std::nullopt);
    unnamed.sourceKnown = false;
    unnamed.webBrowserRunsHere = true;
    Rule::Evidence onBus = owned(QStringLiteral("hunter2"), Rule::Program::webBrowser);
    onBus.sourceOnBus = true;
    Rule::Evidence remote = owned(std::nullopt);
    remote.sourceKnown = false;
    remote.sourceRemote = true;
    const QList<Row> rows{
        {"nobody owns PRIMARY", {}, SelectionRefusal::noSelection},
        {"owner gave no text", owned(std::nullopt), SelectionRefusal::noSelection},
        {"only white space", owned(QStringLiteral(" \n\t")), SelectionRefusal::noSelection},
        {"a word, trimmed", owned(QStringLiteral("  terminal \n")), QStringLiteral("terminal")},
        {"GTK's bullets", owned(QStringLiteral("●●●●●●")), SelectionRefusal::protectedField},
        {"a browser's selection the bus does not show", owned(QStringLiteral("hunter2"), Rule::Program::webBrowser),
         SelectionRefusal::unconfirmedBrowserField},
        {"LibreOffice's", owned(QStringLiteral("hunter2"), Rule::Program::clearPrimary),
         SelectionRefusal::unconfirmedProgramField},
        {"the compositor's, nothing tells whose, a browser runs", unnamed, SelectionRefusal::unknownSource},
        {"the same on GNOME, its extension off", unnamed, SelectionRefusal::unknownSource,
         ShellPointer::Access::disabled},
        {"the same on another desktop", unnamed, SelectionRefusal::unknownSourceOutsideGnome,
         ShellPointer::Access::notGnome},
        {"the same, the extension on", unnamed, SelectionRefusal::unknownSourceUntold, ShellPointer::Access::active},
        {"a browser whose page is on the bus, not showing it", onBus, SelectionRefusal::unshownWebSelection},
        {"a client the display server does not name", remote, SelectionRefusal::remoteSource},
        {"a program whose process has ended", owned(QStringLiteral("words"), Rule::Program::unknown),
         SelectionRefusal::unknownProgram},
        {"Qt's web engine's selection the bus does not show", owned(QStringLiteral("hunter2"), Rule::Program::webView),
         SelectionRefusal::unconfirmedWebViewField},
        {"no letter: still text here", owned(QStringLiteral("3 + 4")), QStringLiteral("3 + 4")},
        {"over the entry's limit", owned(longText), SelectionRefusal::tooLong},
        {"at the entry's limit", owned(longText.left(tamsel::SourceText::limit)),
         longText.left(tamsel::SourceText::limit)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SelectionCommandReader::decide(row.evidence, row.shell), row.outcome);
    }
}

TEST(SelectionCommandReader, RefusalsTravelByNameAndShowTheirMessage) {
    QList<SelectionRefusal> shown;
    SelectionServiceProvider provider{[](const SelectionRequest&) {}};
    provider.setRefusalHandler([&shown](const RefusedSelection& refused) { shown.append(refused.refusal); });
    const QList<std::pair<SelectionRefusal, QString>> rows{
        {SelectionRefusal::noSelection,
         QStringLiteral("没有读到所选文字：请先选中文字，再按快捷键或运行 orvel --study-selection。")},
        {SelectionRefusal::protectedField,
         tamsel::DirectSelectionFailure(tamsel::DirectSelectionFailure::Case::protectedField).message()},
        {SelectionRefusal::tooLong, tamsel::StudyError(tamsel::StudyError::Case::inputTooLong).message()},
        {SelectionRefusal::unconfirmedBrowserField,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedBrowserFieldWithoutCopy).message()},
        {SelectionRefusal::unknownSource, message(SelectionRefusal::unknownSource)},
        {SelectionRefusal::unconfirmedProgramField,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedProgramField).message()},
        {SelectionRefusal::remoteSource,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::remoteSource).message()},
        {SelectionRefusal::unconfirmedWebViewField,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unconfirmedWebViewFieldWithoutCopy).message()},
        {SelectionRefusal::unknownProgram,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unknownProgram).message()},
        {SelectionRefusal::unshownWebSelection,
         CompatibilityReadFailure(CompatibilityReadFailure::Case::unshownWebSelectionWithoutCopy).message()},
        {SelectionRefusal::unknownSourceOutsideGnome, message(SelectionRefusal::unknownSourceOutsideGnome)},
        {SelectionRefusal::unknownSourceUntold, message(SelectionRefusal::unknownSourceUntold)},
    };
    for (const auto& [refusal, text] : rows) {
        EXPECT_EQ(selectionRefusalFromRawValue(rawValue(refusal)), refusal);
        EXPECT_EQ(message(refusal), text);
        EXPECT_EQ(provider.ReportUnreadableSelection(rawValue(refusal)), QString());
    }
    EXPECT_EQ(provider.ReportUnreadableSelection(QStringLiteral("NoSelection")),
              SelectionFailure(SelectionFailure::Case::unknownAction).message());
    EXPECT_EQ(shown, (QList<SelectionRefusal>{
                         SelectionRefusal::noSelection, SelectionRefusal::protectedField, SelectionRefusal::tooLong,
                         SelectionRefusal::unconfirmedBrowserField, SelectionRefusal::unknownSource,
                         SelectionRefusal::unconfirmedProgramField, SelectionRefusal::remoteSource,
                         SelectionRefusal::unconfirmedWebViewField, SelectionRefusal::unknownProgram,
                         SelectionRefusal::unshownWebSelection, SelectionRefusal::unknownSourceOutsideGnome,
                         SelectionRefusal::unknownSourceUntold}));
}

// Programs are told by what they run and map, and the session's display by its sockets.
TEST(ProgramIdentity, KnowsProgramsByTheirFilesAndDisplaysByTheirSockets) {
    using Program = tamsel::SelectionReadRule::Program;
    const struct {
        const char* name;
        QString file;
        QByteArray maps;
        QStringList children;
        Program program;
    } rows[] = {
        {"Chromium under any class", QStringLiteral("/usr/lib/chromium/chromium"), {}, {}, Program::webBrowser},
        {"an Electron program",
         QStringLiteral("/opt/Notes/notes"),
         "7f00 r--p /opt/Notes/icudtl.dat\n",
         {},
         Program::webBrowser},
        {"Gecko",
         QStringLiteral("/usr/lib/thunderbird/thunderbird"),
         "7f00 r-xp /usr/lib/thunderbird/libxul.so\n",
         {},
         Program::webView},
        {"Firefox by its file", QStringLiteral("/usr/lib/firefox-esr/firefox-esr"), {}, {}, Program::webView},
        {"WebKit linked, no page shown",
         QStringLiteral("/usr/bin/zenity"),
         "7f00 r-xp /usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.0.so.37\n",
         {QStringLiteral("zenity")},
         Program::ordinary},
        {"WebKit with its page process",
         QStringLiteral("/usr/bin/epiphany-browser-x"),
         "7f00 r-xp /usr/lib/x86_64-linux-gnu/libwebkit2gtk-4.1.so.0\n",
         {QStringLiteral("WebKitWebProcess")},
         Program::webView},
        {"Qt's web engine showing a page",
         QStringLiteral("/usr/bin/notes"),
         "7f00 r-xp /usr/lib/x86_64-linux-gnu/libQt6WebEngineCore.so.6.4.2\n"
         "7f00 r--p /usr/share/qt6/resources/qtwebengine_resources.pak\n",
         {QStringLiteral("QtWebEngineProcess")},
         Program::webView},
        {"Qt's web engine linked, no page shown",
         QStringLiteral("/usr/bin/notes"),
         "7f00 r-xp /usr/lib/x86_64-linux-gnu/libQt6WebEngineCore.so.6.4.2\n",
         {},
         Program::ordinary},
        {"LibreOffice", QStringLiteral("/usr/lib/libreoffice/program/soffice.bin"), {}, {}, Program::clearPrimary},
        {"LibreOffice's library",
         QStringLiteral("/opt/office/program/oosplash"),
         "7f00 r-xp /opt/office/program/libmergedlo.so\n",
         {},
         Program::clearPrimary},
        {"a terminal",
         QStringLiteral("/usr/bin/xterm"),
         "7f00 r-xp /usr/lib/x86_64-linux-gnu/libX11.so.6\n",
         {},
         Program::ordinary},
        {"a process that has ended, or another user's", QString(), {}, {}, Program::unknown},
        {"ssh, forwarding other machines' windows", QStringLiteral("/usr/bin/ssh"), {}, {}, Program::forwarder},
        {"a nested X server", QStringLiteral("/usr/bin/Xephyr"), {}, {}, Program::forwarder},
        {"GNOME's remote desktop viewer", QStringLiteral("/usr/bin/gnome-connections"), {}, {}, Program::forwarder},
        {"VirtualBox's machine window", QStringLiteral("/usr/lib/virtualbox/VirtualBoxVM"), {}, {}, Program::forwarder},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ProgramIdentity::classify(row.file, {}, row.maps, row.children), row.program);
    }
    // An interpreter's program is the script it runs, after the interpreter's own options.
    for (const auto& [command, program] : std::initializer_list<std::pair<QByteArray, Program>>{
             {commandLine({"/usr/bin/python3", "/usr/bin/xpra", "attach"}), Program::forwarder},
             {commandLine({"/usr/bin/python3", "-I", "/usr/bin/virt-manager"}), Program::forwarder},
             {commandLine({"python3", "-W", "ignore", "-Bm", "xpra.scripts.main"}), Program::forwarder},
             {commandLine({"python3", "-c", "import sys", "/usr/bin/xpra"}), Program::ordinary},
             {commandLine({"/usr/bin/python3", "/tmp/relay.py", ":5"}), Program::ordinary}})
        EXPECT_EQ(ProgramIdentity::classify(QStringLiteral("/usr/bin/python3.11"), command, {}, {}), program)
            << command.constData();
    EXPECT_EQ(ProgramIdentity::sessionSocketNames(":12.0", "wayland-1", "/run/user/1000"),
              (QStringList{QStringLiteral("@/tmp/.X11-unix/X12"), QStringLiteral("/tmp/.X11-unix/X12"),
                           QStringLiteral("/run/user/1000/wayland-1")}));
    EXPECT_EQ(ProgramIdentity::sessionSocketNames("unix:3", "/tmp/w/wayland-9", {}),
              (QStringList{QStringLiteral("@/tmp/.X11-unix/X3"), QStringLiteral("/tmp/.X11-unix/X3"),
                           QStringLiteral("/tmp/w/wayland-9")}));
    EXPECT_TRUE(ProgramIdentity::sessionSocketNames("otherhost:0", {}, {}).isEmpty());
    // A window's WM_CLIENT_MACHINE names this host by its short or its full name.
    for (const auto& [machine, host, same] :
         std::initializer_list<std::tuple<QByteArray, QByteArray, bool>>{{"DESK.example.org", "desk", true},
                                                                         {"desk", "desk.example.org", true},
                                                                         {"desk.other.org", "desk.example.org", false},
                                                                         {"", "desk", false}}) {
        EXPECT_EQ(x11::namesHost(machine, host), same) << machine.constData() << " / " << host.constData();
    }
}

// A window of the process the display server names was drawn elsewhere where it names a process that
// is none of that process's ids (a relay's client, whatever the relay is called), or, naming none,
// another host. A container's own host name on its own process's window is no other machine.
TEST(X11Windows, TellsWindowsDrawnElsewhereByTheProcessTheyName) {
    const QList<qint32> relay{3195};
    const QList<qint32> flatpak{41234, 2};  // the host's id, then the one inside its own namespace
    const struct {
        const char* name;
        x11::WindowClaims window;
        QList<qint32> identifiers;
        bool hostOfItsOwn;  // the process runs in a UTS namespace of its own
        bool elsewhere;
    } rows[] = {
        {"the named process's own window", {3195, "desk"}, relay, false, false},
        {"a program behind a relay", {3350, "desk"}, relay, false, true},
        {"a container's own host name, its own pid namespace", {2, "boxhost"}, flatpak, true, false},
        {"a container's program behind a relay", {2, "boxhost"}, relay, true, true},
        {"another host on the process's own window", {3195, "far.example.org"}, relay, false, true},
        {"no process id, another host", {std::nullopt, "far.example.org"}, relay, false, true},
        {"no process id, this host by its full name", {std::nullopt, "desk.example.org"}, relay, false, false},
        {"an ended process: its window's host counts", {3350, "far.example.org"}, {}, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(x11::drawnElsewhere(row.window, row.identifiers, "desk", row.hostOfItsOwn), row.elsewhere);
    }
    EXPECT_EQ(ProgramIdentity::namespaceIdentifiers(41234, "Name:\tpython3\nNSpid:\t41234\t2\nNSpgid:\t41234\t2\n"),
              flatpak);
    EXPECT_EQ(ProgramIdentity::namespaceIdentifiers(3195, "Name:\tpython3\nPid:\t3195\n"), relay);
    EXPECT_TRUE(ProgramIdentity::namespaceIdentifiers(3195, {}).isEmpty());
    // The host-name namespaces themselves: none of this process's own, one of an unshare --uts child's (in a
    // user namespace of its own, which anyone may make; a bare UTS namespace needs the super-user).
    EXPECT_FALSE(ProgramIdentity::hasHostOfItsOwn(qint32(QCoreApplication::applicationPid())));
    QProcess contained;
    contained.start(QStringLiteral("unshare"),
                    {QStringLiteral("--map-root-user"), QStringLiteral("--uts"), QStringLiteral("sh"),
                     QStringLiteral("-c"), QStringLiteral("echo in; exec sleep 60")});
    ASSERT_TRUE(contained.waitForReadyRead(10000)) << contained.readAllStandardError().constData();
    EXPECT_TRUE(ProgramIdentity::hasHostOfItsOwn(qint32(contained.processId())));
}
