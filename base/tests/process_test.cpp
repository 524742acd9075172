#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <thread>

#include "base/process.h"

using namespace base;

TEST(Process, CapturesOutputAndExitCodeWithErrorsSilenced) {
    const ProcessResult result = runProcess(QStringLiteral("/bin/sh"),
                                            {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")});
    EXPECT_EQ(result.output, QByteArray("out\n"));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_FALSE(result.crashed);
}

TEST(Process, BoundsTheOutputAndReportsAFailedLaunch) {
    ProcessOptions options;
    options.maxOutputBytes = 1000;
    try {
        runProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("yes")}, options);
        FAIL() << "no error";
    } catch (const ProcessError& error) {
        EXPECT_EQ(error.kind(), ProcessError::Kind::outputTooLarge);
    }
    ProcessOptions exact;
    exact.maxOutputBytes = 4;
    EXPECT_EQ(runProcess(QStringLiteral("/bin/printf"), {QStringLiteral("abcd")}, exact).output, QByteArray("abcd"));
    try {
        runProcess(QStringLiteral("/nonexistent/program"), {});
        FAIL() << "no error";
    } catch (const ProcessError& error) {
        EXPECT_EQ(error.kind(), ProcessError::Kind::failedToStart);
    }
}

TEST(Process, CancellationEndsTheProgramAndWaitsForIt) {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    CancellationSource cancel;
    std::thread canceller([&] {
        while (!QFileInfo::exists(pidFile)) QThread::msleep(5);
        QThread::msleep(50);
        cancel.cancel();
    });
    ProcessOptions options;
    options.cancellation = cancel.token();
    EXPECT_THROW(
        runProcess(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QStringLiteral("echo $$ > '%1'; exec sleep 30").arg(pidFile)}, options),
        CancellationError);
    canceller.join();
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = file.readAll().trimmed().toInt();
    ASSERT_GT(pid, 0);
    // The child was reaped: the process id no longer exists (not even as a zombie).
    EXPECT_EQ(::kill(pid, 0), -1);

    ProcessOptions already;
    CancellationSource done;
    done.cancel();
    already.cancellation = done.token();
    EXPECT_THROW(runProcess(QStringLiteral("/bin/true"), {}, already), CancellationError);
}

// Every way of ending a program early ends its whole process group, also a program and helpers
// that ignore SIGTERM, and reaps the program before the call returns.
TEST(Process, EndingEarlyKillsTheGroupAfterTheGrace) {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    const QString script = QStringLiteral("trap '' TERM; (trap '' TERM; exec sleep 60) & echo $! > '%1.part'; "
                                          "mv '%1.part' '%1'; wait").arg(pidFile);
    enum class Ending { cancelled, timedOut };
    for (const Ending ending : {Ending::cancelled, Ending::timedOut}) {
        QFile::remove(pidFile);
        CancellationSource cancel;
        ProcessOptions options;
        options.killGrace = std::chrono::milliseconds(100);
        if (ending == Ending::cancelled) options.cancellation = cancel.token();
        else options.timeout = std::chrono::milliseconds(300);
        std::thread canceller([&] {
            while (!QFileInfo::exists(pidFile)) QThread::msleep(5);
            if (ending == Ending::cancelled) cancel.cancel();
        });
        try {
            runProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, options);
            ADD_FAILURE() << "no error";
        } catch (const CancellationError&) {
            EXPECT_EQ(ending, Ending::cancelled);
        } catch (const ProcessError& error) {
            EXPECT_EQ(ending, Ending::timedOut);
            EXPECT_EQ(error.kind(), ProcessError::Kind::timedOut);
        }
        canceller.join();
        QFile file(pidFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const pid_t helper = file.readAll().trimmed().toInt();
        ASSERT_GT(helper, 0);
        // The helper is no child of this process: it may linger for a moment as a zombie.
        auto gone = [helper] {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(helper));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        };
        for (int i = 0; i < 500 && !gone(); ++i) QThread::msleep(10);
        EXPECT_TRUE(gone());
    }
}
