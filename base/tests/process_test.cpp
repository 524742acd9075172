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
    EXPECT_THROW(runProcess(QStringLiteral("/bin/sh"),
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
