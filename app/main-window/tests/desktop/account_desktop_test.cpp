// The account sheet of the real program against the hosted services' stub program: a person signs
// in by e-mail and out again; the session token comes and goes in the desktop's keyring.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

#include "base/defaults_store.h"
#include "platform/keychain_store.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::WindowManager;
using orveltest::X11Display;

namespace {

std::optional<QString> storedToken() {
    try {
        return halvern::KeychainStore::load();
    } catch (...) {
        return std::nullopt;
    }
}

bool xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(5000) && process.exitCode() == 0;
}

// The control on screen with this accessible name, in the program's windows.
std::optional<AccessibilityBus::Object> control(const AccessibilityBus& accessibility, qint64 pid,
                                                const QString& name) {
    std::optional<AccessibilityBus::Object> found;
    waitUntil([&] { return (found = accessibility.find(pid, name)).has_value(); }, 10000);
    return found;
}

// Clicks the middle of that control with the pointer, as a person does.
bool clickControl(const AccessibilityBus& accessibility, qint64 pid, const QString& name) {
    const auto found = control(accessibility, pid, name);
    const std::optional<QRect> box = found ? accessibility.extents(*found) : std::nullopt;
    if (!box) return false;
    return xdotool({QStringLiteral("mousemove"), QString::number(box->center().x()),
                    QString::number(box->center().y())}) &&
           xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

void typeText(const QString& text) {
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

}  // namespace

TEST(AccountDesktop, SignInByEmailThroughTheSheetAndSignOut) {
    X11Display display;
    ASSERT_TRUE(display.isOpen());
    AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    try {
        halvern::KeychainStore::remove();
    } catch (...) {
    }

    HostedStubProgram stub(QJsonArray{
        QJsonObject{{"path", "/v1/accounts"}, {"status", 200},
                    {"body", QJsonObject{{"token", "tok-desktop-1"}, {"email", "ada@example.org"}}}},
        QJsonObject{{"path", "/v1/account"}, {"status", 200}, {"repeat", true},
                    {"body", QJsonObject{{"id", "acct_desktop_1"}, {"email", "ada@example.org"},
                                         {"email_verified", true}}}},
    });
    ASSERT_TRUE(stub.baseUrl().startsWith(QStringLiteral("http://127.0.0.1:"))) << stub.baseUrl().toStdString();

    OrvelProgram orvel;
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    {
        base::DefaultsStore defaults(orvel.defaultsFile());
        defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
        defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QStringLiteral("zh-Hans"));
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
    }
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();

    ASSERT_TRUE(clickControl(accessibility, orvel.pid(), QStringLiteral("个人账户")));
    ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("showAccountLogin")).toBool(); }));
    ASSERT_TRUE(clickControl(accessibility, orvel.pid(), QStringLiteral("电子邮箱")));
    typeText(QStringLiteral("Ada@Example.org"));
    ASSERT_TRUE(clickControl(accessibility, orvel.pid(), QStringLiteral("账户密码（至少 8 位）")));
    typeText(QStringLiteral("correct horse"));
    ASSERT_TRUE(clickControl(accessibility, orvel.pid(), QStringLiteral("登录／创建账户")));

    // The sheet switches to the signed-in account by itself and stays open.
    ASSERT_TRUE(waitUntil([] { return storedToken() == QStringLiteral("tok-desktop-1"); }));
    ASSERT_TRUE(control(accessibility, orvel.pid(), QStringLiteral("退出登录")).has_value());
    const QJsonArray requests = stub.requests();
    ASSERT_GE(requests.size(), 2);
    const QJsonObject signIn = requests.at(0).toObject();
    EXPECT_EQ(signIn.value("path").toString(), QStringLiteral("/v1/accounts"));
    EXPECT_EQ(QJsonDocument::fromJson(signIn.value("body").toString().toUtf8()).object(),
              (QJsonObject{{"email", "Ada@Example.org"}, {"password", "correct horse"}}));
    EXPECT_EQ(requests.at(1).toObject().value("path").toString(), QStringLiteral("/v1/account"));

    // A picture of the signed-in sheet for a person to look at.
    QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
    for (const auto& window : display.windowsOf(orvel.pid()))
        if (window.geometry.width() == 490)
            display.grab(window).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/account-sheet-signed-in-desktop.png"));

    // Signing out also empties the main window's study flow: an imported text goes, and the status
    // starts over.
    QTemporaryDir folder;
    const QString notes = folder.filePath(QStringLiteral("notes.txt"));
    {
        QFile file(notes);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Photosynthesis turns light into sugar.");
    }
    const auto status = [&] { return orvel.state().value(QStringLiteral("status")).toString(); };
    ASSERT_TRUE(orvel.callHook(QStringLiteral("ImportFile"), {notes}));
    ASSERT_TRUE(waitUntil([&] { return status() == QStringLiteral("文字已提取，请核对后发送"); }))
        << status().toStdString();

    ASSERT_TRUE(clickControl(accessibility, orvel.pid(), QStringLiteral("退出登录")));
    EXPECT_TRUE(waitUntil([] { return !storedToken().has_value(); })) << "the token stayed in the keyring";
    EXPECT_TRUE(waitUntil([&] { return status() == QStringLiteral("准备好了"); })) << status().toStdString();
    EXPECT_TRUE(control(accessibility, orvel.pid(), QStringLiteral("登录／创建账户")).has_value());
    EXPECT_TRUE(stub.violations().isEmpty());

    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}
