#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

#include <cerrno>
#include <thread>

#include "base/cancellation.h"
#include "base/task.h"
#include "platform/screen_text_capture.h"
#include "platform/tests/fixtures.h"

using namespace halvern;

namespace {

// A fake capture program: a shell script written for each test. The test program's temporary
// folder is its own, so leftover capture folders can be counted.
class ScreenTextCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(work_.isValid()); }

    static QString tempRoot() { return QDir::tempPath(); }
    QString file(const QString& name) const { return work_.path() + u'/' + name; }

    // Writes the script; it sees the output path as its last argument ("$4").
    QString program(const QString& body) const {
        const QString path = file(QStringLiteral("fake-capture"));
        EXPECT_TRUE(fixtures::writeFile(
            path, ("#!/bin/sh\necho \"$@\" > '" + file(QStringLiteral("arguments")) + "'\n" + body + "\n").toUtf8()));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QStringList leftovers() const {
        return QDir(tempRoot())
            .entryList({QStringLiteral("OrvelCapture-*")}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    CaptureFailure::Case failureOf(const QString& fake) const {
        try {
            ScreenTextCapture::captureBlocking({}, fake);
        } catch (const CaptureFailure& failure) {
            return failure.failureCase();
        }
        ADD_FAILURE() << "no CaptureFailure";
        return CaptureFailure::Case::unavailable;
    }

    QTemporaryDir work_;
};

TEST_F(ScreenTextCaptureTest, RecognisesTheCapturedPictureAndRemovesIt) {
    const QString picture = file(QStringLiteral("region.png"));
    ASSERT_TRUE(fixtures::textImage({QStringLiteral("Captured region text")}).save(picture, "PNG"));
    const QString fake = program("cp '" + picture + "' \"$4\"\nexit 0");
    const ImportedText result = base::waitForTask(ScreenTextCapture::recognizeSelectedRegion({}, fake));
    EXPECT_EQ(result.text, QStringLiteral("Captured region text"));
    EXPECT_EQ(result.note, QStringLiteral("已在本机识别你框选的截图；临时截图已清理。请核对数字和公式，再点击翻译 / 讲解 / 练习题发送。"));

    QFile arguments(file(QStringLiteral("arguments")));
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    const QStringList words = QString::fromUtf8(arguments.readAll()).trimmed().split(u' ');
    ASSERT_EQ(words.size(), 4);
    EXPECT_EQ(words.mid(0, 3), (QStringList{QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("png")}));
    EXPECT_TRUE(words[3].startsWith(tempRoot() + QStringLiteral("/OrvelCapture-")));
    EXPECT_TRUE(words[3].endsWith(QStringLiteral("/selection.png")));
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(ScreenTextCaptureTest, FailuresLeaveNoFolderBehind) {
    // Escape: no picture, whatever the status.
    EXPECT_EQ(failureOf(program("exit 0")), CaptureFailure::Case::noImage);
    EXPECT_EQ(failureOf(program("exit 1")), CaptureFailure::Case::noImage);
    // A picture, but the program failed.
    EXPECT_EQ(failureOf(program("printf x > \"$4\"\nexit 2")), CaptureFailure::Case::failed);
    EXPECT_EQ(failureOf(file(QStringLiteral("no-such-program"))), CaptureFailure::Case::unavailable);
    EXPECT_TRUE(leftovers().isEmpty());

    // A picture without text ends with the import's own failure.
    const QString blank = file(QStringLiteral("blank.png"));
    ASSERT_TRUE(fixtures::textImage({}).save(blank, "PNG"));
    try {
        ScreenTextCapture::captureBlocking({}, program("cp '" + blank + "' \"$4\""));
        ADD_FAILURE() << "no failure";
    } catch (const ImportFailure& failure) {
        EXPECT_EQ(failure.failureCase(), ImportFailure::Case::empty);
    }
    EXPECT_TRUE(leftovers().isEmpty());

    EXPECT_EQ(CaptureFailure(CaptureFailure::Case::noImage).message(),
              QStringLiteral("没有取得截图，可能已取消或尚未获得屏幕录制权限。可重试，或使用系统截图后点“粘贴图片”。"));
}

TEST_F(ScreenTextCaptureTest, CancellingWhileTheProgramRunsEndsIt) {
    const QString pidFile = file(QStringLiteral("pid"));
    // Writes a picture first: a cancelled capture is cancelled even when a picture exists.
    const QString fake = program("printf x > \"$4\"\necho $$ > '" + pidFile + ".part'\nmv '" + pidFile + ".part' '" +
                                 pidFile + "'\nsleep 30\nexit 0");
    base::CancellationSource source;
    qint64 pid = 0;
    std::thread canceller([&] {
        for (int i = 0; i < 500 && !QFileInfo::exists(pidFile); ++i) QThread::msleep(10);
        QFile pidText(pidFile);
        if (pidText.open(QIODevice::ReadOnly)) pid = pidText.readAll().trimmed().toLongLong();
        source.cancel();
    });
    EXPECT_THROW(base::waitForTask(ScreenTextCapture::recognizeSelectedRegion(source.token(), fake)),
                 base::CancellationError);
    canceller.join();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid_t(pid), 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(ScreenTextCaptureTest, CancelledBeforeTheStartRunsNothing) {
    const QString marker = file(QStringLiteral("ran"));
    const QString fake = program("touch '" + marker + "'");
    base::CancellationSource source;
    source.cancel();
    EXPECT_THROW(base::waitForTask(ScreenTextCapture::recognizeSelectedRegion(source.token(), fake)),
                 base::CancellationError);
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_TRUE(leftovers().isEmpty());
}


// Nothing of a cancelled capture lingers: a program that ignores the request to end is killed
// after a grace period, and helpers it started go with it, so the caller never waits for a
// selection nobody wants any more.
TEST_F(ScreenTextCaptureTest, CancellingEndsAProgramThatIgnoresTheRequest) {
    const QString pidFile = file(QStringLiteral("pid"));
    const QString publishPid = "echo $! > '" + pidFile + ".part'\nmv '" + pidFile + ".part' '" + pidFile + "'\n";
    const QStringList bodies{
        // The program itself ignores SIGTERM (and so does its helper).
        "trap '' TERM\nsleep 60 &\n" + publishPid + "wait\nexit 0",
        // The program ends on SIGTERM, its helper does not.
        "(trap '' TERM; exec sleep 60) &\n" + publishPid + "wait\nexit 0",
    };
    for (const QString& body : bodies) {
        QFile::remove(pidFile);
        const QString fake = program(body);
        base::CancellationSource source;
        std::thread canceller([&] {
            for (int i = 0; i < 500 && !QFileInfo::exists(pidFile); ++i) QThread::msleep(10);
            source.cancel();
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_THROW(base::waitForTask(ScreenTextCapture::recognizeSelectedRegion(source.token(), fake)),
                     base::CancellationError);
        canceller.join();
        EXPECT_LT(clock.elapsed(), 20000) << body.toStdString();
        QFile pidText(pidFile);
        ASSERT_TRUE(pidText.open(QIODevice::ReadOnly));
        const pid_t helper = pid_t(pidText.readAll().trimmed().toLongLong());
        ASSERT_GT(helper, 0);
        // The helper is no child of this process, so it may linger for a moment as a zombie.
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(helper));
            gone = !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
            if (!gone) QThread::msleep(20);
        }
        EXPECT_TRUE(gone) << body.toStdString();
        EXPECT_TRUE(leftovers().isEmpty());
    }
}

}  // namespace
