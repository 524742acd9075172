// The home page of the real program in a desktop session, used as a person would: controls found
// by what the accessibility bus shows, keys and text from the keyboard, against the hosted
// services' stub running as a program of its own.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <csignal>

#include "base/defaults_store.h"
#include "platform/tests/fixtures.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::AccessibilityBus;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::WindowManager;
using orveltest::X11Display;

namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

using orveltest::pressKeys;

// Text as the keyboard gives it to the focused window.
bool typeText(const QString& text) {
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                         QStringLiteral("5"), text}) == 0;
}

// The program in Chinese, past its first setup, with the AI consent given.
void prepare(OrvelProgram& orvel) {
    base::DefaultsStore defaults(orvel.defaultsFile());
    defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QStringLiteral("zh-Hans"));
    defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
    defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
    defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
}

// The program's controls by their names, once they are on the screen.
class Controls {
public:
    Controls(const AccessibilityBus& bus, qint64 pid) : bus_(bus), pid_(pid) {}

    std::optional<AccessibilityBus::Object> waitFor(const QString& name, const QString& role,
                                                    int timeoutMs = 20000) const {
        std::optional<AccessibilityBus::Object> found;
        waitUntil([&] { return (found = bus_.find(pid_, name, role)).has_value(); }, timeoutMs);
        return found;
    }
    bool press(const QString& name, const QString& role = QStringLiteral("push button")) const {
        const auto object = waitFor(name, role);
        return object && bus_.press(*object);
    }
    // What is on the screen, for a failure's message.
    std::string showing() const {
        QStringList lines;
        for (const auto& object : bus_.objectsOf(pid_))
            if (object.showing) lines.append(object.role + QStringLiteral(": ") + object.name);
        return lines.join(u'\n').toStdString();
    }
    bool textBecomes(const AccessibilityBus::Object& object, const std::function<bool(const QString&)>& wanted,
                     int timeoutMs = 30000) const {
        return waitUntil([&] { return wanted(bus_.text(object)); }, timeoutMs);
    }

private:
    const AccessibilityBus& bus_;
    qint64 pid_;
};

// A desktop with a window manager, the accessibility bus and a folder for the test's files.
class HomePageDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(manager.isRunning());
        ASSERT_TRUE(accessibility.isConnected());
    }

    X11Display display;
    WindowManager manager{display};
    AccessibilityBus accessibility;
    QTemporaryDir files;
};

}  // namespace

// A signed-in student pastes a question, sends it with Ctrl+Return, reads the stub's answer and
// finds the question at the top of the recent list and in the account's history file.
TEST_F(HomePageDesktop, PasteSendAnswerAndFindItInRecentHistory) {
    const QString script = files.filePath(QStringLiteral("replies.json"));
    ASSERT_TRUE(fixtures::writeFile(script, R"([
        {"path": "/v1/account", "repeat": true,
         "body": {"id": "student_0001", "kind": "native", "email_verified": true}},
        {"path": "/v1/ai/answer", "body": {"answer": "Air scatters blue light the most: try sky --no-air."}}])"));
    orveltest::HostedStubProgram stub(script);
    ASSERT_FALSE(stub.baseUrl().isEmpty());
    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("desktop-test-token")));

    OrvelProgram orvel;
    prepare(orvel);
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
    const Controls controls(accessibility, orvel.pid());
    // The account is confirmed before anything is asked: until then no history takes the answer.
    ASSERT_TRUE(waitUntil(
        [&] { return orvel.state().value(QStringLiteral("historyAccount")) == QStringLiteral("student_0001"); }));

    const QString question = QStringLiteral("Why is the sky blue?");
    QProcess copied;
    copied.start(QStringLiteral(ORVEL_CLIPBOARD_OWNER), {question});
    ASSERT_TRUE(copied.waitForStarted() && waitUntil([&] { return copied.canReadLine(); }));
    ASSERT_TRUE(controls.press(s("粘贴文字"))) << controls.showing();
    const auto editor = controls.waitFor(s("学习内容"), QStringLiteral("text"));
    ASSERT_TRUE(editor);
    ASSERT_TRUE(controls.textBecomes(*editor, [&](const QString& text) { return text == question; }))
        << accessibility.text(*editor).toStdString() << "\n" << controls.showing();

    ASSERT_TRUE(accessibility.focus(*editor));
    ASSERT_TRUE(pressKeys(QStringLiteral("ctrl+Return")));
    const auto answer = controls.waitFor(s("你的学习结果"), QStringLiteral("text"), 30000);
    ASSERT_TRUE(answer) << orvel.standardError().toStdString();
    // As written: the view keeps the switch whole with joiners of its own, which are not read.
    EXPECT_TRUE(controls.textBecomes(*answer, [](const QString& text) {
        return text == QStringLiteral("Air scatters blue light the most: try sky --no-air.");
    })) << accessibility.text(*answer).toStdString();
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 1);
    EXPECT_TRUE(controls.waitFor(question, QStringLiteral("push button")).has_value())
        << "not in the recent list\n" << controls.showing() << orvel.standardError().toStdString();

    QFile history(orvel.homePath() +
                  QStringLiteral("/.local/share/com.orvel.formac/users/u_student_0001/learning-history.json"));
    ASSERT_TRUE(waitUntil([&] { return history.exists(); }));
    ASSERT_TRUE(history.open(QIODevice::ReadOnly));
    EXPECT_TRUE(history.readAll().contains(question.toUtf8()));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    copied.terminate();
    copied.waitForFinished();
}

