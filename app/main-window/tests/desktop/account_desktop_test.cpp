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

// In the real program, in each language: the longest name the sheet saves, an address and then a
// 64-character code from the account service, none with a space, leave "保存昵称" and "关闭"
// within the 490-pixel sheet.
TEST(AccountDesktop, UnbrokenNamesAndCodesStayWithinTheSheet) {
    X11Display display;
    ASSERT_TRUE(display.isOpen());
    AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());

    const QString address = QString(60, u'm') + QStringLiteral("@example.org");
    const QString code(64, u'x');
    const struct {
        const char* language;
        QString account, name, save, refresh, close;
    } rows[] = {
        {"zh-Hans", QStringLiteral("个人账户"), QStringLiteral("显示昵称（仅保存在本机）"), QStringLiteral("保存昵称"),
         QStringLiteral("刷新账户状态"), QStringLiteral("关闭")},
        {"en", QStringLiteral("Account"), QStringLiteral("Display name (this computer only)"),
         QStringLiteral("Save name"), QStringLiteral("Refresh account"), QStringLiteral("Close")},
        {"fr", QStringLiteral("Compte"), QStringLiteral("Pseudo (sur cet ordinateur)"),
         QStringLiteral("Enregistrer le nom"), QStringLiteral("Actualiser le compte"), QStringLiteral("Fermer")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.language);
        // Signed in; the second look at the account fails with the code.
        halvern::KeychainStore::save(QStringLiteral("tok-long-1"));
        HostedStubProgram stub(QJsonArray{
            QJsonObject{{"path", "/v1/account"},
                        {"status", 200},
                        {"body", QJsonObject{{"id", "acct_long_1"}, {"email", address}, {"email_verified", true}}}},
            QJsonObject{{"path", "/v1/account"},
                        {"status", 503},
                        {"repeat", true},
                        {"body", QJsonObject{{"error", QJsonObject{{"code", code}}}}}},
        });
        OrvelProgram orvel;
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
        {
            base::DefaultsStore defaults(orvel.defaultsFile());
            defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
            defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QString::fromLatin1(row.language));
            defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        }
        ASSERT_TRUE(orvel.start());
        ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
        ASSERT_TRUE(clickControl(accessibility, orvel.pid(), row.account));
        ASSERT_TRUE(clickControl(accessibility, orvel.pid(), row.name));
        typeText(QString(40, u'W'));
        ASSERT_TRUE(clickControl(accessibility, orvel.pid(), row.save));
        ASSERT_TRUE(control(accessibility, orvel.pid(), QString(40, u'W')).has_value()) << "no long title";
        ASSERT_TRUE(clickControl(accessibility, orvel.pid(), row.refresh));
        // The feedback line names the code; a screen reader reads it as a label.
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const auto& object : accessibility.objectsOf(orvel.pid()))
                    if (object.showing && object.name.contains(code)) return true;
                return false;
            },
            10000))
            << "no code";

        std::optional<X11Display::Window> sheet;
        for (const auto& window : display.windowsOf(orvel.pid()))
            if (window.geometry.width() == 490) sheet = window;
        ASSERT_TRUE(sheet.has_value());
        for (const QString& name : {row.save, row.close}) {
            const auto found = control(accessibility, orvel.pid(), name);
            const std::optional<QRect> box = found ? accessibility.extents(*found) : std::nullopt;
            ASSERT_TRUE(box.has_value()) << name.toStdString();
            EXPECT_TRUE(sheet->geometry.contains(*box)) << name.toStdString();
        }
        QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
        display.grab(*sheet).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/account-sheet-long-%1-desktop.png")
                                      .arg(QString::fromLatin1(row.language)));
        EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
        halvern::KeychainStore::remove();
    }
}
