// The coach page in the real program, under a window manager, with the hosted services played by
// the stub program: a generated PDF imported through the file dialog, one lesson turn with its
// check question, an answer graded, and the session with its turns found again after a restart.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>

#include "base/defaults_store.h"
#include "platform/tests/fixtures.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/gui/desktop_programs.h"

using namespace halvern::testing;
using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");

// A tutor reply in the tutor's JSON form, as the service's answer.
QJsonObject tutorReply(const QJsonObject& envelope, bool repeat = false) {
    QJsonObject reply = envelope;
    reply.insert(QStringLiteral("schema_version"), 1);
    return orveltest::stubReply(QStringLiteral("/v1/ai/answer"),
                   {{QStringLiteral("answer"), QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact))}},
                   repeat);
}

QJsonArray sessionsOf(const OrvelProgram& orvel) {
    QFile file(orvel.homePath() + QStringLiteral("/.local/share/com.orvel.formac/users/u_") + accountID +
               QStringLiteral("/teacher_sessions.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("sessions")).toArray();
}

std::optional<AccessibilityBus::Object> showing(const AccessibilityBus& bus, qint64 pid, const QString& name) {
    const auto found = bus.find(pid, name);
    return found && found->showing ? found : std::nullopt;
}

bool press(const AccessibilityBus& bus, qint64 pid, const QString& name) {
    std::optional<AccessibilityBus::Object> button;
    return waitUntil([&] { return (button = showing(bus, pid, name)).has_value(); }) && bus.press(*button);
}

void saveShot(const X11Display& display, const X11Display::Window& window, const QString& name) {
    QDir().mkpath(QStringLiteral(ORVEL_SCREENSHOT_DIR));
    display.grab(window).save(QStringLiteral(ORVEL_SCREENSHOT_DIR "/") + name + QStringLiteral(".png"));
}

QString stateOf(const OrvelProgram& orvel, const char* key) {
    return orvel.state().value(QLatin1String(key)).toString();
}

}  // namespace

TEST(CoachProgramDesktop, ImportsTeachesGradesAndFindsTheSessionAfterARestart) {
    HostedStubProgram stub(QJsonArray{
        orveltest::confirmedAccountReply(accountID),
        tutorReply({{QStringLiteral("kind"), QStringLiteral("lesson")},
                    {QStringLiteral("text"), QStringLiteral("Opportunity cost is the value of the next best choice.")}}),
        tutorReply({{QStringLiteral("kind"), QStringLiteral("question")},
                    {QStringLiteral("question_kind"), QStringLiteral("explanation")},
                    {QStringLiteral("text"), QStringLiteral("Explain opportunity cost in your own words.")}}),
        tutorReply({{QStringLiteral("kind"), QStringLiteral("feedback")},
                    {QStringLiteral("evaluation"), QStringLiteral("incorrect")},
                    {QStringLiteral("text"), QStringLiteral("Not yet: name what you give up.")}}),
        tutorReply({{QStringLiteral("kind"), QStringLiteral("lesson")},
                    {QStringLiteral("text"), QStringLiteral("Think of the hour you spend here.")}},
                   true),
    });
    ASSERT_FALSE(stub.baseUrl().isEmpty());
    ASSERT_TRUE(orveltest::storeSessionToken(QStringLiteral("session-token-1")));

    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    OrvelProgram orvel;
    if (qEnvironmentVariableIsSet("DEBUG_ORVEL")) orvel.setBinary(qEnvironmentVariable("DEBUG_ORVEL"));
    {
        base::DefaultsStore defaults(orvel.defaultsFile());
        defaults.setInteger(QStringLiteral("nativeSetupFlowVersion"), 6);
        defaults.setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
        defaults.setBool(QStringLiteral("orvelInterfaceLocaleMigrationRC56"), true);
        defaults.setString(QStringLiteral("orvelInterfaceLanguage"), QStringLiteral("zh-Hans"));
    }
    const QString document = orvel.homePath() + QStringLiteral("/Opportunity cost.pdf");
    fixtures::writePdf(document, {fixtures::TextPage{QStringLiteral("Opportunity cost")},
                                  fixtures::TextPage{QStringLiteral("The next best alternative given up.")}});
    orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());

    ASSERT_TRUE(orvel.start());
    std::optional<X11Display::Window> window = orvel.waitForWindow(display);
    ASSERT_TRUE(window);
    // The tutor opens on the account's own sessions once the account is confirmed.
    ASSERT_TRUE(waitUntil([&] { return stateOf(orvel, "meridIdentity") == accountID; }));
    ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QStringLiteral("coach")}));

    // Import through the toolbar's button and the file dialog.
    ASSERT_TRUE(press(accessibility, orvel.pid(), QStringLiteral("导入课件")));
    ASSERT_TRUE(waitUntil([&] { return display.windowsOf(orvel.pid()).size() == 2; })) << "no file dialog";
    settle(300);
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), document}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    ASSERT_TRUE(waitUntil([&] { return sessionsOf(orvel).size() == 1; })) << stateOf(orvel, "meridStatus").toStdString();
    EXPECT_EQ(sessionsOf(orvel).first().toObject().value(QStringLiteral("title")).toString(),
              QStringLiteral("Opportunity cost.pdf"));

    // One lesson turn and its check question.
    ASSERT_TRUE(press(accessibility, orvel.pid(), QStringLiteral("开始这一小节")));
    ASSERT_TRUE(waitUntil([&] { return stub.count("POST", "/v1/ai/answer") == 2 && stateOf(orvel, "meridBusy") == "false"; }))
        << stateOf(orvel, "meridStatus").toStdString();
    ASSERT_TRUE(waitUntil([&] { return showing(accessibility, orvel.pid(), QStringLiteral("检查我的答案")).has_value(); }));

    // An answer, graded.
    std::optional<AccessibilityBus::Object> answer;
    for (const AccessibilityBus::Object& object : accessibility.objectsOf(orvel.pid()))
        if (object.showing && object.name.isEmpty() && object.role == QLatin1String("text") &&
            accessibility.extents(object).value_or(QRect()).width() > 300 &&
            accessibility.extents(object)->left() < window->geometry.left() + window->geometry.width() / 2)
            answer = object;
    ASSERT_TRUE(answer) << "no answer field";
    ASSERT_TRUE(accessibility.focus(*answer));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                         QStringLiteral("It is what I pay.")}));
    ASSERT_TRUE(press(accessibility, orvel.pid(), QStringLiteral("检查我的答案")));
    ASSERT_TRUE(waitUntil([&] { return stub.count("POST", "/v1/ai/answer") >= 3 && stateOf(orvel, "meridBusy") == "false"; }));
    window = orvel.waitForWindow(display);
    saveShot(display, *window, QStringLiteral("coach-page-after-grading"));

    // Quit, start again: the session is there with its turns and its graded answer.
    ASSERT_EQ(orvel.stop(SIGTERM), 0) << orvel.standardError().right(3000).toStdString();
    const QJsonObject saved = sessionsOf(orvel).first().toObject();
    EXPECT_GE(saved.value(QStringLiteral("turns")).toArray().size(), 3);
    const QJsonObject record = saved.value(QStringLiteral("quizRecords")).toArray().first().toObject();
    EXPECT_EQ(record.value(QStringLiteral("answer")).toString(), QStringLiteral("It is what I pay."));
    EXPECT_FALSE(record.value(QStringLiteral("feedback")).toString().isEmpty());

    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display));
    ASSERT_TRUE(waitUntil([&] { return stateOf(orvel, "meridIdentity") == accountID; }));
    ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QStringLiteral("coach")}));
    EXPECT_TRUE(waitUntil([&] { return stateOf(orvel, "meridSessionCount") == QStringLiteral("1"); }));
    EXPECT_EQ(stateOf(orvel, "meridActiveTurns").toLongLong(), saved.value(QStringLiteral("turns")).toArray().size());
    ASSERT_EQ(orvel.stop(SIGTERM), 0);
}

