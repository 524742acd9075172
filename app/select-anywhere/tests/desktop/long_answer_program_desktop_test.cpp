// The real program given the longest answer it is likely to meet: 200 KB without a space. In the
// answer panel (a selection handed over on the session bus) and in the main window (the compact
// selection view, then the full window's answer section) it shows the answer's beginning with a
// note, and it keeps answering on the session bus meanwhile. Pictures of the three views in each
// interface language go to the build tree for a person to look at.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

#include "base/defaults_store.h"
#include "tests/support/desktop/orvel_desktop.h"

using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");
const QSize panelSize(360, 390);

QString unbrokenAnswer() {
    QString answer(200 * 1000, u'a');
    for (qsizetype i = 0; i < answer.size(); ++i) answer[i] = QChar(char16_t(u'a' + i % 26));
    return answer;
}

}  // namespace

TEST(LongAnswerProgramDesktop, AnswerWithoutSpacesShowsItsBeginningWhileTheProgramAnswers) {
    X11Display display;
    orveltest::WindowManager manager{display};
    AccessibilityBus accessibility;
    ASSERT_TRUE(manager.isRunning());
    ASSERT_TRUE(accessibility.isConnected());
    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));
    const QString answer = unbrokenAnswer();
    HostedStubProgram stub{QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        orveltest::stubReply(QStringLiteral("/v1/ai/answer"), {{QStringLiteral("answer"), answer}}),
    }};
    ASSERT_FALSE(stub.baseUrl().isEmpty());
    const QString shots = QStringLiteral(ORVEL_SCREENSHOT_DIR "/long-answer");
    QDir().mkpath(shots);

    struct Language {
        QString code;
        QString note;
        QString fullWindow;
    };
    const QList<Language> languages{
        {QStringLiteral("zh-Hans"), QString::fromUtf8("回答太长，这里只显示开头部分；“复制”可取得完整回答。"),
         QString::fromUtf8("完整窗口")},
        {QStringLiteral("en"), QStringLiteral("Only the beginning is shown; Copy takes it all."),
         QStringLiteral("Full window")},
        // French as it is shown: one apostrophe, no-break spaces before ";" and inside « ».
        {QStringLiteral("fr"),
         QString::fromUtf8("Seul le début s\u2019affiche\u00a0; «\u00a0Copier\u00a0» copie tout."),
         QString::fromUtf8("Fenêtre complète")},
    };
    for (const Language& language : languages) {
        SCOPED_TRACE(language.code.toStdString());
        OrvelProgram orvel;
        orvel.presetReturningPerson(language.code);
        base::DefaultsStore(orvel.defaultsFile()).setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
        ASSERT_TRUE(orvel.start());
        const auto main = orvel.waitForWindow(display);
        ASSERT_TRUE(main.has_value());
        ASSERT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("historyAccount")) == accountID; }));
        const auto noteShown = [&] { return accessibility.find(orvel.pid(), language.note).has_value(); };
        std::string failure;

        // The compact selection view of the main window, and the full window's answer section.
        ASSERT_TRUE(orvel.callHook(QStringLiteral("ReceiveSelection"),
                                   {QStringLiteral("opportunity cost"), QStringLiteral("explain")}));
        EXPECT_TRUE(orvel.showsWhileAnswering(noteShown, failure)) << failure;
        if (const auto window = orvel.waitForWindow(display)) {
            EXPECT_TRUE(display.grab(*window).save(shots + QStringLiteral("/compact-%1.png").arg(language.code)));
        }
        const auto full = accessibility.find(orvel.pid(), language.fullWindow, QStringLiteral("push button"));
        ASSERT_TRUE(full.has_value());
        ASSERT_TRUE(accessibility.press(*full));
        EXPECT_TRUE(waitUntil([&] { return orvel.state().value(QStringLiteral("selectionPresentation")) == false; }));
        EXPECT_TRUE(orvel.showsWhileAnswering(noteShown, failure)) << failure;
        if (const auto window = orvel.waitForWindow(display)) {
            EXPECT_TRUE(display.grab(*window).save(shots + QStringLiteral("/main-window-%1.png").arg(language.code)));
        }

        // The answer panel, for a selection handed over on the session bus.
        QProcess gdbus;
        gdbus.start(QStringLiteral("gdbus"),
                    {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                     QStringLiteral("com.orvel.formac"), QStringLiteral("--object-path"),
                     QStringLiteral("/com/orvel/formac/Selection"), QStringLiteral("--method"),
                     QStringLiteral("com.orvel.formac.Selection.StudySelectedText"), QStringLiteral("sunk cost"),
                     QStringLiteral("explain")});
        ASSERT_TRUE(gdbus.waitForFinished(20000));
        ASSERT_EQ(gdbus.exitCode(), 0);
        std::optional<X11Display::Window> panel;
        const auto noteInPanel = [&] {
            panel = display.windowOfSize(orvel.pid(), panelSize);
            if (!panel) return false;
            for (const AccessibilityBus::Object& object : accessibility.objectsOf(orvel.pid()))
                if (object.showing && object.name == language.note)
                    if (const auto place = accessibility.extents(object); place && panel->geometry.contains(*place))
                        return true;
            return false;
        };
        EXPECT_TRUE(orvel.showsWhileAnswering(noteInPanel, failure)) << failure;
        if (panel) {
            EXPECT_TRUE(display.grab(*panel).save(shots + QStringLiteral("/panel-%1.png").arg(language.code)));
        }
        EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    }
}
