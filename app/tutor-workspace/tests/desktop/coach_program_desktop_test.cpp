// The coach page in the real program, under a window manager, with the hosted services played by
// the stub program: a generated PDF imported through the file dialog, one lesson turn with its
// check question, an answer graded, and the session with its turns found again after a restart.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <csignal>

#include "base/defaults_store.h"
#include "platform/tests/fixtures.h"
#include "tests/support/desktop/orvel_desktop.h"
#include "tests/support/failing_disk.h"
#include "tests/support/gui/desktop_programs.h"

using namespace halvern::testing;
using orveltest::AccessibilityBus;
using orveltest::HostedStubProgram;
using orveltest::OrvelProgram;
using orveltest::waitUntil;
using orveltest::X11Display;

namespace {

const QString accountID = QStringLiteral("account_1234");

// The tests' tmpfs mount stays inside this process and the program it starts.
const bool privateMounts = testsupport::enterPrivateMountNamespace();

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

// A window manager on the display, the accessibility bus, and the program with a home of its own.
class CoachProgramDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(manager.isRunning());
        ASSERT_TRUE(accessibility.isConnected());
    }
    // Signs the program in to the account `stub` plays.
    bool serve(const HostedStubProgram& stub) {
        if (stub.baseUrl().isEmpty() || !orveltest::storeSessionToken(QStringLiteral("session-token-1"))) return false;
        orvel.setEnvironmentValue(QStringLiteral("ORVEL_SERVICE_URL"), stub.baseUrl());
        return true;
    }
    // Starts the program: the tutor opens on the account's own sessions once the account is confirmed.
    bool openCoach() {
        return orvel.start() && orvel.waitForWindow(display) &&
               waitUntil([&] { return stateOf(orvel, "meridIdentity") == accountID; }) &&
               orvel.callHook(QStringLiteral("OpenPage"), {QStringLiteral("coach")});
    }

    X11Display display;
    orveltest::WindowManager manager{display};
    AccessibilityBus accessibility;
    OrvelProgram orvel;
};

}  // namespace

TEST_F(CoachProgramDesktop, ImportsTeachesGradesAndFindsTheSessionAfterARestart) {
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
    ASSERT_TRUE(serve(stub));
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

    ASSERT_TRUE(openCoach());
    std::optional<X11Display::Window> window = orvel.waitForWindow(display);
    ASSERT_TRUE(window);

    // Import through the toolbar's button and the file dialog.
    ASSERT_TRUE(press(accessibility, orvel.pid(), QStringLiteral("导入课件")));
    std::optional<X11Display::WindowId> dialog;
    ASSERT_TRUE(waitUntil([&] {
        for (const X11Display::Window& shown : display.windowsOf(orvel.pid()))
            if (shown.id != window->id) dialog = shown.id;
        return dialog.has_value();
    })) << "no file dialog";
    // The path is typed once the dialog has the keyboard.
    ASSERT_TRUE(waitUntil([&] { return display.activeWindow() == dialog; })) << "the file dialog has no focus";
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

    ASSERT_TRUE(openCoach());
    EXPECT_TRUE(waitUntil([&] { return stateOf(orvel, "meridSessionCount") == QStringLiteral("1"); }));
    EXPECT_EQ(stateOf(orvel, "meridActiveTurns").toLongLong(), saved.value(QStringLiteral("turns")).toArray().size());
    ASSERT_EQ(orvel.stop(SIGTERM), 0);
}