// A PDF chosen in the file dialog passes the page-range sheet; a picture named by a path typed
// into the editor is read by recognition. Neither leaves a staged copy behind.
TEST_F(HomePageDesktop, ImportAPdfThroughTheRangeSheetAndAPictureByItsPath) {
    const QString pdf = files.filePath(QStringLiteral("three pages.pdf"));
    QList<fixtures::Page> pages;
    for (int page = 1; page <= 3; ++page)
        pages.append(fixtures::TextPage{QStringLiteral("Page %1 of the notes.").arg(page)});
    fixtures::writePdf(pdf, pages);
    const QString picture = files.filePath(QStringLiteral("printed line.png"));
    ASSERT_TRUE(fixtures::writeFile(
        picture, fixtures::encoded(fixtures::textImage({QStringLiteral("The quick brown fox jumps")}), "PNG")));

    OrvelProgram orvel;
    prepare(orvel);
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
    const Controls controls(accessibility, orvel.pid());
    const auto editor = controls.waitFor(s("学习内容"), QStringLiteral("text"));
    ASSERT_TRUE(editor) << "the home page is not on the accessibility bus";

    // The PDF: the import menu, the file dialog, the page-range sheet.
    // The menu runs while it is open: it is opened from the keyboard, not pressed over the bus.
    const auto menu = controls.waitFor(s("更多导入"), QStringLiteral("button menu"));
    ASSERT_TRUE(menu) << controls.showing();
    ASSERT_TRUE(accessibility.focus(*menu));
    // Its last item is "导入文件…".
    ASSERT_TRUE(pressKeys(QStringLiteral("space")));
    ASSERT_TRUE(pressKeys(QStringLiteral("Up")));
    ASSERT_TRUE(pressKeys(QStringLiteral("Return")));
    ASSERT_TRUE(controls.waitFor(s("导入文件"), QStringLiteral("dialog"))) << controls.showing();
    ASSERT_TRUE(typeText(pdf));
    ASSERT_TRUE(pressKeys(QStringLiteral("Return")));
    ASSERT_TRUE(controls.waitFor(s("提取文字"), QStringLiteral("push button"))) << "no page-range sheet";
    const auto first = controls.waitFor(s("起始页"), QStringLiteral("text"));
    const auto last = controls.waitFor(s("结束页"), QStringLiteral("text"));
    ASSERT_TRUE(first && last);
    EXPECT_EQ(accessibility.text(*first), QStringLiteral("1"));
    EXPECT_EQ(accessibility.text(*last), QStringLiteral("3"));
    EXPECT_EQ(orvel.tempEntries(QStringLiteral("OrvelReaderImport-")).size(), 1);
    ASSERT_TRUE(pressKeys(QStringLiteral("Return")));
    EXPECT_TRUE(controls.textBecomes(*editor, [](const QString& text) {
        return text.contains(QStringLiteral("Page 1 of the notes.")) &&
               text.contains(QStringLiteral("Page 3 of the notes."));
    })) << accessibility.text(*editor).toStdString();
    EXPECT_TRUE(waitUntil([&] { return orvel.tempEntries(QStringLiteral("OrvelReaderImport-")).isEmpty(); }));

    // The picture: its path typed into the cleared editor turns the send button into "读取文件内容".
    ASSERT_TRUE(controls.press(s("清空")));
    ASSERT_TRUE(controls.textBecomes(*editor, [](const QString& text) { return text.isEmpty(); }));
    ASSERT_TRUE(accessibility.focus(*editor));
    ASSERT_TRUE(typeText(picture));
    ASSERT_TRUE(controls.textBecomes(*editor, [&](const QString& text) { return text == picture; }));
    ASSERT_TRUE(controls.waitFor(s("读取文件内容"), QStringLiteral("push button")));
    ASSERT_TRUE(pressKeys(QStringLiteral("ctrl+Return")));
    EXPECT_TRUE(controls.textBecomes(
        *editor,
        [](const QString& text) { return text.contains(QStringLiteral("quick brown fox"), Qt::CaseInsensitive); },
        120000))
        << accessibility.text(*editor).toStdString();
    EXPECT_TRUE(waitUntil([&] { return orvel.tempEntries(QStringLiteral("OrvelReaderImport-")).isEmpty(); }));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}

