// Entry point of every test program: private home, XDG and temporary folders, so that no test
// touches the user's settings or data and test programs running side by side never see each
// other's temporary files, and a Qt application object for event loops and coroutines (a widget
// application in the GUI variant; offscreen unless a display is given, on a desktop screen with the
// two common laptop screens and a smaller one to its right, for the tests of how windows fit them;
// the first screen by name is the primary one). Programs that the test's programs leave behind
// become this process's children, and whatever of them is still there when the tests are done is
// ended before it ends: no test leaves a process to the next.
#ifdef ORVEL_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "base/task.h"
#include "tests/support/process_tree.h"

// LeakSanitizer's check, where the tests are built with it (a weak symbol: null otherwise).
extern "C" void __lsan_do_leak_check() __attribute__((weak));

int main(int argc, char** argv) {
    orveltest::adoptOrphans();
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toUtf8());
    // QDir::tempPath() and QTemporaryDir read TMPDIR from now on; `home` itself was made in the
    // shared one and removed from there.
    const QString temporary = home.path() + QStringLiteral("/tmp");
    if (!QDir().mkdir(temporary)) return 2;
    qputenv("TMPDIR", temporary.toUtf8());
    qunsetenv("ORVEL_DEFAULTS_FILE");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
#ifdef ORVEL_TEST_GUI
        const QString screens = home.path() + QStringLiteral("/screens.json");
        QFile file(screens);
        if (!file.open(QIODevice::WriteOnly) || file.write(R"({"screens": [
                {"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1200, "logicalDpi": 96},
                {"name": "laptop-1024x768", "x": 1920, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96},
                {"name": "laptop-1366x768", "x": 2944, "y": 0, "width": 1366, "height": 768, "logicalDpi": 96},
                {"name": "small-800x600", "x": 4310, "y": 0, "width": 800, "height": 600, "logicalDpi": 96}]})") < 0)
            return 2;
        file.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toUtf8());
#else
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    }

    int status = 0;
    {
#ifdef ORVEL_TEST_GUI
        QApplication app(argc, argv);
#else
        QCoreApplication app(argc, argv);
#endif
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
        // Blocking work a test left running (or whose completion never ran) ends its waits, as the
        // program's does when it ends.
        base::endBlockingWaits();
    }
    // After the application object, which ends the helpers of its own (a web view's) as it goes.
    orveltest::endDescendants();
    // Leaks are looked for now, while the thread pool's threads are parked, as the program does: at
    // exit the destructors of Qt's globals end them, and a thread ending while the leak checker reads
    // it crashes the checker now and then.
    if (__lsan_do_leak_check) __lsan_do_leak_check();
    return status;
}
