#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

#include "platform/accessibility_repair.h"
#include "platform/tests/fixtures.h"

using namespace halvern;
using Copy = AccessibilityRepair::RunningCopy;

namespace {

template <typename F>
RepairFailure::Case failureOf(F&& call) {
    try {
        call();
    } catch (const RepairFailure& failure) {
        return failure.failureCase();
    }
    ADD_FAILURE() << "no RepairFailure";
    return RepairFailure::Case::reset;
}

// A home folder with an installed program (a small script that records how it was started).
class AccessibilityRepairTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/.local/bin")));
        ASSERT_TRUE(QDir().mkpath(home() + QStringLiteral("/Downloads")));
        const QByteArray script = "#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(home()) + "/started'\n";
        for (const QString& path : {installed(), home() + QStringLiteral("/Downloads/orvel")}) {
            ASSERT_TRUE(fixtures::writeFile(path, script));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }
    QString home() const { return home_.path(); }
    QString installed() const { return home() + QStringLiteral("/.local/bin/orvel"); }
    Copy copyAt(const QString& path, const QString& identifier = AccessibilityRepair::bundleIdentifier) const {
        return {identifier, path, home()};
    }

    QTemporaryDir home_;
};

TEST_F(AccessibilityRepairTest, OnlyTheInstalledCopyWithItsIdentifierCounts) {
    EXPECT_TRUE(AccessibilityRepair::isInstalledCopy(copyAt(installed())));
    EXPECT_EQ(AccessibilityRepair::installedAppPath(copyAt(installed())), QFileInfo(installed()).canonicalFilePath());

    const Copy downloaded = copyAt(home() + QStringLiteral("/Downloads/orvel"));
    EXPECT_FALSE(AccessibilityRepair::isInstalledCopy(downloaded));
    EXPECT_EQ(AccessibilityRepair::installedAppPath(downloaded), installed());
    EXPECT_EQ(failureOf([&] { AccessibilityRepair::resetOwnAuthorization(downloaded); }), RepairFailure::Case::wrongCopy);
    EXPECT_EQ(failureOf([&] { AccessibilityRepair::restartInstalledCopy(downloaded); }), RepairFailure::Case::wrongCopy);
    QThread::msleep(300);
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("/started")));

    EXPECT_FALSE(AccessibilityRepair::isInstalledCopy(copyAt(installed(), QStringLiteral("org.example.other"))));
    EXPECT_FALSE(AccessibilityRepair::isInstalledCopy(copyAt(installed(), QString())));

    // The places `cmake --install` and the Debian package put the program, and some that are not.
    const struct {
        const char* path;
        bool installed;
    } places[] = {
        {"/usr/bin/orvel", true},         {"/usr/local/bin/orvel", true}, {"/usr/local/bin/orvel-formac", true},
        {"/usr/bin/orvel-formac", false}, {"/usr/games/orvel", false},    {"/opt/orvel/orvel", false}};
    for (const auto& place : places)
        EXPECT_EQ(AccessibilityRepair::isInstalledCopy(copyAt(QString::fromLatin1(place.path))), place.installed)
            << place.path;
}

TEST_F(AccessibilityRepairTest, LinksAreResolvedOnBothSides) {
    // The program really lives elsewhere and is reached through a link at the install location.
    QTemporaryDir elsewhere;
    const QString real = elsewhere.filePath(QStringLiteral("orvel"));
    ASSERT_TRUE(QFile::rename(installed(), real));
    ASSERT_TRUE(QFile::link(real, installed()));
    EXPECT_TRUE(AccessibilityRepair::isInstalledCopy(copyAt(real)));
    EXPECT_TRUE(AccessibilityRepair::isInstalledCopy(copyAt(installed())));

    // A home folder reached through a link.
    QTemporaryDir links;
    const QString linkedHome = links.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QFile::link(home(), linkedHome));
    EXPECT_TRUE(AccessibilityRepair::isInstalledCopy({AccessibilityRepair::bundleIdentifier, real, linkedHome}));
}

TEST_F(AccessibilityRepairTest, ResetFailureCarriesTheDesktopsAnswer) {
    const QDBusConnection nowhere = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
    try {
        AccessibilityRepair::resetOwnAuthorization(copyAt(installed()), nowhere);
        ADD_FAILURE() << "no failure";
    } catch (const RepairFailure& failure) {
        EXPECT_EQ(failure.failureCase(), RepairFailure::Case::reset);
        EXPECT_FALSE(failure.output().isEmpty());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));

    const QString fixed = QStringLiteral("系统没有完成授权重置。请在桌面的辅助功能设置中关闭再打开辅助技术，然后重新启动正在运行的这一份 Orvel。\n");
    const QString output = QString(590, u'a') + QString(20, u'学');
    EXPECT_EQ(RepairFailure(RepairFailure::Case::reset, output).message(), fixed + output.left(600));
    EXPECT_EQ(RepairFailure(RepairFailure::Case::reset).message(), fixed);
}

TEST_F(AccessibilityRepairTest, RestartWaitsForTheOldProcessThenStartsWithSetup) {
    QProcess old;
    old.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(old.waitForStarted());
    const qint64 script = AccessibilityRepair::restartInstalledCopy(copyAt(installed()), old.processId());
    ASSERT_GT(script, 0);
    QThread::msleep(700);
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("/started")));  // still waiting

    old.kill();
    old.waitForFinished();
    for (int i = 0; i < 100 && !QFileInfo::exists(home() + QStringLiteral("/started")); ++i) QThread::msleep(20);
    QFile started(home() + QStringLiteral("/started"));
    ASSERT_TRUE(started.open(QIODevice::ReadOnly));
    EXPECT_EQ(started.readAll().trimmed(), QByteArray("--setup"));
}

TEST_F(AccessibilityRepairTest, RestartScriptGivesUpAfterFiftyTries) {
    // The script itself, with the pause shortened by a stand-in "sleep" (the tries are what count).
    QString script = AccessibilityRepair::restartScript();
    script.replace(QStringLiteral("/bin/sleep 0.2"), QStringLiteral("echo try >> \"$3\""));
    QProcess old;
    old.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(old.waitForStarted());
    const QString tries = home() + QStringLiteral("/tries");
    const int status = QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script, QStringLiteral("orvel-formac-restart"),
                                                                     installed(), QString::number(old.processId()), tries});
    old.kill();
    old.waitForFinished();
    EXPECT_EQ(status, 1);
    QFile file(tries);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("try"), 50);
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("/started")));
}

}  // namespace