// In the Chinese interface Qt's own texts are Chinese too: the labels and buttons of the file
// dialog behind "更多导入" and its list's folder type. (An editor's context menu is a popup the
// accessibility bus does not list; its texts come from the same translations.)
TEST_F(HomePageDesktop, QtsOwnTextsFollowTheChineseInterface) {
    OrvelProgram orvel;
    prepare(orvel);
    ASSERT_TRUE(QDir().mkpath(orvel.homePath() + QStringLiteral("/Notes")));
    // The desktop's own language says nothing about the interface's.
    orvel.setEnvironmentValue(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    orvel.setEnvironmentValue(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display).has_value()) << orvel.standardError().toStdString();
    const Controls controls(accessibility, orvel.pid());
    const auto showingNames = [&] {
        QStringList names;
        for (const auto& object : accessibility.objectsOf(orvel.pid()))
            if (object.showing && !object.name.isEmpty()) names.append(object.name);
        return names;
    };
    const auto anyStartsWith = [](const QStringList& names, const QString& start) {
        return std::any_of(names.begin(), names.end(), [&](const QString& name) { return name.startsWith(start); });
    };

    const auto menu = controls.waitFor(s("更多导入"), QStringLiteral("button menu"));
    ASSERT_TRUE(menu) << controls.showing();
    ASSERT_TRUE(accessibility.focus(*menu));
    ASSERT_TRUE(pressKeys(QStringLiteral("space")));
    ASSERT_TRUE(pressKeys(QStringLiteral("Up")));
    ASSERT_TRUE(pressKeys(QStringLiteral("Return")));
    ASSERT_TRUE(controls.waitFor(s("导入文件"), QStringLiteral("dialog"))) << controls.showing();
    // "Look in:", "File name:", "Files of type:" and "Cancel" as Qt's Chinese translation has them.
    EXPECT_TRUE(controls.waitFor(s("查找范围："), QStringLiteral("label"))) << controls.showing();
    QStringList names = showingNames();
    EXPECT_TRUE(anyStartsWith(names, s("文件名称"))) << controls.showing();
    EXPECT_TRUE(names.contains(s("文件类型："))) << controls.showing();
    EXPECT_TRUE(names.contains(s("取消"))) << controls.showing();
    for (const char* english : {"Look in:", "File name:", "Files of type:", "Cancel", "Open", "Folder"})
        EXPECT_FALSE(names.contains(QString::fromUtf8(english))) << english << "\n" << controls.showing();
    EXPECT_TRUE(names.contains(s("文件夹"))) << controls.showing();
    ASSERT_TRUE(pressKeys(QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return !accessibility.find(orvel.pid(), s("导入文件"), QStringLiteral("dialog")); }));

    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
}
