// The real program's --version and --help: printed and ended without a display, a session bus or a
// running copy to talk to.
#include <gtest/gtest.h>

#include <QProcess>

namespace velquin {
namespace {

TEST(ProgramInformationTest, VersionAndHelpPrintWithoutStartingTheInterface) {
    for (const char* option : {"--version", "--help"}) {
        SCOPED_TRACE(option);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // Any start of the interface or any look for a running copy would fail here.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) environment.remove(name);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
        // As root the program would say that it switches the web view's sandbox off.
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ORVEL_BINARY), {QString::fromLatin1(option)});
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QByteArray output = program.readAllStandardOutput();
        EXPECT_TRUE(output.startsWith(qstrcmp(option, "--version") == 0 ? "Orvel " : "Usage: orvel"))
            << output.constData();
        EXPECT_EQ(program.readAllStandardError(), QByteArray());
    }
}

}  // namespace
}  // namespace velquin