// Escape closes the course drawer whatever has the focus: here the drawer was opened with a click
// on the course toggle, which takes no focus.
TEST(CoachProgramDesktop, EscapeClosesTheDrawerOpenedByAClick) {
    X11Display display;
    orveltest::WindowManager manager(display);
    ASSERT_TRUE(manager.isRunning());
    AccessibilityBus accessibility;
    ASSERT_TRUE(accessibility.isConnected());
    OrvelProgram orvel;
    orvel.presetReturningPerson(QStringLiteral("zh-Hans"));
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display));
    ASSERT_TRUE(orvel.callHook(QStringLiteral("OpenPage"), {QStringLiteral("coach")}));

    std::optional<AccessibilityBus::Object> toggle;
    ASSERT_TRUE(waitUntil([&] {
        toggle = accessibility.find(orvel.pid(), QStringLiteral("课程目录"), QStringLiteral("push button"));
        return toggle && toggle->showing;
    }));
    const std::optional<QRect> place = accessibility.extents(*toggle);
    ASSERT_TRUE(place);
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(place->center().x()),
                         QString::number(place->center().y()), QStringLiteral("click"), QStringLiteral("1")}));
    const QString close = QStringLiteral("关闭面板");
    ASSERT_TRUE(waitUntil([&] { return showing(accessibility, orvel.pid(), close).has_value(); })) << "no drawer";

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    EXPECT_TRUE(waitUntil([&] { return !showing(accessibility, orvel.pid(), close).has_value(); }, 5000))
        << "the drawer stayed open";
    ASSERT_EQ(orvel.stop(SIGTERM), 0);
}