// Escape closes the course drawer whatever has the focus: here the drawer was opened with a click
// on the course toggle, which takes no focus.
TEST_F(CoachProgramDesktop, EscapeClosesTheDrawerOpenedByAClick) {
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

// The coach page shown again gets a new screen, which reads the sessions file again: one that could
// not be read and was mended meanwhile shows its sessions without a restart.
TEST_F(CoachProgramDesktop, ShowingThePageAgainReadsTheSessionsAgain) {
    orvel.presetReturningPerson(QStringLiteral("zh-Hans"));
    const QString folder = orvel.homePath() + QStringLiteral("/.local/share/com.orvel.formac");
    const QString file = folder + QStringLiteral("/teacher_sessions.json");
    const auto write = [&](const QByteArray& bytes) {
        QFile out(file);
        return QDir().mkpath(folder) && out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
    };
    const QByteArray damaged = "{\"formatVersion\":1,\"sessions\":[{\"id\":";
    ASSERT_TRUE(write(damaged));
    const auto openPage = [&](const char* page) {
        return orvel.callHook(QStringLiteral("OpenPage"), {QString::fromLatin1(page)}) &&
               waitUntil([&] { return stateOf(orvel, "page") == QLatin1String(page); });
    };
    ASSERT_TRUE(orvel.start());
    ASSERT_TRUE(orvel.waitForWindow(display));
    ASSERT_TRUE(openPage("coach"));
    ASSERT_TRUE(waitUntil([&] { return stateOf(orvel, "meridStatus").startsWith(QStringLiteral("历史读取失败")); }))
        << stateOf(orvel, "meridStatus").toStdString();
    EXPECT_EQ(stateOf(orvel, "meridSessionCount"), QStringLiteral("0"));

    ASSERT_TRUE(openPage("home"));
    const QJsonObject session{{QStringLiteral("id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                              {QStringLiteral("title"), QStringLiteral("修好的会话")},
                              {QStringLiteral("createdAt"), 800000000.0},
                              {QStringLiteral("updatedAt"), 800000000.0},
                              {QStringLiteral("mode"), QStringLiteral("teach")},
                              {QStringLiteral("turns"), QJsonArray()},
                              {QStringLiteral("chunkIndex"), 0},
                              {QStringLiteral("draft"), QString()}};
    ASSERT_TRUE(write(QJsonDocument(QJsonObject{{QStringLiteral("formatVersion"), 1},
                                                {QStringLiteral("sessions"), QJsonArray{session}}})
                          .toJson(QJsonDocument::Compact)));
    ASSERT_TRUE(openPage("coach"));
    EXPECT_TRUE(waitUntil([&] { return stateOf(orvel, "meridSessionCount") == QStringLiteral("1"); }))
        << stateOf(orvel, "meridStatus").toStdString();
    EXPECT_FALSE(stateOf(orvel, "meridStatus").startsWith(QStringLiteral("历史读取失败")));
    ASSERT_EQ(orvel.stop(SIGTERM), 0);
}

// On a full disk (the account's folder a small tmpfs), no request follows a lesson reply that was
// not saved. The tier a screen reader toggles is the one the request carries.
TEST_F(CoachProgramDesktop, AFullDiskStopsWhatWaitsForASave) {
    if (!privateMounts) GTEST_SKIP() << "needs the super-user for a mount namespace of its own";
    QJsonObject lesson = tutorReply({{QStringLiteral("kind"), QStringLiteral("lesson")},
                                     {QStringLiteral("text"), QStringLiteral("Scarcity means choosing.")}});
    lesson.insert(QStringLiteral("delayMs"), 2000);
    HostedStubProgram stub(QJsonArray{orveltest::confirmedAccountReply(accountID), lesson});
    ASSERT_TRUE(serve(stub));
    orvel.presetReturningPerson(QStringLiteral("zh-Hans"));
    base::DefaultsStore(orvel.defaultsFile()).setInteger(QStringLiteral("orvelAIConsentPolicyVersion"), 1);
    const QString data = orvel.homePath() + QStringLiteral("/.local/share/com.orvel.formac/users/u_") + accountID;
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(testsupport::mountTmpfs(data, 4 << 20));
    const QString filler = data + QStringLiteral("/filler");
    ASSERT_TRUE(openCoach());
    const qint64 pid = orvel.pid();
    ASSERT_TRUE(press(accessibility, pid, QStringLiteral("Ruv")));
    ASSERT_TRUE(press(accessibility, pid, QStringLiteral("开始这一小节")));
    ASSERT_TRUE(waitUntil([&] { return stub.count("POST", "/v1/ai/answer") == 1; }));
    ASSERT_TRUE(testsupport::fillUp(filler));
    ASSERT_TRUE(waitUntil([&] { return stateOf(orvel, "meridBusy") == QStringLiteral("false"); }));
    EXPECT_TRUE(stateOf(orvel, "meridStatus").startsWith(QStringLiteral("保存失败，已停止覆盖历史：")))
        << stateOf(orvel, "meridStatus").toStdString();
    EXPECT_EQ(stub.count("POST", "/v1/ai/answer"), 1) << "a check question followed a lesson that was not saved";
    QString body;
    for (const QJsonValue& request : stub.requests())
        if (request[QStringLiteral("path")] == QStringLiteral("/v1/ai/answer"))
            body = request[QStringLiteral("body")].toString();
    EXPECT_TRUE(body.contains(QStringLiteral("\"model_tier\":\"pro\""))) << body.toStdString();

    ASSERT_TRUE(QFile::remove(filler));
    EXPECT_EQ(orvel.stop(SIGTERM), std::optional<int>(0));
    EXPECT_TRUE(testsupport::unmount(data));
}
